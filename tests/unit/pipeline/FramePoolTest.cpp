#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "log/Log.h"
#include "pipeline/FramePool.h"
#include "pipeline/FrameQueue.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;

bool AllZero(const Frame& f) {
    return std::all_of(f.pFrameData, f.pFrameData + f.capacity, [](uint8_t b) { return b == 0; });
}

TEST(FramePool, FreshFramesCarryThePoolsTypeSizeAndFormat) {
    struct Case {
        int32_t type;
        uint32_t bytes;
        int32_t format;
    };
    for (const Case c :
         {Case{kPoolRawTof, 1228805, -1}, Case{kPoolRawColour, 2073600, -1},
          Case{kPoolDepth, 614400, 0}, Case{kPoolIR, 614400, 1}, Case{kPoolColour, 6220800, 3}}) {
        FramePool pool(c.type, 2);
        Frame* f = pool.AllocFrame(c.type);
        ASSERT_NE(f, nullptr) << c.type;
        EXPECT_EQ(f->capacity, c.bytes);
        EXPECT_EQ(f->pixelFormat, c.format);
        EXPECT_EQ(static_cast<int32_t>(f->frameType), c.type);
        EXPECT_EQ(f->inUse, 1);
        EXPECT_TRUE(AllZero(*f));
        pool.Release(f);
    }
}

// The last frame's buffer ends at a guard page: a decoder that writes past its capacity
// stops there instead of corrupting whatever the heap put next.
TEST(FramePoolDeathTest, AWritePastTheLastBufferFaults) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            FramePool pool(kPoolDepth, 2);
            Frame* a = pool.AllocFrame(kPoolDepth);
            Frame* b = pool.AllocFrame(kPoolDepth);
            Frame* last = a->pFrameData > b->pFrameData ? a : b;
            volatile uint8_t* end = last->pFrameData + 4096 * ((last->capacity + 4095) / 4096);
            *end = 1;
        },
        "");
}

TEST(FramePool, UnknownTypeMakesRecordsWithoutBuffers) {
    log::Capture capture;
    FramePool pool(7, 2);
    EXPECT_TRUE(capture.Contains("type: 7 is invalid."));
    Frame* f = pool.AllocFrame(7);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->pFrameData, nullptr);
    EXPECT_EQ(f->capacity, 0u);
    pool.Release(f);
}

