// What quorix-cli shows of a firmware upgrade or JSON transfer: the library's status
// callbacks as lines and a progress bar, when a transfer has ended and how, and why a
// transfer was refused before it started.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <quorix/quorix_api.h>

namespace quorix::cli {

enum class Transfer { kFirmware, kJson };

struct TransferEvent {
    int32_t status = 0;
    int32_t parameter = 0;
};

// kRunning: no end yet (from FollowTransfer: nothing came in time); kWaitingForFile: a
// JSON transfer's camera waits for the new file.
enum class Outcome { kRunning, kWaitingForFile, kDone, kFailed };

// Whether `e` ends the transfer, and how.
Outcome Classify(Transfer kind, TransferEvent e);
// The line that reports `e`; empty for progress (shown as a bar).
std::string StageText(Transfer kind, TransferEvent e);
// True for the percentage events.
bool IsProgress(TransferEvent e);
// "[##########..........]  50 %" (the percentage clamped to 0..100).
std::string ProgressBar(int32_t percent);
// Why the library refused to start the transfer.
std::string RefusalText(Transfer kind, NsReturnStatus status);

// The callback handed to the library: it queues the events for WaitEvent.
void QueueTransferEvent(int32_t status, int32_t parameter);
// The next queued event, waiting up to `seconds`; nothing when none came.
std::optional<TransferEvent> WaitEvent(double seconds);

// Prints the events until the transfer ends (a bar for progress, a line for each stage);
// the outcome, kWaitingForFile when a JSON camera waits for its file, or kRunning when
// nothing came for `idleSeconds`.
Outcome FollowTransfer(Transfer kind, double idleSeconds);

}  // namespace quorix::cli
