// Appending to and reading whole files: what each outcome means to the callers that log it.
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempDir.h"

namespace quorix::platform {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(PlatformFiles, AppendCreatesThenAppends) {
    TempDir dir;
    const std::string path = dir / "dump.bin";
    EXPECT_EQ(AppendToFile(path.c_str(), "ab\0", 3), AppendResult::kDone);
    EXPECT_EQ(AppendToFile(path.c_str(), "cd", 2), AppendResult::kDone);
    EXPECT_EQ(AppendToFile(path.c_str(), "", 0), AppendResult::kDone);
    EXPECT_EQ(ReadFile(path), std::string("ab\0cd", 5));
    EXPECT_EQ(AppendToFile((dir / "missing/dump.bin").c_str(), "x", 1), AppendResult::kCannotOpen);
}

TEST(PlatformFiles, ReadWholeFileTellsMissingFailedAndTooLargeApart) {
    TempDir dir;
    std::string text = "old";
    WriteFile(dir / "four.ini", "1234");
    EXPECT_EQ(ReadWholeFile(dir / "four.ini", 4, text).outcome, ReadResult::kRead);
    EXPECT_EQ(text, "1234") << "a file of exactly the limit is read";
    EXPECT_EQ(ReadWholeFile(dir / "four.ini", 3, text).outcome, ReadResult::kTooLarge);

    WriteFile(dir / "empty.ini", "");
    EXPECT_EQ(ReadWholeFile(dir / "empty.ini", 4, text).outcome, ReadResult::kRead);
    EXPECT_EQ(text, "");

    // Missing: the file, or a folder on its way (a file standing where a folder should).
    EXPECT_EQ(ReadWholeFile(dir / "none.ini", 4, text).outcome, ReadResult::kMissing);
    EXPECT_EQ(ReadWholeFile(dir / "four.ini/x.ini", 4, text).outcome, ReadResult::kMissing);

    // A folder opens but does not read: a failure with its errno, not a missing file.
    std::filesystem::create_directory(dir / "folder.ini");
    const ReadResult folder = ReadWholeFile(dir / "folder.ini", 4, text);
    EXPECT_EQ(folder.outcome, ReadResult::kReadFailed);
    EXPECT_EQ(folder.error, EISDIR);
}

}  // namespace
}  // namespace quorix::platform
