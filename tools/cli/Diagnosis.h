// What quorix-cli tells the user when something goes wrong: status texts from the library,
// who holds the discovery port, whether a folder can be written, what a data mode sends,
// and why a lost camera was lost.
#pragma once

#include <sys/types.h>
#include <cstdint>
#include <string>
#include <vector>

#include <quorix/quorix_api.h>

namespace quorix::cli {

// "NsStatusBadHandle (-3): no such device or session: ..." from the library's own texts.
std::string StatusText(NsReturnStatus status);

// A process that holds a socket bound to a UDP port.
struct PortHolder {
    pid_t pid = 0;
    std::string name;  // the process's command name
};

// The processes holding UDP `port` (IPv4 or IPv6), found through /proc (`procRoot`).
// Only processes whose descriptors this user may read are found: `complete` says whether
// every socket on the port was traced to one.
std::vector<PortHolder> UdpPortHolders(uint16_t port, bool& complete,
                                       const std::string& procRoot = "/proc");

// The lines that explain a discovery that cannot listen: the library's message, the
// programs holding the port (or how to find them) and what to do. Empty while it listens.
std::vector<std::string> DiscoveryProblem(const NsDiscoveryState& state);

// Checks that files can be created in `folder` (made when missing) before anything is
// done with a camera; false with `error` saying why.
bool CheckWritableFolder(const std::string& folder, std::string& error);

// What a data mode sends: "depth", "IR", "depth and IR", prefixed "WDR " for the
// wide-dynamic-range modes; "model-specific" for modes outside the common set.
std::string DataModeName(uint32_t mode);
// Whether a data mode sends IR frames (unknown modes: true, so nothing is claimed missing).
bool DataModeSendsIr(uint32_t mode);

// Why a camera whose stream failed was lost, from whether it announces itself again:
// another client took it (it is present) or it stopped answering (it is not).
std::string LostCameraText(const std::string& uri, bool presentAgain);

}  // namespace quorix::cli
