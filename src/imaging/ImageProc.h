// ImageProc: the per-session frame engine. Its "ImageProc" thread reads whole transport
// buffers through the session, sorts the image sub-packets into a raw ToF record and a raw
// colour record for TofDecode and RgbDecode, and hands status, pushed parameters and
// JSON-transfer state to the session. The application side (ReadNextFrame, GetFrame) and
// the "Callback" thread deliver what the decoders and Sync produce.
//
// Threads:
// - the reader thread runs ProcessData under the session's transport lock;
// - TofDecode and RgbDecode reach the raw queues only through the Producer interface;
// - ReadNextFrame, GetFrame and RegisterNotify run on the application's thread under the
//   session's lock; the Callback thread runs the same reading paths without any lock and
//   calls the application's callback with no library lock held;
// - the switches are atomics and may be set from any thread.
//
// Ownership: the pre-processing object and the raw queues outlive the decoders, the
// decoders outlive Sync, and Sync gives its frames back when it goes. The callback may
// destroy the session that owns this engine; the Callback thread then returns without
// touching the engine again.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "imaging/FrameMapper.h"
#include "imaging/RgbDecode.h"
#include "imaging/SessionContext.h"
#include "imaging/TofDecode.h"
#include "imgproc/ImgPreProcess.h"
#include "model/ModelTraits.h"
#include "pipeline/FrameQueue.h"
#include "pipeline/Producer.h"
#include "pipeline/StoppableThread.h"
#include "pipeline/Sync.h"
#include "protocol/InitParams.h"
#include "quorix/quorix_api.h"

namespace quorix {

// The process-wide lock under which depth and colour are mapped and the colour mode
// changes (SetLens), so a mapping never sees half-changed colour parameters.
std::mutex& MappingLock();

struct RawType;

class ImageProc : public StoppableThread, public Producer {
public:
    static constexpr uint32_t kReadBufferBytes = 8696254;
    static constexpr uint32_t kHeldColourBytes = 6220800;
    static constexpr uint32_t kHeldImageBytes = 4147200;
    static constexpr uint32_t kRawQueueFrames = 5;
    // The first accepted buffers that only start the stream up.
    static constexpr uint32_t kFirstDeliveredFrame = 5;
    static constexpr uint32_t kReconnectDrops = 3;
    static constexpr uint32_t kMaxFailedReads = 300;
    static constexpr uint32_t kSavedBuffers = 7;

    // Result of a reading path whose callback destroyed this engine.
    static constexpr int32_t kOwnerGone = -0x7000;

    // `session` is not owned and outlives the engine. `preProcess` may be null.
    ImageProc(SessionContext* session, std::unique_ptr<ImgPreProcess> preProcess);
    explicit ImageProc(SessionContext* session);
    ~ImageProc() override;

