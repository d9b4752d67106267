// Sync: groups the depth, IR and colour frames of one capture into a frame set. The
// decoders push frames into their queues and announce them with SetSingleFrameReady; the
// "Sync" thread moves them into a ring of six slots keyed by frame index and hands the
// oldest complete capture to the application side, which takes its frames with
// TakeSynchronizedSet.
//
// Threads: SetSingleFrameReady runs on the decoder threads; TakeSynchronizedSet and
// WaitSingleFrame on the application's reading thread; the switches on the session's
// thread. Only the Sync thread (or Reset, under the ring lock) touches the slots.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "pipeline/AutoResetEvent.h"
#include "pipeline/Frame.h"
#include "pipeline/FrameQueue.h"
#include "pipeline/StoppableThread.h"

namespace quorix {

// One capture's frames: a ring slot, the output set, or the set TakeSynchronizedSet hands
// to the caller.
struct SyncSet {
    uint32_t frameIndex = 0;
    Frame* colour = nullptr;
    Frame* depth = nullptr;
    Frame* ir = nullptr;
    uint8_t depthPresent = 0;
    uint8_t irPresent = 0;
    uint8_t colourPresent = 0;
    uint32_t frameSet = 0;  // frame kinds the capture delivers (kFrameSet* bits)
    uint8_t occupied = 0;   // used since the slot was last recycled
};

class Sync : public StoppableThread {
public:
    static constexpr uint32_t kSlots = 6;
    static constexpr uint32_t kDefaultWaitMs = 350;

    // The decoders' output queues; any may be null (that kind is then never taken). The
    // queues must outlive the Sync, which returns its frames to them when destroyed.
    Sync(FrameQueue* depth, FrameQueue* ir, FrameQueue* colour);
    ~Sync() override;

    // Names the two events after the camera's serial number ("SingleFrameReady_%s",
    // "SyncFrameReady_%s"). Called before the thread starts. 0 or the event's status.
    int32_t CreateEvents(const std::string& serialNumber);

    // Decoder side: frames of the kinds in `mask` (bit 0 depth, 1 IR, 2 colour) were
    // pushed into their queues.
    void SetSingleFrameReady(uint8_t mask);

    // Waits up to the wait time-out for a complete set and hands its frames to the caller:
    // `out` receives the frame index, the frame-set mask and the present frames, which the
    // caller owns from then on and gives back to their queues (FrameQueue::Release). Lending
    // instead of copying spares the caller's thread a copy of every set (7.4 MB at full
    // colour size). False when no set came. A wait ends early, false, once `abandon` reads
    // true and WakeReaders was called.
    bool TakeSynchronizedSet(SyncSet& out, const std::atomic<bool>* abandon = nullptr);
    // Unsynchronised reading: waits up to the wait time-out for an announcement and returns
    // the kinds announced since the last look (0 on time-out or when abandoned).
    uint8_t WaitSingleFrame(const std::atomic<bool>* abandon = nullptr);
    // Wakes the application-side waits so they look at their abandon flags (a reading
    // thread is being stopped).
    void WakeReaders();

    // Returns the output set and every slot's frames to their pools and empties the ring.
    void Reset();
    // Asks the thread to reset before its next round (data mode or slave mode changed).
    void RequestReset() { m_resetRequested.store(true); }

    // Switching synchronisation back on empties the ring, so no set mixes old and new.
    void SetEnabled(bool enabled);
    bool IsEnabled() const { return m_enabled.load(); }
    // Stream stopped / low-power mode: the ring is emptied and stays empty. A stop is
    // also remembered as a reset: a start that follows at once, before the thread saw the
    // stream stopped, must not find the old stream's partial sets holding pool frames.
    void SetStreamOn(bool on) {
        if (!on) {
            m_resetRequested.store(true);
        }
        m_streamOn.store(on);
    }
    void SetActive(bool active) { m_active.store(active); }
    void SetWaitTimeOfReadNextFrame(uint32_t milliseconds) { m_waitMs.store(milliseconds); }
    uint32_t WaitTime() const { return m_waitMs.load(); }

    // One round of the thread's loop (it repeats this while running); tests drive the ring
    // with it directly.
    void Step();
    // Captures waiting in the ring for their missing frames.
    uint32_t PendingSets() const;

protected:
    void Run() override;
    void OnStopRequested() override;

private:
    // How the ring reaches one frame kind: its bit, its fields in a set, its queue.
    struct Kind {
        uint32_t bit;
        uint32_t bytesPerPixel;
        Frame* SyncSet::*frame;
        uint8_t SyncSet::*present;
        FrameQueue* queue;
    };

    uint8_t TakeReadyMask();
    bool StreamLive() const { return m_streamOn.load() && m_active.load(); }
    void ResetLocked();
    void Drain(uint8_t mask);
    void Place(const Kind& kind, Frame* frame);
    SyncSet* FindSlot(uint32_t frameIndex);
    void HandOverHead();
    // Returns the set's present frames to their pools and forgets them.
    void ReleaseSet(SyncSet& set) const;
    static bool HasFrames(const SyncSet& set);

    // Drain order: colour, depth, IR.
    const std::array<Kind, 3> m_kinds;

    std::atomic<bool> m_enabled{true};
    std::atomic<bool> m_streamOn{true};
    std::atomic<bool> m_active{true};
    std::atomic<bool> m_resetRequested{false};
    std::atomic<uint32_t> m_waitMs{kDefaultWaitMs};

    AutoResetEvent m_singleFrameReady;
    AutoResetEvent m_syncFrameReady;

    std::mutex m_readyLock;
    uint8_t m_readyMask = 0;

    // Ring lock before output lock, never the other way.
    mutable std::mutex m_ringLock;
    std::array<SyncSet, kSlots> m_slots{};
    uint32_t m_head = 0;
    uint32_t m_tail = 0;

    std::mutex m_outputLock;
    SyncSet m_output;
};

}  // namespace quorix
