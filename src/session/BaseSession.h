// BaseSession: one opened stream (sensor) of a camera. It owns the command protocol for
// its device type and the frame engine, keeps the camera's cached state (data mode, depth
// range, threshold, calibration, measuring ranges, lists) and brings the camera into it
// when the stream starts for the first time after an open.
//
// Threads: StartStream, StopStream, ReadNextFrame, GetFrame and the registration of a
// frame callback take the session's lock; open, close and the settings do not. The frame
// engine's reader writes the device status record, which the confirmed setters poll. A
// frame callback runs on the engine's Callback thread with no lock held and may call
// StopStream, UnRegisterNotify or destroy the session.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Status.h"
#include "imaging/ImageProc.h"
#include "imaging/SessionContext.h"
#include "model/ModelTraits.h"
#include "model/SessionInfo.h"
#include "pipeline/Frame.h"
#include "protocol/DeviceStatus.h"
#include "protocol/InitParams.h"
#include "protocol/ProtocolOperations.h"
#include "protocol/ProtocolTypes.h"
#include "session/CameraRecords.h"
#include "session/SessionState.h"
#include "session/StatusEcho.h"

namespace quorix {

// Data modes 11, 12 and 13 alternate two or three depth ranges (WDR).
inline bool IsWdrMode(uint8_t mode) {
    return mode >= 11 && mode <= 13;
}

class BaseProtocol;
struct Config;

// The depth image's separable pixel rays: (u - cx) / fx for every column u and
// (v - cy) / fy for every row v. Shared read-only; a rebuild makes a new table.
struct PixelRayTable {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<double> columns;  // width values
    std::vector<double> rows;     // height values
};

class BaseSession {
public:
    static constexpr uint32_t kPlaneCorrectionBytes = 1228800;
    static constexpr uint32_t kPlaneCorrectionEntries = kPlaneCorrectionBytes / 4;
    static constexpr uint32_t kMaxFailedReads = ImageProc::kMaxFailedReads;
    static constexpr uint16_t kNotConfigured = 65535;
    static constexpr uint32_t kMaxDepthRange = 8;

    explicit BaseSession(const SessionInfo& info);
    // With the given pre-processing object (null: none, so mapping and filters are off).
    BaseSession(const SessionInfo& info, std::unique_ptr<ImgPreProcess> preProcess);
    ~BaseSession();

    BaseSession(const BaseSession&) = delete;
    BaseSession& operator=(const BaseSession&) = delete;

    // --- lifecycle --------------------------------------------------------------------------
    // -103 when already opened, -255 without a protocol, else the protocol's status.
    int32_t OpenDevice();
    // A model that idles on close gets colour auto-exposure off and the idle data mode
    // first. -255 without a protocol.
    int32_t CloseDevice();
    // Starts the camera's stream; the first start after an open runs InitDevice.
    int32_t StartStream();
    int32_t StopStream();
    bool IsStreaming();
    // False once the connection was lost or more than 300 reads in a row failed.
    bool IsAlive();
    // Reads (or takes from the stream) the camera's parameters and configures the engine.
    int32_t InitDevice();
    // Value 1: the connection was lost. Anything else does nothing. Returns 0.
    int32_t SetConnectStatus(int32_t value);
    // The device is being closed: frame reads and confirmation polls in progress return
    // at once, and no later one waits.
    void BeginClose();

    // --- frames -------------------------------------------------------------------------------
    int32_t ReadNextFrame(uint32_t* readySet);
    // -5 for a null record.
    int32_t GetFrame(uint32_t frameType, Frame* out);
    // Frame types 0 depth, 1 IR, 3 colour; -12 for a null pointer.
    int32_t GetFrameMode(uint32_t frameType, uint32_t* width, uint32_t* height, uint32_t* fps);
    // The depth and IR frame modes of a data mode (-1 for an unknown one).
    int32_t SetFrameMode(uint8_t dataMode);
    int32_t SetWaitTimeOfReadNextFrame(uint16_t milliseconds);
    int32_t SetSynchronizeEnabled(bool enabled);
    bool GetSynchronizeEnabled();
    bool RegisterNotify(NsFrameCallback callback);
    bool UnRegisterNotify();
    int32_t SetDepthFrameEnabled(bool enabled);
    int32_t SetIrFrameEnabled(bool enabled);
    int32_t SetRgbFrameEnabled(bool enabled);

