// The settings, identity, calibration and lists of a camera, read and written through the
// public C interface like any application does.
#include "cli/CameraQueries.h"

#include <algorithm>

#include "cli/Diagnosis.h"
#include "cli/InfoText.h"

namespace quorix::cli {

namespace {

constexpr uint32_t kTextBytes = 256;
constexpr uint32_t kDataModeListBytes = 33;    // a count byte and up to 32 modes
constexpr uint32_t kDepthRangeListBytes = 10;  // a count byte and up to 9 ranges

// Reads a value of the call's own type and widens it.
template <typename T, typename Call>
NsReturnStatus ReadAs(uint32_t& value, T initial, Call call) {
    T v = initial;
    const NsReturnStatus status = call(&v);
    if (status == NsStatusOk) {
        value = v;
    }
    return status;
}

std::string TextLine(const char* label, NsReturnStatus status, const char* text,
                     uint32_t delivered) {
    return ItemLine(label, status, BoundedText(text, std::min(delivered, kTextBytes)));
}

std::string TextProperty(NsDeviceHandle h, uint32_t s, const char* label, uint32_t id) {
    char text[kTextBytes] = {};
    uint32_t size = sizeof text;
    const NsReturnStatus status = Ns2_GetProperty(h, s, id, text, &size);
    return TextLine(label, status, text, size);
}

// A counted list property; `name` (when given) adds what each entry means.
std::string ListProperty(NsDeviceHandle h, uint32_t s, const char* label, uint32_t id,
                         uint32_t bytes, std::string (*name)(uint32_t) = nullptr) {
    uint8_t list[kDataModeListBytes] = {};
    uint32_t size = bytes;
    NsReturnStatus status = Ns2_GetProperty(h, s, id, list, &size);
    std::string text;
    if (status == NsStatusOk && !CountedListText(list, std::min(size, bytes), bytes - 1, text)) {
        return std::string(label) + ": " + text;
    }
    if (status == NsStatusOk && name != nullptr && list[0] > 0) {
        text.clear();
        for (uint32_t i = 1; i <= list[0]; ++i) {
            text += (i > 1 ? ", " : "") + std::to_string(list[i]) + " (" + name(list[i]) + ")";
        }
    }
    return ItemLine(label, status, text);
}

void AddCalibration(NsDeviceHandle h, uint32_t s, std::vector<std::string>& lines) {
    for (const int32_t sensor : {1, 2}) {
        const std::string name = sensor == 1 ? "depth" : "colour";
        NsCameraParameters p{};
        const NsReturnStatus status = Ns2_GetCameraParameters(h, s, sensor, &p);
        lines.push_back(ItemLine(name + " intrinsics", status, IntrinsicsText(p)));
        lines.push_back(ItemLine(name + " distortion", status, DistortionText(p)));
    }
    NsCameraExtrinsicParameters e{};
    const NsReturnStatus status = Ns2_GetCameraExtrinsicParameters(h, s, &e);
    lines.push_back(ItemLine("extrinsic rotation", status, RotationText(e)));
    lines.push_back(ItemLine("extrinsic translation", status, TranslationText(e)));
}

void AddMeasuringRanges(NsDeviceHandle h, uint32_t s, NsReturnStatus streamStatus,
                        std::vector<std::string>& lines) {
    for (int32_t group = 0; group < 3; ++group) {
        NsMeasuringRange r{};
        const NsReturnStatus status =
            streamStatus != NsStatusOk ? streamStatus : Ns2_GetMeasuringRange(h, s, 3 * group, &r);
        for (unsigned position = 0; position < 3; ++position) {
            const std::string label =
                "measuring range of depth range " + std::to_string(3 * group + position);
            lines.push_back(ItemLine(label, status, MeasuringRangeText(r, position)));
        }
    }
}

}  // namespace

std::optional<std::vector<uint8_t>> ReadCameraList(NsDeviceHandle h, uint32_t s, uint32_t listId) {
    const uint32_t bytes =
        listId == NS_PROPERTY_DATA_MODE_LIST ? kDataModeListBytes : kDepthRangeListBytes;
    uint8_t list[kDataModeListBytes] = {};
    uint32_t size = bytes;
    if (Ns2_GetProperty(h, s, listId, list, &size) != NsStatusOk || size < 1 || size > bytes ||
        list[0] + 1u > size) {
        return std::nullopt;
    }
    return std::vector<uint8_t>(list + 1, list + 1 + list[0]);
}

std::string ListText(const std::vector<uint8_t>& entries) {
    std::string text;
    for (const uint8_t entry : entries) {
        text += (text.empty() ? "" : " ") + std::to_string(entry);
    }
    return text;
}

NsReturnStatus ReadSetting(NsDeviceHandle h, uint32_t s, Setting setting, uint32_t& value) {
    switch (setting) {
        case Setting::kDepthRange:
            return ReadAs<uint32_t>(value, 0,
                                    [&](uint32_t* v) { return Ns2_GetDepthRange(h, s, v); });
        case Setting::kDataMode:
            return ReadAs<uint8_t>(value, 0, [&](uint8_t* v) { return Ns2_GetDataMode(h, s, v); });
        case Setting::kThreshold:
            return ReadAs<uint16_t>(value, 0,
                                    [&](uint16_t* v) { return Ns2_GetThreshold(h, s, v); });
        case Setting::kPulseCount:
            return ReadAs<uint16_t>(value, 0,
                                    [&](uint16_t* v) { return Ns2_GetPulseCount(h, s, v); });
        case Setting::kRgbResolution:
            // The call leaves the code in place for a size that has none.
            return ReadAs<uint16_t>(value, kNoResolutionCode,
                                    [&](uint16_t* v) { return Ns2_GetRGBResolution(h, s, v); });
        case Setting::kFrameRate:
            return ReadAs<uint8_t>(value, 0,
                                   [&](uint8_t* v) { return Ns2_GetTofFrameRate(h, s, v); });
    }
    return NsStatusBadParameter;
}

NsReturnStatus WriteSetting(NsDeviceHandle h, uint32_t s, Setting setting, uint32_t value) {
    // The values were parsed within the range of each call's type.
    switch (setting) {
        case Setting::kDepthRange:
            return Ns2_SetDepthRange(h, s, value);
        case Setting::kDataMode:
            return Ns2_SetDataMode(h, s, static_cast<uint8_t>(value));
        case Setting::kThreshold:
            return Ns2_SetThreshold(h, s, static_cast<uint16_t>(value));
        case Setting::kPulseCount:
            return Ns2_SetPulseCount(h, s, static_cast<uint16_t>(value));
        case Setting::kRgbResolution:
            return Ns2_SetRGBResolution(h, s, value);
        case Setting::kFrameRate:
            return Ns2_SetTofFrameRate(h, s, static_cast<uint8_t>(value));
    }
    return NsStatusBadParameter;
}

NsReturnStatus ReadFilter(NsDeviceHandle h, uint32_t s, HostFilter filter, bool& on) {
    uint8_t value = 0;
    NsReturnStatus status = NsStatusBadParameter;
    switch (filter) {
        case HostFilter::kSmoothing:
            status = Ns2_GetSmoothingFilterEnabled(h, s, &value);
            break;
        case HostFilter::kSpatial:
            status = Ns2_GetSpatialFilterEnabled(h, s, &value);
            break;
        case HostFilter::kTime:
            status = Ns2_GetTimeFilterEnabled(h, s, &value);
            break;
        case HostFilter::kRealDepth:
            status = Ns2_GetComputeRealDepthCorrectionEnabled(h, s, &value);
            break;
    }
    on = value != 0;
    return status;
}

NsReturnStatus WriteFilter(NsDeviceHandle h, uint32_t s, HostFilter filter, bool on) {
    const uint8_t value = on ? 1 : 0;
    switch (filter) {
        case HostFilter::kSmoothing:
            return Ns2_SetSmoothingFilterEnabled(h, s, value);
        case HostFilter::kSpatial:
            return Ns2_SetSpatialFilterEnabled(h, s, value);
        case HostFilter::kTime:
            return Ns2_SetTimeFilterEnabled(h, s, value);
        case HostFilter::kRealDepth:
            return Ns2_SetComputeRealDepthCorrectionEnabled(h, s, value);
    }
    return NsStatusBadParameter;
}

std::string SettingLine(NsDeviceHandle h, uint32_t s, Setting setting, NsReturnStatus& status) {
    uint32_t value = 0;
    status = ReadSetting(h, s, setting, value);
    return ItemLine(InfoOf(setting).name, status, FormatSettingValue(setting, value));
}

std::vector<std::string> CameraInfoLines(NsDeviceHandle h, uint32_t s,
                                         NsReturnStatus streamStatus) {
    std::vector<std::string> lines;
    char version[8] = {};  // five characters, no terminator of their own
    lines.push_back(TextLine("SDK version", Ns2_GetSDKVersion(version), version, sizeof version));

    char text[kTextBytes] = {};
    lines.push_back(
        TextLine("serial number", Ns2_GetSerialNumber(h, s, text, sizeof text), text, sizeof text));
    std::fill(std::begin(text), std::end(text), '\0');
    lines.push_back(TextLine("firmware version",
                             Ns2_GetFirmwareVersionNumber(h, s, text, sizeof text), text,
                             sizeof text));
    lines.push_back(TextProperty(h, s, "hardware version", NS_PROPERTY_HARDWARE_VERSION));
    lines.push_back(TextProperty(h, s, "PCBA version", NS_PROPERTY_PCBA));

    AddCalibration(h, s, lines);
    AddMeasuringRanges(h, s, streamStatus, lines);
    lines.push_back(ListProperty(h, s, "data modes", NS_PROPERTY_DATA_MODE_LIST, kDataModeListBytes,
                                 DataModeName));
    lines.push_back(
        ListProperty(h, s, "depth ranges", NS_PROPERTY_DEPTH_RANGE_LIST, kDepthRangeListBytes));
    for (const SettingInfo& info : AllSettings()) {
        NsReturnStatus status = NsStatusOk;
        lines.push_back(SettingLine(h, s, info.setting, status));
    }
    return lines;
}

}  // namespace quorix::cli
