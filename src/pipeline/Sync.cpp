// Frame-set synchronisation: a six-slot ring keyed by frame index.
#include "pipeline/Sync.h"

#include <algorithm>
#include <utility>

#include "log/Log.h"

namespace quorix {

namespace {

uint32_t Next(uint32_t i) {
    return (i + 1) % Sync::kSlots;
}

}  // namespace

Sync::Sync(FrameQueue* depth, FrameQueue* ir, FrameQueue* colour)
    : StoppableThread("Sync"),
      m_kinds{{{kFrameSetColour, 3, &SyncSet::colour, &SyncSet::colourPresent, colour},
               {kFrameSetDepth, 2, &SyncSet::depth, &SyncSet::depthPresent, depth},
               {kFrameSetIR, 2, &SyncSet::ir, &SyncSet::irPresent, ir}}} {}

Sync::~Sync() {
    Stop();
    Join();
    Reset();  // the frames go home before their queues do
}

int32_t Sync::CreateEvents(const std::string& serialNumber) {
    int32_t status = 0;
    for (auto [event, prefix] : {std::pair{&m_singleFrameReady, "SingleFrameReady_"},
                                 std::pair{&m_syncFrameReady, "SyncFrameReady_"}}) {
        const std::string name = prefix + serialNumber;
        const int32_t ret = event->Create(name);
        QLOG("event:%s ret:%d\n", ret == 0 ? event->Name().c_str() : name.c_str(), ret);
        if (ret != 0 && status == 0) {
            status = ret;
        }
    }
    return status;
}

void Sync::SetSingleFrameReady(uint8_t mask) {
    {
        std::lock_guard guard(m_readyLock);
        m_readyMask = static_cast<uint8_t>(m_readyMask | mask);
    }
    const int32_t status = m_singleFrameReady.Set();
    if (status != 0) {
        QLOG_ERROR("XnxnOSSetEvent failed, status: %d\n", status);
    }
}

uint8_t Sync::TakeReadyMask() {
    std::lock_guard guard(m_readyLock);
    return std::exchange(m_readyMask, uint8_t{0});
}

uint8_t Sync::WaitSingleFrame(const std::atomic<bool>* abandon) {
    if (!m_singleFrameReady.Wait(std::chrono::milliseconds(m_waitMs.load()), abandon)) {
        return 0;
    }
    return TakeReadyMask();
}

void Sync::WakeReaders() {
    m_singleFrameReady.Wake();
    m_syncFrameReady.Wake();
}

bool Sync::TakeSynchronizedSet(SyncSet& out, const std::atomic<bool>* abandon) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(m_waitMs.load());
    while (m_syncFrameReady.WaitUntil(deadline, abandon)) {
        std::lock_guard guard(m_outputLock);
        if (!HasFrames(m_output)) {
            continue;  // the signal of a set that a reset already took back
        }
        out = std::exchange(m_output, SyncSet{});
        return true;
    }
    return false;
}

void Sync::Reset() {
    std::lock_guard ring(m_ringLock);
    ResetLocked();
}

void Sync::ResetLocked() {
    {
        std::lock_guard guard(m_outputLock);
        ReleaseSet(m_output);
        m_output = SyncSet{};
    }
    for (SyncSet& slot : m_slots) {
        ReleaseSet(slot);
        slot = SyncSet{};
    }
    m_head = 0;
    m_tail = 0;
}

void Sync::ReleaseSet(SyncSet& set) const {
    for (const Kind& kind : m_kinds) {
        Frame*& frame = set.*kind.frame;
        if (set.*kind.present != 0 && frame != nullptr && kind.queue != nullptr) {
            kind.queue->Release(frame);
        }
        frame = nullptr;
        set.*kind.present = 0;
    }
}

bool Sync::HasFrames(const SyncSet& set) {
    return set.colourPresent != 0 || set.depthPresent != 0 || set.irPresent != 0;
}

void Sync::SetEnabled(bool enabled) {
    const bool was = m_enabled.exchange(enabled);
    if (enabled && !was) {
        Reset();
    }
}

uint32_t Sync::PendingSets() const {
    std::lock_guard ring(m_ringLock);
    return (m_tail + kSlots - m_head) % kSlots;
}

