// Session lifecycle: construction, open, first-start initialisation, start and stop,
// close and destruction, and the frame operations that go through the session's lock.
#include "session/BaseSession.h"

#include <array>
#include <cstring>
#include <thread>

#include "base/Status.h"
#include "config/Config.h"
#include "log/Log.h"
#include "model/ColourResolution.h"
#include "platform/ModulePath.h"
#include "protocol/BaseProtocol.h"
#include "session/ProtocolFactory.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kInitParamPolls = 100;

// Default measuring ranges of the three groups: depthMax, effective max, effective min
// for the near, middle and far position.
constexpr NsMeasuringRange kDefaultRanges[3] = {
    {0, 1848, 3175, 5075, 1450, 3000, 4400, 1, 1, 1},
    {1, 5754, 6662, 8328, 4800, 5600, 7500, 1, 1, 1},
    {2, 11508, 13324, 16656, 9600, 11200, 15000, 1, 1, 1},
};

}  // namespace

BaseSession::BaseSession(const SessionInfo& info) : BaseSession(info, Get_APIImgPreProcess()) {}

BaseSession::BaseSession(const SessionInfo& info, std::unique_ptr<ImgPreProcess> preProcess)
    : m_sessionInfo(info),
      m_model(TraitsOf(info.deviceType)),
      m_imageProc(&m_context, std::move(preProcess)),
      m_protocol(CreateProtocol(info)),
      m_planeCorrection(std::make_unique<uint8_t[]>(kPlaneCorrectionBytes)) {
    m_cache.rgbMode =
        TofFrameMode{m_model.defaultColourMode.width, m_model.defaultColourMode.height, 30};
    m_cache.lens = LensRecord{2,
                              1,
                              static_cast<uint16_t>(m_cache.rgbMode.width),
                              static_cast<uint16_t>(m_cache.rgbMode.height),
                              30,
                              2};
    for (uint8_t g = 0; g < 3; ++g) {
        m_cache.measuringRanges[g] = kDefaultRanges[g];
        m_cache.rangeOffsets[g][0] = g;
    }
    if (m_model.firstRangeStart != nullptr) {
        NsMeasuringRange& first = m_cache.measuringRanges[0];
        first.depthMaxNear = m_model.firstRangeStart[0];
        first.depthMaxMid = m_model.firstRangeStart[1];
        first.depthMaxFar = m_model.firstRangeStart[2];
    }
    if (m_model.depthIntrinsic != nullptr) {
        std::copy(m_model.depthIntrinsic, m_model.depthIntrinsic + 9,
                  m_cache.depthIntrinsic.begin());
    }
    m_dataMode.store(m_model.defaultDataMode);
    if (m_model.mappedAtStart) {
        m_synchronize.store(true);
        if (ImgPreProcess* pre = m_imageProc.PreProcess()) {
            pre->SetDepthDistortionCorrectionEnabled(false);
            pre->SetIrDistortionCorrectionEnabled(false);
            pre->SetRGBDistortionCorrectionEnabled(false);
            m_imageProc.SetMapperEnabledColourToDepth(true);
            m_imageProc.SetMapperEnabledIRToColour(true);
        }
    }
    SetFrameMode(m_dataMode.load());
}

BaseSession::~BaseSession() {
    // A frame callback may be calling into this session: its thread is stopped first and
    // without the lock (from inside the callback it is only let go).
    m_imageProc.StopCallback();
    std::lock_guard guard(m_lock);
    m_imageProc.RequestStop();
    if (m_protocol && m_state.load() != SessionState::kClosed) {
        CloseDevice();  // also wakes a reader waiting for data
    }
    m_imageProc.JoinThreads();
    {
        std::lock_guard transport(m_transportLock);
        m_protocol.reset();
    }
    std::lock_guard rays(m_rayLock);
    m_rayTable.reset();
}

// --- lifecycle ----------------------------------------------------------------------------