    // --- settings (session thread) --------------------------------------------------------
    // Configures the decoders from the session's settings and starts RgbDecode, TofDecode
    // and (once) Sync.
    int32_t ApplySettings();
    // -1 without a pre-processing object (the mode is stored all the same).
    int32_t SetDataMode(uint8_t mode);
    uint8_t GetDataMode() const { return m_dataMode.load(); }
    void SetSynchronizeEnabled(bool enabled);
    bool GetSynchronizeEnabled() const { return m_synchronize.load(); }
    // The transport's state as the session sees it (logged).
    void SetConnectStatus(bool connected);
    void SetTransportConnected(bool connected) { m_transportConnected.store(connected); }
    // Stream start (true) and stop: the reader, both decoders and Sync follow; the failed
    // reads start again from 0.
    void SetStreamSwitches(bool on);
    // Both decoders only (the reader goes on): while off, their raw records are dropped.
    void SetDecodingEnabled(bool on);
    // Returns every record waiting for the decoders to its pool.
    void DropRawBacklog();
    bool IsStreaming() const { return m_streaming.load(); }
    uint32_t FailedReads() const { return m_failedReads.load(); }
    void ResetFailedReads() { m_failedReads.store(0); }
    // The colour mode: RgbDecode's size and the colour camera matrix.
    void SetColourMode(uint32_t width, uint32_t height, uint32_t fps);
    // Kinds 0 depth, 1 IR, 2 colour, 3 and 4 further kinds (3 the inertial data); -1 else.
    int32_t SetFrameEnabled(uint32_t kind, bool enabled);
    bool GetFrameEnabled(uint32_t kind) const;
    // Every queue and wait of the pipeline.
    void SetWaitTime(uint16_t milliseconds);
    void SetSaveRawBufferEnabled(bool enabled);
    void SetSaveFolder(const std::string& folder);
    void SetMapperEnabledColourToDepth(bool on) { m_mapColourToDepth.store(on); }
    void SetMapperEnabledDepthToColour(bool on) { m_mapDepthToColour.store(on); }
    void SetMapperEnabledIRToColour(bool on) { m_mapIRToColour.store(on); }
    bool GetMapperEnabledColourToDepth() const { return m_mapColourToDepth.load(); }
    bool GetMapperEnabledDepthToColour() const { return m_mapDepthToColour.load(); }
    bool GetMapperEnabledIRToColour() const { return m_mapIRToColour.load(); }
    // 2 delivers IR as 8-bit grey.
    void SetIROutputMode(uint32_t mode) { m_irOutputMode.store(mode); }
    // Applied to frames on their way out; -255 turns them off.
    void SetOutputRotation(int32_t rotateType) { m_outputRotation.store(rotateType); }
    void SetOutputFlip(int32_t flipCode) { m_outputFlip.store(flipCode); }
    int32_t DeviceStatusByte() const { return m_deviceStatus.load(); }

    // --- pushed parameters ----------------------------------------------------------------
    // Stores the blocks of a 0x2E payload; later payloads are ignored once one succeeded.
    int32_t DecodeDeviceInitParams(const uint8_t* payload, size_t length);
    bool InitParamsReceived() const { return m_initParamsReceived.load(); }
    // A copy of the blocks; false before they arrived.
    bool CopyInitParams(InitParamBlocks& out) const;
    // Forgets received blocks, so a reopened camera's new ones are taken.
    void ResetInitParams();

    // --- delivery (application thread, under the session's lock) -------------------------
    // ORs the NsFrameReady* bits of the frames made ready into *readySet. 0, -2 (not
    // streaming), -1 (callback registered, or the transport is not connected), -255
    // (callback registered and reads keep failing), -11 (nothing in time) or the camera's
    // non-zero status byte.
    int32_t ReadNextFrame(uint32_t* readySet);
    // The device is closing: a ReadNextFrame waiting now, and every later one, gives up at
    // once (-11) instead of waiting out its time.
    void AbandonReaders();
    // The ready frame of `frameType`; its data stay valid until the next ReadNextFrame.
    // -5 for null; -4 with a zeroed record when none is ready or the type is invalid.
    int32_t GetFrame(uint32_t frameType, Frame* out);
    // The record of the newest depth frame that ReadNextFrame delivered (fetched or not),
    // else of the newest IR frame, without taking it; its data stay valid until the next
    // ReadNextFrame. -4 and a zeroed record before any was delivered; -1 while a frame
    // callback takes the frames.
    int32_t GetFrameInfo(Frame* out) const;
    // Stores the callback and starts the Callback thread. Call without the session's lock
    // (a callback thread stopped earlier is joined first). False for null.
    bool RegisterNotify(NsFrameCallback callback);
    // Stops the Callback thread (from the thread itself: only asks it to stop, and the join
    // is left to whoever starts or destroys it next) and forgets the callback.
    bool UnRegisterNotify();
    // Joins a Callback thread that was asked to stop (not from the thread itself).
    void ReapCallbackThread();
    bool HasCallback() const { return m_callback.load() != nullptr; }

    // --- lifecycle (session, in this order) ----------------------------------------------
    void StopCallback();
    // Asks Sync, TofDecode, RgbDecode and the reader to stop and wakes them.
    void RequestStop();
    // Joins Sync, TofDecode, RgbDecode and the reader.
    void JoinThreads();