TEST(FramePool, ExhaustionOrAnotherTypeReturnsNull) {
    FramePool pool(kPoolRawTof, kRawTofFrames);
    std::vector<Frame*> out;
    for (uint32_t i = 0; i < kRawTofFrames; ++i) {
        out.push_back(pool.AllocFrame(kPoolRawTof));
        ASSERT_NE(out.back(), nullptr);
    }
    log::Capture capture;
    EXPECT_EQ(pool.AllocFrame(kPoolRawTof), nullptr);
    EXPECT_EQ(capture.Count("FramePool of -2 is exhausted"), 1u);
    for (Frame* f : out) {
        pool.Release(f);
    }
    EXPECT_EQ(pool.FreeCount(), kRawTofFrames);
    // A request for another type is refused silently, the free list untouched.
    capture.Clear();
    EXPECT_EQ(pool.AllocFrame(kPoolIR), nullptr);
    EXPECT_EQ(pool.FreeCount(), kRawTofFrames);
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(FramePool, ReleasedFrameIsFullyResetAndRecycledOldestFirst) {
    FramePool pool(kPoolDepth, 2);
    Frame* a = pool.AllocFrame(kPoolDepth);
    a->frameIndex = 42;
    a->frameType = 0;
    a->pixelFormat = 0;
    a->frameTag = 9;
    a->dataLen = 640 * 480 * 2;
    a->exposureTime = 1.5f;
    a->depthRange = 4;
    a->width = 640;
    a->height = 480;
    a->frameSet = 7;
    a->timestamp = 123456789;
    std::fill(a->pFrameData, a->pFrameData + a->capacity, 0xAB);
    pool.Release(a);

    EXPECT_EQ(a->dataLen, 0u);
    EXPECT_EQ(a->frameIndex, 0u);
    EXPECT_EQ(a->pixelFormat, -1);
    EXPECT_EQ(a->frameTag, 0);
    EXPECT_EQ(a->inUse, 0);
    EXPECT_EQ(a->exposureTime, 0.0f);
    EXPECT_EQ(a->depthRange, 0u);
    EXPECT_EQ(a->width, 0);
    EXPECT_EQ(a->height, 0);
    EXPECT_EQ(a->frameSet, 0u);
    EXPECT_EQ(a->timestamp, 0u);
    EXPECT_EQ(a->capacity, kDepthBytes);
    EXPECT_TRUE(AllZero(*a));

    Frame* b = pool.AllocFrame(kPoolDepth);  // the one never lent comes first
    EXPECT_NE(b, a);
    EXPECT_EQ(pool.AllocFrame(kPoolDepth), a);
}

// Release zeroes up to the written mark or the data length, whichever reaches further.
TEST(FramePool, ReleaseClearsWhatWasWrittenOrClaimed) {
    struct Case {
        uint32_t written;
        uint32_t dataLen;
    };
    FramePool pool(kPoolColour, 1);
    for (const Case c : {Case{200, 0}, Case{0, 300}, Case{400, 100}}) {
        Frame* f = pool.AllocFrame(kPoolColour);
        MarkWritten(*f, c.written);
        std::fill(f->pFrameData, f->pFrameData + std::max(c.written, c.dataLen), 0xAB);
        f->dataLen = c.dataLen;
        pool.Release(f);
        EXPECT_TRUE(AllZero(*f)) << c.written << " " << c.dataLen;
        EXPECT_EQ(f->writtenBytes, 0u);
    }
    Frame* f = pool.AllocFrame(kPoolColour);
    MarkWritten(*f, uint64_t{1} << 40);  // never beyond the buffer
    EXPECT_EQ(f->writtenBytes, kColourBytes);
    pool.Release(f);
}

TEST(FramePool, DoubleAndForeignReleasesAreRefused) {
    FramePool pool(kPoolIR, 2);
    FramePool other(kPoolIR, 1);
    Frame* a = pool.AllocFrame(kPoolIR);
    pool.Release(a);
    log::Capture capture;
    pool.Release(a);
    EXPECT_TRUE(capture.Contains("is released twice"));
    Frame* foreign = other.AllocFrame(kPoolIR);
    pool.Release(foreign);
    EXPECT_TRUE(capture.Contains("does not belong to the pool of 1"));
    pool.Release(nullptr);
    EXPECT_EQ(pool.FreeCount(), 2u);
    EXPECT_EQ(other.FreeCount(), 0u);
    other.Release(foreign);
}

TEST(FrameQueue, ThirdPushDropsTheOldestBackToThePool) {
    FrameQueue queue(kPoolDepth, kDepthFrames);
    Frame* frames[3];
    for (uint32_t i = 0; i < 3; ++i) {
        frames[i] = queue.AllocFrame(kPoolDepth);
        frames[i]->frameIndex = i + 1;
        EXPECT_EQ(queue.Push(frames[i]), -1);
    }
    EXPECT_EQ(queue.Push(nullptr), -1);
    EXPECT_EQ(queue.Size(), 2u);
    EXPECT_EQ(frames[0]->inUse, 0);  // back in the pool, reset
    EXPECT_EQ(queue.Pool()->FreeCount(), kDepthFrames - 2);
    EXPECT_EQ(queue.Pop(), frames[1]);
    EXPECT_EQ(queue.Pop(), frames[2]);
    queue.Release(frames[1]);
    queue.Release(frames[2]);
    EXPECT_EQ(queue.Pool()->FreeCount(), kDepthFrames);
}

TEST(FrameQueue, EmptyPopReturnsNullAfterTheWait) {
    FrameQueue queue(kPoolIR, 2);
    EXPECT_EQ(queue.Timeout(), 350u);
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(queue.Pop(), nullptr);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 350ms);
}

TEST(FrameQueue, PopWakesForAFramePushedFromAnotherThread) {
    FrameQueue queue(kPoolColour, 2);
    queue.SetTimeout(60000);  // the push, not the time-out, must end the wait
    Frame* f = queue.AllocFrame(kPoolColour);
    std::thread producer([&] {
        std::this_thread::sleep_for(20ms);
        queue.Push(f);
    });
    EXPECT_EQ(queue.Pop(), f);
    producer.join();
    queue.Release(f);
}

// Interrupt ends a waiting pop; Close does too, and every later one at once.
TEST(FrameQueue, InterruptOrCloseEndsAWaitingPop) {
    FrameQueue queue(kPoolIR, 2);
    queue.SetTimeout(60000);
    for (const bool close : {false, true}) {
        std::thread stopper([&] {
            std::this_thread::sleep_for(20ms);
            close ? queue.Close() : queue.Interrupt();
        });
        EXPECT_EQ(queue.Pop(), nullptr) << "a waiting pop ends";
        stopper.join();
    }
    Frame* frame = queue.AllocFrame(kPoolIR);
    queue.Push(frame);
    EXPECT_EQ(queue.Pop(), nullptr) << "a later pop does not wait and takes nothing";
    EXPECT_EQ(queue.TryPop(), frame) << "what is queued can still be drained";
    queue.Release(frame);
}

TEST(FrameQueue, ManyProducerAndConsumerRoundsLoseNoFrame) {
    FrameQueue queue(kPoolIR, 4);
    std::atomic<bool> done{false};
    std::thread consumer([&] {
        while (!done || queue.Size() > 0) {
            if (Frame* f = queue.Pop()) {
                queue.Release(f);
            }
        }
    });
    for (int i = 0; i < 2000; ++i) {
        Frame* f = nullptr;
        while ((f = queue.AllocFrame(kPoolIR)) == nullptr) {
            std::this_thread::yield();
        }
        f->dataLen = 1;
        queue.Push(f);
    }
    done = true;
    consumer.join();
    EXPECT_EQ(queue.Pool()->FreeCount(), 4u);
}

}  // namespace
}  // namespace quorix