int32_t BaseSession::OpenDevice() {
    if (const int32_t refused = Admit(m_state.load(), SessionRequest::kOpen); refused != 0) {
        QLOG("has opened\n");
        return refused;
    }
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    const int32_t ret = m_protocol->OpenDevice();
    if (ret != 0) {
        return ret;
    }
    if (!m_imageProc.HasThread()) {
        m_imageProc.Start();
    }
    m_state = SessionState::kOpened;
    m_connected = true;
    m_imageProc.ResetFailedReads();
    // A camera that can push its parameters is asked to embed them in the stream.
    if (m_protocol->IsSupportJSONConfig() == 0) {
        m_pushesParameters = true;
        m_imageProc.ResetInitParams();
        m_protocol->SendCameraParamsEnable(true);
    } else {
        m_pushesParameters = false;
    }
    return ret;
}

int32_t BaseSession::CloseDevice() {
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    if (m_model.idleOnClose) {
        SetRgbAecEnabled(false);
        m_echo.SetSynchronised(false);  // the idle mode is sent without awaiting its echo
        SetDataMode(102);
    }
    const int32_t ret = m_protocol->CloseDevice();
    if (ret != 0) {
        QLOG_ERROR("error ret:%d.\n", ret);
        return ret;
    }
    // A closed camera streams no more: the engine stops reading it.
    m_state = SessionState::kClosed;
    m_imageProc.SetStreamSwitches(false);
    return 0;
}

int32_t BaseSession::StartStream() {
    std::unique_lock guard(m_lock);
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    const int32_t ret = m_protocol->StartStream();
    if (ret != 0) {
        QLOG_ERROR("is failed.\n");
        return ret;
    }
    // The reader takes the stream from now on, so a parameter block or a status block that
    // arrives during the initialisation is seen.
    m_echo.SetFirst(true);
    m_imageProc.SetStreamSwitches(true);
    if (!quorix::IsInitialised(m_state.load())) {
        // Nothing is decoded until InitDevice has configured the decoders: what arrives
        // meanwhile is dropped, never delivered with the default range's table.
        m_imageProc.SetDecodingEnabled(false);
        const int32_t init = InitDevice();
        if (init != 0) {
            guard.unlock();
            StopStream();
            return init;
        }
        m_imageProc.SetDecodingEnabled(true);
    }
    m_state = SessionState::kStreaming;
    m_imageProc.SetConnectStatus(true);
    m_connected = true;
    return 0;
}

int32_t BaseSession::StopStream() {
    std::lock_guard guard(m_lock);
    if (m_state.load() == SessionState::kStreaming) {
        m_state = SessionState::kReady;
    }
    m_imageProc.SetStreamSwitches(false);
    if (ImgPreProcess* pre = PreProcessor()) {
        pre->ResetFilters();  // a restarted stream is not averaged with the old one
    }
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    return m_protocol->StopStream();
}

bool BaseSession::IsStreaming() {
    return m_state.load() == SessionState::kStreaming;
}

bool BaseSession::IsAlive() {
    return m_imageProc.FailedReads() <= kMaxFailedReads && m_connected.load();
}

void BaseSession::BeginClose() {
    m_closing.store(true);  // ends the confirmation polls at their next round
    m_imageProc.AbandonReaders();
}

int32_t BaseSession::SetConnectStatus(int32_t value) {
    if (value != 1) {
        return 0;
    }
    QLOG("isConnect:%d\n", 0);
    m_connected = false;
    m_imageProc.SetTransportConnected(false);
    if (m_protocol) {
        m_protocol->SetConnectStatus(false);
    }
    return 0;
}

int32_t BaseSession::InitDevice() {
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    bool pushed = false;
    if (m_pushesParameters.load()) {
        uint32_t left = kInitParamPolls;
        while (left > 0) {
            --left;
            if (m_imageProc.InitParamsReceived()) {
                break;
            }
            if (left > 0) {
                std::this_thread::sleep_for(10ms);
            }
        }
        InitParamBlocks blocks;
        PushedParameters params;
        if (m_imageProc.CopyInitParams(blocks)) {
            QLOG("wait:%d.\n", static_cast<int>(left));
            if (ReadPushedParameters(blocks, params)) {
                ApplyPushedParameters(params);
                pushed = true;
            } else {
                QLOG("the pushed parameters lack a block, they are read by command.\n");
            }
        } else {
            QLOG("first frame data is toot late. %d\n", 0);
        }
    }
    if (!pushed) {
        if (const int32_t ret = ReadParameters(); ret != 0) {
            return ret;
        }
    }
    ResetByIniFile(GetDeviceType(), m_sessionIndex);
    if (m_iniApplied.load()) {
        if (const int32_t ret = PushConfiguredState(); ret < 0) {
            return ret;
        }
    }
    return InitLens();
}

