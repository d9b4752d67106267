// Session settings with rules of their own: frame modes, the confirmed setters (sent, then
// awaited in the camera's status echo), the getters that keep the cache in step, the
// camera's data-mode and depth-range lists, the computed measuring range and the
// per-stream switches.
#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <thread>

#include "base/Status.h"
#include "log/Log.h"
#include "model/DataModes.h"
#include "protocol/BaseProtocol.h"
#include "session/BaseSession.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;

}  // namespace

bool BaseSession::ConfirmationActive() const {
    return m_echo.Synchronised() && m_imageProc.IsStreaming() && !m_closing.load();
}

// --- frame modes ----------------------------------------------------------------------------

int32_t BaseSession::SetFrameMode(uint8_t dataMode) {
    // Orientation codes 0 and 2 (the final field of the session record) are upright sensors.
    const bool upright = m_sessionInfo.finalField == 0 || m_sessionInfo.finalField == 2;
    auto mode = [upright](uint32_t w, uint32_t h, uint32_t fps) {
        return upright ? TofFrameMode{h, w, fps} : TofFrameMode{w, h, fps};
    };
    const std::optional<DataModeFrames> row = FramesOfDataMode(dataMode);
    if (!row) {
        QLOG_WARN("dataMode:%d is invalid.\n", dataMode);
        return kStatusFailed;
    }
    const bool depth = row->depth;
    const bool ir = row->ir;
    const TofFrameMode m = mode(row->width, row->height, row->fps);
    std::lock_guard guard(m_cacheLock);
    if (depth) {
        m_cache.depthMode = m;
    }
    if (ir) {
        m_cache.irMode = m;
    }
    return 0;
}

int32_t BaseSession::GetFrameMode(uint32_t frameType, uint32_t* width, uint32_t* height,
                                  uint32_t* fps) {
    if (width == nullptr || height == nullptr || fps == nullptr) {
        return kStatusNullPointer;
    }
    TofFrameMode m{};
    {
        std::lock_guard guard(m_cacheLock);
        switch (frameType) {
            case DepthFrame:
                m = m_cache.depthMode;
                break;
            case IRFrame:
                m = m_cache.irMode;
                break;
            case RGBFrame:
                m = m_cache.rgbMode;
                break;
            default:
                QLOG_WARN("frameType:%d is invalid.\n", static_cast<int>(frameType));
                return 0;
        }
    }
    const int32_t rotation = m_imageRotation.load();
    const bool swapped = rotation == 0 || rotation == 2;
    *width = swapped ? m.height : m.width;
    *height = swapped ? m.width : m.height;
    *fps = m.fps;
    return 0;
}

// --- confirmed setters ----------------------------------------------------------------------

void BaseSession::ResetPipeline() {
    m_imageProc.Tof().SetModeChangePending(true);
    m_imageProc.Rgb().SetModeChangePending(true);
    m_imageProc.Synchroniser().RequestReset();
}

int32_t BaseSession::SetDepthRange(uint32_t range) {
    if (range > kMaxDepthRange) {
        // Outside every camera's ranges: refused even before the camera's list is known.
        QLOG_WARN("invalid depth range %d\n", static_cast<int>(range));
        return kStatusBadDepthRange;
    }
    if (IsWdrMode(m_dataMode.load())) {
        QLOG("MultiRange mode reject change depth range\n");
        return 1;
    }
    if (!IsDepthRangeInList(range)) {
        QLOG_WARN("invalid depth range %d\n", static_cast<int>(range));
        return kStatusBadDepthRange;
    }
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    DeviceStatus last;
    const int32_t ret =
        SendConfirmed([&] { return m_protocol->SetDepthRange(range); }, 100, 10ms,
                      [range](const DeviceStatus& s) { return s.depthRange == range; }, last);
    if (ret == 0) {
        m_depthRange = range;
        m_imageProc.Tof().SetDepthRange(range);
        return 0;
    }
    QLOG("set range %d   receive depthrange %d \n\n", static_cast<int>(range), last.depthRange);
    QLOG_ERROR("is failed.\n");
    return ret;
}

