// Removable drives from /proc/self/mountinfo and sysfs.
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/RemovableDrives.h"

namespace quorix::platform {
namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

std::string FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// Mount points write space, tab, newline and backslash as octal escapes.
std::string Unescape(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string::npos) {
                out += static_cast<char>(std::strtol(digits.c_str(), nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::string Canonical(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        return "";
    }
    std::string out(resolved);
    free(resolved);
    return out;
}

std::string Parent(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

class LinuxDrives final : public DrivePlatform {
public:
    std::vector<RemovableDrive> Drives() override {
        std::ifstream in("/proc/self/mountinfo");
        const std::string text((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        return RemovableDrivesOf(text, "/sys");
    }
};

LinuxDrives g_linux;
std::atomic<DrivePlatform*> g_testing{nullptr};

}  // namespace

std::vector<RemovableDrive> RemovableDrivesOf(const std::string& mountinfo,
                                              const std::string& sysRoot) {
    std::vector<RemovableDrive> drives;
    std::istringstream lines(mountinfo);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint;
        if (!(fields >> id >> parent >> device >> root >> mountPoint)) {
            continue;
        }
        // The block device of "major:minor", and for a partition the disk above it, which
        // carries the removable flag.
        std::string block = Canonical(sysRoot + "/dev/block/" + device);
        if (block.empty()) {
            continue;
        }
        std::string disk = Exists(block + "/removable") ? block : Parent(block);
        if (disk.empty() || FirstLine(disk + "/removable") != "1") {
            continue;
        }
        RemovableDrive drive{Unescape(mountPoint), ""};
        for (std::string up = Parent(disk); !up.empty() && up.size() > sysRoot.size();
             up = Parent(up)) {
            if (Exists(up + "/idVendor")) {
                drive.usbDevice = up;
                break;
            }
        }
        drives.push_back(std::move(drive));
    }
    return drives;
}

DrivePlatform& Drives() {
    DrivePlatform* testing = g_testing.load();
    return testing != nullptr ? *testing : g_linux;
}

void SetDrivePlatformForTesting(DrivePlatform* platform) {
    g_testing.store(platform);
}

}  // namespace quorix::platform