    // --- parts ------------------------------------------------------------------------------
    TofDecode& Tof() { return *m_tofDecode; }
    RgbDecode& Rgb() { return *m_rgbDecode; }
    Sync& Synchroniser() { return *m_sync; }
    ImgPreProcess* PreProcess() const { return m_preProcess.get(); }
    uint32_t FrameCounter() const { return m_frameCounter.load(); }

    // --- Producer (decoder threads) ------------------------------------------------------
    void SetSingleFrameReady(uint8_t mask) override;
    int32_t GetRawTofFrame(Frame*& frame) override;
    int32_t GetRawRgbFrame(Frame*& frame) override;
    void ReleaseRawTofFrame(Frame* frame) override;
    void ReleaseRawRgbFrame(Frame* frame) override;

protected:
    void Run() override;

private:
    // The "Callback" thread: runs the reading paths for the registered callback.
    class CallbackThread final : public StoppableThread {
    public:
        explicit CallbackThread(ImageProc& owner);
        ~CallbackThread() override;

    protected:
        void Run() override;
        void OnStopRequested() override;

    private:
        ImageProc& m_owner;
    };
    struct Held {
        Frame frame;
        std::atomic<bool> ready{false};
    };
    struct FreeDeleter {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    using Buffer = std::unique_ptr<uint8_t, FreeDeleter>;
    static Buffer ZeroedBuffer(size_t bytes);

    enum HeldKind : uint32_t {
        kHeldDepth,
        kHeldIR,
        kHeldColour,
        kHeldMappedColour,
        kHeldMappedDepth,
        kHeldMappedIR,
        kHeldCount
    };

    // Reader.
    void ProcessData(uint32_t length);
    // Walks the buffer's sub-packets into the current records; false on a length error.
    bool WalkSubPackets(uint32_t length, uint8_t& mask, uint8_t& imu);
    // Whether the stream switches let the walk take a sub-packet of `row`.
    bool IsWanted(const RawType& row) const;
    // Puts an accepted sub-packet where its content goes; mask and imu as in the walk.
    void TakeSubPacket(const RawType& row, const uint8_t* packet, uint32_t header, uint32_t payload,
                       uint8_t& mask, uint8_t& imu);
    bool AppendToTof(const uint8_t* packet, uint32_t payload, const RawType& row);
    bool CopyToColour(const uint8_t* packet, uint32_t payload);
    void HandDeviceStatus(const uint8_t* payload, uint32_t length);
    void HandJsonState(const uint8_t* payload, uint32_t length);
    void SaveQvgaDepth(const uint8_t* payload, uint32_t length) const;
    void SaveRawBuffer(uint32_t length);
    void DeliverRecords(uint8_t mask, uint8_t imu, uint64_t timestamp);
    void ResetRecord(Frame*& record, FrameQueue& queue, int32_t poolType, uint32_t& used);

    // Settings.
    void ApplyColourMatrix(const ImageSettings& settings);

    // Reading paths; `callback` null for ReadNextFrame. `alive` is the engine's life token.
    int32_t ReadSynchronised(NsFrameCallback callback, const std::atomic<bool>& alive,
                             const std::atomic<bool>* abandon);
    int32_t ReadUnsynchronised(NsFrameCallback callback, const std::atomic<bool>& alive,
                               const std::atomic<bool>* abandon);
    // One round of the Callback thread: kOwnerGone when the callback destroyed the engine.
    int32_t DeliverToCallback(const std::atomic<bool>& alive);
    void ProcMapFrame(bool irPresent);
    // Whether a depth frame of width x height is what data mode `mode` delivers.
    static bool DepthFitsDataMode(uint8_t mode, uint32_t width, uint32_t height);
    void ProcessSpecialOnce();
    void ConvertIRTo8Bit(Frame& ir);
    void FlipSlot(NsFrame& slot) const;
    bool CopyHeld(HeldKind kind, Frame* out);
    // Depth, IR and colour are delivered in the decoders' own pool frames: `frame` becomes
    // the held frame of `kind` until the next frame of its kind replaces it, and the one it
    // replaces goes back to its pool. Application-side reading paths only.
    void Lend(HeldKind kind, Frame* frame);
    FrameQueue& HomeQueue(HeldKind kind);
    void ApplyOutputGeometry(Frame& out, bool colour);

