// The library frame through its exports: guards, version, log lines, fixed results.
#include <gtest/gtest.h>

#include <cstring>

#include "config/Config.h"
#include "log/Log.h"
#include "quorix/quorix_api.h"
#include "support/TempDir.h"

namespace quorix {
namespace {

class Library : public ::testing::Test {
protected:
    void SetUp() override { log::SetDataHomeForTesting(m_dir.Path()); }
    void TearDown() override {
        Ns2_Shutdown();
        log::SetDataHomeForTesting("");
    }
    test::TempDir m_dir;
};

TEST_F(Library, InitialiseAndShutdownGuardsAndLogLines) {
    log::Capture capture;
    EXPECT_EQ(Ns2_Shutdown(), NsStatusNotInitialised);
    EXPECT_TRUE(capture.Contains("do not call Ns2_Initialize"));

    EXPECT_EQ(Ns2_Initialize(), NsStatusOk);
    EXPECT_TRUE(ConfigHolder::Exists());
    const std::string logFile = log::FilePath();
    EXPECT_EQ(logFile, m_dir.Path() + "/Quorix/Log/QuorixSDK.txt");
    EXPECT_EQ(Ns2_Initialize(), NsStatusReinitialised);
    EXPECT_EQ(log::FilePath(), logFile);  // changed nothing
    EXPECT_TRUE(capture.Contains("ReInitialized,do not call Ns2_Shutdown"));

    EXPECT_EQ(Ns2_Shutdown(), NsStatusOk);
    EXPECT_FALSE(ConfigHolder::Exists());
    EXPECT_EQ(log::FilePath(), "");
    EXPECT_EQ(Ns2_Shutdown(), NsStatusNotInitialised);

    const std::string text = test::ReadFile(logFile);
    const auto dashes =
        text.find(":Ns2_Initialize]:-----------------------------------------------------\n");
    const auto version = text.find(":Ns2_Initialize]:Version: 3.4.4\n");
    const auto equals =
        text.find(":Ns2_Shutdown]:=====================================================\n");
    ASSERT_NE(dashes, std::string::npos) << text;
    ASSERT_NE(version, std::string::npos) << text;
    ASSERT_NE(equals, std::string::npos) << text;
    EXPECT_LT(dashes, version);
    EXPECT_LT(version, equals);
}

TEST_F(Library, InitialiseAgainAfterShutdownWorks) {
    EXPECT_EQ(Ns2_Initialize(), NsStatusOk);
    EXPECT_EQ(Ns2_Shutdown(), NsStatusOk);
    EXPECT_EQ(NsInitialize(), NsStatusOk);
    EXPECT_EQ(NsInitialize(), NsStatusReinitialised);
    EXPECT_EQ(NsShutdown(), NsStatusOk);
}

TEST_F(Library, ConfigurationChosenBeforeInitialiseDecidesTheConsole) {
    ConfigHolder::Instance().logToConsole = true;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Ns2_Initialize(), NsStatusOk);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Version: 3.4.4"), std::string::npos);
}

TEST(SdkVersion, WritesExactlyFiveBytes) {
    char buffer[8];
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(Ns2_GetSDKVersion(buffer), NsStatusOk);
    EXPECT_EQ(std::string(buffer, 8), "3.4.4###");
    EXPECT_EQ(Ns2_GetSDKVersion(nullptr), NsStatusNullPointer);
}

TEST(FixedResults, MappingFunctionsOfBothGenerationsReturnOther) {
    EXPECT_EQ(Ns2_MappingInitialize(), NsStatusOther);
    EXPECT_EQ(Ns2_MappingShutdown(), NsStatusOther);
    EXPECT_EQ(Ns2_SetMapping(nullptr, 0, 1), NsStatusOther);
    EXPECT_EQ(NsMappingInitialize(), NsStatusOther);
    EXPECT_EQ(NsMappingShutdown(), NsStatusOther);
    EXPECT_EQ(NsSetMapping(0, 1), NsStatusOther);
}

}  // namespace
}  // namespace quorix