int32_t BaseSession::PushConfiguredState() {
    // A refusal (a positive status, such as a depth range change in a WDR mode) is logged
    // and the rest is still sent; only a failed command ends the push.
    const auto step = [](const char* what, int32_t ret) {
        if (ret > 0) {
            QLOG_WARN("%s refused: %d\n", what, static_cast<int>(ret));
        }
        return ret < 0 ? ret : 0;
    };
    const uint8_t mode = m_dataMode.load();
    if (const int32_t ret = step("SetDepthRange", SetDepthRange(m_depthRange.load())); ret < 0) {
        return ret;
    }
    WDROutputMode wdr;
    {
        std::lock_guard guard(m_cacheLock);
        wdr = m_cache.wdr;
    }
    if ((wdr.totalRange == 2 || wdr.totalRange == 3) && mode >= 11 && mode <= 13) {
        // Leaving the WDR mode first lets the camera take the new output mode; leaving it
        // clears the session's WDR record, so it is put back before it is sent.
        if (const int32_t ret = step("SetDataMode", SetDataMode(0)); ret < 0) {
            return ret;
        }
        {
            std::lock_guard guard(m_cacheLock);
            m_cache.wdr = wdr;
        }
        if (const int32_t ret = step("SetWDROutputMode", SetWDROutputMode(wdr)); ret < 0) {
            return ret;
        }
        m_dataMode = mode;
    }
    if (const int32_t ret = step("SetDataMode", SetDataMode(mode)); ret < 0) {
        return ret;
    }
    if (const uint16_t gain = m_gmmGain.load(); gain < kNotConfigured) {
        const NsGMMGain record{gain, m_gmmOption.load()};
        if (const int32_t ret = step("SetGMMGain", SetGMMGain(record)); ret < 0) {
            return ret;
        }
    }
    // The WDR modes forbid a single pulse count and threshold (their setters answer -255 by
    // rule, not because a command failed); a configuration naming a WDR mode must still
    // start, so these two are skipped there with a log line.
    const bool wdrMode = m_dataMode.load() >= 11 && m_dataMode.load() <= 13;
    if (const uint16_t pulses = m_pulseCount.load(); pulses < kNotConfigured) {
        if (wdrMode) {
            QLOG_WARN("SetPulseCount refused: %d\n", -255);
        } else if (const int32_t ret = step("SetPulseCount", SetPulseCount(pulses)); ret < 0) {
            return ret;
        }
    }
    if (const int32_t ret = step("SetIRS2Enable", SetIRS2Enable(m_irs2.load())); ret < 0) {
        return ret;
    }
    if (wdrMode) {
        QLOG_WARN("SetThreshold refused: %d\n", -255);
        return 0;
    }
    return step("SetThreshold", SetThreshold(m_threshold.load()));
}

