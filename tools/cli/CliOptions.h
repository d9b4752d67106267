// Command line of quorix-cli: the subcommand and its options, and the program's exit codes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/Settings.h"

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

enum class Command {
    kList,
    kStream,
    kSnapshot,
    kDemo,
    kInfo,
    kGet,
    kSet,
    kUpgrade,
    kConfig,
    kRecord,
    kView
};

struct Options {
    Command command = Command::kList;
    std::string uri;           // every command but list and demo: URI or alias of the camera
    uint32_t session = 0;      // every command with a URI
    double waitSeconds = 2.0;  // list: discovery time; others: longest wait for the camera
    uint64_t frames = 0;       // stream: frame sets, record: data frames to stop after; 0 none
    double seconds = 0.0;      // stream: stop after this time, 0 no limit; demo: streaming time
    bool map = false;          // stream: turn the three mappings between depth and colour on
    bool usb = false;          // demo: a simulated USB camera instead of a network one
    bool simUsb = false;       // upgrade, config: plug a simulated USB TK5U in first
    std::string outDir;        // snapshot, demo: where the images go; record: the file
    std::string address = "127.0.0.2";  // demo: loopback address of the simulated camera
    std::optional<Setting> setting;     // get: the one to print (none: all); set: required
    uint32_t value = 0;                 // set: the parsed value, as its C call takes it
    std::optional<HostFilter> filter;   // get, set: a filter of the library instead
    std::vector<HostFilter> filters;    // stream, snapshot: filters to turn on
    std::string image;                  // upgrade: the firmware image
    std::string fetchFile;              // config: where the camera's JSON file goes
    std::string sendFile;               // config: the JSON file to send
    uint16_t port = 8080;               // view: the HTTP port on 127.0.0.1
};

// Parses argv. Returns nothing when `options` holds a command to run; otherwise the exit
// code to end with at once (0 after --help, kExitUsage after an error; both printed).
std::optional<int> ParseOptions(int argc, const char* const* argv, Options& options);

}  // namespace quorix::cli
