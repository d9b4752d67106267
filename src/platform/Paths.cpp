// Home directory lookup and recursive directory creation on POSIX systems.
#include "platform/Paths.h"

#include <cerrno>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quorix::platform {

std::string HomeDirectory() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd pw{};
    passwd* result = nullptr;
    while (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &result) == ERANGE) {
        buf.resize(buf.size() * 2);
    }
    if (result == nullptr || result->pw_dir == nullptr) {
        return {};
    }
    return result->pw_dir;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int MakeDirectories(const std::string& path) {
    if (path.empty()) {
        return ENOENT;
    }
    // Walk the components left to right so a fresh home without ~/.local works too.
    std::string::size_type pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        const std::string part = path.substr(0, pos);
        if (part.empty() || IsDirectory(part)) {
            continue;
        }
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            return errno;
        }
        if (!IsDirectory(part)) {
            return ENOTDIR;
        }
    }
    return 0;
}

}  // namespace quorix::platform