    // --- confirmed settings ------------------------------------------------------------------
    // Sent to the camera and, while it echoes its state in the stream and the stream runs,
    // awaited until the echo shows the new value (-105 when it never does). Without the
    // echo the protocol's status is returned. Refusals are told per operation.
    // -10 for a range above 8 or outside the camera's list, 1 in a WDR data mode.
    int32_t SetDepthRange(uint32_t range);
    // -15 for 0 frames per second (nothing is sent); else passed to the camera.
    int32_t SetTofFrameRate(uint8_t fps);
    // -255 in a WDR data mode. The camera holds threshold x 10.
    int32_t SetThreshold(uint16_t threshold);
    int32_t SetSlaveModeEnabled(bool enabled);
    int32_t SetWDROutputMode(const WDROutputMode& mode);
    // Low byte the switch, high byte the selector.
    int32_t SetIRS2Enable(uint16_t value);
    int32_t SetGMMGain(const NsGMMGain& gain);
    // -255 in a WDR data mode. Sent for the current depth range.
    int32_t SetPulseCount(uint16_t pulseCount);
    // One depth range's pulse count; in a WDR data mode with three ranges only for those.
    int32_t SetPulseCountConfig(const PulseCountRecord& record);
    // The same record layout with the threshold x 10 (or the GMM gain) as the value.
    int32_t SetWDRThreshold(const PulseCountRecord& record);
    int32_t SetWDRGMMGain(const PulseCountRecord& record);
    int32_t SetLowPowerModeEnabled(bool enabled);
    int32_t SetWorkMode(const WorkModeRecord& mode);
    // 1 for a mode outside the camera's list, or a WDR mode before its output mode is set.
    int32_t SetDataMode(uint8_t mode);

    // --- settings read back (the cache follows) ---------------------------------------------
    int32_t GetDataMode(uint8_t& mode);
    int32_t GetDepthRange(uint32_t& range);
    int32_t GetWDROutputMode(WDROutputMode& mode);
    // -255 in a WDR data mode; the camera's value divided by 10.
    int32_t GetThreshold(uint16_t& threshold);
    // The pulse count (>= 0) or a failure; -255 in a WDR data mode.
    int32_t GetPulseCount();
    // The camera's whole pulse-count reply; -255 in a WDR data mode.
    int32_t GetPulseCountGet(PulseCountBlock& block);
    // The stored pulse count x 0.025344.
    float GetPulseCountTime();
    // Computed from the stored records, no command: the group in range.depthMode.
    int32_t GetMeasuringRange(NsMeasuringRange& range);
    // What the camera holds for the group in range.depthMode.
    int32_t GetCameraMeasuringRange(NsMeasuringRange& range);
    // On success the record is kept for its group and the depth decoder rebuilds its tables.
    int32_t SetMeasuringRange(const NsMeasuringRange& range);
    bool IsDataModeInList(uint8_t mode);
    bool IsDepthRangeInList(uint32_t range);
    // Applies the model's ini file; 1 when there is none.
    int32_t ResetByIniFile(uint32_t deviceType, uint32_t sessionIndex);

    // --- forwarded to the camera unchanged (-255 without a protocol) ------------------------
    // The operations of the interface table whose session column is FWD, under their names.
#define QUORIX_SESSION_FORWARDER(position, name, params, args, session, ...) \
    QUORIX_IF_FWD(session)(int32_t name params;)
    QUORIX_PROTOCOL_OPERATIONS(QUORIX_SESSION_FORWARDER)
#undef QUORIX_SESSION_FORWARDER

    // --- switches of this session's frame engine (no command; 0) -----------------------------
    // 3 RGB, 4 BGR (the public layer checks the range).
    int32_t SetColorPixelFormat(int32_t format);
    int32_t GetColorPixelFormat();
    // 2 delivers IR as 8-bit grey.
    int32_t SetIRPixelFormat(int32_t format);
    // Flip code of delivered frames: 1 horizontal, 2 vertical, 3 both; anything else none.
    int32_t SetImageMirror(uint32_t mirror);
    // Rotate type of delivered frames (0, 1, 2); anything else none. Kept for GetFrameMode.
    int32_t SetImageRotation(uint32_t rotation);
    int32_t SetSaveRawBufferEnabled(bool enabled);
    // Only in data mode 11 (-1 otherwise): 1 delivers each range's frame, 0 fuses them.
    int32_t SetWDRStyle(uint32_t style);
    // Kept for existing callers; they do nothing and answer 0. The ToF auto-exposure and
    // raw-depth cut switches have nothing in the engine that acts on them.
    int32_t SetTofAecEnabled(bool enabled);
    int32_t SetRawDepthCut(bool enabled);
    int32_t SetRangeValue(uint32_t a, uint32_t b, uint32_t c);
    int32_t SetSaveComputeDepthTab();