int32_t BaseSession::ReadParameters() {
    Matrix3 matrix{};
    Distortion distortion{};
    Vector3 vector{};
    const auto store = [this](auto& field, const auto& value) {
        std::lock_guard guard(m_cacheLock);
        field = value;
    };
    for (uint32_t camera : {1u, 2u}) {
        if (const int32_t ret = GetCameraIntrinsic(camera, matrix); ret != 0) {
            return ret;
        }
        store(camera == 1 ? m_cache.depthIntrinsic : m_cache.colourIntrinsic, matrix);
    }
    for (uint32_t camera : {1u, 2u}) {
        if (const int32_t ret = GetCameraDistortion(camera, distortion); ret != 0) {
            return ret;
        }
        store(camera == 1 ? m_cache.depthDistortion : m_cache.colourDistortion, distortion);
    }
    if (const int32_t ret = GetCameraRotation(matrix); ret != 0) {
        return ret;
    }
    store(m_cache.rotation, matrix);
    if (const int32_t ret = GetCameraTransfer(vector); ret != 0) {
        return ret;
    }
    store(m_cache.translation, vector);
    BuildPixelRayTable();

    uint16_t planeId = 0;
    uint32_t planeCount = 0;
    m_planeAvailable = GetPlaneCorrectionParam(planeId, m_planeCorrection.get(),
                                               kPlaneCorrectionEntries, planeCount) == 0;
    m_imageProc.SetSynchronizeEnabled(m_synchronize.load());

    for (uint8_t g = 0; g < 3; ++g) {
        RangeOffsetRecord record{};
        record[0] = g;
        uint32_t length = static_cast<uint32_t>(record.size());
        const int32_t ret = m_protocol->GetProperty(property::kRangeOffset, record.data(), length);
        if (ret == 0 && length == record.size()) {
            store(m_cache.rangeOffsets[g], record);
        } else if (g < 2) {
            return ret != 0 ? ret : -1;
        }
    }
    for (uint8_t g = 0; g < 3; ++g) {
        NsMeasuringRange range{};
        range.depthMode = g;
        if (const int32_t ret = m_protocol->GetMeasuringRange(range); ret != 0) {
            return ret;
        }
        store(m_cache.measuringRanges[g], range);
    }
    InitDataModeList(nullptr);
    InitDepthRangeList(nullptr);
    ReadColourLens();

    // Data mode and range are read before ApplySettings starts the decoder, so its first
    // frame is decoded with the camera's range, not the default one.
    if (!m_model.keepsDataModeAtInit) {
        uint8_t mode = 0;
        if (const int32_t ret = GetDataMode(mode); ret != 0) {
            return ret;
        }
    }
    if (!m_iniApplied.load() && m_dataMode.load() == kDataModeWdr) {
        WDROutputMode wdr{};
        if (const int32_t ret = GetWDROutputMode(wdr); ret != 0) {
            return ret;
        }
    } else {
        uint32_t range = 0;
        if (const int32_t ret = GetDepthRange(range); ret != 0) {
            return ret;
        }
    }
    m_imageProc.ApplySettings();
    return SetThreshold(m_threshold.load());
}

void BaseSession::ReadColourLens() {
    // Models that InitLens tells their colour size need not be asked. A network camera may
    // stream a size other than the session's starting mode, and without the pushed
    // parameters only its colour lens record says which; taking the wrong size would refuse
    // every colour frame. A camera that cannot answer keeps the mode.
    if (m_model.lens == LensAtInit::kSent || m_model.lens == LensAtInit::kSentInColourModes) {
        return;
    }
    LensRecord lens{};
    lens.sensor = 2;
    if (const int32_t ret = GetLens(lens); ret != 0) {
        const TofFrameMode mode = GetRgbFrameMode();
        QLOG("colour lens not read: %d, colour mode stays %ux%u.\n", static_cast<int>(ret),
             mode.width, mode.height);
    }
}

void BaseSession::ApplyPushedParameters(const PushedParameters& p) {
    {
        std::lock_guard guard(m_cacheLock);
        const double* c = p.calibration.data();
        std::copy(c, c + 9, m_cache.depthIntrinsic.begin());
        std::copy(c + 9, c + 17, m_cache.depthDistortion.begin());
        std::copy(c + 17, c + 26, m_cache.colourIntrinsic.begin());
        std::copy(c + 26, c + 34, m_cache.colourDistortion.begin());
        std::copy(c + 34, c + 43, m_cache.rotation.begin());
        std::copy(c + 43, c + 46, m_cache.translation.begin());
        m_cache.rangeOffsets = p.depthOffsets;
        m_cache.measuringRanges = p.measuringRanges;
        if (p.colourWidth != 0 && p.colourHeight != 0) {
            m_cache.rgbMode.width = p.colourWidth;
            m_cache.rgbMode.height = p.colourHeight;
        }
        m_cache.wdr = p.wdr;
    }
    m_threshold = p.threshold;
    memset(m_planeCorrection.get(), 0, kPlaneCorrectionBytes);
    memcpy(m_planeCorrection.get(), p.planeCorrection.data(), sizeof p.planeCorrection);
    bool planeSet = false;
    for (float v : p.planeCorrection) {
        planeSet = planeSet || v != 0.0f;
    }
    m_planeAvailable = planeSet;
    BuildPixelRayTable();
    m_imageProc.SetSynchronizeEnabled(m_synchronize.load());
    InitDataModeList(p.dataModeList.data());
    InitDepthRangeList(p.depthRangeList.data());
    SetFrameMode(p.dataMode);
    m_dataMode = p.dataMode;
    m_depthRange = p.depthRange;
    // The decoder has its range and WDR mode before ApplySettings starts it.
    m_imageProc.Tof().SetDepthRange(p.depthRange);
    if (p.dataMode >= 11 && p.dataMode <= 13) {
        WDROutputMode sorted = p.wdr;
        if (m_imageProc.Tof().SetWDRMode(sorted) != 0) {
            QLOG_WARN("the pushed WDR mode is not fused.\n");
        }
    }
    m_imageProc.ApplySettings();  // takes the data mode to the decoder
}

