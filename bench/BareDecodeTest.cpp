// The bare decode step finds the simulator's payloads and decodes them (costs are only
// checked to have been measured, never for speed).
#include "BareDecode.h"

#include <gtest/gtest.h>

namespace quorix::bench {
namespace {

TEST(BareDecode, DecodesTheSimulatorsPayloads) {
    const std::pair<uint16_t, uint16_t> sizes[] = {{1920, 1080}, {640, 360}};
    for (const auto& [width, height] : sizes) {
        BareCosts costs;
        std::string error;
        ASSERT_TRUE(MeasureBareDecode(2, width, height, costs, error)) << width << ": " << error;
        EXPECT_EQ(costs.frames, 2u);
        EXPECT_GT(costs.jpegBytes, 0u);
        EXPECT_GT(costs.tjDecompressMs, 0.0);
        EXPECT_GT(costs.tofDecodeMs, 0.0);
        EXPECT_GT(costs.rgbDecodeMs, 0.0);
        EXPECT_GT(costs.deliveryCopyMs, 0.0);
        EXPECT_DOUBLE_EQ(costs.BarePerSetMs(), costs.tjDecompressMs + costs.tofDecodeMs);
    }
}

}  // namespace
}  // namespace quorix::bench