    // --- mapping and filters: -255 without the pre-processing library -----------------------
    // Depth-to-RGB delivers colour in depth geometry (MappedRGBFrame), RGB-to-depth depth in
    // colour geometry (MappedDepthFrame), RGB-to-IR IR in colour geometry (MappedIRFrame).
    int32_t SetMapperEnabledDepthToRGB(bool enabled);
    int32_t GetMapperEnabledDepthToRGB(bool& enabled);
    int32_t SetMapperEnabledRGBToDepth(bool enabled);
    int32_t GetMapperEnabledRGBToDepth(bool& enabled);
    int32_t SetMapperEnabledRGBToIR(bool enabled);
    int32_t GetMapperEnabledRGBToIR(bool& enabled);
    int32_t SetComputeRealDepthCorrectionEnabled(bool enabled);
    int32_t GetComputeRealDepthCorrectionEnabled(bool& enabled);
    int32_t SetSmoothingFilterEnabled(bool enabled);
    int32_t GetSmoothingFilterEnabled(bool& enabled);
    int32_t SetDepthDistortionCorrectionEnabled(bool enabled);
    int32_t GetDepthDistortionCorrectionEnabled(bool& enabled);
    int32_t SetIrDistortionCorrectionEnabled(bool enabled);
    int32_t GetIrDistortionCorrectionEnabled(bool& enabled);
    int32_t SetRGBDistortionCorrectionEnabled(bool enabled);
    int32_t GetRGBDistortionCorrectionEnabled(bool& enabled);
    int32_t SetRGBCorrectionEnabled(bool enabled);
    int32_t GetRGBCorrectionEnabled(bool& enabled);
    int32_t SetTimeFilterEnabled(bool enabled);
    int32_t GetTimeFilterEnabled(bool& enabled);
    int32_t SetSpatialFilterEnabled(bool enabled);
    int32_t GetSpatialFilterEnabled(bool& enabled);

    // --- calibration -----------------------------------------------------------------------------
    // Camera type 1 depth, 2 colour (-255 otherwise). Served from the cache when it is
    // filled and SetFromLocal did not turn it off.
    int32_t GetCameraIntrinsic(uint32_t cameraType, Matrix3& intrinsic);
    int32_t GetCameraDistortion(uint32_t cameraType, Distortion& distortion);
    int32_t GetCameraRotation(Matrix3& rotation);
    int32_t GetCameraTransfer(Vector3& translation);
    // Written to the camera; the cache keeps what was read at initialisation.
    int32_t SetCameraIntrinsic(uint32_t cameraType, const Matrix3& intrinsic);
    int32_t SetCameraDistortion(uint32_t cameraType, const Distortion& distortion);
    int32_t SetCameraRotation(const Matrix3& rotation);
    int32_t SetCameraTransfer(const Vector3& translation);
    int32_t SetFromLocal(bool fromLocal);
    int32_t BuildPixelRayTable();
    // Null before the table was built.
    std::shared_ptr<const PixelRayTable> GetPixelRayTable();
    int32_t SetLens(const LensRecord& lens);
    int32_t GetLens(LensRecord& lens);
    int32_t InitLens();

    // --- whole records of the public interface ----------------------------------------------
    // Colour resolution by its public code (an unknown code sets 1920 x 1080; a size
    // without a code leaves `code` as it was).
    int32_t SetColourResolution(uint32_t code);
    int32_t GetColourResolution(uint16_t& code);
    // One lens (1 depth, 2 colour): focal lengths and principal point, the colour lens's
    // scaled to the colour size delivered, and its distortion.
    int32_t GetCameraParameters(uint32_t sensor, NsCameraParameters& out);
    int32_t GetCameraExtrinsics(NsCameraExtrinsicParameters& out);
    // The 76-byte record: a u32 selector (0..7: depth and colour intrinsics and distortion,
    // rotation, translation, E, F) and nine doubles. -15 for a size that does not fit; a
    // selector past 7 is logged and answered 0 without touching the camera.
    int32_t ReadCameraParameterRecord(void* data, uint32_t& size);
    int32_t WriteCameraParameterRecord(const void* data, uint32_t size);
    // Parts of the camera's GMM reply: the 16-bit gain, the IRS2 record (sub-command and
    // switch), and the three GMM doubles as bytes.
    int32_t GetGMMGain(uint16_t& gain);
    int32_t GetIRS2Record(std::array<uint8_t, 2>& record);
    int32_t GetGMMValues(std::array<uint8_t, 24>& values);
    // The DSP switch through the DSP status record (selector 0).
    int32_t SetDSPEnabled(bool enabled);
    int32_t GetDSPEnabled(bool& enabled);

