// Tests of the info lines: unavailable values, texts and counted lists from the camera,
// the measuring range of each position.
#include "cli/InfoText.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorix::cli {
namespace {

TEST(InfoText, UnavailableValuesShowTheirStatus) {
    EXPECT_EQ(ItemLine("serial number", NsStatusOk, "QX1"), "serial number: QX1");
    EXPECT_EQ(ItemLine("threshold", NsStatusOther, "0"),
              std::string("threshold: unavailable: NsStatusOther (-255): ") +
                  Ns2_GetStatusText(NsStatusOther));
    EXPECT_EQ(ItemLine("x", -42, "0"),
              "x: unavailable: NsStatusUnknown (-42): not a status code of this library");
}

TEST(InfoText, TextsStopAtTheirBuffer) {
    const char unterminated[4] = {'A', 'B', 'C', 'D'};
    EXPECT_EQ(BoundedText(unterminated, sizeof unterminated), "ABCD");
    const char shorter[8] = "AB";
    EXPECT_EQ(BoundedText(shorter, sizeof shorter), "AB");
}

TEST(InfoText, CountedListsAreCheckedAgainstWhatArrived) {
    struct Case {
        const char* what;
        std::vector<uint8_t> data;
        size_t delivered;
        size_t maxEntries;
        bool ok;
        const char* text;
    };
    const Case cases[] = {
        {"modes", {4, 0, 1, 2, 10}, 5, 32, true, "0 1 2 10"},
        {"fewer than the buffer", {2, 3, 4, 99, 99}, 5, 9, true, "3 4"},
        {"empty list", {0}, 1, 9, true, "none"},
        {"count beyond the reply",
         {5, 1, 2},
         3,
         9,
         false,
         "malformed list: 5 entries announced, 2 can be there"},
        {"count beyond the list",
         {10, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9},
         11,
         9,
         false,
         "malformed list: 10 entries announced, 9 can be there"},
        {"nothing delivered", {7}, 0, 9, false, "empty reply"},
    };
    for (const Case& c : cases) {
        std::string text;
        EXPECT_EQ(CountedListText(c.data.data(), c.delivered, c.maxEntries, text), c.ok) << c.what;
        EXPECT_EQ(text, c.text) << c.what;
    }
}

TEST(InfoText, MeasuringRangeOfEachPosition) {
    const NsMeasuringRange r{1, 5754, 6662, 8328, 4800, 5600, 7500, 11, 12, 13};
    EXPECT_EQ(MeasuringRangeText(r, 0), "effective 11 to 4800 mm, maximum 5754 mm");
    EXPECT_EQ(MeasuringRangeText(r, 1), "effective 12 to 5600 mm, maximum 6662 mm");
    EXPECT_EQ(MeasuringRangeText(r, 2), "effective 13 to 7500 mm, maximum 8328 mm");
}

}  // namespace
}  // namespace quorix::cli
