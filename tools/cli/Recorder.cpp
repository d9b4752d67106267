// What `record` reads of a camera through the C interface, and `info FILE`'s summary.
#include "cli/Recorder.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "cli/CameraQueries.h"
#include "cli/DeviceText.h"
#include "cli/Settings.h"

namespace quorix::cli {
namespace {

std::string Hex(const uint8_t* bytes, size_t length) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

void AddText(record::RecordedState& state, NsDeviceHandle h, uint32_t s, const char* key,
             uint32_t id) {
    char text[256] = {};
    uint32_t size = sizeof text - 1;
    if (Ns2_GetProperty(h, s, id, text, &size) != NsStatusOk) {
        return;
    }
    std::string value;
    for (uint32_t i = 0; i < size && i < sizeof text && text[i] != '\0'; ++i) {
        // A value stays on its line.
        value += (text[i] == '\n' || text[i] == '\r') ? ' ' : text[i];
    }
    state.Set(key, value);
}

void AddList(record::RecordedState& state, NsDeviceHandle h, uint32_t s, const char* key,
             uint32_t id) {
    if (const auto list = ReadCameraList(h, s, id)) {
        state.Set(key, ListText(*list));
    }
}

}  // namespace

std::vector<std::pair<std::string, std::string>> WatchedSettings(NsDeviceHandle handle,
                                                                 uint32_t session) {
    std::vector<std::pair<std::string, std::string>> values;
    for (const SettingInfo& info : AllSettings()) {
        uint32_t value = 0;
        if (ReadSetting(handle, session, info.setting, value) == NsStatusOk) {
            values.emplace_back(info.name, std::to_string(value));
        }
    }
    return values;
}

record::RecordedState CaptureState(NsDeviceHandle h, uint32_t s, const NsDeviceInfo& device) {
    record::RecordedState state;
    state.Set("uri", DeviceUri(device));
    state.Set("device-type", std::to_string(device.devicetype));
    state.Set("sessions", std::to_string(device.SessionCount));
    state.Set("session", std::to_string(s));
    AddText(state, h, s, "serial", NS_PROPERTY_SERIAL_NUMBER);
    AddText(state, h, s, "firmware", NS_PROPERTY_FIRMWARE_VERSION);
    AddText(state, h, s, "hardware", NS_PROPERTY_HARDWARE_VERSION);
    AddText(state, h, s, "pcba", NS_PROPERTY_PCBA);
    AddText(state, h, s, "mac", NS_PROPERTY_MAC_ADDRESS);
    AddText(state, h, s, "software", NS_PROPERTY_SOFTWARE_VERSION);
    AddText(state, h, s, "flash-type", NS_PROPERTY_FLASH_TYPE);
    for (const auto& [name, value] : WatchedSettings(h, s)) {
        state.Set(name, value);
    }
    AddList(state, h, s, "data-modes", NS_PROPERTY_DATA_MODE_LIST);
    AddList(state, h, s, "depth-ranges", NS_PROPERTY_DEPTH_RANGE_LIST);
    uint8_t lens[8] = {2};
    uint32_t size = sizeof lens;
    if (Ns2_GetProperty(h, s, NS_PROPERTY_LENS, lens, &size) == NsStatusOk && size == 8) {
        state.Set("colour-lens", Hex(lens, sizeof lens));
    }
    for (uint8_t group = 0; group < 3; ++group) {
        NsMeasuringRange range{};
        range.depthMode = group;
        size = sizeof range;
        if (Ns2_GetProperty(h, s, NS_PROPERTY_MEASURING_RANGE, &range, &size) == NsStatusOk &&
            size == sizeof range) {
            state.Set("measuring-range." + std::to_string(group),
                      Hex(reinterpret_cast<const uint8_t*>(&range), sizeof range));
        }
    }
    // The eight calibration records: intrinsics and distortion of depth and colour,
    // rotation, translation, essential and fundamental matrices.
    for (uint32_t selector = 0; selector < 8; ++selector) {
        uint8_t record[76] = {};
        std::memcpy(record, &selector, sizeof selector);
        size = sizeof record;
        if (Ns2_GetProperty(h, s, NS_PROPERTY_CAMERA_PARAMETERS, record, &size) != NsStatusOk ||
            size != sizeof record) {
            continue;
        }
        std::string text;
        for (int i = 0; i < 9; ++i) {
            double v = 0;
            std::memcpy(&v, record + 4 + 8 * i, sizeof v);
            char number[32];
            std::snprintf(number, sizeof number, "%.17g", v);
            text += (i > 0 ? " " : "") + std::string(number);
        }
        state.Set("camera-parameters." + std::to_string(selector), text);
    }
    return state;
}

NsReturnStatus SetTap(NsDeviceHandle handle, uint32_t session, record::RecordingWriter* writer) {
    NsDataTap tap{};
    if (writer != nullptr) {
        tap.callback = [](void* context, const uint8_t* header, uint32_t headerLength,
                          const uint8_t* payload, uint32_t payloadLength) {
            static_cast<record::RecordingWriter*>(context)->AddFrame(header, headerLength, payload,
                                                                     payloadLength);
        };
        tap.context = writer;
    }
    return Ns2_SetProperty(handle, session, NS_PROPERTY_DATA_TAP, &tap, sizeof tap);
}

std::vector<std::string> RecordingSummary(const record::RecordingReader& reader) {
    std::vector<std::string> lines;
    const record::RecordedState& state = reader.State();
    auto item = [&](const char* label, const char* key) {
        const std::string* value = state.Find(key);
        lines.push_back(std::string(label) + ": " + (value != nullptr ? *value : "not recorded"));
    };
    lines.push_back("format: Quorix recording version " + std::to_string(record::kVersion));
    item("camera", "uri");
    item("session", "session");
    item("serial number", "serial");
    item("firmware", "firmware");
    item("started", "started");
    for (const SettingInfo& info : AllSettings()) {
        const std::string* value = state.Find(info.name);
        uint32_t number = 0;
        if (value != nullptr && ParseUnsigned(*value, 0, UINT32_MAX, number)) {
            lines.push_back(std::string(info.name) + ": " +
                            FormatSettingValue(info.setting, number));
        } else {
            item(info.name, info.name);
        }
    }
    const auto& frames = reader.Frames();
    uint64_t bytes = 0;
    for (const auto& f : frames) {
        bytes += f.length;
    }
    const double seconds =
        frames.size() > 1 ? static_cast<double>(frames.back().timeNs - frames.front().timeNs) / 1e9
                          : 0.0;
    char text[160];
    std::snprintf(text, sizeof text, "data frames: %zu, %.1f MB, %.2f s", frames.size(),
                  static_cast<double>(bytes) / 1e6, seconds);
    lines.emplace_back(text);
    if (frames.size() > 1 && seconds > 0) {
        std::snprintf(text, sizeof text, "frame rate: %.1f fps",
                      static_cast<double>(frames.size() - 1) / seconds);
        lines.emplace_back(text);
    }
    lines.push_back("setting changes: " + std::to_string(reader.Changes().size()));
    for (const auto& change : reader.Changes()) {
        std::snprintf(text, sizeof text, "  at %.3f s: %s = %s",
                      static_cast<double>(change.timeNs) / 1e9, change.name.c_str(),
                      change.value.c_str());
        lines.emplace_back(text);
    }
    if (const record::EndSummary* end = reader.End()) {
        lines.push_back("ended cleanly; frames dropped while recording: " +
                        std::to_string(end->dropped));
    } else if (reader.Truncated()) {
        lines.push_back("cut at byte " + std::to_string(reader.TruncatedAt()) +
                        " (the recording did not end cleanly): whole chunks before it are used");
    } else {
        lines.emplace_back("no end chunk: the recording did not end cleanly");
    }
    return lines;
}

}  // namespace quorix::cli
