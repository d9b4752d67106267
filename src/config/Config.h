// Process-wide configuration: per-model settings read from ini files, and the library's
// console-log switch. Fields start at the defaults that apply when no file was read.
#pragma once

#include <cstdint>
#include <string>

namespace quorix {

// -255 in an i32 field means "not set": the session keeps its own value.
inline constexpr int32_t kConfigUnset = -255;

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
    bool computeRealDepth = true;
    bool depthDistortion = true;
    bool irDistortion = true;
    bool rgbDistortion = true;
    bool rgbCorrection = false;
    bool smoothingFilter = true;
    bool timeFilter = true;
    bool spatialFilter = true;
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
};

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
