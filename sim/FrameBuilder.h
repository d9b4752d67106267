// The data frames of the simulated camera: what one capture holds (ToF sub-packets in the
// chosen packing, a colour sub-packet, optionally the device status block and the pushed
// parameter block), built into one buffer that is reused from frame to frame. Pure logic,
// no sockets: the streamer decides when a frame is made and whether it carries status
// and parameters.
//
// Sub-packet framing: type byte, 24-bit little-endian payload length, one byte (the
// depth range of the frame), payload; the status block 0x2C has a 16-bit length and no
// further byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "protocol/DeviceStatus.h"
#include "protocol/InitParams.h"
#include "sim/RawPacking.h"
#include "sim/SimState.h"
#include "sim/SimWire.h"

namespace quorix::sim {

inline constexpr uint8_t kStatusType = 0x2C;
inline constexpr uint8_t kPushType = 0x2E;
inline constexpr size_t kSubHeaderBytes = 5;
inline constexpr size_t kStatusHeaderBytes = 3;

// Which images a data mode sends, and whether its frames cycle through the WDR ranges.
struct FrameKinds {
    bool depth = false;
    bool ir = false;
    bool wdr = false;
};
// 0 and 11 depth, 1 and 12 IR, 2, 10 and 13 (and any other mode) both; 11-13 are WDR.
FrameKinds KindsOfDataMode(uint8_t dataMode);

// The ToF sub-packet types a frame of `kinds` carries in `packing`, in order (one or two).
struct TofTypes {
    uint8_t count = 0;
    uint8_t type[2] = {};
};
TofTypes TofTypesOf(TofPacking packing, FrameKinds kinds);

// What a frame depends on, copied from the camera's state at the capture.
struct Capture {
    StreamSettings settings;
    uint8_t dataMode = 0;
    uint8_t depthRange = 0;
    std::array<uint8_t, 7> wdrMode{};
    uint16_t colourWidth = 640;  // the colour lens record (sensor 2)
    uint16_t colourHeight = 360;
};
Capture CaptureOf(const SimState& state, uint32_t session);

// The depth range a capture's frame is taken in: the current range, or in the WDR data
// modes the range whose turn it is (range 1 for count 1 frames, then range 2, ...).
uint8_t DepthRangeOfFrame(const Capture& capture, uint32_t frameIndex);

// The device status record of a sensor (`frameCounter` = the capture's index).
DeviceStatus StatusOf(const SensorState& sensor, uint32_t frameCounter);

// The pushed parameter block of a session's sensor, from the camera's state.
PushedParameters PushOf(const SimState& state, uint32_t session);

// One sub-packet found in a frame's payload.
struct SubPacket {
    uint8_t type = 0;
    uint8_t range = 0;  // the further byte; 0 for 0x2C
    size_t offset = 0;  // of the payload, from the start of the frame's payload
    size_t length = 0;
};
// Walks a frame payload. `whole` is false when a header does not fit or a length runs
// past the end (the sub-packets before are listed).
std::vector<SubPacket> ListSubPackets(const uint8_t* payload, size_t size, bool* whole = nullptr);

class FrameBuilder {
public:
    FrameBuilder();

    // The data frame of capture `frameIndex`: its 8-byte header, then the sub-packets (ToF,
    // colour, then the status block and the parameter block when given). Valid until the
    // next Build. Rows that do not change between captures are packed once.
    const std::vector<uint8_t>& Build(const Capture& capture, uint32_t frameIndex,
                                      const DeviceStatus* status,
                                      const std::vector<uint8_t>* pushBlock);

private:
    struct Placement {
        size_t header = 0;    // offset of the sub-packet header in the buffer
        size_t firstRow = 0;  // offset of row 0 of the image
        size_t rowStride = 0;
    };
    struct ToFKey {
        TofPacking packing = TofPacking::kRaw12;
        FrameKinds kinds;
        bool operator==(const ToFKey& other) const {
            return packing == other.packing && kinds.depth == other.kinds.depth &&
                   kinds.ir == other.kinds.ir && kinds.wdr == other.kinds.wdr;
        }
    };
    struct ColourKey {
        ColourFormat format = ColourFormat::kNone;
        uint16_t width = 0;
        uint16_t height = 0;
        float exposure = 0.0f;
        bool operator==(const ColourKey& other) const = default;
    };

    void LayOutTof(const ToFKey& key);
    void PackRows(uint32_t frameIndex, bool everyRow);
    // Every row of both images, with the capture's noise.
    void PackNoisyRows(uint32_t frameIndex, const NoiseSettings& noise);
    void WriteColour(const ColourKey& key);

    std::vector<uint8_t> m_buffer;
    std::vector<uint16_t> m_row;    // one row of codes
    std::vector<uint16_t> m_clean;  // a whole image of codes, when noise is added
    std::vector<uint16_t> m_noisyCodes;
    bool m_noisy = false;  // the last frame had noise: every row is packed again
    bool m_laidOut = false;
    ToFKey m_tofKey;
    ColourKey m_colourKey;
    PixelPacking m_pixels = PixelPacking::kRaw12;
    Placement m_depth;  // header 0 when no depth image is sent
    Placement m_ir;
    std::vector<size_t> m_tofHeaders;
    size_t m_tofEnd = 0;
    size_t m_fixedEnd = 0;  // end of the colour sub-packet
};

}  // namespace quorix::sim
