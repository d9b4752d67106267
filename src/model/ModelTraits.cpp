// The model table. A row names only what differs from the defaults of ModelTraits.
#include "model/ModelTraits.h"

namespace quorix {
namespace {

// Supported data modes of the device records.
constexpr uint32_t kTk1aModes[] = {100, 101, 102};
constexpr uint32_t kUsbModes[] = {200, 201, 2, 5, 6};
constexpr uint32_t kTk2bModes[] = {10};
constexpr uint32_t kTk3aModes[] = {0, 1, 2, 5, 6, 7, 10, 11, 12};
constexpr uint32_t kMipiModes[] = {200, 201, 2};
constexpr uint32_t kSquareModes[] = {200};
constexpr uint32_t kNetworkModes[] = {0, 1, 2, 10, 11, 12, 13};

// The sessions' data-mode lists for cameras that list none themselves. They are not the
// records' lists above, and differ from them for most models.
constexpr uint8_t kStandardList[] = {0, 1, 2, 11, 12, 13};
constexpr uint8_t kTk1aList[] = {100, 101, 102};
constexpr uint8_t kTk3aList[] = {0, 1, 2, 4, 10, 11};
constexpr uint8_t kSquareList[] = {200};

// The 480 x 480 sensor's own starting values. Its focal length along x comes from a table
// the model's description does not give; its pixels are square, so fx is taken as fy.
constexpr uint16_t kSquareRangeStart[] = {2394, 1500, 350};
constexpr double kSquareDepthIntrinsic[] = {
    632.251147019598, 0, 343.4132313337097, 0, 632.251147019598, 235.7334633021066, 0, 0, 1};

// A USB model whose commands go over HID and UVC and whose lists follow the common rules.
constexpr ModelTraits UsbModel(uint32_t type, const char* name, uint16_t product,
                               const char* iniFile) {
    return {.deviceType = type,
            .name = name,
            .vendorId = kVendorQuorix,
            .productId = product,
            .linkType = kLinkUsb,
            .protocol = ProtocolKind::kUsb,
            .iniFile = iniFile,
            .dataModes = kUsbModes,
            .serialNumber = SerialSource::kSession,
            .readsAlias = true,
            .vanishesFromEnumeration = true,
            .companionRecheck = true,
            .fallbackDataModes = kStandardList,
            .depthRanges = DepthRangeList::kFromMeasuringRanges,
            .lens = LensAtInit::kNotSent};
}

// A network model: announced, reached over TCP, its sessions made by discovery.
constexpr ModelTraits NetworkModel(uint32_t type, const char* name, uint8_t kind,
                                   const char* iniFile) {
    return {.deviceType = type,
            .name = name,
            .announcementKind = kind,
            .linkType = kLinkNetwork,
            .protocol = ProtocolKind::kSocket,
            .iniFile = iniFile,
            .recordStatus = Connected,
            .dataModes = kNetworkModes,
            .serialNumber = SerialSource::kProperty,
            .fallbackDataModes = kStandardList,
            .depthRanges = DepthRangeList::kFromMeasuringRanges,
            .lens = LensAtInit::kNotSent,
            .quietOnFailure = true};
}

constexpr ModelTraits kModels[] = {
    {.deviceType = TK1A,
     .name = "TK1A",
     .vendorId = kVendorQuorix,
     .productId = 0x0103,
     .linkType = kLinkUsb,
     .protocol = ProtocolKind::kTk1a,
     .iniFile = "config_tk1a.ini",
     .featureFlags = 1,
     .dataModes = kTk1aModes,
     .finalField = 0,
     .serialNumber = SerialSource::kSession,
     .vanishesFromEnumeration = true,
     .companionRecheck = true,
     // A mode of its own list: in any other the session would send no data mode and tell
     // the camera no colour size until the user chose one.
     .defaultDataMode = 100,
     .defaultColourMode = {640, 480},
     .fallbackDataModes = kTk1aList,
     .depthRanges = DepthRangeList::kAny,
     .lens = LensAtInit::kSentInColourModes,
     .nativeColour480Build = 44,
     .iniAlgorithmType = 1,
     .mappedAtStart = true,
     .deviceAssist = true,
     .idleOnClose = true,
     .keepsDataModeAtInit = true,
     .briefDataModeEcho = true,
     .portraitDepth = true},
    UsbModel(TK2A, "TK2A", 0x0107, "config_tk2a.ini"),
    UsbModel(TKS1, "TKS1", 0x0109, "config_tks1.ini"),
    // No protocol and no session rules yet. Like every USB camera it goes from the device
    // list when enumeration misses it.
    {.deviceType = TK2B,
     .name = "TK2B",
     .vendorId = kVendorSecondary,
     .productId = 0x1505,
     .linkType = kLinkUsb,
     .iniFile = "config_tk2b.ini",
     .featureFlags = 7,
     .dataModes = kTk2bModes,
     .finalField = 0,
     .serialNumber = SerialSource::kSession,
     .vanishesFromEnumeration = true,
     .companionRecheck = true},
    UsbModel(TK5U, "TK5U", 0x0108, "config_tk5U.ini"),
    [] {
        ModelTraits m = UsbModel(TK3A, "TK3A", 0x0101, "config_tk3a.ini");
        m.featureFlags = 25;
        m.dataModes = kTk3aModes;
        m.fallbackDataModes = kTk3aList;
        m.lens = LensAtInit::kSent;
        m.nativeColour480Build = 65;
        return m;
    }(),
    {.deviceType = TK_MIPI,
     .name = "TK_MIPI",
     .linkType = kLinkMipi,
     .recordStatus = Connected,
     .featureFlags = 1,
     .dataModes = kMipiModes,
     .bareDepthBuffers = true},
    UsbModel(TK4Aliteusb, "TK4Aliteusb", 0x0105, "config_tk4aliteusb.ini"),
    // The 480 x 480 sensor, without a model name. It speaks the USB protocol like the other
    // HID-and-UVC models; its colour arrives as YUY2 at 480 x 480.
    {.deviceType = NsDeviceType444,
     .vendorId = kVendorSecondary,
     .productId = 0x636B,
     .linkType = kLinkUsb,
     .protocol = ProtocolKind::kUsb,
     .recordColour = {480, 480},
     .recordColourFormat = 2,
     .dataModes = kSquareModes,
     .vanishesFromEnumeration = true,
     .fallbackDataModes = kSquareList,
     .depthRanges = DepthRangeList::kAny,
     .firstRangeStart = kSquareRangeStart,
     .depthIntrinsic = kSquareDepthIntrinsic},
    NetworkModel(TK5P, "TK5P", 4, "config_tk5P.ini"),
    NetworkModel(TK5E, "TK5E", 9, "config_tk5E.ini"),
    NetworkModel(TK5Pro_ADI, "TK5Pro_ADI", 10, "config_tk5Pro_ADI.ini"),
    NetworkModel(TK4A, "TK4A", 1, "config_tk4a.ini"),
    NetworkModel(TK4Alite, "TK4Alite", 2, "config_tk4alite.ini"),
};

constexpr ModelTraits kUnlisted{};

template <typename Matches>
const ModelTraits* Find(Matches matches) {
    for (const ModelTraits& model : kModels) {
        if (matches(model)) {
            return &model;
        }
    }
    return nullptr;
}

}  // namespace

std::span<const ModelTraits> Models() {
    return kModels;
}

const ModelTraits* FindModel(uint32_t deviceType) {
    return Find([deviceType](const ModelTraits& m) { return m.deviceType == deviceType; });
}

const ModelTraits* FindModelByKind(uint8_t kind) {
    if (kind == 0) {
        return nullptr;
    }
    return Find([kind](const ModelTraits& m) { return m.announcementKind == kind; });
}

const ModelTraits* FindModelByUsbIds(uint32_t vendorId, uint32_t productId) {
    if (vendorId == 0) {
        return nullptr;
    }
    return Find([vendorId, productId](const ModelTraits& m) {
        return m.vendorId == vendorId && m.productId == productId;
    });
}

const ModelTraits& TraitsOf(uint32_t deviceType) {
    const ModelTraits* model = FindModel(deviceType);
    return model != nullptr ? *model : kUnlisted;
}

bool IsNetworkDeviceType(uint32_t deviceType) {
    return TraitsOf(deviceType).linkType == kLinkNetwork;
}

}  // namespace quorix