int32_t BaseSession::SetThreshold(uint16_t threshold) {
    if (IsWdrMode(m_dataMode.load())) {
        QLOG("wdr mode can not SetThreshold \n");
        return kStatusNotSupported;
    }
    // The camera holds the threshold x 10 in 16 bits: a larger one would wrap there and
    // never be confirmed.
    constexpr uint16_t kMaxThreshold = UINT16_MAX / 10;
    if (threshold > kMaxThreshold) {
        QLOG_WARN("threshold:%u is invalid.\n", static_cast<unsigned>(threshold));
        return kStatusBadParameter;
    }
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    const uint32_t wanted = uint32_t{threshold} * 10;
    DeviceStatus last;
    const int32_t ret =
        SendConfirmed([&] { return m_protocol->SetThreshold(threshold); }, 50, 10ms,
                      [wanted](const DeviceStatus& s) { return s.thresholdX10 == wanted; }, last);
    if (ret == 0) {
        m_threshold = threshold;
        return 0;
    }
    QLOG("set Threshold %d   receive Threshold %d \n\n", static_cast<int>(wanted),
         last.thresholdX10);
    return ret;
}

int32_t BaseSession::SetSlaveModeEnabled(bool enabled) {
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    const uint8_t wanted = enabled ? 1 : 0;
    DeviceStatus last;
    const int32_t ret =
        SendConfirmed([&] { return m_protocol->SetSlaveModeEnabled(enabled); }, 20, 100ms,
                      [wanted](const DeviceStatus& s) { return s.slaveMode == wanted; }, last);
    if (ret == 0) {
        ResetPipeline();
        return 0;
    }
    QLOG_ERROR("is failed.\n");
    return ret;
}

int32_t BaseSession::SetWDROutputMode(const WDROutputMode& mode) {
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    // A mode the fusion cannot use is refused before the camera is switched to it.
    WDROutputMode sorted = mode;
    if (const int32_t refused = m_imageProc.Tof().CheckWDRMode(sorted); refused != 0) {
        return refused;
    }
    // The echo carries the low byte of each field. With two ranges the third range and its
    // count mean nothing (the camera is sent zeros), so they are not compared.
    const uint8_t wanted[7] = {static_cast<uint8_t>(mode.totalRange),
                               static_cast<uint8_t>(mode.range1),
                               mode.range1Count,
                               static_cast<uint8_t>(mode.range2),
                               mode.range2Count,
                               static_cast<uint8_t>(mode.range3),
                               mode.range3Count};
    const size_t compared = mode.totalRange == 2 ? 5 : 7;
    DeviceStatus last;
    const int32_t ret = SendConfirmed(
        [&] { return m_protocol->SetWDRMode(mode); }, 100, 10ms,
        [&](const DeviceStatus& s) { return memcmp(s.wdr, wanted, compared) == 0; }, last);
    if (ret != 0) {
        QLOG_ERROR("is failed.\n");
        return ret;
    }
    m_imageProc.Tof().SetWDRMode(sorted);
    {
        std::lock_guard guard(m_cacheLock);
        m_cache.wdr = sorted;
    }
    return 0;
}

int32_t BaseSession::SetIRS2Enable(uint16_t value) {
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    const uint8_t wanted = static_cast<uint8_t>(value & 0xFF);
    DeviceStatus last;
    const int32_t ret =
        SendConfirmed([&] { return m_protocol->SetIRS2Enable(value); }, 50, 10ms,
                      [wanted](const DeviceStatus& s) { return s.irs2 == wanted; }, last);
    if (ret != 0) {
        QLOG_ERROR("is failed.\n");
        QLOG("receive m_IRS2Enable %d\n", last.irs2);
    }
    return ret;
}

int32_t BaseSession::SetGMMGain(const NsGMMGain& gain) {
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    const uint16_t wanted = gain.gain;
    DeviceStatus last;
    const int32_t ret =
        SendConfirmed([&] { return m_protocol->SetGMMGain(gain); }, 50, 10ms,
                      [wanted](const DeviceStatus& s) { return s.gmmGain == wanted; }, last);
    if (ret != 0) {
        QLOG_ERROR("is failed.\n");
        QLOG("receive m_GmmGain %d\n", last.gmmGain);
    }
    return ret;
}