    // --- conversion ---------------------------------------------------------------------------
    // Maps a depth point into the colour image (width in the low 16 bits of
    // `colourResolution`, height in the high ones) under the process-wide mapping lock. 0
    // only when the pre-processing object mapped it; -1 with a zeroed point otherwise.
    int32_t GetMappedPointDepthToRGB(const NsDepthVector3& depthPoint, uint32_t colourResolution,
                                     NsColorPoint* colourPoint);

    // --- properties -----------------------------------------------------------------------------
    // `size`: what `data` holds (in) and what was delivered (out). The WDR properties
    // (kWDRSetting, kWDRThreshold, kWDRGMMGain) only in a WDR data mode: outside one a set
    // returns 1 and a get -255. kFrameInfo reads a Frame record (size >= sizeof(Frame)).
    int32_t SetProperty(uint32_t id, const void* data, uint32_t size);
    int32_t GetProperty(uint32_t id, void* data, uint32_t* size);

    uint32_t GetDeviceType() const {
        return m_sessionInfo.deviceType;
    }
    const SessionInfo& GetSessionInfo() const {
        return m_sessionInfo;
    }
    void SetSessionIndex(uint32_t index) {
        m_sessionIndex = index;
    }
    uint32_t SessionIndex() const {
        return m_sessionIndex;
    }
    SessionState State() const {
        return m_state.load();
    }
    bool IsInitialised() const {
        return quorix::IsInitialised(m_state.load());
    }
    bool CameraPushesParameters() const {
        return m_pushesParameters.load();
    }
    bool GetDeviceSync() const {
        return m_echo.Synchronised();
    }
    uint16_t GetStoredThreshold() const {
        return m_threshold.load();
    }
    uint8_t GetStoredDataMode() const {
        return m_dataMode.load();
    }
    uint32_t GetStoredDepthRange() const {
        return m_depthRange.load();
    }
    bool IsPlaneCorrectionAvailable() const {
        return m_planeAvailable.load();
    }
    DeviceStatus GetDeviceStatus() const;
    TofFrameMode GetRgbFrameMode() const;
    BaseProtocol* Protocol() const {
        return m_protocol.get();
    }
    ImageProc& Engine() {
        return m_imageProc;
    }

private:
    // What the engine sees of the session.
    class Context final : public SessionContext {
    public:
        explicit Context(BaseSession& session) : m_session(session) {}
        uint32_t DeviceType() const override;
        std::mutex& TransportLock() override;
        bool HasTransport() const override;
        int32_t ReadTransport(uint8_t* buffer, uint32_t& length) override;
        void StoreDeviceStatus(const uint8_t* payload, size_t length) override;
        bool IsFirstStatus() const override;
        void SetFirstStatus(bool first) override;
        void SetDeviceSync(bool on) override;
        void StoreJsonState(uint8_t state) override;
        void StoreJsonResult(uint8_t result, uint8_t errorCode) override;
        ImageSettings CurrentImageSettings() const override;
        int32_t SerialNumber(char* buffer, uint32_t capacity) override;
        int32_t SendProperty(uint32_t id, const void* data, uint32_t length) override;

    private:
        BaseSession& m_session;
    };

