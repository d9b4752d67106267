// Raw dumps: the file a name format and a number give, under the save folder, and a file
// that cannot be opened logged only where the caller asked for it.
#include "imaging/RawDump.h"

#include <gtest/gtest.h>

#include "log/Log.h"
#include "support/TempDir.h"

namespace quorix {
namespace {

using test::ReadFile;
using test::TempDir;

TEST(RawDump, AppendsToTheNumberedFileInTheFolder) {
    TempDir dir;
    const uint8_t first[] = {1, 2, 0};
    const uint8_t second[] = {3};
    EXPECT_TRUE(AppendRawDump(DumpFailure::kLog, dir.Path(), first, 3, "raw_buf_%d.bin", 12));
    EXPECT_TRUE(AppendRawDump(DumpFailure::kLog, dir.Path(), second, 1, "raw_buf_%d.bin", 12));
    EXPECT_EQ(ReadFile(dir / "raw_buf_12.bin"), std::string("\1\2\0\3", 4));
}

TEST(RawDump, AFileThatCannotBeOpenedIsLoggedUnlessIgnored) {
    TempDir dir;
    const std::string missing = dir / "gone";
    const uint8_t byte = 7;
    log::Capture capture;
    EXPECT_FALSE(AppendRawDump(DumpFailure::kIgnore, missing, &byte, 1, "%03d_raw.bin", 1));
    EXPECT_TRUE(capture.Lines().empty());
    EXPECT_FALSE(AppendRawDump(DumpFailure::kLog, missing, &byte, 1, "raw_rgb_%d.bin", 5));
    EXPECT_TRUE(capture.Contains("cannot open " + missing + "/raw_rgb_5.bin."));
}

}  // namespace
}  // namespace quorix
