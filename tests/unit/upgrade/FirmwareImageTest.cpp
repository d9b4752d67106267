// The firmware check, row by row of its refusals, against images written to a temporary
// folder and the installed version texts a camera reports.
#include "upgrade/FirmwareImage.h"

#include <gtest/gtest.h>

#include "log/Log.h"
#include "support/FirmwareFiles.h"
#include "support/TempDir.h"

namespace quorix {
namespace {

using test::ImageRecipe;
using test::MakeImage;
using test::WriteImage;

constexpr uint32_t TK5P = 561;
constexpr const char* kInstalled = "20240115_V45";

struct Checked {
    int32_t result;
    uint32_t size;
    uint32_t checksum;
};

class FirmwareCheck : public ::testing::Test {
protected:
    Checked Check(const ImageRecipe& recipe, uint32_t type = TK5P, const char* installed = kInstalled) {
        const std::string path = WriteImage(m_dir / "image.img", MakeImage(recipe));
        Checked c{0, 0xFFFFFFFF, 0xFFFFFFFF};
        c.result = CheckFirmwareImage(installed, type, path.c_str(), c.size, c.checksum);
        return c;
    }
    bool Logged(const std::string& text) const { return m_log.Contains(text); }
    test::TempDir m_dir;
    log::Capture m_log;
};

TEST(FirmwareVersionText, DateAndBuildComeFromAroundTheUnderscore) {
    FirmwareVersion v;
    ASSERT_TRUE(ParseFirmwareVersion("20240115_V45", v));
    EXPECT_EQ(v.year, 2024u);
    EXPECT_EQ(v.month, 1u);
    EXPECT_EQ(v.day, 15u);
    EXPECT_EQ(v.build, 45u);
    ASSERT_TRUE(ParseFirmwareVersion("TK5P20231231_B7x", v));  // underscore further on
    EXPECT_EQ(v.year, 2023u);
    EXPECT_EQ(v.build, 7u);
    EXPECT_FALSE(ParseFirmwareVersion("2024011_V45", v));   // underscore at index 7
    EXPECT_FALSE(ParseFirmwareVersion("20240115_", v));     // nothing after it
    EXPECT_FALSE(ParseFirmwareVersion("2024O115_V45", v));  // no date before it
    EXPECT_FALSE(ParseFirmwareVersion("", v));
}

TEST_F(FirmwareCheck, NewerBuildIsZeroAndTheSameBuildIsOneWithSizeAndChecksumHandedOut) {
    const auto image = MakeImage({});
    const Checked newer = Check({});
    EXPECT_EQ(newer.result, 0);
    EXPECT_EQ(newer.size, image.size());
    EXPECT_EQ(newer.checksum, ByteSum(image.data() + 512, image.size() - 512));
    EXPECT_EQ(Check({.year = 2024, .month = 1, .day = 15, .build = 45}).result, 1);
}

TEST_F(FirmwareCheck, EveryRefusalOfTheInstalledVersionAndTheImage) {
    EXPECT_EQ(Check({}, TK5P, "2024011_V45").result, -1);
    EXPECT_TRUE(Logged("oldFW:2024011_V45 is invalid."));
    EXPECT_EQ(Check({.modelCode = 2}, 140, "20240115_V27").result, -1);  // TK1A below 28
    EXPECT_TRUE(Logged("subFwVerion:27 is too low to support upgrading."));
    EXPECT_EQ(Check({.modelCode = 2}, 140, "20240115_V28").result, 0);

    EXPECT_EQ(Check({.year = 2024, .month = 1, .day = 14}).result, -1);  // older date
    EXPECT_EQ(Check({.refused = 1}).result, -1);                         // byte 49 set
    EXPECT_EQ(Check({.modelCode = 6}).result, -1);                       // a TK4Alite image
    EXPECT_TRUE(Logged("]:0\n"));
    EXPECT_EQ(Check({.build = 44}).result, -1);  // same date range, older build
    EXPECT_TRUE(Logged("Version error  44, 45"));
    // A TK2A has no model code: every image is refused.
    for (uint8_t code = 0; code < 10; ++code) {
        EXPECT_EQ(Check({.modelCode = code}, 210).result, -1) << int(code);
    }
    // Each model takes its own code only.
    EXPECT_EQ(Check({.modelCode = 1}, 440).result, 0);
    EXPECT_EQ(Check({.modelCode = 6}, 442).result, 0);
    EXPECT_EQ(Check({.modelCode = 5}, 560).result, 0);
    EXPECT_EQ(Check({.modelCode = 8}, 340).result, 0);
}

TEST_F(FirmwareCheck, FileProblemsAreMinusTwoAndASizeMismatchOverridesTheVerdict) {
    uint32_t size = 0;
    uint32_t checksum = 0;
    EXPECT_EQ(CheckFirmwareImage(kInstalled, TK5P, (m_dir / "none.img").c_str(), size, checksum),
              -2);
    EXPECT_TRUE(Logged("none.img open failed."));

    const Checked shortImage = Check({.size = 511});
    EXPECT_EQ(shortImage.result, -2);
    EXPECT_EQ(shortImage.size, 511u);
    EXPECT_EQ(shortImage.checksum, 0xFFFFFFFFu);  // the header was never read
    EXPECT_TRUE(Logged("is too small:511."));

    EXPECT_EQ(Check({.sizeField = 4095}).result, -2);
    EXPECT_TRUE(Logged("size mismatch(4096, 4095)."));
    EXPECT_EQ(Check({.build = 44, .sizeField = 1}).result, -2);  // refused and mis-sized
}

}  // namespace
}  // namespace quorix
