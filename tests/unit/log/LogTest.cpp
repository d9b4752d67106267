#include "log/Log.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include <unistd.h>

#include "support/TempDir.h"

namespace quorix {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class LogTest : public ::testing::Test {
protected:
    void SetUp() override { log::SetDataHomeForTesting(m_dir / "nested/share"); }
    void TearDown() override {
        log::Shutdown();
        log::SetDataHomeForTesting("");
    }
    std::string LogDir() const { return m_dir / "nested/share/Quorix/Log"; }

    TempDir m_dir;
};

size_t OpenFileCount() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++n;
    }
    return n;
}

// Each line: time, process id/thread id, level, then the call site's prefix and the message.
TEST_F(LogTest, CreatesMissingFoldersAndWritesPrefixedLinesWithOneDateLine) {
    log::Initialize(false);
    ASSERT_EQ(log::FilePath(), LogDir() + "/QuorixSDK.txt");
    QLOG("first %d\n", 1);
    QLOG_ERROR("second\n");
    std::thread([] { QLOG_WARN("third\n"); }).join();
    const std::string text = ReadFile(log::FilePath());
    const std::string pid = std::to_string(getpid());
    const std::string tid = std::to_string(gettid());
    const std::regex expected(
        R"(^\d\d:\d\d:\d\d-\d\d\d )" + pid + "/" + tid +
        R"( I \[LogTest\.cpp:\d+:LogTest_CreatesMissing\w+_Test::TestBody\]:first 1
\d\d:\d\d:\d\d-\d\d\d \d{4}/\d\d/\d\d \d\d:\d\d:\d\d-\d\d\d
\d\d:\d\d:\d\d-\d\d\d )" +
        pid + "/" + tid + R"( E \[LogTest\.cpp:\d+:\w+::TestBody\]:second
\d\d:\d\d:\d\d-\d\d\d )" +
        pid + R"(/(\d+) W \[LogTest\.cpp:\d+:[^\]]+\]:third
$)");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(text, match, expected)) << text;
    EXPECT_NE(match[1].str(), tid);  // the other thread's own id
}

TEST_F(LogTest, LongMessageIsCutNotDropped) {
    log::Capture capture;
    const std::string longText(3000, 'x');
    log::Write(log::Level::kInfo, "%s", longText.c_str());
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0], std::string(1023, 'x'));
}

// A file of 10 MiB is moved to the backup (the older backup is lost); one byte less is not.
TEST_F(LogTest, FullFileRotatesIntoBackupAndOlderBackupIsLost) {
    const std::string current = LogDir() + "/QuorixSDK.txt";
    const std::string backup = LogDir() + "/bakQuorixSDK.txt";
    for (const uintmax_t size : {0xA00000 - 1, 0xA00000}) {
        SCOPED_TRACE(size);
        log::Shutdown();
        std::filesystem::create_directories(LogDir());
        WriteFile(backup, "older backup\n");
        WriteFile(current, "previous content\n");
        std::filesystem::resize_file(current, size);
        log::Initialize(false);
        QLOG("after rotation\n");
        const std::string saved = ReadFile(backup);
        const std::string fresh = ReadFile(current);
        if (size < 0xA00000) {
            EXPECT_EQ(saved, "older backup\n");
            EXPECT_GT(fresh.size(), size);
            continue;
        }
        EXPECT_EQ(saved.size(), 0xA00000u);
        EXPECT_EQ(saved.rfind("previous content\n", 0), 0u);
        EXPECT_NE(fresh.find("after rotation"), std::string::npos);
        EXPECT_LT(fresh.size(), 200u);
    }
}

TEST_F(LogTest, SecondInitializeDoesNothing) {
    log::Initialize(false);
    const size_t files = OpenFileCount();
    testing::internal::CaptureStdout();
    log::Initialize(true);  // ignored: the console switch stays off
    QLOG("quiet\n");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(OpenFileCount(), files);
    EXPECT_EQ(out.find("quiet"), std::string::npos);
}

TEST_F(LogTest, BlockedFolderStillLogsToConsoleAndCapture) {
    const std::string base = m_dir / "blocked";
    std::filesystem::create_directories(base);
    WriteFile(base + "/Quorix", "a regular file where the folder should be");
    log::SetDataHomeForTesting(base);
    log::Capture capture;
    testing::internal::CaptureStdout();
    log::Initialize(true);
    QLOG("still here\n");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(log::FilePath(), "");
    EXPECT_NE(out.find("still here"), std::string::npos);
    EXPECT_NE(out.find("CreateDirectory " + base + "/Quorix failed errorcode:"), std::string::npos);
    EXPECT_TRUE(capture.Contains("still here"));
}

TEST_F(LogTest, ShutdownAllowsAFreshSetUp) {
    log::Initialize(false);
    QLOG("one\n");
    log::Shutdown();
    EXPECT_EQ(log::FilePath(), "");
    log::Initialize(false);
    QLOG("two\n");
    const std::string text = ReadFile(log::FilePath());
    EXPECT_NE(text.find("one"), std::string::npos);
    EXPECT_NE(text.find("two"), std::string::npos);
}

namespace qualified {
struct Widget {
    std::string Name() const {
        static const log::detail::FunctionName fn(__PRETTY_FUNCTION__);
        return fn.c_str();
    }
    template <typename T>
    static std::string Templated(T) {
        static const log::detail::FunctionName fn(__PRETTY_FUNCTION__);
        return fn.c_str();
    }
};
}  // namespace qualified

TEST(LogFunctionName, KeepsClassAndFunctionWithoutNamespacesOrSignature) {
    EXPECT_EQ(qualified::Widget().Name(), "Widget::Name");
    EXPECT_EQ(qualified::Widget::Templated(3), "Widget::Templated");
    EXPECT_STREQ(log::detail::FunctionName("int Ns2_Initialize()").c_str(), "Ns2_Initialize");
    EXPECT_STREQ(log::detail::FunctionName("quorix::Foo<int>::Foo(int)").c_str(), "Foo<int>::Foo");
    EXPECT_STREQ(log::detail::BaseName("/a/b/c/BaseSession.cpp"), "BaseSession.cpp");
}

}  // namespace
}  // namespace quorix
