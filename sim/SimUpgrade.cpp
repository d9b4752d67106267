// The simulated camera's firmware-upgrade and JSON-transfer state machines.
#include "sim/SimUpgrade.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "log/Log.h"
#include "sim/SimState.h"

namespace quorix::sim {
namespace {

using Phase = TransferProgress::Phase;

constexpr size_t kImageHeader = 512;

uint32_t Sum(const std::vector<uint8_t>& bytes, size_t from) {
    uint32_t sum = 0;
    for (size_t i = from; i < bytes.size(); ++i) {
        sum += bytes[i];
    }
    return sum;
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// The host's file of that name, or nothing when the camera cannot reach it.
bool Fetch(const SimState& state, const std::string& name, std::vector<uint8_t>& out) {
    if (state.transferFolder.empty() || name.empty()) {
        QLOG("no transfer folder or file name:%s\n", name.c_str());
        return false;
    }
    const std::string base = name.substr(name.find_last_of("/\\") + 1);
    std::ifstream in(state.transferFolder + "/" + base, std::ios::binary);
    if (!in) {
        QLOG("cannot fetch %s from %s\n", base.c_str(), state.transferFolder.c_str());
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

void Set(TransferState& t, uint8_t deviceState, uint8_t parameter) {
    t.deviceState = deviceState;
    t.parameter = parameter;
}

// One try to fetch the named file; once it arrived the camera reports (0, 1).
void FetchStep(const SimState& state, const std::string& name, TransferProgress& p,
               TransferState& t) {
    if (Fetch(state, name, p.file)) {
        p.phase = Phase::kFetched;
        Set(t, 0, 1);
    }
}

}  // namespace

void BeginUpgrade(SimState& state) {
    state.upgradeProgress = {};
    state.upgradeProgress.phase = Phase::kFetching;
    Set(state.upgradeState, 0, 0);
}

void BeginJsonMode(SimState& state) {
    state.jsonProgress = {};
    state.jsonProgress.phase = Phase::kFetched;
    Set(state.jsonState, 0, 1);
}

void BeginJsonFile(SimState& state) {
    state.jsonProgress = {};
    state.jsonProgress.phase = Phase::kFetching;
    Set(state.jsonState, 0, 0);
}

void AdvanceUpgrade(SimState& state) {
    TransferProgress& p = state.upgradeProgress;
    TransferState& t = state.upgradeState;
    switch (p.phase) {
        case Phase::kFetching:
            FetchStep(state, state.upgradeFile, p, t);
            break;
        case Phase::kApplying:
            p.percent += 20;
            if (p.percent < 100) {
                Set(t, 3, static_cast<uint8_t>(p.percent));
            } else {
                p.phase = Phase::kApplied;
                Set(t, 4, 1);
            }
            break;
        case Phase::kApplied:
            if (t.deviceState == 4) {
                Set(t, 5, 1);
            } else if (t.deviceState == 5) {
                Set(t, 6, 1);
            }
            break;
        default:
            break;
    }
}

void UpgradeStateSent(SimState& state, uint8_t record, uint32_t checksum, uint32_t size) {
    TransferProgress& p = state.upgradeProgress;
    if (record == 1) {
        state.modeRequest = ModeRequest::kUpgrade;
        return;
    }
    if (record == 2 && p.phase == Phase::kFetching) {
        // A USB camera's image lies on its drive by now: it reads it when told so.
        FetchStep(state, state.upgradeFile, p, state.upgradeState);
    }
    if (record == 2 && p.phase == Phase::kFetched) {
        p.accepted = p.file.size() >= kImageHeader && p.file.size() == size &&
                     Sum(p.file, kImageHeader) == checksum;
        p.phase = Phase::kChecked;
        Set(state.upgradeState, 2, p.accepted ? 1 : 0);
    } else if (record == 3 && p.phase == Phase::kChecked && p.accepted) {
        p.phase = Phase::kApplying;
        p.percent = 0;
    }
}

void AdvanceJson(SimState& state) {
    TransferProgress& p = state.jsonProgress;
    TransferState& t = state.jsonState;
    switch (p.phase) {
        case Phase::kFetching:
            FetchStep(state, state.jsonFile, p, t);
            break;
        case Phase::kChecking:
            p.phase = Phase::kChecked;
            Set(t, 2, p.accepted ? 1 : 0);
            break;
        case Phase::kApplying:
            if (t.deviceState != 3) {
                Set(t, 3, 50);
            } else {
                p.phase = Phase::kApplied;
                state.jsonConfig.assign(p.file.begin(), p.file.end());
                Set(t, 4, 1);
            }
            break;
        default:
            break;
    }
}

void JsonStateSent(SimState& state, uint8_t record, uint32_t checksum, uint32_t size) {
    TransferProgress& p = state.jsonProgress;
    if (record == 1) {
        state.modeRequest = ModeRequest::kJson;
        return;
    }
    if (record == 2 && p.phase == Phase::kFetching) {
        FetchStep(state, state.jsonFile, p, state.jsonState);
    }
    if (record == 2 && p.phase == Phase::kFetched && !p.file.empty()) {
        p.accepted = p.file.size() == size && Sum(p.file, 0) == checksum;
        p.phase = Phase::kChecking;
        Set(state.jsonState, 1, 1);
    } else if (record == 3 && p.phase == Phase::kChecked && p.accepted) {
        p.phase = Phase::kApplying;
    }
}

void RebootAfterTransfer(SimState& state) {
    const TransferProgress& p = state.upgradeProgress;
    if (p.phase == Phase::kApplied && p.file.size() >= kImageHeader) {
        char version[32];
        snprintf(version, sizeof version, "%04u%02u%02u_V%u",
                 static_cast<unsigned>(p.file[4] | p.file[5] << 8),
                 static_cast<unsigned>(p.file[6]), static_cast<unsigned>(p.file[7]),
                 static_cast<unsigned>(U32At(p.file, 45)));
        state.firmwareVersion = version;
        state.softwareVersion = version;
    }
    state.upgradeProgress = {};
    state.jsonProgress = {};
    state.upgradeState = {};
    state.jsonState = {};
    if (state.announce.cameraState == 3) {
        state.announce.cameraState = 0;
    }
}

}  // namespace quorix::sim