int32_t BaseSession::SetPulseCount(uint16_t pulseCount) {
    if (IsWdrMode(m_dataMode.load())) {
        QLOG("wdr mode can not SetPulseCount \n");
        return kStatusNotSupported;
    }
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    const uint32_t range = m_depthRange.load();
    PulseCountRecord record{};
    record.pulseCount = pulseCount;
    record.group = static_cast<uint8_t>(range >= 3 && range <= 8 ? range / 3 : 0);
    record.index = static_cast<uint8_t>(range >= 3 && range <= 8 ? range % 3 : range);
    DeviceStatus last;
    const int32_t ret = SendConfirmed(
        [&] { return m_protocol->SetPulseCount(record); }, 50, 10ms,
        [pulseCount](const DeviceStatus& s) { return s.pulseCount == pulseCount; }, last);
    if (ret == 0) {
        m_pulseCount = pulseCount;
        m_pulseCountKnown = true;
        return 0;
    }
    QLOG("set PulseCount %d   receive PulseCount %d \n\n", pulseCount, last.pulseCount);
    QLOG_ERROR("is failed.\n");
    return ret;
}

bool BaseSession::IsOutsideWdrRanges(const PulseCountRecord& record) const {
    if (!IsWdrMode(m_dataMode.load())) {
        return false;
    }
    WDROutputMode wdr;
    {
        std::lock_guard guard(m_cacheLock);
        wdr = m_cache.wdr;
    }
    const uint32_t range = 3u * record.group + record.index;
    return wdr.totalRange == 3 && range != wdr.range1 && range != wdr.range2 && range != wdr.range3;
}

int32_t BaseSession::SendRangeRecord(const PulseCountRecord& record,
                                     const std::function<int32_t()>& send,
                                     uint16_t DeviceStatus::*echo, const char* what) {
    DeviceStatus last;
    const uint16_t wanted = record.pulseCount;
    const int32_t ret = SendConfirmed(
        send, 50, 10ms, [&](const DeviceStatus& s) { return s.*echo == wanted; }, last);
    if (ret != 0) {
        QLOG("set %s %d   receive %s %d \n\n", what, wanted, what, last.*echo);
        QLOG_ERROR("is failed.\n");
    }
    return ret;
}

int32_t BaseSession::SetPulseCountConfig(const PulseCountRecord& record) {
    if (IsOutsideWdrRanges(record)) {
        QLOG_WARN("Cannot set pulsecount outside of wdr mode\n");
        return kStatusNotSupported;
    }
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    return SendRangeRecord(
        record, [&] { return m_protocol->SetPulseCount(record); }, &DeviceStatus::pulseCount,
        "PulseCount");
}

int32_t BaseSession::SetWDRThreshold(const PulseCountRecord& record) {
    if (IsOutsideWdrRanges(record) || !m_protocol) {
        return kStatusNotSupported;
    }
    return SendRangeRecord(
        record, [&] { return m_protocol->SetWDRThreshold(&record, sizeof record); },
        &DeviceStatus::thresholdX10, "threshold");
}

int32_t BaseSession::SetWDRGMMGain(const PulseCountRecord& record) {
    if (IsOutsideWdrRanges(record) || !m_protocol) {
        return kStatusNotSupported;
    }
    return SendRangeRecord(
        record, [&] { return m_protocol->SetWDRGMMGain(&record, sizeof record); },
        &DeviceStatus::gmmGain, "gmmgain");
}

int32_t BaseSession::SetLowPowerModeEnabled(bool enabled) {
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    DeviceStatus last;
    // Only entering low power shows in the echo; leaving it is taken as done.
    const int32_t ret =
        SendConfirmed([&] { return m_protocol->SetLowPowerModeEnabled(enabled); }, 30, 100ms,
                      [enabled](const DeviceStatus& s) {
                          return !enabled || (s.statusFlags & DeviceStatus::kLowPowerBit) != 0;
                      },
                      last);
    if (ret != 0) {
        QLOG_ERROR("is failed.\n");
        return ret;
    }
    m_imageProc.Synchroniser().SetActive(!enabled);
    return 0;
}

int32_t BaseSession::SetWorkMode(const WorkModeRecord& mode) {
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    constexpr uint8_t kUnawaitedMode = 16;
    constexpr uint8_t kIgnoredFlag = 1u << 2;
    const uint8_t wanted = mode.mode;
    DeviceStatus last;
    const int32_t ret = SendConfirmed([&] { return m_protocol->SetWorkMode(mode); }, 20, 100ms,
                                      [wanted](const DeviceStatus& s) {
                                          return wanted == kUnawaitedMode ||
                                                 (s.statusFlags & ~kIgnoredFlag) == wanted;
                                      },
                                      last);
    if (ret != 0) {
        QLOG("%d != %d:\n", wanted, last.statusFlags & ~kIgnoredFlag);
        QLOG_ERROR("is failed.\n");
    }
    return ret;
}

