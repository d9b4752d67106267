// The camera side of a network firmware upgrade and JSON transfer. The camera is told a
// file name and fetches the file from the host; the simulator stands a folder in for the
// host (SimState::transferFolder). Each poll of the state record moves the camera on by
// one step, so a host that polls every 100 ms sees the whole sequence in about a second:
//   upgrade: (0,0) fetching, (0,1) fetched; after (2, checksum, size): (2,1) accepted or
//   (2,0); after (3,0,0): (3,20) .. (3,80), then (4,1), (5,1), (6,1); the reboot that
//   follows brings the camera back with the image's date and build as its version.
//   JSON: (0,1) waiting for a file; after the file name: (0,0), then (0,1) fetched; after
//   (2, checksum, size): (1,1) checking, (2,1) or (2,0); after (3,0,0): (3,50), (4,1).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorix::sim {

struct SimState;

// A transfer mode asked for with the state record (1, 0, 0), as USB cameras are; the USB
// camera acts on it by coming back as its upgrade-mode device.
enum class ModeRequest { kNone, kUpgrade, kJson };

struct TransferProgress {
    enum class Phase { kIdle, kFetching, kFetched, kChecking, kChecked, kApplying, kApplied };
    Phase phase = Phase::kIdle;
    std::vector<uint8_t> file;
    bool accepted = false;
    uint32_t percent = 0;
};

// On the mode switches and the JSON file name.
void BeginUpgrade(SimState& state);
void BeginJsonMode(SimState& state);
void BeginJsonFile(SimState& state);
// Before a state record is answered.
void AdvanceUpgrade(SimState& state);
void AdvanceJson(SimState& state);
// A state record sent by the host: (state, checksum or 0, size or 0).
void UpgradeStateSent(SimState& state, uint8_t record, uint32_t checksum, uint32_t size);
void JsonStateSent(SimState& state, uint8_t record, uint32_t checksum, uint32_t size);
// The reboot: a flashed image becomes the firmware version, transfer modes end.
void RebootAfterTransfer(SimState& state);

}  // namespace quorix::sim
