// Command line of quorix-camsim: which cameras to run. Repeated options describe the
// cameras in order; --count adds cameras on the following addresses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "camsim/Replay.h"
#include "sim/SimCamera.h"

namespace quorix::camsim {

struct CameraSetup {
    sim::SimConfig config;
    std::string alias;
};

// How every camera streams (the same for all their sensors).
struct StreamSetup {
    sim::StreamSettings settings;
    uint32_t frameRate = 30;     // 1..120
    uint16_t colourWidth = 640;  // the colour lens record
    uint16_t colourHeight = 360;
    uint8_t dataMode = 0;       // every sensor's data mode (2: depth and IR)
    bool pushSupported = true;  // the answer to the host's JSON-configuration question
};

// Writes `stream` into a camera's state: the stream settings and every sensor's frame
// rate, data mode, colour lens record and JSON-configuration answer.
void ApplyStream(const StreamSetup& stream, sim::SimState& state);

struct Options {
    std::vector<CameraSetup> cameras;
    StreamSetup stream;
    uint32_t intervalMs = 200;
    uint8_t cameraState = 0;
    bool verbose = false;
    // Random faults (sim/FaultInjector.h): mean milliseconds between two; 0 for none. Each
    // camera draws from faultSeed + its position.
    uint32_t faultIntervalMs = 0;
    uint64_t faultSeed = 1;
    ReplaySetup replay;  // one camera that plays a recording back
};

// Parses argv. Returns 0 and fills `options` to run; otherwise the exit code to end with
// (0 after --help, non-zero after an error, both already printed).
int ParseOptions(int argc, char** argv, Options& options);

// The address `steps` past a dotted IPv4 address (127.0.0.2 + 1 = 127.0.0.3); empty when
// the address is not one or the result leaves 127.0.0.0/8.
std::string NextAddress(const std::string& address, uint32_t steps);

}  // namespace quorix::camsim