// --- frames -------------------------------------------------------------------------------

int32_t BaseSession::ReadNextFrame(uint32_t* readySet) {
    std::lock_guard guard(m_lock);
    if (const int32_t refused = Admit(m_state.load(), SessionRequest::kReadFrames); refused != 0) {
        return refused;
    }
    return m_imageProc.ReadNextFrame(readySet);
}

int32_t BaseSession::GetFrame(uint32_t frameType, Frame* out) {
    if (out == nullptr) {
        return kStatusNullFrame;
    }
    std::lock_guard guard(m_lock);
    return m_imageProc.GetFrame(frameType, out);
}

bool BaseSession::RegisterNotify(NsFrameCallback callback) {
    if (callback == nullptr) {
        return false;
    }
    // A callback thread that was stopped from inside its callback is joined first, without
    // the lock: its callback may still be waiting for it.
    m_imageProc.ReapCallbackThread();
    std::lock_guard guard(m_lock);
    return m_imageProc.RegisterNotify(callback);
}

bool BaseSession::UnRegisterNotify() {
    return m_imageProc.UnRegisterNotify();
}

int32_t BaseSession::SetWaitTimeOfReadNextFrame(uint16_t milliseconds) {
    m_imageProc.SetWaitTime(milliseconds);
    return 0;
}

int32_t BaseSession::SetSynchronizeEnabled(bool enabled) {
    m_synchronize = enabled;
    m_imageProc.SetSynchronizeEnabled(enabled);
    return 0;
}

bool BaseSession::GetSynchronizeEnabled() {
    return m_synchronize.load();
}

// --- configuration and status ------------------------------------------------------------

// The ini's switches of the frame engine and the pre-processing library, and the
// library's filter parameters as little-endian u16 values.
void BaseSession::ApplyIniFilters(const Config& config) {
    SetComputeRealDepthCorrectionEnabled(config.computeRealDepth);
    SetSmoothingFilterEnabled(config.smoothingFilter);
    SetDepthDistortionCorrectionEnabled(config.depthDistortion);
    SetIrDistortionCorrectionEnabled(config.irDistortion);
    SetRGBDistortionCorrectionEnabled(config.rgbDistortion);
    SetRGBCorrectionEnabled(config.rgbCorrection);
    SetMapperEnabledDepthToRGB(config.mapDepthToRgb);
    SetMapperEnabledRGBToDepth(config.mapRgbToDepth);
    SetMapperEnabledRGBToIR(config.mapRgbToIr);
    SetTimeFilterEnabled(config.timeFilter);
    SetSpatialFilterEnabled(config.spatialFilter);
    SetSynchronizeEnabled(config.synchronise);
    if (ImgPreProcess* pre = PreProcessor()) {
        pre->SetOutOfMaxRangeEnabled(config.outOfMaxRange != 0);
        pre->SetTimeFilterOnDepthEnabled(config.timeFilterDepth);
        const int32_t values[] = {config.timeFilterThreshold,
                                  config.timeShiftRatio,
                                  config.fillHoleThreshold,
                                  config.badBlockThreshold,
                                  config.firstSpatialThreshold,
                                  config.secondSpatialThreshold,
                                  config.spatialSwitchThreshold,
                                  config.spatialSwitchThresholdEdge,
                                  config.spatialCount,
                                  config.fillHoleCount,
                                  config.outputAscend};
        std::array<uint8_t, 2 * std::size(values)> record{};
        for (size_t i = 0; i < std::size(values); ++i) {
            const auto v = static_cast<uint16_t>(values[i]);
            record[2 * i] = static_cast<uint8_t>(v & 0xFF);
            record[2 * i + 1] = static_cast<uint8_t>(v >> 8);
        }
        pre->SetSensorConfig(record.data());
        pre->SetAlgorithmType(config.algorithmType);
    }
}

