#include "pipeline/StoppableThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "log/Log.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;

// Loops on the stop flag, sleeping through WaitForStop.
class PoliteWorker : public StoppableThread {
public:
    PoliteWorker() : StoppableThread("Polite") {}
    ~PoliteWorker() override {
        Stop();
        Join();
    }
    std::atomic<int> rounds{0};

protected:
    void Run() override {
        while (IsRunning()) {
            ++rounds;
            WaitForStop(500ms);
        }
    }
};

// Ignores its stop flag until released.
class StubbornWorker : public StoppableThread {
public:
    StubbornWorker() : StoppableThread("Stubborn") {}
    ~StubbornWorker() override {
        release = true;
        Join();
    }
    std::atomic<bool> release{false};

protected:
    void Run() override {
        while (!release) {
            std::this_thread::sleep_for(5ms);
        }
    }
};

TEST(StoppableThread, StopWakesASleepingWorkerAtOnce) {
    PoliteWorker worker;
    EXPECT_EQ(worker.State(), StoppableThread::kNotStarted);
    worker.Start();
    EXPECT_EQ(worker.State(), StoppableThread::kRunning);
    while (worker.rounds == 0) {
        std::this_thread::sleep_for(1ms);
    }
    log::Capture capture;
    worker.Stop();
    EXPECT_EQ(worker.Join(), 0);
    EXPECT_EQ(worker.State(), StoppableThread::kStopRequested);
    EXPECT_EQ(capture.Count("Polite ret:0"), 1u);
    EXPECT_EQ(capture.Count("Polite end"), 1u);
    EXPECT_EQ(capture.Count("ret:131093"), 0u);  // never needed the join limit
    EXPECT_FALSE(worker.HasThread());
}

TEST(StoppableThread, SecondStartOnlyWarns) {
    PoliteWorker worker;
    log::Capture capture;
    EXPECT_EQ(worker.Start(), 0);
    EXPECT_EQ(worker.Start(), 0);
    EXPECT_EQ(capture.Count("Do not repeat invoke Start:Polite, if not Stop previous."), 1u);
}

TEST(StoppableThread, RestartAfterJoinRunsAgain) {
    PoliteWorker worker;
    worker.Start();
    worker.Stop();
    worker.Join();
    const int before = worker.rounds;
    worker.Start();
    while (worker.rounds == before) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(worker.IsRunning());
}

TEST(StoppableThread, LateWorkerIsReportedAtTheLimitAndStillJoined) {
    StubbornWorker worker;
    worker.Start();
    log::Capture capture;
    worker.Stop();
    std::thread releaser([&] {
        // Released well after the limit so the 0x20015 line must come first.
        while (!capture.Contains("Stubborn ret:")) {
            std::this_thread::sleep_for(5ms);
        }
        worker.release = true;
    });
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(worker.Join(), kThreadJoinTimeout);
    const auto waited = std::chrono::steady_clock::now() - begin;
    releaser.join();
    EXPECT_GE(waited, StoppableThread::kJoinLimit);
    EXPECT_EQ(capture.Count("Stubborn ret:131093"), 1u);  // 0x20015
    EXPECT_EQ(capture.Count("Stubborn end"), 1u);
    EXPECT_FALSE(worker.HasThread());
}

TEST(StoppableThread, JoinFromTheWorkerItselfDoesNotDeadlock) {
    class SelfJoiner : public StoppableThread {
    public:
        SelfJoiner() : StoppableThread("SelfJoiner") {}
        ~SelfJoiner() override { Join(); }
        std::atomic<int32_t> result{1};
        std::atomic<bool> done{false};

    protected:
        void Run() override {
            result = Join();
            done = true;
        }
    };
    SelfJoiner worker;
    worker.Start();
    while (!worker.done) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(worker.result, kThreadJoinFailed);
}

// A start while another thread was still joining the stopped worker (a frame callback being
// unregistered on one thread and registered on another) showed the old worker "running"
// again: it never ended, and neither did its joiner.
TEST(StoppableThread, StartWhileTheOldWorkerIsBeingJoinedNeverRevivesIt) {
    // Stuck in its "callback" while the gate is closed; checks its stop only after it.
    class GatedWorker : public StoppableThread {
    public:
        GatedWorker() : StoppableThread("Gated") {}
        ~GatedWorker() override {
            gate = true;
            Stop();
            Join();
        }
        std::atomic<bool> gate{true};
        std::atomic<bool> held{false};  // stuck behind the closed gate
        std::atomic<int> active{0};
        std::atomic<int> mostActive{0};

    protected:
        void Run() override {
            mostActive = std::max(mostActive.load(), ++active);
            while (IsRunning()) {
                while (!gate) {
                    held = true;
                    std::this_thread::sleep_for(1ms);
                }
                std::this_thread::sleep_for(1ms);
            }
            --active;
        }
    };
    const auto waitFor = [](const std::function<bool()>& condition) {
        const auto end = std::chrono::steady_clock::now() + 20s;
        while (!condition() && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(2ms);
        }
        return condition();
    };

    GatedWorker worker;
    worker.Start();
    ASSERT_TRUE(waitFor([&] { return worker.active == 1; }));
    worker.gate = false;
    ASSERT_TRUE(waitFor([&] { return worker.held.load(); }));
    worker.Stop();
    std::atomic<bool> joined{false};
    std::thread joiner([&] {
        worker.Join();
        joined = true;
    });
    ASSERT_TRUE(waitFor([&] { return !worker.HasThread(); }));  // the join has begun
    // The old worker is still inside: this start may only wait for it, then give up.
    EXPECT_EQ(worker.Start(), kThreadCreateFailed);
    worker.gate = true;
    EXPECT_TRUE(waitFor([&] { return joined.load(); })) << "the old worker was revived";
    EXPECT_EQ(worker.Start(), 0);
    EXPECT_TRUE(waitFor([&] { return worker.active == 1 && worker.IsRunning(); }));
    worker.Stop();  // ends a revived worker too, so that the joiner can finish
    joiner.join();
    EXPECT_EQ(worker.mostActive, 1);
}

TEST(StoppableThread, NullObjectIsRefused) {
    log::Capture capture;
    StoppableThread::ThreadFunc(nullptr);
    EXPECT_TRUE(capture.Contains("pThreadParam:(nil) is invalid."));
}

}  // namespace
}  // namespace quorix
