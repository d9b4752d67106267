// Lifetime of the process-wide configuration object, and reading of the per-model ini files.
#include "config/Config.h"

#include <array>
#include <memory>
#include <mutex>

#include "config/IniFile.h"
#include "log/Log.h"
#include "model/ModelTraits.h"
#include "platform/Files.h"
#include "platform/ModulePath.h"
#include "platform/Socket.h"

namespace quorix {
namespace {

std::mutex& HolderLock() {
    static std::mutex lock;
    return lock;
}

std::unique_ptr<Config>& Holder() {
    static std::unique_ptr<Config> config;
    return config;
}

// A real configuration file is a few kilobytes; anything far larger is not one.
constexpr size_t kMaxIniBytes = 1 << 20;

// One key of a section and the field it sets: exactly one of the members is non-null.
struct IniKey {
    const char* name;
    int32_t Config::*number;
    bool Config::*flag;
    std::string Config::*text;
};

constexpr IniKey Number(const char* name, int32_t Config::*field) {
    return {name, field, nullptr, nullptr};
}
constexpr IniKey Flag(const char* name, bool Config::*field) {
    return {name, nullptr, field, nullptr};
}
constexpr IniKey Text(const char* name, std::string Config::*field) {
    return {name, nullptr, nullptr, field};
}

const IniKey kSettingsKeys[] = {
    Number("DeviceType", &Config::deviceType),
    Number("SessionCount", &Config::sessionCount),
    Flag("LogToConsole", &Config::logToConsole),
    Number("ReleaseVersion", &Config::releaseVersion),
};

const IniKey kSessionKeys[] = {
    Number("DataMode", &Config::dataMode),
    Text("ValidOutMode", &Config::validOutModes),
    Text("ValidRange", &Config::validRanges),
    Number("DepthRange", &Config::depthRange),
    Number("RGB_Resolution", &Config::rgbResolution),
    Number("BG_Threshold", &Config::backgroundThreshold),
    Number("PulseCount", &Config::pulseCount),
    Number("GmmGain", &Config::gmmGain),
    Flag("S2_BG", &Config::s2Background),
    Flag("Sync", &Config::synchronise),
    Flag("MapperDepthToRGBEnabled", &Config::mapDepthToRgb),
    Flag("MapperRGBToDepthEnabled", &Config::mapRgbToDepth),
    Flag("MapperRGBToIREnabled", &Config::mapRgbToIr),
    Number("t1_totalRange", &Config::wdrTotalRange),
    Number("t1_range1", &Config::wdrRange1),
    Number("t1_range1Count", &Config::wdrRange1Count),
    Number("t1_range2", &Config::wdrRange2),
    Number("t1_range2Count", &Config::wdrRange2Count),
    Number("t1_range3", &Config::wdrRange3),
    Number("t1_range3Count", &Config::wdrRange3Count),
    Number("t1_threshold1", &Config::wdrThreshold1),
    Number("t1_threshold2", &Config::wdrThreshold2),
    Flag("ComputeRealDepthEnabled", &Config::computeRealDepth),
    Flag("DepthDistortionEnabled", &Config::depthDistortion),
    Flag("IRDistortionEnabled", &Config::irDistortion),
    Flag("RGBDistortionEnabled", &Config::rgbDistortion),
    Flag("RGBCorrectionEnabled", &Config::rgbCorrection),
    Flag("SmoothingFilterEnabled", &Config::smoothingFilter),
    Flag("TimeFilterEnabled", &Config::timeFilter),
    Flag("SpatialFilterEnabled", &Config::spatialFilter),
    Number("timeFilterThreshold", &Config::timeFilterThreshold),
    Number("timeShiftRatio", &Config::timeShiftRatio),
    Number("fillHoleThreshold", &Config::fillHoleThreshold),
    Number("badBlockThreshold", &Config::badBlockThreshold),
    Number("firstSpatialThreshold", &Config::firstSpatialThreshold),
    Number("twiceSpatialThrehold", &Config::secondSpatialThreshold),
    Number("spatialSwitchThreshold", &Config::spatialSwitchThreshold),
    Number("spatialSwitchThresholdEdge", &Config::spatialSwitchThresholdEdge),
    Number("spatialCount", &Config::spatialCount),
    Number("fillHoleCount", &Config::fillHoleCount),
    Number("outputAscend", &Config::outputAscend),
    Number("outofMaxRange", &Config::outOfMaxRange),
    Flag("timeFilterDepth", &Config::timeFilterDepth),
    Number("algoType", &Config::algorithmType),
};

// Sets the fields of `keys` that `section` of `ini` holds; missing keys keep their field.
template <size_t N>
void ReadSection(const IniFile& ini, const char* section, const IniKey (&keys)[N], Config& config) {
    for (const IniKey& key : keys) {
        const std::string* value = ini.Find(section, key.name);
        if (value == nullptr) {
            continue;
        }
        if (key.number != nullptr) {
            config.*key.number = ParseIniNumber(*value);
        } else if (key.flag != nullptr) {
            config.*key.flag = ParseIniNumber(*value) != 0;
        } else {
            config.*key.text = *value;
        }
    }
}

std::mutex& DirectoryLock() {
    static std::mutex lock;
    return lock;
}

std::string& DirectoryOverride() {
    static std::string folder;
    return folder;
}

std::string LibraryDirectory() {
    {
        std::lock_guard guard(DirectoryLock());
        if (!DirectoryOverride().empty()) {
            return DirectoryOverride();
        }
    }
    return platform::ModuleDirectory();
}

enum class FileRead { Ok, Missing, Failed };

// Reads the whole file at `path` into `text`, refusing one beyond kMaxIniBytes.
FileRead ReadTextFile(const std::string& path, std::string& text) {
    const platform::ReadResult read = platform::ReadWholeFile(path, kMaxIniBytes, text);
    switch (read.outcome) {
        case platform::ReadResult::kRead:
            return FileRead::Ok;
        case platform::ReadResult::kMissing:
            return FileRead::Missing;
        case platform::ReadResult::kOpenFailed:
            QLOG_ERROR("open %s failed errorcode:%d\n", path.c_str(), read.error);
            QLOG_ERROR("open %s: %s\n", path.c_str(), platform::ErrorText(read.error).c_str());
            break;
        case platform::ReadResult::kReadFailed:
            QLOG_ERROR("read %s failed errorcode:%d\n", path.c_str(), read.error);
            QLOG_ERROR("read %s: %s\n", path.c_str(), platform::ErrorText(read.error).c_str());
            break;
        case platform::ReadResult::kTooLarge:
            QLOG("%s is larger than %zu bytes, not read.\n", path.c_str(), kMaxIniBytes);
            break;
    }
    return FileRead::Failed;
}

}  // namespace

Config& ConfigHolder::Instance() {
    std::lock_guard guard(HolderLock());
    if (!Holder()) {
        Holder() = std::make_unique<Config>();
    }
    return *Holder();
}

bool ConfigHolder::Exists() {
    std::lock_guard guard(HolderLock());
    return Holder() != nullptr;
}

void ConfigHolder::Destroy() {
    std::lock_guard guard(HolderLock());
    Holder().reset();
}

const char* IniFileName(uint32_t deviceType) {
    return TraitsOf(deviceType).iniFile;
}

std::string IniFilePath(uint32_t deviceType) {
    const char* name = IniFileName(deviceType);
    const std::string folder = LibraryDirectory();
    if (name == nullptr || folder.empty()) {
        return {};
    }
    return platform::NormalisePath(folder + "/Config/" + name);
}

Config Config::ReadIni(uint32_t deviceType, uint32_t sessionIndex) {
    // Always from the defaults: no earlier file, of this model or another, shows through.
    Config config;
    if (IniFileName(deviceType) == nullptr) {
        QLOG_WARN("devicetype:%d is invalid\n", static_cast<int>(deviceType));
        return config;
    }
    const std::string path = IniFilePath(deviceType);
    if (path.empty()) {
        QLOG("the library's folder is unknown.\n");
        return config;
    }
    std::string text;
    const FileRead read = ReadTextFile(path, text);
    if (read == FileRead::Missing) {
        QLOG("no ini file at %s: the camera keeps its own settings.\n", path.c_str());
    }
    if (read != FileRead::Ok) {
        return config;
    }
    QLOG("settings from %s\n", path.c_str());
    const IniFile ini = IniFile::Parse(text);
    config.loaded = true;
    config.algorithmType = TraitsOf(deviceType).iniAlgorithmType;
    ReadSection(ini, "settings", kSettingsKeys, config);
    if (static_cast<int64_t>(config.deviceType) != static_cast<int64_t>(deviceType) ||
        static_cast<int64_t>(config.sessionCount) < static_cast<int64_t>(sessionIndex)) {
        QLOG("%s is for devicetype:%d with %d sessions, not devicetype:%d session:%u.\n",
             path.c_str(), config.deviceType, config.sessionCount, static_cast<int>(deviceType),
             sessionIndex);
        config.valid = false;
        return config;
    }
    const char* section = sessionIndex == 0 ? "session1" : sessionIndex == 1 ? "session2" : nullptr;
    if (section != nullptr) {
        ReadSection(ini, section, kSessionKeys, config);
    }
    config.validRangeList = ParseIniList(config.validRanges, kMaxValidRanges, "ValidRange");
    config.validOutModeList = ParseIniList(config.validOutModes, kMaxValidOutModes, "ValidOutMode");
    return config;
}

void SetIniLibraryDirectoryForTesting(const std::string& folder) {
    std::lock_guard guard(DirectoryLock());
    DirectoryOverride() = folder;
}

}  // namespace quorix