int32_t BaseSession::SetDataMode(uint8_t mode) {
    if (!IsDataModeInList(mode)) {
        QLOG_WARN("invalid data mode %d\n", mode);
        return 1;
    }
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    if (m_dataMode.load() == 100 && m_pulseCountKnown.load()) {
        GetPulseCount();
        m_pulseCountKnown = false;
    }
    if (!IsWdrMode(mode)) {
        std::lock_guard guard(m_cacheLock);
        m_cache.wdr = WDROutputMode{};
    } else {
        std::lock_guard guard(m_cacheLock);
        if (m_cache.wdr.totalRange == 0 || m_cache.wdr.range1Count == 0 ||
            m_cache.wdr.range2Count == 0) {
            QLOG("data mode %d, need set wdrmode first\n", mode);
            return 1;
        }
    }
    const bool subMode = mode >= 100 && mode <= 102;
    const uint32_t polls = m_model.briefDataModeEcho ? 25 : 300;
    DeviceStatus last;
    const int32_t ret =
        SendConfirmed([&] { return m_protocol->SetDataMode(mode); }, polls, 20ms,
                      [mode, subMode](const DeviceStatus& s) {
                          return subMode ? s.subMode == mode - 99 : s.dataMode == mode;
                      },
                      last);
    if (ret != 0) {
        QLOG_ERROR("is failed.\n");
        QLOG("receive datamode %d\n", subMode ? last.subMode : last.dataMode);
        return ret;
    }
    ResetPipeline();
    m_dataMode = mode;
    if (mode == 100 || mode == 101) {
        m_imageProc.SetStreamSwitches(IsStreaming());
        {
            std::lock_guard guard(m_cacheLock);
            m_cache.rgbMode.width = 640;
            m_cache.rgbMode.height = 480;
        }
        m_imageProc.SetDataMode(mode);  // gives RgbDecode the 640 x 480 mode
        const bool on = mode == 100;
        SetDepthFrameEnabled(on);
        SetDepthFrameEnabled(on);
        SetIrFrameEnabled(on);
    } else if (mode == 102) {
        SetDepthFrameEnabled(false);
        SetDepthFrameEnabled(false);
        SetIrFrameEnabled(false);
        SetFrameMode(mode);
        m_imageProc.SetDataMode(mode);
    } else {
        SetFrameMode(mode);
        m_imageProc.SetDataMode(mode);
    }
    return 0;
}

// --- getters that keep the cache in step ----------------------------------------------------

int32_t BaseSession::GetDataMode(uint8_t& mode) {
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    const int32_t ret = m_protocol->GetDataMode(mode);
    if (ret == 0) {
        SetFrameMode(mode);
        m_dataMode = mode;
        m_imageProc.SetDataMode(mode);
    }
    return ret;
}

int32_t BaseSession::GetDepthRange(uint32_t& range) {
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    const int32_t ret = m_protocol->GetDepthRange(range);
    if (ret == 0) {
        m_depthRange = range;
        m_imageProc.Tof().SetDepthRange(range);
    }
    return ret;
}

int32_t BaseSession::GetWDROutputMode(WDROutputMode& mode) {
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    const int32_t ret = m_protocol->GetWDRMode(mode);
    if (ret == 0) {
        // Kept like a pushed block's: the WDR properties address the camera's ranges.
        {
            std::lock_guard guard(m_cacheLock);
            m_cache.wdr = mode;
        }
        WDROutputMode sorted = mode;
        if (m_imageProc.Tof().SetWDRMode(sorted) != 0) {
            QLOG_WARN("the camera's WDR mode is not fused.\n");
        }
    }
    return ret;
}

int32_t BaseSession::GetThreshold(uint16_t& threshold) {
    if (IsWdrMode(m_dataMode.load())) {
        QLOG("wdr mode can not GetThreshold \n");
        return kStatusNotSupported;
    }
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    uint16_t timesTen = 0;
    const int32_t ret = m_protocol->GetThreshold(timesTen);
    if (ret == 0) {
        threshold = static_cast<uint16_t>(timesTen / 10);
    }
    return ret;
}

