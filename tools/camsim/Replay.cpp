// Turning a recording's state into a simulated camera's state.
#include "camsim/Replay.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "sim/SimWire.h"

namespace quorix::camsim {
namespace {

// Decimal digits only, at most `max`.
bool ParseNumber(const std::string& text, uint64_t max, uint64_t& value) {
    if (text.empty() || text.size() > 12) {
        return false;
    }
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value <= max;
}

bool ParseHex(const std::string& text, uint8_t* out, size_t length) {
    if (text.size() != 2 * length) {
        return false;
    }
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    for (size_t i = 0; i < length; ++i) {
        const int hi = nibble(text[2 * i]);
        const int lo = nibble(text[2 * i + 1]);
        if (hi < 0 || lo < 0) {
            return false;
        }
        out[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return true;
}

// Space-separated numbers below 256, at most `max` of them.
bool ParseByteList(const std::string& text, size_t max, std::vector<uint8_t>& out) {
    std::istringstream in(text);
    std::string word;
    out.clear();
    while (in >> word) {
        uint64_t v = 0;
        if (!ParseNumber(word, 255, v) || out.size() == max) {
            return false;
        }
        out.push_back(static_cast<uint8_t>(v));
    }
    return true;
}

// Nine finite doubles.
bool ParseDoubles(const std::string& text, std::array<double, 9>& out) {
    const char* p = text.c_str();
    for (double& v : out) {
        char* end = nullptr;
        v = std::strtod(p, &end);
        if (end == p || !std::isfinite(v)) {
            return false;
        }
        p = end;
    }
    while (*p == ' ') {
        ++p;
    }
    return *p == '\0';
}

template <size_t N>
void CopyFirst(const std::array<double, 9>& from, std::array<double, N>& to) {
    std::copy(from.begin(), from.begin() + N, to.begin());
}

}  // namespace

bool ReplayIdentity(const record::RecordedState& state, sim::SimConfig& config, uint32_t& session,
                    std::string& error) {
    const std::string* type = state.Find("device-type");
    const std::string* serial = state.Find("serial");
    const std::string* sessions = state.Find("sessions");
    const std::string* index = state.Find("session");
    uint64_t t = 0, n = 0, i = 0;
    if (type == nullptr || !ParseNumber(*type, UINT32_MAX, t) ||
        sim::FindModel(static_cast<uint32_t>(t)) == nullptr) {
        error = "the recording names no network camera model this simulator can be";
        return false;
    }
    if (serial == nullptr || serial->empty() || serial->size() > sim::kMaxTextLength) {
        error = "the recording holds no serial number";
        return false;
    }
    if (sessions == nullptr || !ParseNumber(*sessions, sim::kMaxSessions, n) || n == 0 ||
        index == nullptr || !ParseNumber(*index, n - 1, i)) {
        error = "the recording's session index or count is missing or out of range";
        return false;
    }
    config.deviceType = static_cast<uint32_t>(t);
    config.serial = *serial;
    config.sessions = static_cast<uint32_t>(n);
    session = static_cast<uint32_t>(i);
    return true;
}

bool ApplySetting(const std::string& name, const std::string& value, uint32_t session,
                  sim::SimState& sim) {
    if (session >= sim.sensors.size()) {
        return false;
    }
    sim::SensorState& s = sim.sensors[session];
    uint64_t v = 0;
    if (name == "depth-range" && ParseNumber(value, 8, v)) {
        s.depthRange = static_cast<uint8_t>(v);
    } else if (name == "data-mode" && ParseNumber(value, 255, v)) {
        s.dataMode = static_cast<uint8_t>(v);
    } else if (name == "threshold" && ParseNumber(value, 6553, v)) {
        s.thresholdX10 = static_cast<uint16_t>(v * 10);  // the camera holds threshold × 10
    } else if (name == "pulse-count" && ParseNumber(value, 65535, v)) {
        s.pulseCounts[s.depthRange % 9] = static_cast<uint16_t>(v);
    } else if (name == "frame-rate" && ParseNumber(value, 120, v) && v > 0) {
        s.tofFrameRate = static_cast<uint8_t>(v);
    } else if (name == "rgb-resolution") {
        return true;  // the colour lens record holds the size itself
    } else {
        return false;
    }
    return true;
}

void ApplyRecordedState(const record::RecordedState& state, uint32_t session, sim::SimState& sim,
                        std::string& skipped) {
    auto skip = [&](const std::string& key) { skipped += (skipped.empty() ? "" : ", ") + key; };
    sim::SensorState& s = sim.sensors.at(session);
    const std::pair<const char*, std::string sim::SimState::*> texts[] = {
        {"serial", &sim::SimState::serial},
        {"firmware", &sim::SimState::firmwareVersion},
        {"hardware", &sim::SimState::hardwareVersion},
        {"pcba", &sim::SimState::pcba},
        {"mac", &sim::SimState::macAddress},
        {"software", &sim::SimState::softwareVersion},
        {"flash-type", &sim::SimState::flashType}};
    for (const auto& [key, field] : texts) {
        if (const std::string* v = state.Find(key)) {
            if (v->size() <= sim::kMaxTextLength) {
                sim.*field = *v;
            } else {
                skip(key);
            }
        }
    }
    // Data mode first: the pulse count belongs to the depth range, which comes before it.
    for (const char* key : {"data-mode", "depth-range", "threshold", "pulse-count", "frame-rate"}) {
        if (const std::string* v = state.Find(key);
            v != nullptr && !ApplySetting(key, *v, session, sim)) {
            skip(key);
        }
    }
    std::vector<uint8_t> list;
    if (const std::string* v = state.Find("data-modes")) {
        if (ParseByteList(*v, sim::kMaxDataModes, list)) {
            s.dataModeList = list;
        } else {
            skip("data-modes");
        }
    }
    if (const std::string* v = state.Find("depth-ranges")) {
        if (ParseByteList(*v, sim::kMaxDepthRanges, list)) {
            s.depthRangeList = list;
        } else {
            skip("depth-ranges");
        }
    }
    if (const std::string* v = state.Find("colour-lens")) {
        std::array<uint8_t, 8> lens{};
        if (ParseHex(*v, lens.data(), lens.size()) && lens[0] == 2) {
            s.lens[2] = lens;
        } else {
            skip("colour-lens");
        }
    }
    for (int group = 0; group < 3; ++group) {
        const std::string key = "measuring-range." + std::to_string(group);
        if (const std::string* v = state.Find(key)) {
            uint8_t record[19] = {};
            if (!ParseHex(*v, record, sizeof record) || record[0] != group) {
                skip(key);
                continue;
            }
            for (int i = 0; i < 9; ++i) {
                s.measuringRanges[group][i] = sim::GetU16(record + 1 + 2 * i);
            }
        }
    }
    for (int selector = 0; selector < 8; ++selector) {
        const std::string key = "camera-parameters." + std::to_string(selector);
        const std::string* v = state.Find(key);
        std::array<double, 9> values{};
        if (v == nullptr) {
            continue;
        }
        if (!ParseDoubles(*v, values)) {
            skip(key);
            continue;
        }
        switch (selector) {
            case 0:
                s.depthIntrinsic = values;
                break;
            case 1:
                CopyFirst(values, s.depthDistortion);
                break;
            case 2:
                s.colourIntrinsic = values;
                break;
            case 3:
                CopyFirst(values, s.colourDistortion);
                break;
            case 4:
                s.rotation = values;
                break;
            case 5:
                CopyFirst(values, s.translation);
                break;
            case 6:
                s.essential = values;
                break;
            default:
                s.fundamental = values;
                break;
        }
    }
}

}  // namespace quorix::camsim
