// Texts and progress of quorix-cli's firmware upgrade and JSON transfer.
#include "cli/Upgrade.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>

namespace quorix::cli {
namespace {

std::mutex g_lock;
std::condition_variable g_arrived;
std::deque<TransferEvent> g_events;

constexpr int kBarWidth = 20;

}  // namespace

bool IsProgress(TransferEvent e) {
    return e.status == 5 && e.parameter >= 0;
}

Outcome Classify(Transfer kind, TransferEvent e) {
    if (e.parameter == -1) {
        return Outcome::kFailed;
    }
    const int32_t final = kind == Transfer::kFirmware ? 8 : 6;
    if (e.status == final) {
        return e.parameter == 1 ? Outcome::kDone : Outcome::kFailed;
    }
    // Stages whose parameter is a verdict: 1 passes.
    const bool verdict =
        e.status == 4 || (kind == Transfer::kFirmware && (e.status == 6 || e.status == 7));
    return verdict && e.parameter != 1 ? Outcome::kFailed : Outcome::kRunning;
}

std::string StageText(Transfer kind, TransferEvent e) {
    if (IsProgress(e)) {
        return "";
    }
    const bool ok = Classify(kind, e) != Outcome::kFailed;
    char text[160];
    switch (e.status) {
        case 1:
            return ok ? "the camera waits for the new file"
                      : "the camera's current file could not be fetched from its drive";
        case 2:
            return kind == Transfer::kFirmware
                       ? "the camera could not be reached in upgrade mode, did not fetch the "
                         "image, or its drive did not come up"
                       : "the file was not delivered (unreadable, empty, or not fetched)";
        case 4:
            return ok ? "the file and its checksum were accepted"
                      : "the camera refused the file's checksum";
        case 5:
            return kind == Transfer::kFirmware ? "flashing stopped without finishing"
                                               : "applying stopped without finishing";
        default:
            break;
    }
    if (kind == Transfer::kFirmware && (e.status == 6 || e.status == 7)) {
        snprintf(text, sizeof text, "stage %d %s", e.status - 5, ok ? "passed" : "failed");
        return text;
    }
    if (Classify(kind, e) == Outcome::kDone) {
        return kind == Transfer::kFirmware ? "upgrade done; the camera restarts"
                                           : "configuration applied; the camera restarts";
    }
    snprintf(text, sizeof text, "the camera reported status %d with %d", e.status, e.parameter);
    return text;
}

std::string ProgressBar(int32_t percent) {
    percent = std::clamp(percent, 0, 100);
    const int filled = percent * kBarWidth / 100;
    std::string bar = "[" + std::string(static_cast<size_t>(filled), '#') +
                      std::string(static_cast<size_t>(kBarWidth - filled), '.') + "]";
    char tail[16];
    snprintf(tail, sizeof tail, " %3d %%", percent);
    return bar + tail;
}

std::string RefusalText(Transfer kind, NsReturnStatus status) {
    const bool firmware = kind == Transfer::kFirmware;
    switch (status) {
        case NsStatusUpgradeNotReady:
            return firmware ? "the camera refused the image or cannot take one now: an older "
                              "image or build, another model's image, an installed version it "
                              "cannot read, no upgrade support, or a transfer already running"
                            : "the camera does not wait for a file, or a transfer is already "
                              "running";
        case NsStatusUpgradeRejected:
            return "the image cannot be read, is shorter than 512 bytes, or its header's size "
                   "does not match the file";
        case NsStatusUpgradeUnsupported:
            return firmware ? "this camera cannot be upgraded this way (TK4A), "
                              "or no status callback was registered"
                            : "this camera cannot take a JSON configuration this way";
        case NsStatusTransferError:
            return "the camera did not switch into its transfer mode";
        case NsStatusPathTooLong:
            return "the path is longer than 260 characters";
        default:
            return "";
    }
}

void QueueTransferEvent(int32_t status, int32_t parameter) {
    {
        std::lock_guard guard(g_lock);
        g_events.push_back({status, parameter});
    }
    g_arrived.notify_all();
}

std::optional<TransferEvent> WaitEvent(double seconds) {
    std::unique_lock lock(g_lock);
    if (!g_arrived.wait_for(lock, std::chrono::duration<double>(seconds),
                            [] { return !g_events.empty(); })) {
        return std::nullopt;
    }
    const TransferEvent e = g_events.front();
    g_events.pop_front();
    return e;
}

Outcome FollowTransfer(Transfer kind, double idleSeconds) {
    bool barShown = false;
    while (const std::optional<TransferEvent> e = WaitEvent(idleSeconds)) {
        if (IsProgress(*e)) {
            std::printf("\r%s", ProgressBar(e->parameter).c_str());
            barShown = true;
        } else {
            std::printf("%s%s\n", barShown ? "\n" : "", StageText(kind, *e).c_str());
            barShown = false;
        }
        std::fflush(stdout);
        if (const Outcome o = Classify(kind, *e); o != Outcome::kRunning) {
            return o;
        }
        if (kind == Transfer::kJson && e->status == 1) {
            return Outcome::kWaitingForFile;
        }
    }
    if (barShown) {
        std::printf("\n");
    }
    return Outcome::kRunning;
}

}  // namespace quorix::cli
