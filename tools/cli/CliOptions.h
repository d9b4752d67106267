// Command line of quorix-cli: the subcommand and its options, and the program's exit codes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorix::cli {

// Exit codes, so scripts can tell the failures apart.
enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,     // any other failure (library, stream, file)
    kExitUsage = 2,       // the command line was not understood
    kExitNotFound = 3,    // the camera did not appear in time
    kExitOpenFailed = 4,  // the camera was found but could not be opened
    kExitNoFrames = 5,    // the stream delivered no frames in time
};

enum class Command { kList, kStream, kSnapshot, kDemo };

struct Options {
    Command command = Command::kList;
    std::string uri;       // stream, snapshot: URI or alias of the camera
    uint32_t session = 0;  // stream, snapshot
    double waitSeconds =
        2.0;               // list: discovery time; stream, snapshot: longest wait for the camera
    uint64_t frames = 0;   // stream: stop after this many frame sets; 0 no limit
    double seconds = 0.0;  // stream: stop after this time, 0 no limit; demo: streaming time
    std::string outDir;    // snapshot, demo: where the images go
    std::string address = "127.0.0.2";  // demo: loopback address of the simulated camera
};

// Parses argv. Returns nothing when `options` holds a command to run; otherwise the exit
// code to end with at once (0 after --help, kExitUsage after an error; both printed).
std::optional<int> ParseOptions(int argc, const char* const* argv, Options& options);

}  // namespace quorix::cli
