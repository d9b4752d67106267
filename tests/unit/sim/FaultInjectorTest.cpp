#include "sim/FaultInjector.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>

namespace quorix::sim {
namespace {

using namespace std::chrono_literals;

void ExpectHealthy(const SimCamera& camera) {
    const SimState state = camera.State();
    EXPECT_FALSE(state.stream.silent);
    EXPECT_EQ(state.announce.cameraState, 0);
    EXPECT_EQ(camera.Fault().mode, Misbehaviour::kNone);
}

// Faults come quickly and each is cut short by the stop; whatever was going on then, the
// camera is left healthy, and every fault was reported as it began.
TEST(FaultInjector, StopLeavesTheCameraHealthyWhateverWasInProgress) {
    for (uint64_t seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE(seed);
        SimCamera camera(SimConfig{});  // never started: the faults touch only its state
        std::atomic<uint64_t> heard{0};
        FaultInjector injector(camera, 50, seed, [&](InjectedFault) { ++heard; });
        ASSERT_EQ(injector.Start(), 0);
        std::this_thread::sleep_for(400ms);
        injector.Stop();
        const auto counts = injector.Counts();
        const uint64_t total = std::accumulate(counts.begin(), counts.end(), uint64_t{0});
        EXPECT_GT(total, 0u);
        EXPECT_EQ(heard.load(), total);
        ExpectHealthy(camera);
    }
}

// The quick faults, injected one by one, each end within their own call.
TEST(FaultInjector, DataFaultsNeedNoConnectionAndLeaveNothingBehind) {
    SimCamera camera(SimConfig{});
    FaultInjector injector(camera, 1000, 7);
    for (InjectedFault f : {InjectedFault::kStrayBytes, InjectedFault::kCutFrame,
                            InjectedFault::kHugeLength, InjectedFault::kForeignFrame}) {
        injector.Inject(f);
        ExpectHealthy(camera);
    }
    EXPECT_EQ(
        injector.Summary().rfind("stray-bytes 1 cut-frame 1 huge-length 1 foreign-frame 1 ", 0), 0u)
        << injector.Summary();
}

}  // namespace
}  // namespace quorix::sim