    SessionContext* const m_session;
    const ModelTraits& m_model;

    // Declared in the order of their lifetimes: what is declared first is destroyed last.
    std::unique_ptr<ImgPreProcess> m_preProcess;
    std::unique_ptr<FrameQueue> m_rawTofQueue;
    std::unique_ptr<FrameQueue> m_rawColourQueue;
    std::unique_ptr<RgbDecode> m_rgbDecode;
    std::unique_ptr<TofDecode> m_tofDecode;
    std::unique_ptr<Sync> m_sync;

    // Current records (reader thread) and the bytes written into them.
    Frame* m_rawTof = nullptr;
    Frame* m_rawColour = nullptr;
    uint32_t m_rawTofUsed = 0;
    uint32_t m_rawColourUsed = 0;

    Buffer m_readBuffer;
    std::unique_ptr<FrameMapper> m_mapper;
    Buffer m_computedFrame;
    // Buffers of the mapped frames; depth, IR and colour live in lent pool frames.
    std::array<Buffer, kHeldCount> m_heldBuffers;
    std::array<Held, kHeldCount> m_held;
    std::array<Frame*, kHeldColour + 1> m_lent{};
    std::atomic<bool> m_wdrReady{false};
    NsFrameSet m_callbackSet{};  // Callback thread only

    // Switches.
    std::array<std::atomic<bool>, 5> m_frameEnabled{true, true, true, true, true};
    std::atomic<bool> m_connected{true};
    // Off while the session configures the decoders at a stream's start (see
    // SetDecodingEnabled): records read meanwhile are not handed on.
    std::atomic<bool> m_decodingOn{true};
    std::atomic<bool> m_transportConnected{true};
    // Off until the session starts the stream: an opened camera that does not stream yet
    // is not read (and so not counted as failing).
    std::atomic<bool> m_streaming{false};
    std::atomic<bool> m_synchronize{true};
    std::atomic<uint8_t> m_dataMode{0};
    std::atomic<int32_t> m_deviceStatus{0};
    std::atomic<bool> m_mapColourToDepth{false};
    std::atomic<bool> m_mapDepthToColour{false};
    std::atomic<bool> m_mapIRToColour{false};
    std::atomic<bool> m_assistA{false};
    std::atomic<bool> m_assistB{false};
    std::atomic<uint32_t> m_irOutputMode{1};
    std::atomic<int32_t> m_outputRotation{-255};
    std::atomic<int32_t> m_outputFlip{-255};
    std::atomic<bool> m_saveRaw{false};
    std::atomic<uint32_t> m_savedBuffers{0};
    std::atomic<bool> m_saveRawColour{false};
    std::atomic<uint32_t> m_savedColour{0};
    std::string m_saveFolder;  // set before streaming

    // Reader state.
    std::atomic<uint32_t> m_frameCounter{0};
    std::atomic<uint32_t> m_failedReads{0};
    std::atomic<bool> m_reconnected{false};  // connected went from off to on
    uint32_t m_dropCount = 0;

    // Pushed parameters.
    mutable std::mutex m_initParamsLock;
    InitParamBlocks m_initParams;
    std::atomic<bool> m_initParamsReceived{false};

    // Stop handling.
    std::atomic<bool> m_decodersStopping{false};
    std::atomic<bool> m_callbackStopping{false};
    std::atomic<bool> m_readersAbandoned{false};
    std::atomic<NsFrameCallback> m_callback{nullptr};
    // Shared with the Callback thread, which checks it after every call of the callback.
    std::shared_ptr<std::atomic<bool>> m_alive = std::make_shared<std::atomic<bool>>(true);
    std::unique_ptr<CallbackThread> m_callbackThread;
};

}  // namespace quorix
