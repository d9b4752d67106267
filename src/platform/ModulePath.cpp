// Module folder through the dynamic loader, and lexical path normalisation.
#include "platform/ModulePath.h"

#include <dlfcn.h>
#include <unistd.h>

#include <vector>

namespace quorix::platform {

std::string ModuleDirectory() {
    Dl_info info{};
    // The address of a function of this file names the module the code was linked into,
    // not the host executable that loaded it.
    if (dladdr(reinterpret_cast<void*>(&ModuleDirectory), &info) == 0 ||
        info.dli_fname == nullptr || info.dli_fname[0] == '\0') {
        return {};
    }
    std::string file = info.dli_fname;
    if (file[0] != '/') {
        std::vector<char> cwd(4096);
        if (getcwd(cwd.data(), cwd.size()) == nullptr) {
            return {};
        }
        file = std::string(cwd.data()) + "/" + file;
    }
    const std::string normalised = NormalisePath(file);
    const std::string::size_type slash = normalised.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? std::string("/") : normalised.substr(0, slash);
}

std::string NormalisePath(std::string_view path) {
    const bool absolute = !path.empty() && path.front() == '/';
    const bool trailing = path.size() > 1 && path.back() == '/';
    std::vector<std::string_view> parts;
    std::string_view::size_type begin = 0;
    while (begin <= path.size()) {
        std::string_view::size_type end = path.find('/', begin);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        const std::string_view part = path.substr(begin, end - begin);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        begin = end + 1;
    }
    std::string out = absolute ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            out += '/';
        }
        out += parts[i];
    }
    if (trailing && !parts.empty()) {
        out += '/';
    }
    return out;
}

}  // namespace quorix::platform
