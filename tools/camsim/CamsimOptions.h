// Command line of quorix-camsim: which cameras to run. Repeated options describe the
// cameras in order; --count adds cameras on the following addresses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimCamera.h"

namespace quorix::camsim {

struct CameraSetup {
    sim::SimConfig config;
    std::string alias;
};

struct Options {
    std::vector<CameraSetup> cameras;
    uint32_t intervalMs = 200;
    uint8_t cameraState = 0;
    bool verbose = false;
};

// Parses argv. Returns 0 and fills `options` to run; otherwise the exit code to end with
// (0 after --help, non-zero after an error, both already printed).
int ParseOptions(int argc, char** argv, Options& options);

// The address `steps` past a dotted IPv4 address (127.0.0.2 + 1 = 127.0.0.3); empty when
// the address is not one or the result leaves 127.0.0.0/8.
std::string NextAddress(const std::string& address, uint32_t steps);

}  // namespace quorix::camsim