int32_t BaseSession::GetPulseCount() {
    if (IsWdrMode(m_dataMode.load())) {
        QLOG("wdr mode can not GetPulseCount \n");
        return kStatusNotSupported;
    }
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    PulseCountBlock block{};
    const int32_t ret = m_protocol->GetPulseCount(block);
    if (ret != 0) {
        return ret;
    }
    const uint16_t count = static_cast<uint16_t>(block[0] | block[1] << 8);
    m_pulseCount = count;
    m_pulseCountKnown = true;
    return count;
}

int32_t BaseSession::GetPulseCountGet(PulseCountBlock& block) {
    if (IsWdrMode(m_dataMode.load())) {
        QLOG("wdr mode can not GtPulseCountConfig \n");
        return kStatusNotSupported;
    }
    return m_protocol ? m_protocol->GetPulseCount(block) : -255;
}

float BaseSession::GetPulseCountTime() {
    return static_cast<float>(m_pulseCount.load()) * 0.025344f;
}

int32_t BaseSession::GetCameraMeasuringRange(NsMeasuringRange& range) {
    return m_protocol ? m_protocol->GetMeasuringRange(range) : -255;
}

int32_t BaseSession::SetMeasuringRange(const NsMeasuringRange& range) {
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    const int32_t ret = m_protocol->SetMeasuringRange(range);
    if (ret != 0 || range.depthMode > 2) {
        return ret;  // a group without a slot here is the camera's alone
    }
    {
        std::lock_guard guard(m_cacheLock);
        m_cache.measuringRanges[range.depthMode] = range;
    }
    m_imageProc.Tof().SetMeasuringRange(range.depthMode, range);
    return 0;
}

int32_t BaseSession::GetMeasuringRange(NsMeasuringRange& range) {
    const uint8_t group = range.depthMode;
    if (group > 2) {
        return 0;
    }
    NsMeasuringRange stored{};
    RangeOffsetRecord offsets{};
    {
        std::lock_guard guard(m_cacheLock);
        stored = m_cache.measuringRanges[group];
        offsets = m_cache.rangeOffsets[group];
    }
    if (stored.effectDepthMaxNear == 0 && stored.effectDepthMaxMid == 0 &&
        stored.effectDepthMaxFar == 0) {
        return kStatusFailed;
    }
    auto offset = [&offsets](size_t position) {
        const uint8_t* p = offsets.data() + 5 + 6 * position;
        return static_cast<uint16_t>(p[0] | p[1] << 8);
    };
    auto add = [](uint16_t value, uint16_t plus) { return static_cast<uint16_t>(value + plus); };
    range.depthMaxNear = add(stored.depthMaxNear, offset(0));
    range.depthMaxMid = add(stored.depthMaxMid, offset(1));
    range.depthMaxFar = add(stored.depthMaxFar, offset(2));
    range.effectDepthMaxNear = add(stored.effectDepthMaxNear, offset(0));
    range.effectDepthMaxMid = add(stored.effectDepthMaxMid, offset(1));
    range.effectDepthMaxFar = add(stored.effectDepthMaxFar, offset(2));
    range.effectDepthMinNear = add(stored.effectDepthMinNear, offset(0));
    range.effectDepthMinMid = add(stored.effectDepthMinMid, offset(1));
    range.effectDepthMinFar = add(stored.effectDepthMinFar, offset(2));
    return 0;
}

// --- lists -----------------------------------------------------------------------------------

bool BaseSession::ReadCountedList(const uint8_t* pushed, uint32_t id, uint8_t* list,
                                  uint32_t bytes) {
    uint32_t size = bytes;
    if (pushed != nullptr) {
        std::copy(pushed, pushed + bytes, list);
    } else if (!m_protocol || m_protocol->GetProperty(id, list, size) != 0 || size == 0) {
        return false;
    }
    // The count never claims more codes than arrived or than the list holds.
    list[0] = static_cast<uint8_t>(std::min<uint32_t>({list[0], size - 1, bytes - 1}));
    return list[0] != 0;
}

void BaseSession::InitDataModeList(const uint8_t* pushed) {
    if (pushed == nullptr) {
        std::lock_guard guard(m_cacheLock);
        if (m_cache.dataModeList[0] != 0) {
            return;  // only an empty list is filled
        }
    }
    std::array<uint8_t, 33> list{};
    if (!ReadCountedList(pushed, property::kOutModeList, list.data(), list.size())) {
        const std::span<const uint8_t> modes = m_model.fallbackDataModes;
        if (modes.empty()) {
            QLOG_WARN("devicetype:%d is invalid.\n", static_cast<int>(GetDeviceType()));
        }
        list = {};
        list[0] = static_cast<uint8_t>(modes.size());
        std::copy(modes.begin(), modes.end(), list.begin() + 1);
    }
    std::lock_guard guard(m_cacheLock);
    m_cache.dataModeList = list;
}

