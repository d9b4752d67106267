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
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/DeviceInfo.h"
#include "imaging/ImageProc.h"
#include "imaging/SessionContext.h"
#include "pipeline/Frame.h"
#include "protocol/DeviceStatus.h"
#include "protocol/InitParams.h"
#include "protocol/ProtocolTypes.h"

namespace quorix {

class BaseProtocol;

// ((u - cx) / fx, (v - cy) / fy) for every column u and row v of the depth image, row by
// row. Shared read-only; a rebuild makes a new table.
struct PixelRayTable {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<double> rays;  // two per pixel
};

class BaseSession {
public:
    static constexpr uint32_t kPlaneCorrectionBytes = 1228800;
    static constexpr uint32_t kPlaneCorrectionEntries = kPlaneCorrectionBytes / 4;
    static constexpr uint32_t kMaxFailedReads = ImageProc::kMaxFailedReads;
    static constexpr uint16_t kNotConfigured = 65535;

    explicit BaseSession(const SessionInfo& info);
    virtual ~BaseSession();

    BaseSession(const BaseSession&) = delete;
    BaseSession& operator=(const BaseSession&) = delete;

    // --- lifecycle --------------------------------------------------------------------------
    // -103 when already opened, -255 without a protocol, else the protocol's status.
    virtual int32_t OpenDevice();
    // TK1A: colour auto-exposure off and the idle data mode first. -255 without a protocol.
    virtual int32_t CloseDevice();
    // Starts the camera's stream; the first start after an open runs InitDevice.
    virtual int32_t StartStream();
    virtual int32_t StopStream();
    virtual bool IsStreaming();
    // False once the connection was lost or more than 300 reads in a row failed.
    virtual bool IsAlive();
    // Reads (or takes from the stream) the camera's parameters and configures the engine.
    virtual int32_t InitDevice();
    // Value 1: the connection was lost. Anything else does nothing. Returns 0.
    virtual int32_t SetConnectStatus(int32_t value);

    // --- frames -------------------------------------------------------------------------------
    virtual int32_t ReadNextFrame(uint32_t* readySet);
    // -5 for a null record.
    virtual int32_t GetFrame(uint32_t frameType, Frame* out);
    // Frame types 0 depth, 1 IR, 3 colour; -12 for a null pointer.
    virtual int32_t GetFrameMode(uint32_t frameType, uint32_t* width, uint32_t* height,
                                 uint32_t* fps);
    // The depth and IR frame modes of a data mode (-1 for an unknown one).
    virtual int32_t SetFrameMode(uint8_t dataMode);
    virtual int32_t GetColorPixelFormat();
    virtual int32_t SetWaitTimeOfReadNextFrame(uint16_t milliseconds);
    virtual int32_t SetSynchronizeEnabled(bool enabled);
    virtual bool GetSynchronizeEnabled();
    virtual bool RegisterNotify(NsFrameCallback callback);
    virtual bool UnRegisterNotify();
    virtual int32_t SetDepthFrameEnabled(bool enabled);
    virtual int32_t SetIrFrameEnabled(bool enabled);
    virtual int32_t SetRgbFrameEnabled(bool enabled);

    // --- settings -------------------------------------------------------------------------------
    // Confirmed by the camera's status echo while it sends status blocks and streams.
    virtual int32_t SetThreshold(uint16_t threshold);
    virtual int32_t SetDataMode(uint8_t mode);
    virtual int32_t GetDataMode(uint8_t& mode);
    virtual int32_t GetDepthRange(uint32_t& range);
    virtual int32_t GetWDROutputMode(WDROutputMode& mode);
    virtual int32_t SetPulseCount(uint16_t pulseCount);
    // The pulse count (>= 0) or a failure.
    virtual int32_t GetPulseCount();
    virtual int32_t SetRgbAecEnabled(bool enabled);
    // Computed from the stored records: the group in range.depthMode.
    virtual int32_t GetMeasuringRange(NsMeasuringRange& range);
    virtual bool IsDataModeInList(uint8_t mode);
    virtual bool IsDepthRangeInList(uint32_t range);
    // Applies the model's ini file; 1 when there is none.
    virtual int32_t ResetByIniFile(uint32_t deviceType, uint32_t sessionIndex);

    // --- calibration -----------------------------------------------------------------------------
    // Camera type 1 depth, 2 colour (-255 otherwise). Served from the cache when it is
    // filled and SetFromLocal did not turn it off.
    virtual int32_t GetCameraIntrinsic(uint32_t cameraType, Matrix3& intrinsic);
    virtual int32_t GetCameraDistortion(uint32_t cameraType, Distortion& distortion);
    virtual int32_t GetCameraRotation(Matrix3& rotation);
    virtual int32_t GetCameraTransfer(Vector3& translation);
    virtual int32_t SetFromLocal(bool fromLocal);
    virtual int32_t BuildPixelRayTable();
    // Null before the table was built.
    virtual std::shared_ptr<const PixelRayTable> GetPixelRayTable();
    virtual int32_t SetLens(const LensRecord& lens);
    virtual int32_t GetLens(LensRecord& lens);
    virtual int32_t InitLens();
    virtual int32_t GetPlaneCorrectionParam(uint16_t& id, void* block, uint32_t capacity,
                                            uint32_t& count);

