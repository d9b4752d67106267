// The per-model ini file: the input is written as a model's ini file (model picked by the
// first byte) and read back through the configuration reader, as a session's first start
// reads it; the numbers and lists of its values are also read directly.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "FuzzInput.h"
#include "config/Config.h"
#include "config/IniFile.h"
#include "model/ModelTraits.h"

using namespace quorix;

namespace {

// A folder of this process whose Config/ holds the file; gone at exit.
struct Folder {
    Folder() {
        char pattern[] = "/tmp/quorix-fuzz-ini-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            std::abort();
        }
        path = pattern;
        std::filesystem::create_directories(path / "Config");
        SetIniLibraryDirectoryForTesting(path.string());
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Folder folder;
    static const std::vector<uint32_t> types = [] {
        std::vector<uint32_t> out;
        for (const ModelTraits& model : Models()) {
            if (model.iniFile != nullptr) {
                out.push_back(model.deviceType);
            }
        }
        return out;
    }();
    fuzz::FuzzInput in(data, size);
    const uint32_t type = types.empty() ? 0 : types[in.Byte() % types.size()];
    const uint32_t session = in.Byte() % 3;
    const auto text = in.Rest();

    const std::string path = IniFilePath(type);
    if (FILE* f = fopen(path.c_str(), "wb")) {
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }
    const Config config = Config::ReadIni(type, session);
    if (config.validRangeList.size() > kMaxValidRanges ||
        config.validOutModeList.size() > kMaxValidOutModes) {
        __builtin_trap();
    }

    const std::string_view view(reinterpret_cast<const char*>(text.data()), text.size());
    const IniFile ini = IniFile::Parse(view);
    for (const std::string& section : ini.Sections()) {
        for (const std::string& key : ini.Keys(section)) {
            const std::string* value = ini.Find(section, key);
            ParseIniNumber(*value);
            if (ParseIniList(*value, kMaxValidOutModes, key.c_str()).size() > kMaxValidOutModes) {
                __builtin_trap();
            }
        }
    }
    ParseIniNumber(view);
    ParseIniList(view, 4, "whole");
    return 0;
}
