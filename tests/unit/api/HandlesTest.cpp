// The handle table: a closed handle's value is never given out again, so a stale copy can
// only ever be refused.
#include <gtest/gtest.h>

#include <set>

#include "api/Handles.h"

namespace quorix {
namespace {

// A freed cell used to come straight back from the next open (the allocator hands the last
// freed block out first), and a stale copy then reached the next device.
TEST(Handles, ClosedValuesAreNeverGivenOutAgain) {
    std::set<NsDeviceHandle> given;
    for (int i = 0; i < 1000; ++i) {
        const NsDeviceHandle h = NewHandle(nullptr);
        ASSERT_NE(h, nullptr);
        EXPECT_TRUE(given.insert(h).second) << "handle " << i << " repeats an earlier value";
        EXPECT_TRUE(TakeHandle(h, nullptr));
        EXPECT_FALSE(TakeHandle(h, nullptr));
        EXPECT_EQ(FindSession(h, 0, nullptr), NsStatusBadHandle);
    }
}

}  // namespace
}  // namespace quorix
