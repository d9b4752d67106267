// What quorix-cli makes of the transfer callbacks: when a transfer ends and how, the lines
// and the progress bar, and that events queued on the library's thread reach the waiter.
#include "cli/Upgrade.h"

#include <gtest/gtest.h>

#include <thread>

namespace quorix::cli {
namespace {

TEST(TransferText, TheFinalStageOrAnyMinusOneEndsATransfer) {
    using O = Outcome;
    const struct {
        Transfer kind;
        TransferEvent e;
        Outcome want;
    } cases[] = {
        {Transfer::kFirmware, {4, 1}, O::kRunning},   {Transfer::kFirmware, {5, 40}, O::kRunning},
        {Transfer::kFirmware, {5, 100}, O::kRunning}, {Transfer::kFirmware, {6, 1}, O::kRunning},
        {Transfer::kFirmware, {7, 1}, O::kRunning},   {Transfer::kFirmware, {8, 1}, O::kDone},
        {Transfer::kFirmware, {8, 2}, O::kFailed},    {Transfer::kFirmware, {2, -1}, O::kFailed},
        {Transfer::kFirmware, {4, 3}, O::kFailed},    {Transfer::kFirmware, {7, 0}, O::kFailed},
        {Transfer::kFirmware, {5, -1}, O::kFailed},   {Transfer::kJson, {1, 0}, O::kRunning},
        {Transfer::kJson, {4, 1}, O::kRunning},       {Transfer::kJson, {5, 50}, O::kRunning},
        {Transfer::kJson, {6, 1}, O::kDone},          {Transfer::kJson, {6, 0}, O::kFailed},
        {Transfer::kJson, {2, -1}, O::kFailed},       {Transfer::kJson, {1, -1}, O::kFailed},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Classify(c.kind, c.e), c.want) << c.e.status << "," << c.e.parameter;
        EXPECT_EQ(StageText(c.kind, c.e).empty(), IsProgress(c.e));
    }
    EXPECT_EQ(StageText(Transfer::kFirmware, {8, 1}), "upgrade done; the camera restarts");
    EXPECT_EQ(StageText(Transfer::kJson, {4, -1}), "the camera refused the file's checksum");
    // A USB camera whose current file could not be fetched is not "waiting".
    EXPECT_EQ(StageText(Transfer::kJson, {1, -1}),
              "the camera's current file could not be fetched from its drive");
}

TEST(TransferText, ProgressBarIsClampedAndFillsByTwentieths) {
    EXPECT_EQ(ProgressBar(0), "[....................]   0 %");
    EXPECT_EQ(ProgressBar(40), "[########............]  40 %");
    EXPECT_EQ(ProgressBar(100), "[####################] 100 %");
    EXPECT_EQ(ProgressBar(250), ProgressBar(100));
    EXPECT_EQ(ProgressBar(-3), ProgressBar(0));
}

TEST(TransferText, EveryRefusalTheLibraryGivesHasAnExplanation) {
    for (const NsReturnStatus s :
         {NsStatusUpgradeNotReady, NsStatusUpgradeRejected, NsStatusUpgradeUnsupported,
          NsStatusTransferError, NsStatusPathTooLong}) {
        EXPECT_FALSE(RefusalText(Transfer::kFirmware, s).empty()) << s;
    }
    EXPECT_FALSE(RefusalText(Transfer::kJson, NsStatusUpgradeUnsupported).empty());
}

TEST(TransferText, EventsQueuedOnAnotherThreadReachTheWaiterInOrder) {
    std::thread library([] {
        QueueTransferEvent(4, 1);
        QueueTransferEvent(5, 20);
    });
    const auto first = WaitEvent(30.0);
    const auto second = WaitEvent(30.0);
    library.join();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->status, 4);
    EXPECT_EQ(second->parameter, 20);
    EXPECT_FALSE(WaitEvent(0.0));
}

}  // namespace
}  // namespace quorix::cli