int32_t BaseSession::ResetByIniFile(uint32_t deviceType, uint32_t sessionIndex) {
    const Config config = Config::ReadIni(deviceType, sessionIndex);
    if (!config.loaded || !config.valid) {
        QLOG("no config file.\n");
        return 1;
    }
    m_iniApplied = true;

    ApplyIniFilters(config);

    if (config.gmmGain != kConfigUnset) {
        m_gmmGain = static_cast<uint16_t>(config.gmmGain);
        m_gmmOption = 0;
    }
    if (config.backgroundThreshold != kConfigUnset) {
        m_threshold = static_cast<uint16_t>(config.backgroundThreshold);
    }
    if (config.depthRange != kConfigUnset) {
        m_depthRange = static_cast<uint32_t>(config.depthRange);
    }
    if (config.dataMode != kConfigUnset) {
        m_dataMode = static_cast<uint8_t>(config.dataMode);
    }
    ApplyIniLists(config);
    if (config.pulseCount != kConfigUnset) {
        m_pulseCount = static_cast<uint16_t>(config.pulseCount);
    }
    if (config.rgbResolution != kConfigUnset) {
        // Taken like an application's colour resolution: the camera and the colour
        // decoder get the new size. A refusal leaves the colour mode as it was sent.
        const ColourSize size = ColourSizeOfCode(static_cast<uint32_t>(config.rgbResolution));
        const LensRecord lens{2, 1, size.width, size.height, 30, 2};
        {
            std::lock_guard guard(m_cacheLock);
            m_cache.lens = lens;
        }
        if (const int32_t ret = SetLens(lens); ret != 0) {
            QLOG("RGB_Resolution %d is not taken: %d\n", static_cast<int>(config.rgbResolution),
                 static_cast<int>(ret));
        }
    }
    m_irs2 = config.s2Background ? 1 : 0;
    if (config.wdrRange1Count != 0 && config.wdrRange2Count != 0) {
        std::lock_guard guard(m_cacheLock);
        m_cache.wdr = WDROutputMode{
            static_cast<uint32_t>(config.wdrTotalRange), static_cast<uint32_t>(config.wdrRange1),
            static_cast<uint8_t>(config.wdrRange1Count), static_cast<uint32_t>(config.wdrRange2),
            static_cast<uint8_t>(config.wdrRange2Count), static_cast<uint32_t>(config.wdrRange3),
            static_cast<uint8_t>(config.wdrRange3Count)};
    }
    SetSynchronizeEnabled(config.synchronise);
    return 0;
}

namespace {

// A counted list (count byte, then codes) from an ini list, each entry logged; codes that
// do not fit a byte or the list are logged and left out.
template <size_t N>
std::array<uint8_t, N> CountedIniList(const std::vector<int32_t>& values, bool dataModes) {
    std::array<uint8_t, N> list{};
    for (int32_t v : values) {
        if (dataModes) {
            QLOG(" %d  \n", static_cast<int>(v));
        } else {
            QLOG("%d  \n", static_cast<int>(v));
        }
        if (v < 0 || v > 255 || list[0] >= N - 1) {
            QLOG("entry %d is left out.\n", static_cast<int>(v));
            continue;
        }
        list[1 + list[0]++] = static_cast<uint8_t>(v);
    }
    QLOG("\n");
    return list;
}

}  // namespace

