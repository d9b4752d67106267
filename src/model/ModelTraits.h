// The camera models the library knows, one row per device type: how a camera of the model
// is found and reached, what its device record starts with, and every way a session, the
// frame engine or the device list treats it differently from other models. Code asks this
// table instead of comparing device types.
#pragma once

#include <cstdint>
#include <span>

#include "model/SessionInfo.h"
#include "quorix/quorix_api.h"

namespace quorix {

// The command protocol a session of the model gets.
enum class ProtocolKind : uint8_t {
    kNone,    // none: the session logs the device type as invalid
    kSocket,  // the network command protocol over TCP
    kUsb,     // HID commands and UVC video
    kTk1a,    // the TK1A's own USB protocol
};

// Where BaseDevice::GetSN reads the serial number.
enum class SerialSource : uint8_t {
    kNone,      // nowhere: logged, nothing written
    kSession,   // the first session's GetSN
    kProperty,  // the first session's serial-number property
};

// What a session does with the colour size at initialisation.
enum class LensAtInit : uint8_t {
    kUnlisted,           // no rule for the model: logged, nothing sent
    kNotSent,            // the camera keeps its own size; the session reads its lens record
    kSent,               // the session's colour mode is sent
    kSentInColourModes,  // 640 x 480 is sent, in data modes 100 and 101 only
};

// The depth-range list a session keeps when the camera gives none.
enum class DepthRangeList : uint8_t {
    kUnlisted,             // no rule for the model: logged, the list stays empty
    kAny,                  // empty on purpose: every range is accepted
    kFromMeasuringRanges,  // the ranges whose limits the measuring-range records give
};

// USB vendor ids of the cameras: most models carry the first.
inline constexpr uint16_t kVendorQuorix = 0xF5E2;
inline constexpr uint16_t kVendorSecondary = 0x0C45;
// Product ids of the first vendor's HID interface of a camera waiting for a firmware or
// JSON transfer.
inline constexpr uint16_t kProductUpgrade = 0x0104;
inline constexpr uint16_t kProductJsonTransfer = 0x0106;

struct FrameSize {
    uint32_t width;
    uint32_t height;
};

struct ModelTraits {
    // --- identity and reach ---
    uint32_t deviceType = 0;
    const char* name = nullptr;    // null for a model without one; a network URI starts with it
    uint8_t announcementKind = 0;  // kind code of a network announcement; 0: not announced
    uint16_t vendorId = 0;         // USB ids of the video interface; 0: not found over USB
    uint16_t productId = 0;
    uint32_t linkType = 0;  // LinkType
    ProtocolKind protocol = ProtocolKind::kNone;
    const char* iniFile = nullptr;  // file name in the configuration folder; null: none

    // --- the device record at creation (network records get their sessions from discovery)
    uint32_t recordStatus = ConnectUNKNOWN;
    FrameSize recordColour = {1920, 1080};  // USB sessions only
    uint8_t recordColourFormat = 0;
    uint32_t featureFlags = 0;
    std::span<const uint32_t> dataModes = {};  // supported data modes of the record's sessions
    uint16_t finalField = 65535;               // 0: the sensor stands upright

    // --- the device list ---
    SerialSource serialNumber = SerialSource::kNone;
    bool readsAlias = false;               // the alias is read from the camera over USB
    bool vanishesFromEnumeration = false;  // an unopened record goes when enumeration misses it
    bool companionRecheck = false;         // a silent streaming camera is looked for by its HID

    // --- session defaults ---
    uint8_t defaultDataMode = 0;
    FrameSize defaultColourMode = {640, 360};
    std::span<const uint8_t> fallbackDataModes = {};  // when the camera lists none; empty: logged
    DepthRangeList depthRanges = DepthRangeList::kUnlisted;
    LensAtInit lens = LensAtInit::kUnlisted;
    uint32_t nativeColour480Build = 0;  // firmware build that streams 640 x 480 itself; 0: never
    int32_t iniAlgorithmType = 0;       // before the ini file says otherwise
    // Values the session starts with until the camera's own are read; null: the defaults
    // every model shares. The first measuring range's first three values after its mode
    // byte, and the depth intrinsics (fx, 0, cx, 0, fy, cy, 0, 0, 1).
    const uint16_t* firstRangeStart = nullptr;
    const double* depthIntrinsic = nullptr;

    // --- the frame engine ---
    bool quietOnFailure = false;    // the reader stops asking a camera that keeps failing
    bool bareDepthBuffers = false;  // a transport buffer may be one bare depth payload

    // --- the TK1A's differences ---
    bool mappedAtStart = false;        // sync on, distortion corrections off, colour mapped
    bool deviceAssist = false;         // the pre-processing library's sensor assist runs
    bool idleOnClose = false;          // close: colour auto-exposure off, idle data mode
    bool keepsDataModeAtInit = false;  // initialisation does not read the data mode back
    bool briefDataModeEcho = false;    // a data mode's echo is awaited for 25 polls, not 300
    bool portraitDepth = false;        // the pixel-ray table is 480 wide and 640 high
};

// Every row, one per device type.
std::span<const ModelTraits> Models();

// The row of a device type, of a network announcement's kind code or of a USB video
// interface's ids; null when there is none (kind 0 and ids 0 never match).
const ModelTraits* FindModel(uint32_t deviceType);
const ModelTraits* FindModelByKind(uint8_t kind);
const ModelTraits* FindModelByUsbIds(uint32_t vendorId, uint32_t productId);

// The row of a device type, or for a type without one a row with every trait off and the
// defaults every model shares.
const ModelTraits& TraitsOf(uint32_t deviceType);

bool IsNetworkDeviceType(uint32_t deviceType);

}  // namespace quorix
