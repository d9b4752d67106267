// Process-wide configuration: per-model settings read from ini files, and the library's
// console-log switch. Fields start at the defaults that apply when no file was read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quorix {

// -255 in an i32 field means "not set": the session keeps its own value.
inline constexpr int32_t kConfigUnset = -255;

// Entries a session's depth-range and data-mode lists hold.
inline constexpr size_t kMaxValidRanges = 9;
inline constexpr size_t kMaxValidOutModes = 32;

struct Config {
    bool loaded = false;
    bool valid = true;
    bool logToConsole = false;
    int32_t releaseVersion = 0;
    int32_t deviceType = 0;
    int32_t sessionCount = 0;
    int32_t dataMode = kConfigUnset;
    std::string validOutModes;
    std::string validRanges;
    int32_t depthRange = kConfigUnset;
    int32_t rgbResolution = kConfigUnset;
    int32_t backgroundThreshold = kConfigUnset;
    int32_t pulseCount = kConfigUnset;
    int32_t gmmGain = kConfigUnset;
    bool s2Background = true;
    bool synchronise = false;
    bool mapDepthToRgb = false;
    bool mapRgbToDepth = false;
    bool mapRgbToIr = false;
    int32_t wdrTotalRange = 3;
    int32_t wdrRange1 = 0;
    int32_t wdrRange1Count = 0;
    int32_t wdrRange2 = 0;
    int32_t wdrRange2Count = 0;
    int32_t wdrRange3 = 0;
    int32_t wdrRange3Count = 0;
    int32_t wdrThreshold1 = 1300;
    int32_t wdrThreshold2 = 3200;
    // The four host filters default to off (the described default is on): a file written
    // before they existed, without their keys, must not start filtering.
    bool computeRealDepth = false;
    bool depthDistortion = true;
    bool irDistortion = true;
    bool rgbDistortion = true;
    bool rgbCorrection = false;
    bool smoothingFilter = false;
    bool timeFilter = false;
    bool spatialFilter = false;
    int32_t timeFilterThreshold = 6;
    int32_t timeShiftRatio = 3;
    int32_t fillHoleThreshold = 3;
    int32_t badBlockThreshold = 4;
    int32_t firstSpatialThreshold = 5;
    int32_t secondSpatialThreshold = 5;
    int32_t spatialSwitchThreshold = 0;
    int32_t spatialSwitchThresholdEdge = 5;
    int32_t spatialCount = 2;
    int32_t fillHoleCount = 1;
    int32_t outputAscend = 0;
    int32_t outOfMaxRange = 0;
    bool timeFilterDepth = false;
    int32_t algorithmType = 0;

    // "ValidRange" and "ValidOutMode" read as lists (at most kMaxValidRanges and
    // kMaxValidOutModes entries). Empty means every range / data mode is accepted; a value
    // without a comma is a list of one.
    std::vector<int32_t> validRangeList;
    std::vector<int32_t> validOutModeList;

    bool operator==(const Config&) const = default;

    // Reads the ini file of model `deviceType` for session `sessionIndex` into a record of
    // its own: the defaults above, then the file. Nothing is shared between calls, so
    // sessions on different threads may read at the same time, and a bad or foreign file
    // affects only the record it was read into. `loaded` tells that the file was found and
    // parsed; `valid` that its "DeviceType" is `deviceType` and its "SessionCount" is not
    // below `sessionIndex`. Per-session keys come from "session1" for index 0 and
    // "session2" for index 1 and are read only when the file is valid; other indices read
    // none. The file is <library folder>/Config/<model's file name>.
    static Config ReadIni(uint32_t deviceType, uint32_t sessionIndex);
};

// The ini file name of `deviceType`, or null for a type without one.
const char* IniFileName(uint32_t deviceType);

// Path of the ini file of `deviceType` ("" for a type without one, or when the library's
// folder is unknown).
std::string IniFilePath(uint32_t deviceType);

// --- internal hook for tests, not exported ----------------------------------------------

// Replaces the library's folder as the place whose "Config" folder holds the ini files;
// empty restores the library's folder.
void SetIniLibraryDirectoryForTesting(const std::string& folder);

// The process-wide configuration object. It lives from Ns2_Initialize to Ns2_Shutdown
// and is created again on demand by whoever needs it in between.
class ConfigHolder {
public:
    // The object, created with its defaults when there is none.
    static Config& Instance();
    // True when the object exists.
    static bool Exists();
    // Destroys the object; a later Instance() starts again from the defaults.
    static void Destroy();
};

}  // namespace quorix