    int32_t ReadParameters();
    void ReadColourLens();
    // Sends the state an ini file configured (depth range, WDR mode, data mode, GMM gain,
    // pulse count, IRS2 switch, threshold); stops at the first negative status.
    int32_t PushConfiguredState();
    // The ini's valid ranges and data modes replace the camera's lists (empty keeps them).
    void ApplyIniLists(const Config& config);
    void ApplyIniFilters(const Config& config);
    void ApplyPushedParameters(const PushedParameters& p);
    // A counted list (count byte, codes) from a pushed block, else from the camera's
    // property `id`; false when neither gave a non-empty one.
    bool ReadCountedList(const uint8_t* pushed, uint32_t id, uint8_t* list, uint32_t bytes);
    void InitDataModeList(const uint8_t* pushed);
    void InitDepthRangeList(const uint8_t* pushed);
    ImageSettings CurrentImageSettings() const;
    // True while the camera's echoes can be awaited: it sends status blocks and the stream
    // is read, and the device is not closing. While the stream is stopped no status
    // arrives, so nothing is awaited.
    bool ConfirmationActive() const;
    // Polls the status record until `matches` holds; false when the polls run out or the
    // confirmation stops being possible. `last` receives the last record seen.
    template <class Matches>
    bool AwaitEcho(uint32_t polls, std::chrono::milliseconds interval, const Matches& matches,
                   DeviceStatus& last) const {
        return m_echo.Await(
            polls, interval, matches, [this] { return ConfirmationActive(); }, last);
    }
    // Sends with `send` and, while confirmation is possible, awaits `matches` (-105 when
    // it never holds). `last` receives the last status seen.
    template <class Send, class Matches>
    int32_t SendConfirmed(const Send& send, uint32_t polls, std::chrono::milliseconds interval,
                          const Matches& matches, DeviceStatus& last) const {
        const bool confirm = ConfirmationActive();
        const int32_t ret = send();
        last = GetDeviceStatus();
        if (ret == 0 && confirm && !AwaitEcho(polls, interval, matches, last)) {
            return kStatusNotConfirmed;
        }
        return ret;
    }
    // After a change of data mode or slave mode: the decoders drop what they hold and the
    // synchroniser starts over.
    void ResetPipeline();
    // A pulse-count record (or its threshold and gain twins) for a range that the current
    // three-range WDR mode does not use.
    bool IsOutsideWdrRanges(const PulseCountRecord& record) const;
    // Sends one depth range's value record (pulse count, threshold x 10 or GMM gain) and
    // awaits its `echo` field; `what` names the value in the failure log.
    int32_t SendRangeRecord(const PulseCountRecord& record, const std::function<int32_t()>& send,
                            uint16_t DeviceStatus::*echo, const char* what);
    // The three WDR property writes: one record per WDR range.
    int32_t SetWdrProperty(uint32_t id, const void* data, uint32_t size);
    // The pre-processing library that the mapper and filter switches need; null without.
    ImgPreProcess* PreProcessor() const {
        return m_imageProc.PreProcess();
    }
    uint32_t FirmwareBuild();
    static std::string ConfigFolder();

    SessionInfo m_sessionInfo;
    const ModelTraits& m_model;  // the row of the session's device type
    std::mutex m_transportLock;  // the reader's transport reads
    Context m_context{*this};
    // Declared before the protocol: destroyed after it, and joined before it goes.
    ImageProc m_imageProc;
    std::unique_ptr<BaseProtocol> m_protocol;
    std::mutex m_lock;  // stream start/stop, frame reads and fetches

    uint32_t m_sessionIndex = 0;
    std::atomic<SessionState> m_state{SessionState::kClosed};
    std::atomic<bool> m_connected{true};
    std::atomic<bool> m_closing{false};
    std::atomic<bool> m_pushesParameters{false};
    std::atomic<bool> m_iniApplied{false};
    std::atomic<bool> m_synchronize{true};
    std::atomic<bool> m_fromLocal{true};
    std::atomic<bool> m_planeAvailable{false};
    std::atomic<int32_t> m_imageRotation{-255};

    // Camera state.
    std::atomic<uint8_t> m_dataMode{0};
    std::atomic<uint32_t> m_depthRange{0};
    std::atomic<uint16_t> m_threshold{20};
    std::atomic<uint16_t> m_pulseCount{kNotConfigured};
    std::atomic<bool> m_pulseCountKnown{false};
    // Configured by the ini file and sent by InitDevice.
    std::atomic<uint16_t> m_gmmGain{kNotConfigured};
    std::atomic<uint8_t> m_gmmOption{0};
    std::atomic<uint16_t> m_irs2{1};

    // Status echo from the stream.
    StatusEcho m_echo;

    // What the session knows of its camera, under its lock.
    mutable std::mutex m_cacheLock;
    CameraRecords m_cache;
    std::unique_ptr<uint8_t[]> m_planeCorrection;

    mutable std::mutex m_rayLock;
    std::shared_ptr<const PixelRayTable> m_rayTable;
};

}  // namespace quorix
