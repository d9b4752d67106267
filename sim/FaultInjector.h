// FaultInjector: makes one simulated camera misbehave at random, as a camera in the field
// might: stray and cut frames and impossible lengths on its data connection, garbage,
// silence and wrong echoes on its command connection, closed connections, a data stream
// that stops for a while, and announcements of another camera state. Each fault lasts a
// moment and is then taken back, so the camera is always on its way back to health. The
// soak drives quorix-camsim with it to show that a host survives whatever comes.
//
// Threads: Start and Stop from one controlling thread; the faults run on a thread of their
// own and reach the camera through its thread-safe accessors only.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <random>
#include <string>

#include "pipeline/StoppableThread.h"
#include "sim/SimCamera.h"

namespace quorix::sim {

enum class InjectedFault : uint8_t {
    kStrayBytes,       // 1 to 64 random bytes between two frames
    kCutFrame,         // a header announcing more bytes than follow
    kHugeLength,       // a header announcing 0x7FFFFFF0 bytes
    kForeignFrame,     // a whole frame of an unknown type
    kDataSilence,      // the data stream stops for 1 to 4 s, captures skipped
    kCommandGarbage,   // 1 s of replies that are no reply frame
    kCommandSilence,   // 3 s of requests applied but never answered
    kWrongEcho,        // 1 s of replies echoing another command
    kDropConnections,  // the next request closes both connections of its session
    kCameraState,      // 2 s of announcing camera state 1, 3 or 4 instead of 0
    kCount,
};

const char* FaultName(InjectedFault fault);

class FaultInjector : private StoppableThread {
public:
    // `meanIntervalMs`: mean time between faults (exponentially distributed, at least
    // 50 ms). The seed makes a run repeatable as far as timing allows. `onFault`, when
    // set, hears of each fault as it begins (on the injector's thread).
    FaultInjector(SimCamera& camera, uint32_t meanIntervalMs, uint64_t seed,
                  std::function<void(InjectedFault)> onFault = {});
    ~FaultInjector() override;

    FaultInjector(const FaultInjector&) = delete;
    FaultInjector& operator=(const FaultInjector&) = delete;

    int32_t Start() { return StoppableThread::Start(); }
    // Ends the fault in progress (the camera is left healthy) and joins the thread.
    void Stop();

    // Faults injected so far, by kind.
    std::array<uint64_t, static_cast<size_t>(InjectedFault::kCount)> Counts() const;
    // "stray-bytes 12 cut-frame 9 ...", for the camera's report.
    std::string Summary() const;

    // Injects one fault of the given kind now and takes it back after its time (or at
    // Stop). For tests; the thread uses the same.
    void Inject(InjectedFault fault);

private:
    void Run() override;
    void Heal();
    std::vector<uint8_t> Header(uint32_t type, uint32_t length);
    void SendOnData(const std::vector<uint8_t>& bytes);
    // Sleeps `ms` unless stopped; false when stopped.
    bool Hold(uint32_t ms);

    SimCamera& m_camera;
    const uint32_t m_meanMs;
    std::mt19937_64 m_random;
    const std::function<void(InjectedFault)> m_onFault;
    std::array<std::atomic<uint64_t>, static_cast<size_t>(InjectedFault::kCount)> m_counts{};
};

}  // namespace quorix::sim
