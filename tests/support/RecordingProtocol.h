// A camera command protocol for session and interface tests: it writes every command it
// receives as one text line ("SetThreshold 20") into a shared script, answers gets from
// the script's values, fails the operations the script names, and streams the buffers the
// script queues (status blocks, frames) to the session's reader.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "protocol/BaseProtocol.h"
#include "protocol/DeviceStatus.h"

namespace quorix::test {

using Buffer = std::vector<uint8_t>;

// A 0x2C sub-packet carrying `status` (3-byte header).
inline Buffer StatusBlock(const DeviceStatus& status) {
    const Buffer body = EncodeDeviceStatus(status);
    Buffer out{0x2C, static_cast<uint8_t>(body.size()), 0};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

struct CameraScript {
    std::mutex lock;
    std::vector<std::string> calls;
    std::map<std::string, int32_t> failures;  // operation name -> its result
    std::atomic<bool> streaming{false};
    Buffer repeated;  // sent on every read while streaming

    // What the gets answer.
    uint16_t thresholdX10 = 200;
    uint8_t dataMode = 0;
    uint32_t depthRange = 0;
    WDROutputMode wdr{2, 0, 1, 2, 1, 0, 0};
    uint16_t pulseCount = 700;
    GmmBlock gmm{};
    LensRecord lens{2, 1, 640, 360, 30, 2};
    std::string firmware = "20240101_V1";
    Matrix3 depthK{520, 0, 320, 0, 520, 240, 0, 0, 1};
    Matrix3 colourK{1500, 0, 960, 0, 1500, 540, 0, 0, 1};
    Distortion distortion{0.1, -0.2, 0.01, 0.02, 0.3, 0, 0, 0};
    Matrix3 rotation{1, 0.001, 0, 0.001, 1, 0, 0, 0, 1};
    Vector3 translation{25, 0.5, 0.25};
    std::array<uint8_t, 33> modes{6, 0, 1, 2, 11, 12, 13};
    std::array<uint8_t, 10> ranges{9, 0, 1, 2, 3, 4, 5, 6, 7, 8};
    bool answersLists = true;
    uint8_t dspValue = 0;

    std::vector<std::string> Calls() {
        std::lock_guard guard(lock);
        return calls;
    }
    // The calls whose text starts with `prefix`.
    std::vector<std::string> CallsOf(const std::string& prefix) {
        std::vector<std::string> out;
        for (const std::string& c : Calls()) {
            if (c.compare(0, prefix.size(), prefix) == 0) {
                out.push_back(c);
            }
        }
        return out;
    }
    void ClearCalls() {
        std::lock_guard guard(lock);
        calls.clear();
    }
    void Fail(const std::string& operation, int32_t result) {
        std::lock_guard guard(lock);
        failures[operation] = result;
    }
    void Repeat(Buffer buffer) {
        std::lock_guard guard(lock);
        repeated = std::move(buffer);
    }
};

class RecordingProtocol final : public BaseProtocol {
public:
    explicit RecordingProtocol(CameraScript& script) : m_script(script) {}

    int32_t OpenDevice() override { return Note("OpenDevice"); }
    int32_t CloseDevice() override { return Note("CloseDevice"); }
    int32_t StartStream() override {
        m_script.streaming = true;
        return Note("StartStream");
    }
    int32_t StopStream() override {
        m_script.streaming = false;
        return Note("StopStream");
    }
    int32_t IsSupportJSONConfig() override { return -1; }
    int32_t SetConnectStatus(bool) override { return 0; }
    int32_t ReadData(uint8_t* buffer, uint32_t& length) override {
        const uint32_t capacity = length;
        length = 0;
        std::lock_guard guard(m_script.lock);
        if (!m_script.streaming || m_script.repeated.empty()) {
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (m_script.repeated.size() <= capacity) {
            memcpy(buffer, m_script.repeated.data(), m_script.repeated.size());
            length = static_cast<uint32_t>(m_script.repeated.size());
        }
        return 0;
    }

    // --- settings -----------------------------------------------------------------------------
    int32_t SetThreshold(uint16_t v) override { return Note("SetThreshold", v); }
    int32_t GetThreshold(uint16_t& v) override {
        v = m_script.thresholdX10;
        return Note("GetThreshold");
    }
    int32_t SetConfidenceBit(uint8_t v) override { return Note("SetConfidenceBit", v); }
    int32_t GetConfidenceBit(uint8_t& v) override {
        v = 3;
        return Note("GetConfidenceBit");
    }
    int32_t SetTofFrameRate(uint8_t v) override { return Note("SetTofFrameRate", v); }
    int32_t SetSlaveModeEnabled(bool v) override { return Note("SetSlaveModeEnabled", v); }
    int32_t SetAntiInterferenceEnabled(bool v) override {
        return Note("SetAntiInterferenceEnabled", v);
    }
    int32_t SetWDRMode(const WDROutputMode& m) override {
        return Note("SetWDRMode", +m.totalRange, +m.range1, +m.range2, +m.range3);
    }
    int32_t GetWDRMode(WDROutputMode& m) override {
        m = m_script.wdr;
        return Note("GetWDRMode");
    }
    int32_t SetMeasuringStatus(uint8_t item, uint8_t on) override {
        return Note("SetMeasuringStatus", item, on);
    }
    int32_t GetMeasuringStatus(std::array<bool, 10>& status) override {
        status = {true, false, true};
        return Note("GetMeasuringStatus");
    }
    int32_t SetIRS2Enable(uint16_t v) override { return Note("SetIRS2Enable", v); }
    int32_t SetGMMGain(const NsGMMGain& g) override { return Note("SetGMMGain", +g.gain, +g.option); }
    int32_t SetGMM(const Vector3& g) override { return Note("SetGMM", g[0], g[1], g[2]); }
    int32_t GetGMM(GmmBlock& g) override {
        g = m_script.gmm;
        return Note("GetGMM");
    }
    int32_t SetMeasuringRange(const NsMeasuringRange& r) override {
        return Note("SetMeasuringRange", +r.depthMode, +r.effectDepthMaxNear);
    }
    int32_t GetMeasuringRange(NsMeasuringRange& r) override {
        const uint8_t group = r.depthMode;
        r = NsMeasuringRange{group, 1848, 3175, 5075, 1450, 3000, 4400, 1, 1, 1};
        if (group == 2) {
            r.effectDepthMaxNear = r.effectDepthMaxMid = r.effectDepthMaxFar = 0;
        }
        return Note("GetMeasuringRange", group);
    }
    int32_t SetDataMode(uint8_t m) override { return Note("SetDataMode", m); }
    int32_t GetDataMode(uint8_t& m) override {
        m = m_script.dataMode;
        return Note("GetDataMode");
    }
    int32_t SetDepthRange(uint32_t r) override { return Note("SetDepthRange", r); }
    int32_t GetDepthRange(uint32_t& r) override {
        r = m_script.depthRange;
        return Note("GetDepthRange");
    }
    int32_t SetPulseCount(const PulseCountRecord& r) override {
        return Note("SetPulseCount", +r.pulseCount, +r.group, +r.index, +r.reserved);
    }
    int32_t GetPulseCount(PulseCountBlock& block) override {
        block = {};
        block[0] = static_cast<uint8_t>(m_script.pulseCount);
        block[1] = static_cast<uint8_t>(m_script.pulseCount >> 8);
        block[19] = 0x5A;
        return Note("GetPulseCount");
    }
    int32_t SetLDEnable(uint16_t v) override { return Note("SetLDEnable", v); }
    int32_t GetLDEnable(uint16_t& v) override {
        v = 0x0102;
        return Note("GetLDEnable");
    }
    int32_t SetISAEnable(uint8_t v) override { return Note("SetISAEnable", v); }
    int32_t SetHTP(const HtpBlock& b) override { return Note("SetHTP", b[0], b[36]); }
    int32_t GetHTP(HtpBlock& b) override {
        b.fill(0x37);
        return Note("GetHTP");
    }
    int32_t SetOffSet(const OffsetRecord& r) override { return Note("SetOffSet", r[0], r[99]); }
    int32_t GetOffSet(OffsetRecord& r) override {
        const uint8_t a = r[0];
        const uint8_t b = r[1];
        r.fill(0x0F);
        r[0] = a;
        r[1] = b;
        return Note("GetOffSet", a, b);
    }
    int32_t SetCameraIntrinsic(uint8_t lens, const Matrix3& m) override {
        return Note("SetCameraIntrinsic", lens, m[0]);
    }
    int32_t GetCameraIntrinsic(uint8_t lens, Matrix3& m) override {
        m = lens == 1 ? m_script.depthK : m_script.colourK;
        return Note("GetCameraIntrinsic", lens);
    }
    int32_t GetCameraDistortion(uint8_t lens, Distortion& d) override {
        d = m_script.distortion;
        return Note("GetCameraDistortion", lens);
    }
    int32_t SetCameraRotation(const Matrix3& m) override { return Note("SetCameraRotation", m[0]); }
    int32_t GetCameraRotation(Matrix3& m) override {
        m = m_script.rotation;
        return Note("GetCameraRotation");
    }
    int32_t GetCameraTransfer(Vector3& v) override {
        v = m_script.translation;
        return Note("GetCameraTransfer");
    }
    int32_t GetCameraF(Matrix3& m) override {
        m.fill(7.5);
        return Note("GetCameraF");
    }
    int32_t SetLowPowerModeEnabled(bool v) override { return Note("SetLowPowerModeEnabled", v); }
    int32_t SetWorkMode(const WorkModeRecord& m) override { return Note("SetWorkMode", m.mode); }
    int32_t GetWorkMode(WorkModeRecord& m) override {
        m = WorkModeRecord{0x20, 0, {1, 0, 1}};
        return Note("GetWorkMode");
    }
    int32_t SetSN(const char* text, uint32_t length) override {
        return Note("SetSN", std::string(text, length));
    }
    int32_t GetSN(char* text, uint32_t capacity) override {
        return Text(text, capacity, "SN-RECORD", "GetSN");
    }
    int32_t GetFWVer(char* text, uint32_t capacity) override {
        return Text(text, capacity, m_script.firmware, "GetFWVer");
    }
    int32_t SetACCSensitivity(const ImuSensitivity& v) override {
        return Note("SetACCSensitivity", v[0]);
    }
    int32_t SetGyroOffsetTemp(const ImuOffsetTemp& v) override {
        return Note("SetGyroOffsetTemp", v[0]);
    }
    int32_t SetImuDataMode(int32_t m) override { return Note("SetImuDataMode", m); }
    int32_t SetLens(const LensRecord& l) override {
        m_script.lens = l;
        return Note("SetLens", l.sensor, l.width, l.height, l.fps);
    }
    int32_t GetLens(LensRecord& l) override {
        l = m_script.lens;
        return Note("GetLens");
    }
    int32_t GetPlaneCorrectionParam(uint16_t&, void*, uint32_t, uint32_t&) override { return -1; }
    int32_t SetRgbExplosureTimeAndGain(float e, float g) override {
        return Note("SetRgbExplosureTimeAndGain", e, g);
    }
    int32_t SetRgbAecEnabled(bool v) override { return Note("SetRgbAecEnabled", v); }
    int32_t SetProperty(uint32_t id, const void* data, uint32_t length) override {
        if (id == property::kDspStatus && length >= sizeof(DspStatusRecord)) {
            m_script.dspValue = static_cast<const uint8_t*>(data)[5];
        }
        return Note("SetProperty", Hex(id), length);
    }
    int32_t GetProperty(uint32_t id, void* data, uint32_t& length) override {
        const int32_t failed = Note("GetProperty", Hex(id));
        auto give = [&](const auto& bytes) {
            if (length < bytes.size()) {
                return -15;
            }
            memcpy(data, bytes.data(), bytes.size());
            length = static_cast<uint32_t>(bytes.size());
            return failed;
        };
        switch (id) {
            case property::kRangeOffset: {
                RangeOffsetRecord record{};
                record[0] = static_cast<uint8_t*>(data)[0];
                return give(record);
            }
            case property::kOutModeList:
                return m_script.answersLists ? give(m_script.modes) : -255;
            case property::kDepthRangeList:
                return m_script.answersLists ? give(m_script.ranges) : -255;
            case property::kDspStatus: {
                std::array<uint8_t, sizeof(DspStatusRecord)> record{};
                record[5] = m_script.dspValue;
                return give(record);
            }
            case property::kWDRSetting:
                return give(std::array<uint8_t, 7>{1, 2, 3, 4, 5, 6, 7});
            default:
                return failed;
        }
    }
    int32_t SetWDRThreshold(const void* record, uint32_t length) override {
        return NoteRecord("SetWDRThreshold", record, length);
    }
    int32_t SetWDRGMMGain(const void* record, uint32_t length) override {
        return NoteRecord("SetWDRGMMGain", record, length);
    }
    int32_t SetSlaveTrigger() override { return Note("SetSlaveTrigger"); }

    static std::string Hex(uint32_t id) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08X", id);
        return text;
    }

private:
    // Numbers as numbers (bytes too), texts as they are.
    template <typename T>
    static auto Show(const T& value) {
        if constexpr (std::is_arithmetic_v<T>) {
            return +value;
        } else {
            return value;
        }
    }
    template <typename... Args>
    int32_t Note(const char* name, const Args&... args) {
        std::ostringstream line;
        line << name;
        ((line << ' ' << Show(args)), ...);
        std::lock_guard guard(m_script.lock);
        m_script.calls.push_back(line.str());
        const auto failure = m_script.failures.find(name);
        return failure == m_script.failures.end() ? 0 : failure->second;
    }
    int32_t NoteRecord(const char* name, const void* data, uint32_t length) {
        PulseCountRecord r{};
        memcpy(static_cast<void*>(&r), data, std::min<uint32_t>(length, sizeof r));
        return Note(name, r.pulseCount, r.group, r.index, r.reserved);
    }
    int32_t Text(char* text, uint32_t capacity, const std::string& value, const char* name) {
        if (capacity > 0) {
            std::snprintf(text, capacity, "%s", value.c_str());
        }
        return Note(name);
    }

    CameraScript& m_script;
};

}  // namespace quorix::test
