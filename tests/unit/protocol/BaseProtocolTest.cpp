// The defaults of BaseProtocol: every operation refuses with -255 and says which it was.
#include "protocol/BaseProtocol.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "log/Log.h"

namespace quorix {
namespace {

TEST(BaseProtocolTest, EveryDefaultRefusesUnderItsOwnName) {
    BaseProtocol protocol;
    uint8_t u8 = 0;
    uint16_t u16 = 0;
    uint32_t u32 = 0;
    Matrix3 matrix{};
    TransferState state;
    const struct {
        const char* name;
        std::function<int32_t()> call;
    } calls[] = {
        {"OpenDevice", [&] { return protocol.OpenDevice(); }},
        {"StartStream", [&] { return protocol.StartStream(); }},
        {"GetThreshold", [&] { return protocol.GetThreshold(u16); }},
        {"SetDataMode", [&] { return protocol.SetDataMode(1); }},
        {"GetCameraE", [&] { return protocol.GetCameraE(matrix); }},
        {"ReservedOperation", [&] { return protocol.ReservedOperation(); }},
        {"ReadData", [&] { return protocol.ReadData(&u8, u32); }},
        {"SetRgbRotationEnable", [&] { return protocol.SetRgbRotationEnable(true); }},
        {"GetProperty", [&] { return protocol.GetProperty(0x0E000012, &u8, u32); }},
        {"GetJsonState", [&] { return protocol.GetJsonState(state); }},
        {"SetConnectStatus", [&] { return protocol.SetConnectStatus(true); }},
        {"SetSlaveTrigger", [&] { return protocol.SetSlaveTrigger(); }},
    };
    for (const auto& c : calls) {
        SCOPED_TRACE(c.name);
        log::Capture capture;
        EXPECT_EQ(c.call(), -255);
        EXPECT_TRUE(capture.Contains(std::string("BaseProtocol::") + c.name + "]:Not Support."));
    }
    EXPECT_FALSE(protocol.IsOpened());
}

}  // namespace
}  // namespace quorix