    // --- conversion ---------------------------------------------------------------------------
    // Maps a depth point into the colour image (width in the low 16 bits of
    // `colourResolution`, height in the high ones) under the process-wide mapping lock. 0
    // only when the pre-processing object mapped it; -1 with a zeroed point otherwise.
    virtual int32_t GetMappedPointDepthToRGB(const NsDepthVector3& depthPoint,
                                             uint32_t colourResolution,
                                             NsColorPoint* colourPoint);

    // --- identity -------------------------------------------------------------------------------
    virtual int32_t GetSN(char* buffer, uint32_t capacity);
    virtual int32_t GetProperty(uint32_t id, void* data, uint32_t* size);

    uint32_t GetDeviceType() const { return m_sessionInfo.deviceType; }
    void SetSessionIndex(uint32_t index) { m_sessionIndex = index; }
    uint32_t SessionIndex() const { return m_sessionIndex; }
    bool IsOpened() const { return m_opened.load(); }
    bool IsInitialised() const { return m_initialised.load(); }
    bool CameraPushesParameters() const { return m_pushesParameters.load(); }
    bool GetDeviceSync() const { return m_deviceSync.load(); }
    uint16_t GetStoredThreshold() const { return m_threshold.load(); }
    uint8_t GetStoredDataMode() const { return m_dataMode.load(); }
    uint32_t GetStoredDepthRange() const { return m_depthRange.load(); }
    bool IsPlaneCorrectionAvailable() const { return m_planeAvailable.load(); }
    DeviceStatus GetDeviceStatus() const;
    TofFrameMode GetRgbFrameMode() const;
    BaseProtocol* Protocol() const { return m_protocol.get(); }
    ImageProc& Engine() { return m_imageProc; }

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
    void ApplyPushedParameters(const PushedParameters& p);
    // Models whose colour mode needs no lens command and whose lists follow one rule: TK2A,
    // TKS1, TK5U, TK5P, TK5E, TK5Pro_ADI, TK4A, TK4Alite, TK4Aliteusb.
    static bool IsStandardModel(uint32_t deviceType);
    // A counted list (count byte, codes) from a pushed block, else from the camera's
    // property `id`; false when neither gave a non-empty one.
    bool ReadCountedList(const uint8_t* pushed, uint32_t id, uint8_t* list, uint32_t bytes);
    void InitDataModeList(const uint8_t* pushed);
    void InitDepthRangeList(const uint8_t* pushed);
    ImageSettings CurrentImageSettings() const;
    // True while the camera's echoes can be awaited: it sends status blocks and the stream
    // is read. While the stream is stopped no status arrives, so nothing is awaited.
    bool ConfirmationActive() const;
    // Polls the status record until `matches` holds; false when the polls run out or the
    // confirmation stops being possible. `last` receives the last record seen.
    template <class Matches>
    bool AwaitEcho(uint32_t polls, std::chrono::milliseconds interval, const Matches& matches,
                   DeviceStatus& last) const {
        for (uint32_t i = 0; i < polls && ConfirmationActive(); ++i) {
            last = GetDeviceStatus();
            if (matches(last)) {
                return true;
            }
            std::this_thread::sleep_for(interval);
        }
        return false;
    }
    uint32_t FirmwareBuild();
    static std::string ConfigFolder();

    SessionInfo m_sessionInfo;
    std::mutex m_transportLock;  // the reader's transport reads
    Context m_context{*this};
    // Declared before the protocol: destroyed after it, and joined before it goes.
    ImageProc m_imageProc;
    std::unique_ptr<BaseProtocol> m_protocol;
    std::mutex m_lock;  // stream start/stop, frame reads and fetches

    uint32_t m_sessionIndex = 0;
    std::atomic<bool> m_opened{false};
    std::atomic<bool> m_initialised{false};
    std::atomic<bool> m_streaming{false};
    std::atomic<bool> m_connected{true};
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

    // Status echo from the stream.
    mutable std::mutex m_statusLock;
    DeviceStatus m_status;
    std::atomic<bool> m_deviceSync{false};
    std::atomic<bool> m_firstStatus{false};
    std::atomic<uint8_t> m_jsonState{0};
    std::atomic<uint8_t> m_jsonResult{0};
    std::atomic<uint8_t> m_jsonError{0};

    // Cached records and calibration.
    mutable std::mutex m_cacheLock;
    TofFrameMode m_depthMode{640, 480, 30};
    TofFrameMode m_irMode{640, 480, 30};
    TofFrameMode m_rgbMode{640, 360, 30};
    LensRecord m_lens{};
    WDROutputMode m_wdr{};
    std::array<RangeOffsetRecord, 3> m_rangeOffsets{};
    std::array<NsMeasuringRange, 3> m_measuringRanges{};
    std::array<uint8_t, 33> m_dataModeList{};    // count, then up to 32 modes
    std::array<uint8_t, 10> m_depthRangeList{};  // count, then up to 9 ranges
    Matrix3 m_depthIntrinsic{};
    Matrix3 m_colourIntrinsic{};
    Distortion m_depthDistortion{};
    Distortion m_colourDistortion{};
    Matrix3 m_rotation{};
    Vector3 m_translation{};
    // Kept from a pushed block for the engine; nothing reads them yet.
    float m_depthScale = 0.0f;
    uint16_t m_count16 = 0;
    uint8_t m_pushedFlag = 0;
    std::array<uint8_t, 16> m_blockA{};
    std::array<uint8_t, 16> m_blockB{};
    std::unique_ptr<uint8_t[]> m_planeCorrection;

    mutable std::mutex m_rayLock;
    std::shared_ptr<const PixelRayTable> m_rayTable;
};

}  // namespace quorix
