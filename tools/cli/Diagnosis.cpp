// Texts and checks behind quorix-cli's failure messages.
#include "cli/Diagnosis.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace quorix::cli {

namespace {

// Socket inodes bound to local `port` in one /proc/net/udp-style table.
void SocketInodes(const std::string& table, uint16_t port, std::set<unsigned long>& inodes) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);  // column titles
    while (std::getline(in, line)) {
        // "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid
        //  timeout inode": the local address is ADDRESS:PORT in hexadecimal.
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
        unsigned long inode = 0;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
              timeout >> inode)) {
            continue;
        }
        const size_t colon = local.rfind(':');
        if (colon == std::string::npos) {
            continue;
        }
        const unsigned long localPort = std::strtoul(local.c_str() + colon + 1, nullptr, 16);
        if (localPort == port && inode != 0) {
            inodes.insert(inode);
        }
    }
}

std::string CommandName(const std::string& procRoot, const std::string& pid) {
    std::ifstream in(procRoot + "/" + pid + "/comm");
    std::string name;
    std::getline(in, name);
    return name.empty() ? "?" : name;
}

}  // namespace

std::string StatusText(NsReturnStatus status) {
    return std::string(Ns2_GetStatusName(status)) + " (" + std::to_string(status) +
           "): " + Ns2_GetStatusText(status);
}

std::vector<PortHolder> UdpPortHolders(uint16_t port, bool& complete, const std::string& procRoot) {
    std::set<unsigned long> inodes;
    SocketInodes(procRoot + "/net/udp", port, inodes);
    SocketInodes(procRoot + "/net/udp6", port, inodes);
    std::vector<PortHolder> holders;
    std::set<unsigned long> traced;
    DIR* processes = opendir(procRoot.c_str());
    if (processes != nullptr) {
        while (const dirent* p = readdir(processes)) {
            const std::string pid = p->d_name;
            if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) {
                continue;
            }
            const std::string fdDir = procRoot + "/" + pid + "/fd";
            DIR* fds = opendir(fdDir.c_str());
            if (fds == nullptr) {
                continue;  // another user's process
            }
            bool holds = false;
            while (const dirent* f = readdir(fds)) {
                char target[64] = {};
                const std::string link = fdDir + "/" + f->d_name;
                if (readlink(link.c_str(), target, sizeof target - 1) <= 0) {
                    continue;
                }
                unsigned long inode = 0;
                if (std::sscanf(target, "socket:[%lu]", &inode) == 1 && inodes.count(inode) == 1) {
                    traced.insert(inode);
                    holds = true;
                }
            }
            closedir(fds);
            if (holds) {
                holders.push_back({static_cast<pid_t>(std::stol(pid)), CommandName(procRoot, pid)});
            }
        }
        closedir(processes);
    }
    complete = traced.size() == inodes.size();
    return holders;
}

std::vector<std::string> DiscoveryProblem(const NsDiscoveryState& state) {
    if (state.status != NsDiscoveryFailed) {
        return {};
    }
    std::vector<std::string> lines;
    const std::string message(state.message, strnlen(state.message, sizeof state.message));
    lines.push_back("network discovery is not listening: " + message);
    bool complete = false;
    const std::vector<PortHolder> holders = UdpPortHolders(state.port, complete);
    for (const PortHolder& h : holders) {
        if (h.pid != getpid()) {
            lines.push_back("  UDP " + std::to_string(state.port) + " is held by process " +
                            std::to_string(h.pid) + " (" + h.name + ")");
        }
    }
    if (!complete || holders.empty()) {
        lines.push_back(
            "  to see which program holds it (also another user's): sudo ss -ulpn "
            "'sport = :" +
            std::to_string(state.port) + "'");
    }
    lines.push_back(
        "  stop that program (or let it share the port with SO_REUSEADDR), then try "
        "again; USB cameras are found regardless");
    return lines;
}

bool CheckWritableFolder(const std::string& folder, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        error = "cannot create the folder " + folder + ": " + ec.message();
        return false;
    }
    const std::string probe = (std::filesystem::path(folder) / ".quorix-write-check").string();
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot write into " + folder + ": " + std::strerror(errno);
        return false;
    }
    close(fd);
    unlink(probe.c_str());
    return true;
}

std::string DataModeName(uint32_t mode) {
    switch (mode) {
        case 0:
        case 3:
        case 4:
            return "depth";
        case 5:
        case 8:
        case 9:
            return "depth, 640x360";
        case 1:
            return "IR";
        case 6:
            return "IR, 640x360";
        case 2:
            return "depth and IR";
        case 7:
            return "depth and IR, 640x360";
        case 10:
            return "depth and IR, 15 fps";
        case 11:
            return "WDR depth";
        case 12:
            return "WDR IR";
        case 13:
            return "WDR depth and IR";
        default:
            return "model-specific";
    }
}

bool DataModeSendsIr(uint32_t mode) {
    switch (mode) {
        case 0:
        case 3:
        case 4:
        case 5:
        case 8:
        case 9:
        case 11:
            return false;
        default:
            return true;
    }
}

std::string LostCameraText(const std::string& uri, bool presentAgain) {
    if (presentAgain) {
        return "the camera " + uri +
               " dropped this connection but still announces itself: another client probably "
               "took it (a camera serves one host at a time). Close the other program, then "
               "run the command again";
    }
    return "the camera " + uri +
           " stopped answering: it was unplugged, powered off or lost its network. Check it, "
           "then run the command again";
}

}  // namespace quorix::cli
