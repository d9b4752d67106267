// Reading the per-model ini files from the Config folder beside the library.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <set>
#include <sstream>
#include <thread>

#include "config/Config.h"
#include "config/IniFile.h"
#include "log/Log.h"
#include "model/ColourResolution.h"
#include "model/ModelTraits.h"
#include "support/TempDir.h"

namespace quorix {
namespace {

using test::TempDir;
using test::WriteFile;

constexpr uint32_t kTk5P = 561;
constexpr uint32_t kTk5E = 562;

class ConfigReadIniTest : public ::testing::Test {
protected:
    void SetUp() override { SetIniLibraryDirectoryForTesting(m_dir.Path()); }
    void TearDown() override { SetIniLibraryDirectoryForTesting(""); }

    void WriteIni(uint32_t deviceType, const std::string& text) {
        std::filesystem::create_directories(m_dir / "Config");
        WriteFile(m_dir / "Config" + "/" + IniFileName(deviceType), text);
    }

    TempDir m_dir;
};

Config Defaults() {
    return Config{};
}

TEST_F(ConfigReadIniTest, FileLivesInTheConfigFolderBesideTheLibrary) {
    SetIniLibraryDirectoryForTesting(m_dir.Path() + "/lib/./x/..");
    EXPECT_EQ(IniFilePath(kTk5P), m_dir.Path() + "/lib/Config/config_tk5P.ini");
    EXPECT_EQ(IniFilePath(999), "");
}

TEST_F(ConfigReadIniTest, NoConfigFolderReadsNothing) {
    const Config config = Config::ReadIni(kTk5P, 0);
    EXPECT_FALSE(config.loaded);
    EXPECT_EQ(config, Defaults());
}

TEST_F(ConfigReadIniTest, UnknownDeviceTypeIsLoggedAndOpensNoFile) {
    log::Capture capture;
    const Config config = Config::ReadIni(999, 0);
    EXPECT_FALSE(config.loaded);
    EXPECT_TRUE(capture.Contains("]:devicetype:999 is invalid\n"));
}

TEST_F(ConfigReadIniTest, UnreadableOrHugeFileIsNotLoaded) {
    log::Capture capture;
    std::filesystem::create_directories(m_dir / "Config/config_tk5P.ini");  // a folder
    EXPECT_FALSE(Config::ReadIni(kTk5P, 0).loaded);
    EXPECT_TRUE(capture.Contains("read " + IniFilePath(kTk5P) + " failed errorcode:21\n"));

    WriteIni(kTk5E, "[settings]\nDeviceType=562\n" + std::string(2 << 20, ';'));
    EXPECT_FALSE(Config::ReadIni(kTk5E, 0).loaded);
    EXPECT_TRUE(capture.Contains("not read"));
}

TEST_F(ConfigReadIniTest, EveryKeySetsItsField) {
    WriteIni(kTk5P,
             "[settings]\nDeviceType=561\nSessionCount=1\nLogToConsole=1\nReleaseVersion=7\n"
             "[session1]\nDataMode=2\nValidOutMode=0,2\nValidRange=1,3\nDepthRange=4\n"
             "RGB_Resolution=1\nBG_Threshold=20\nPulseCount=300\nGmmGain=40\nS2_BG=0\n"
             "Sync=1\nMapperDepthToRGBEnabled=1\nMapperRGBToDepthEnabled=1\n"
             "MapperRGBToIREnabled=1\nt1_totalRange=2\nt1_range1=1\nt1_range1Count=2\n"
             "t1_range2=5\nt1_range2Count=3\nt1_range3=8\nt1_range3Count=4\n"
             "t1_threshold1=1000\nt1_threshold2=2000\nComputeRealDepthEnabled=0\n"
             "DepthDistortionEnabled=0\nIRDistortionEnabled=0\nRGBDistortionEnabled=0\n"
             "RGBCorrectionEnabled=1\nSmoothingFilterEnabled=0\nTimeFilterEnabled=0\n"
             "SpatialFilterEnabled=0\ntimeFilterThreshold=11\ntimeShiftRatio=12\n"
             "fillHoleThreshold=13\nbadBlockThreshold=14\nfirstSpatialThreshold=15\n"
             "twiceSpatialThrehold=16\nspatialSwitchThreshold=17\n"
             "spatialSwitchThresholdEdge=18\nspatialCount=19\nfillHoleCount=20\n"
             "outputAscend=1\noutofMaxRange=1\ntimeFilterDepth=1\nalgoType=2\n");
    Config want;
    want.loaded = true;
    want.logToConsole = true;
    want.releaseVersion = 7;
    want.deviceType = 561;
    want.sessionCount = 1;
    want.dataMode = 2;
    want.validOutModes = "0,2";
    want.validOutModeList = {0, 2};
    want.validRanges = "1,3";
    want.validRangeList = {1, 3};
    want.depthRange = 4;
    want.rgbResolution = 1;
    want.backgroundThreshold = 20;
    want.pulseCount = 300;
    want.gmmGain = 40;
    want.s2Background = false;
    want.synchronise = want.mapDepthToRgb = want.mapRgbToDepth = want.mapRgbToIr = true;
    want.wdrTotalRange = 2;
    want.wdrRange1 = 1;
    want.wdrRange1Count = 2;
    want.wdrRange2 = 5;
    want.wdrRange2Count = 3;
    want.wdrRange3 = 8;
    want.wdrRange3Count = 4;
    want.wdrThreshold1 = 1000;
    want.wdrThreshold2 = 2000;
    want.computeRealDepth = want.depthDistortion = want.irDistortion = false;
    want.rgbDistortion = false;
    want.rgbCorrection = true;
    want.smoothingFilter = want.timeFilter = want.spatialFilter = false;
    want.timeFilterThreshold = 11;
    want.timeShiftRatio = 12;
    want.fillHoleThreshold = 13;
    want.badBlockThreshold = 14;
    want.firstSpatialThreshold = 15;
    want.secondSpatialThreshold = 16;
    want.spatialSwitchThreshold = 17;
    want.spatialSwitchThresholdEdge = 18;
    want.spatialCount = 19;
    want.fillHoleCount = 20;
    want.outputAscend = 1;
    want.outOfMaxRange = 1;
    want.timeFilterDepth = true;
    want.algorithmType = 2;
    EXPECT_EQ(Config::ReadIni(kTk5P, 0), want);
}

TEST_F(ConfigReadIniTest, ValuesAreReadWithoutSpacesAndNegativesKept) {
    WriteIni(kTk5P,
             "[settings]\r\nDeviceType = 5 6 1\r\n[session1]\r\nDataMode = 1 1\r\n"
             "DepthRange=-255\r\nGmmGain=-3\r\nPulseCount=12abc\r\nValidRange=\r\n"
             "BG_Threshold=1\r\nBG_Threshold=2\r\n");
    const Config config = Config::ReadIni(kTk5P, 0);
    ASSERT_TRUE(config.valid);
    EXPECT_EQ(config.dataMode, 11);
    EXPECT_EQ(config.depthRange, kConfigUnset);
    EXPECT_EQ(config.gmmGain, -3);
    EXPECT_EQ(config.pulseCount, 12);
    EXPECT_EQ(config.backgroundThreshold, 2);  // of duplicate keys the last wins
    EXPECT_TRUE(config.validRanges.empty());
    EXPECT_TRUE(config.validRangeList.empty());  // all ranges valid
}

TEST_F(ConfigReadIniTest, ValidListsAreParsedAndBounded) {
    const struct {
        const char* ranges;
        const char* modes;
        std::vector<int32_t> rangeList;
        std::vector<int32_t> modeList;
    } cases[] = {
        {"0,1,2", "2", {0, 1, 2}, {2}},
        {"", "", {}, {}},
        {"4", "0,1,11,12,13", {4}, {0, 1, 11, 12, 13}},
        {"0,1,2,3,4,5,6,7,8,0,1", "", {0, 1, 2, 3, 4, 5, 6, 7, 8}, {}},
    };
    for (const auto& c : cases) {
        WriteIni(kTk5P, std::string("[settings]\nDeviceType=561\n[session1]\nValidRange=") +
                            c.ranges + "\nValidOutMode=" + c.modes + "\n");
        const Config config = Config::ReadIni(kTk5P, 0);
        EXPECT_EQ(config.validRangeList, c.rangeList) << c.ranges;
        EXPECT_EQ(config.validOutModeList, c.modeList) << c.modes;
    }
    std::string modes = "0";
    for (int i = 1; i < 40; ++i) {
        modes += "," + std::to_string(i);
    }
    WriteIni(kTk5P, "[settings]\nDeviceType=561\n[session1]\nValidOutMode=" + modes + "\n");
    log::Capture capture;
    const Config config = Config::ReadIni(kTk5P, 0);
    ASSERT_EQ(config.validOutModeList.size(), kMaxValidOutModes);
    EXPECT_EQ(config.validOutModeList.back(), 31);
    EXPECT_TRUE(capture.Contains("ValidOutMode holds more than 32 entries; dropped: 32,33,"));
}

TEST_F(ConfigReadIniTest, ForeignOrMissingDeviceTypeIsNotValidAndDoesNotLinger) {
    WriteIni(kTk5P, "[settings]\nDeviceType=562\nSessionCount=1\n[session1]\nDataMode=3\n");
    WriteIni(kTk5E, "[settings]\nDeviceType=562\n[session1]\nSync=1\n");
    const Config foreign = Config::ReadIni(kTk5P, 0);
    EXPECT_TRUE(foreign.loaded);
    EXPECT_FALSE(foreign.valid);
    EXPECT_EQ(foreign.dataMode, kConfigUnset);  // per-session keys of an invalid file stay unread

    const Config other = Config::ReadIni(kTk5E, 0);
    EXPECT_TRUE(other.valid);
    EXPECT_TRUE(other.synchronise);

    // Nothing of a file carries over into a later read, not even its device type.
    WriteIni(kTk5P, "[session1]\nDataMode=3\n");
    EXPECT_FALSE(Config::ReadIni(kTk5P, 0).valid);
    WriteIni(kTk5P, "[settings]\nDeviceType=561\n");
    const Config mended = Config::ReadIni(kTk5P, 0);
    EXPECT_TRUE(mended.valid);
    EXPECT_FALSE(mended.synchronise);
}

TEST_F(ConfigReadIniTest, SessionIndexSelectsItsSection) {
    WriteIni(kTk5P,
             "[settings]\nDeviceType=561\nSessionCount=2\n"
             "[session1]\nDataMode=1\n[session2]\nDataMode=2\n[session3]\nDataMode=3\n");
    const struct {
        uint32_t index;
        bool valid;
        int32_t dataMode;
    } cases[] = {{0, true, 1}, {1, true, 2}, {2, true, kConfigUnset}, {3, false, kConfigUnset}};
    for (const auto& c : cases) {
        const Config config = Config::ReadIni(kTk5P, c.index);
        EXPECT_EQ(config.valid, c.valid) << c.index;
        EXPECT_EQ(config.dataMode, c.dataMode) << c.index;
    }
    WriteIni(kTk5P, "[settings]\nDeviceType=561\n[session2]\nDataMode=2\n");  // count 0
    EXPECT_FALSE(Config::ReadIni(kTk5P, 1).valid);
}

TEST_F(ConfigReadIniTest, Tk1aFileSetsAlgorithmTypeOneUnlessGiven) {
    constexpr uint32_t kTk1a = 140;
    EXPECT_EQ(Config::ReadIni(kTk1a, 0).algorithmType, 0);  // no file
    WriteIni(kTk1a, "[settings]\nDeviceType=140\n");
    EXPECT_EQ(Config::ReadIni(kTk1a, 0).algorithmType, 1);
    WriteIni(kTk1a, "[settings]\nDeviceType=140\n[session1]\nalgoType=0\n");
    EXPECT_EQ(Config::ReadIni(kTk1a, 0).algorithmType, 0);
}

TEST_F(ConfigReadIniTest, RgbResolutionCodesChooseTheColourSize) {
    const struct {
        int32_t code;
        uint16_t width;
        uint16_t height;
    } cases[] = {{0, 1920, 1080}, {1, 1280, 720},  {2, 640, 480},
                 {3, 640, 360},   {7, 1920, 1080}, {-1, 1920, 1080}};
    for (const auto& c : cases) {
        const ColourSize size = ColourSizeOfCode(static_cast<uint32_t>(c.code));
        EXPECT_EQ(size.width, c.width) << c.code;
        EXPECT_EQ(size.height, c.height) << c.code;
    }
    WriteIni(kTk5P, "[settings]\nDeviceType=561\n[session1]\nRGB_Resolution=7\n");
    EXPECT_EQ(
        ColourSizeOfCode(static_cast<uint32_t>(Config::ReadIni(kTk5P, 0).rgbResolution)).width,
        1920);
}

TEST_F(ConfigReadIniTest, SessionsReadingAtOnceKeepTheirOwnValues) {
    WriteIni(kTk5P,
             "[settings]\nDeviceType=561\nSessionCount=2\n[session1]\nDataMode=1\n"
             "[session2]\nDataMode=2\nValidRange=1,2\n");
    WriteIni(kTk5E, "[settings]\nDeviceType=562\n[session1]\nDataMode=5\nSync=1\n");
    const Config want[3] = {Config::ReadIni(kTk5P, 0), Config::ReadIni(kTk5P, 1),
                            Config::ReadIni(kTk5E, 0)};
    int mismatches[3] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) {
                const Config got = t == 2 ? Config::ReadIni(kTk5E, 0)
                                          : Config::ReadIni(kTk5P, static_cast<uint32_t>(t));
                mismatches[t] += got == want[t] ? 0 : 1;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches[0] + mismatches[1] + mismatches[2], 0);
    EXPECT_NE(want[0], want[1]);
}

// The example files are meant to be copied up unchanged: each must read as valid for its
// model, hold exactly the known keys (so no comment line was taken for a key), and give
// the values assumed for missing keys.
TEST_F(ConfigReadIniTest, EveryExampleFileIsValidForItsModel) {
    const auto words = [](std::istringstream in) {
        return std::set<std::string>(std::istream_iterator<std::string>(in), {});
    };
    const std::set<std::string> settingsKeys =
        words(std::istringstream("DeviceType SessionCount LogToConsole ReleaseVersion"));
    // And the two empty lists, below.
    const std::set<std::string> sessionKeys = words(std::istringstream(
        "DataMode DepthRange RGB_Resolution BG_Threshold PulseCount GmmGain S2_BG Sync "
        "MapperDepthToRGBEnabled MapperRGBToDepthEnabled MapperRGBToIREnabled t1_totalRange "
        "t1_range1 t1_range1Count t1_range2 t1_range2Count t1_range3 t1_range3Count "
        "t1_threshold1 t1_threshold2 ComputeRealDepthEnabled DepthDistortionEnabled "
        "IRDistortionEnabled RGBDistortionEnabled RGBCorrectionEnabled SmoothingFilterEnabled "
        "TimeFilterEnabled SpatialFilterEnabled timeFilterThreshold timeShiftRatio "
        "fillHoleThreshold badBlockThreshold firstSpatialThreshold twiceSpatialThrehold "
        "spatialSwitchThreshold spatialSwitchThresholdEdge spatialCount fillHoleCount "
        "outputAscend outofMaxRange timeFilterDepth algoType"));
    size_t files = 0;
    for (const ModelTraits& model : Models()) {
        if (model.iniFile == nullptr) {
            continue;
        }
        ++files;
        SCOPED_TRACE(model.iniFile);
        const std::string text =
            test::ReadFile(std::string(QUORIX_CONFIG_EXAMPLES) + "/" + model.iniFile);
        ASSERT_FALSE(text.empty());
        const IniFile ini = IniFile::Parse(text);
        const std::vector<std::string> sections = ini.Sections();
        ASSERT_GE(sections.size(), 2u);
        for (const std::string& section : sections) {
            const std::vector<std::string> keys = ini.Keys(section);
            EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()),
                      section == "settings" ? settingsKeys : sessionKeys)
                << section;
        }
        for (const char* list : {"\nValidRange=\n", "\nValidOutMode=\n"}) {
            size_t count = 0;
            for (size_t at = text.find(list); at != std::string::npos;
                 at = text.find(list, at + 1)) {
                ++count;
            }
            EXPECT_EQ(count, sections.size() - 1) << list;
        }
        WriteIni(model.deviceType, text);
        const Config first = Config::ReadIni(model.deviceType, 0);
        Config want;
        want.loaded = true;
        want.deviceType = static_cast<int32_t>(model.deviceType);
        want.sessionCount = static_cast<int32_t>(sections.size() - 1);
        want.algorithmType = model.iniAlgorithmType;
        EXPECT_EQ(first, want);
        EXPECT_EQ(Config::ReadIni(model.deviceType, 1), want);  // session2 or none
    }
    // And no example file is left without a model.
    size_t examples = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QUORIX_CONFIG_EXAMPLES)) {
        examples += entry.path().extension() == ".ini" ? 1 : 0;
    }
    EXPECT_EQ(files, examples);
}

}  // namespace
}  // namespace quorix