void Sync::Run() {
    m_singleFrameReady.Resume();
    m_syncFrameReady.Resume();
    while (IsRunning()) {
        Step();
    }
}

void Sync::OnStopRequested() {
    m_singleFrameReady.Cancel();
    m_syncFrameReady.Cancel();
}

void Sync::Step() {
    if (!m_enabled.load()) {
        WaitForStop(std::chrono::milliseconds(5));
        return;
    }
    if (m_resetRequested.exchange(false)) {
        Reset();
    }
    // At least 1 ms, so a zero time-out cannot turn the loop into a spin.
    const std::chrono::milliseconds wait(std::max<uint32_t>(m_waitMs.load(), 1));
    const bool announced = m_singleFrameReady.Wait(wait);
    if (announced && !m_enabled.load()) {
        // Switched off during the wait: the announcement is the unsynchronised reader's.
        m_singleFrameReady.Set();
        return;
    }
    const uint8_t mask = announced ? TakeReadyMask() : 0;
    std::lock_guard ring(m_ringLock);
    if (mask != 0) {
        Drain(mask);
    }
    if (!StreamLive()) {
        ResetLocked();
        return;
    }
    if (mask != 0) {
        HandOverHead();
    }
}

void Sync::Drain(uint8_t mask) {
    for (const Kind& kind : m_kinds) {
        if ((mask & kind.bit) == 0 || kind.queue == nullptr) {
            continue;
        }
        while (Frame* frame = kind.queue->TryPop()) {
            Place(kind, frame);
        }
    }
}

void Sync::Place(const Kind& kind, Frame* frame) {
    const uint64_t expected =
        static_cast<uint64_t>(frame->width) * frame->height * kind.bytesPerPixel;
    const bool sound = frame->dataLen != 0 && frame->dataLen == expected &&
                       frame->dataLen <= frame->capacity &&
                       frame->frameIndex >= m_slots[m_head].frameIndex;
    SyncSet* slot = sound ? FindSlot(frame->frameIndex) : nullptr;
    if (slot == nullptr) {
        kind.queue->Release(frame);
        return;
    }
    Frame*& held = slot->*kind.frame;
    if (slot->*kind.present != 0 && held != nullptr && held != frame) {
        kind.queue->Release(held);  // a second frame of the same kind for this capture
    }
    held = frame;
    slot->*kind.present = 1;
    slot->frameIndex = frame->frameIndex;
    slot->frameSet = frame->frameSet;
    slot->occupied = 1;
    if (slot == &m_slots[m_tail]) {
        m_tail = Next(m_tail);
        if (m_tail == m_head) {
            m_head = Next(m_head);  // the oldest pending capture is given up
        }
    }
}

SyncSet* Sync::FindSlot(uint32_t frameIndex) {
    const SyncSet& last = m_slots[(m_tail + kSlots - 1) % kSlots];
    if (frameIndex <= last.frameIndex) {
        auto it = std::find_if(m_slots.begin(), m_slots.end(),
                               [&](const SyncSet& s) { return s.frameIndex == frameIndex; });
        return it != m_slots.end() ? &*it : nullptr;
    }
    SyncSet& tail = m_slots[m_tail];
    if (tail.occupied != 0) {
        ReleaseSet(tail);
        tail = SyncSet{};
    }
    return &tail;
}

void Sync::HandOverHead() {
    if (m_head == m_tail) {
        return;
    }
    SyncSet& slot = m_slots[m_head];
    for (const Kind& kind : m_kinds) {
        if ((slot.frameSet & kind.bit) != 0 && slot.*kind.present == 0) {
            return;
        }
    }
    {
        std::lock_guard guard(m_outputLock);
        ReleaseSet(m_output);  // a set the application never fetched is dropped
        m_output = SyncSet{};
        for (const Kind& kind : m_kinds) {
            if (slot.*kind.present != 0) {
                m_output.*kind.frame = std::exchange(slot.*kind.frame, nullptr);
                m_output.*kind.present = 1;
                m_output.frameSet |= kind.bit;
                slot.*kind.present = 0;
            }
        }
        m_output.frameIndex = slot.frameIndex;
    }
    m_syncFrameReady.Set();
    m_head = Next(m_head);
}

}  // namespace quorix