void BaseSession::InitDepthRangeList(const uint8_t* pushed) {
    if (pushed == nullptr) {
        std::lock_guard guard(m_cacheLock);
        if (m_cache.depthRangeList[0] != 0) {
            return;
        }
    }
    std::array<uint8_t, 10> list{};
    const bool have = ReadCountedList(pushed, property::kDepthRangeList, list.data(), list.size());
    std::lock_guard guard(m_cacheLock);
    if (!have) {
        list = {};
        if (m_model.depthRanges == DepthRangeList::kFromMeasuringRanges) {
            // Ranges whose group gives valid limits beyond the nearest group's minimum.
            const auto& r = m_cache.measuringRanges;
            auto effMax = [&r](size_t g, size_t p) {
                return p == 0   ? r[g].effectDepthMaxNear
                       : p == 1 ? r[g].effectDepthMaxMid
                                : r[g].effectDepthMaxFar;
            };
            auto effMin = [&r](size_t g, size_t p) {
                return p == 0   ? r[g].effectDepthMinNear
                       : p == 1 ? r[g].effectDepthMinMid
                                : r[g].effectDepthMinFar;
            };
            for (size_t g = 0; g < 3; ++g) {
                for (size_t p = 0; p < 3; ++p) {
                    if (effMin(g, p) != 0 && effMax(g, p) != 0 && effMax(g, p) > effMin(0, p)) {
                        list[1 + list[0]++] = static_cast<uint8_t>(3 * g + p);
                    }
                }
            }
        } else if (m_model.depthRanges == DepthRangeList::kUnlisted) {
            QLOG_WARN("devicetype:%d is invalid.\n", static_cast<int>(GetDeviceType()));
        }
    }
    m_cache.depthRangeList = list;
}

bool BaseSession::IsDataModeInList(uint8_t mode) {
    std::lock_guard guard(m_cacheLock);
    const uint8_t count = std::min<uint8_t>(m_cache.dataModeList[0], 32);
    return std::find(m_cache.dataModeList.begin() + 1, m_cache.dataModeList.begin() + 1 + count,
                     mode) != m_cache.dataModeList.begin() + 1 + count;
}

int32_t BaseSession::SetTofFrameRate(uint8_t fps) {
    // 60 is the highest rate of any data mode: a camera asked for more streams at what it
    // can and reports the rate asked for, which misleads whoever reads it back.
    constexpr uint8_t kMaxTofFrameRate = 60;
    if (fps == 0 || fps > kMaxTofFrameRate) {
        QLOG_WARN("fps:%d is invalid.\n", static_cast<int>(fps));
        return kStatusBadParameter;
    }
    return m_protocol ? m_protocol->SetTofFrameRate(fps) : kStatusNotSupported;
}

bool BaseSession::IsDepthRangeInList(uint32_t range) {
    std::lock_guard guard(m_cacheLock);
    const uint8_t count = std::min<uint8_t>(m_cache.depthRangeList[0], 9);
    if (count == 0) {
        return true;  // an empty list accepts every range
    }
    return std::find(m_cache.depthRangeList.begin() + 1, m_cache.depthRangeList.begin() + 1 + count,
                     range) != m_cache.depthRangeList.begin() + 1 + count;
}

// --- per-stream switches ----------------------------------------------------------------------

int32_t BaseSession::SetDepthFrameEnabled(bool enabled) {
    if (m_dataMode.load() == 101 && m_protocol) {
        if (enabled) {
            SetPulseCount(m_pulseCount.load());
            m_pulseCountKnown = false;
        }
        m_protocol->SetLDEnable(enabled ? 1 : 0);
    }
    return m_imageProc.SetFrameEnabled(0, enabled);
}

int32_t BaseSession::SetIrFrameEnabled(bool enabled) {
    if (m_dataMode.load() == 101 && enabled) {
        SetPulseCount(m_pulseCount.load());
        m_pulseCountKnown = false;
    }
    return m_imageProc.SetFrameEnabled(1, enabled);
}

int32_t BaseSession::SetRgbFrameEnabled(bool enabled) {
    return m_imageProc.SetFrameEnabled(2, enabled);
}

}  // namespace quorix