void BaseSession::ApplyIniLists(const Config& config) {
    if (config.validRanges.empty()) {
        QLOG("all  range valid.\n");
    } else {
        QLOG("valid range:\n");
        const auto list = CountedIniList<10>(config.validRangeList, false);
        std::lock_guard guard(m_cacheLock);
        m_cache.depthRangeList = list;  // empty: every range is accepted
    }
    if (config.validOutModes.empty()) {
        QLOG("all  outmode valid.\n");
        return;
    }
    QLOG("valid outmode :  \n");
    const auto list = CountedIniList<33>(config.validOutModeList, true);
    if (list[0] == 0) {
        return;  // an empty data-mode list would refuse every mode; the camera's stays
    }
    std::lock_guard guard(m_cacheLock);
    m_cache.dataModeList = list;
}

DeviceStatus BaseSession::GetDeviceStatus() const {
    return m_echo.Latest();
}

TofFrameMode BaseSession::GetRgbFrameMode() const {
    std::lock_guard guard(m_cacheLock);
    return m_cache.rgbMode;
}

std::string BaseSession::ConfigFolder() {
    return platform::NormalisePath(platform::ModuleDirectory() + "/Config/");
}

ImageSettings BaseSession::CurrentImageSettings() const {
    ImageSettings s;
    {
        std::lock_guard guard(m_cacheLock);
        s.colourMode = m_cache.rgbMode;
        s.depthMode = m_cache.depthMode;
        s.irMode = m_cache.irMode;
        for (size_t g = 0; g < 3; ++g) {
            memcpy(s.rangeOffsets[g].bytes, m_cache.rangeOffsets[g].data(),
                   sizeof s.rangeOffsets[g].bytes);
        }
        s.measuringRanges = m_cache.measuringRanges;
        double* c = s.calibration.data();
        c = std::copy(m_cache.depthIntrinsic.begin(), m_cache.depthIntrinsic.end(), c);
        c = std::copy(m_cache.depthDistortion.begin(), m_cache.depthDistortion.end(), c);
        c = std::copy(m_cache.colourIntrinsic.begin(), m_cache.colourIntrinsic.end(), c);
        c = std::copy(m_cache.colourDistortion.begin(), m_cache.colourDistortion.end(), c);
        c = std::copy(m_cache.rotation.begin(), m_cache.rotation.end(), c);
        std::copy(m_cache.translation.begin(), m_cache.translation.end(), c);
    }
    s.rotation = m_imageRotation.load();
    s.dataMode = m_dataMode.load();
    s.configFolder = ConfigFolder();
    return s;
}

// --- what the engine sees -------------------------------------------------------------------

uint32_t BaseSession::Context::DeviceType() const {
    return m_session.GetDeviceType();
}

std::mutex& BaseSession::Context::TransportLock() {
    return m_session.m_transportLock;
}

bool BaseSession::Context::HasTransport() const {
    return m_session.m_protocol != nullptr;
}

int32_t BaseSession::Context::ReadTransport(uint8_t* buffer, uint32_t& length) {
    return m_session.m_protocol->ReadData(buffer, length);
}

void BaseSession::Context::StoreDeviceStatus(const uint8_t* payload, size_t length) {
    m_session.m_echo.Store(payload, length);
}

bool BaseSession::Context::IsFirstStatus() const {
    return m_session.m_echo.IsFirst();
}

void BaseSession::Context::SetFirstStatus(bool first) {
    m_session.m_echo.SetFirst(first);
}

void BaseSession::Context::SetDeviceSync(bool on) {
    m_session.m_echo.SetSynchronised(on);
}

void BaseSession::Context::StoreJsonState(uint8_t state) {
    m_session.m_echo.StoreJsonState(state);
}

void BaseSession::Context::StoreJsonResult(uint8_t result, uint8_t errorCode) {
    m_session.m_echo.StoreJsonResult(result, errorCode);
}

ImageSettings BaseSession::Context::CurrentImageSettings() const {
    return m_session.CurrentImageSettings();
}

int32_t BaseSession::Context::SerialNumber(char* buffer, uint32_t capacity) {
    return m_session.GetSN(buffer, capacity);
}

int32_t BaseSession::Context::SendProperty(uint32_t id, const void* data, uint32_t length) {
    return m_session.m_protocol ? m_session.m_protocol->SetProperty(id, data, length) : -255;
}

}  // namespace quorix
