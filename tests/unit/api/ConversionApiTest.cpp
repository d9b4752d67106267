// The conversion exports' argument checks and the point conversions through them. Frame
// conversion on an opened camera is tested end to end against the simulator.
#include <gtest/gtest.h>

#include <cstdint>

#include "quorix/quorix_api.h"

namespace quorix {
namespace {

NsCameraParameters Camera() {
    NsCameraParameters p{};
    p.fx = 500;
    p.fy = 500;
    p.cx = 320;
    p.cy = 240;
    return p;
}

TEST(ConversionApi, PointConversionsNeedNoDevice) {
    const NsCameraParameters k = Camera();
    const NsVector3f world[2] = {{100, 50, 1000}, {100, 50, 0}};
    NsDepthVector3 depth[2];
    ASSERT_EQ(Ns2_ConvertWorldToDepth(nullptr, 7, world, depth, 2, &k), NsStatusOk);
    EXPECT_EQ(+depth[0].depthX, 370);
    EXPECT_EQ(+depth[0].depthY, 265);
    EXPECT_EQ(+depth[0].depthZ, 1000);
    EXPECT_EQ(+depth[1].depthX, 0);  // z = 0 has no depth coordinates
    EXPECT_EQ(+depth[1].depthZ, 0);

    ASSERT_EQ(NsConvertWorldToDepth(3, world, depth, 1, &k), NsStatusOk);
    EXPECT_EQ(+depth[0].depthY, 214);  // rows counted upwards

    const NsDepthVector3 pixel[1] = {{370, 265, 1000}};
    NsVector3f back[1];
    ASSERT_EQ(NsConvertDepthToWorld(0, pixel, back, 1, &k), NsStatusOk);
    EXPECT_EQ(+back[0].x, 100.0f);
    EXPECT_EQ(+back[0].y, 50.0f);
    EXPECT_EQ(+back[0].z, 1000.0f);

    // A count of 0 writes nothing.
    NsVector3f untouched[1] = {{1, 2, 3}};
    EXPECT_EQ(Ns2_ConvertDepthToWorld(nullptr, 0, pixel, untouched, 0, &k), NsStatusOk);
    EXPECT_EQ(+untouched[0].x, 1.0f);
}

TEST(ConversionApi, NullPointersAreRefused) {
    const NsCameraParameters k = Camera();
    NsVector3f world[1] = {};
    NsDepthVector3 depth[1] = {};
    EXPECT_EQ(Ns2_ConvertWorldToDepth(nullptr, 0, nullptr, depth, 1, &k), NsStatusNullPointer);
    EXPECT_EQ(Ns2_ConvertWorldToDepth(nullptr, 0, world, nullptr, 1, &k), NsStatusNullPointer);
    EXPECT_EQ(Ns2_ConvertWorldToDepth(nullptr, 0, world, depth, 0, nullptr), NsStatusNullPointer);
    EXPECT_EQ(NsConvertWorldToDepth(0, world, nullptr, 0, &k), NsStatusNullPointer);
    EXPECT_EQ(Ns2_ConvertDepthToWorld(nullptr, 0, nullptr, world, 1, &k), NsStatusNullPointer);
    EXPECT_EQ(Ns2_ConvertDepthToWorld(nullptr, 0, depth, nullptr, 1, &k), NsStatusNullPointer);
    EXPECT_EQ(NsConvertDepthToWorld(0, depth, world, 1, nullptr), NsStatusNullPointer);
}

TEST(ConversionApi, FrameAndColourPointChecks) {
    uint16_t pixels[4] = {};
    NsFrame frame{};
    frame.pFrameData = pixels;
    frame.width = 2;
    frame.height = 2;
    frame.dataLen = sizeof pixels;
    NsVector3f world[4];
    // Output first, then the frame, then the handle.
    EXPECT_EQ(Ns2_ConvertDepthFrameToWorldVector(nullptr, 0, &frame, nullptr), NsStatusNullPointer);
    EXPECT_EQ(Ns2_ConvertDepthFrameToWorldVector(nullptr, 0, nullptr, world), NsStatusNullFrame);
    NsFrame empty = frame;
    empty.pFrameData = nullptr;
    EXPECT_EQ(Ns2_ConvertDepthFrameToWorldVector(nullptr, 0, &empty, world), NsStatusNullFrame);
    EXPECT_EQ(Ns2_ConvertDepthFrameToWorldVector(nullptr, 0, &frame, world), NsStatusBadHandle);
    // A handle that was never given out is not read.
    uint64_t fakeCell = 0x1234;
    EXPECT_EQ(Ns2_ConvertDepthFrameToWorldVector(&fakeCell, 0, &frame, world), NsStatusBadHandle);

    // The handle is checked before the output.
    EXPECT_EQ(Ns2_GetMappedPointDepthToRGB(nullptr, 0, {320, 240, 1000}, {640, 480}, nullptr),
              NsStatusBadHandle);
    NsColorPoint point{};
    EXPECT_EQ(Ns2_GetMappedPointDepthToRGB(&fakeCell, 0, {320, 240, 1000}, {640, 480}, &point),
              NsStatusBadHandle);
}

}  // namespace
}  // namespace quorix
