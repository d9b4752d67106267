// The USB models' wiring: the protocol every USB model gets, and the starting values of
// the models that differ (the TK1A's data mode, the 480 x 480 sensor's range).
#include <gtest/gtest.h>

#include "model/ModelTraits.h"
#include "protocol/UsbProtocol.h"
#include "session/BaseSession.h"
#include "session/ProtocolFactory.h"

namespace quorix {
namespace {

SessionInfo UsbRecordOf(uint32_t deviceType) {
    SessionInfo s;
    s.linkType = kLinkUsb;
    s.deviceType = deviceType;
    return s;
}

TEST(UsbModels, EveryUsbModelWithAProtocolGetsItsComposite) {
    SetProtocolFactoryForTesting({});
    for (const ModelTraits& model : Models()) {
        if (model.linkType != kLinkUsb) {
            continue;
        }
        SCOPED_TRACE(model.deviceType);
        const std::unique_ptr<BaseProtocol> p = CreateProtocol(UsbRecordOf(model.deviceType));
        switch (model.protocol) {
            case ProtocolKind::kUsb:
                EXPECT_NE(dynamic_cast<UsbProtocol*>(p.get()), nullptr);
                break;
            case ProtocolKind::kTk1a:
                EXPECT_NE(dynamic_cast<TK1A_Protocol*>(p.get()), nullptr);
                break;
            default:
                EXPECT_EQ(p, nullptr);
        }
    }
    EXPECT_EQ(TraitsOf(NsDeviceType444).protocol, ProtocolKind::kUsb);
    EXPECT_EQ(TraitsOf(TK2B).protocol, ProtocolKind::kNone);  // no protocol is described
}

TEST(UsbModels, SessionsStartInTheirModelsValues) {
    SetProtocolFactoryForTesting({});
    BaseSession tk1a(UsbRecordOf(TK1A));
    const uint8_t mode = tk1a.GetStoredDataMode();
    const auto& modes = TraitsOf(TK1A).fallbackDataModes;
    EXPECT_NE(std::find(modes.begin(), modes.end(), mode), modes.end())
        << "mode " << int{mode} << " is not in the TK1A's own list";

    BaseSession square(UsbRecordOf(NsDeviceType444));
    NsMeasuringRange range{};
    range.depthMode = 0;
    ASSERT_EQ(square.GetMeasuringRange(range), 0);
    EXPECT_EQ(+range.depthMaxNear, 2394);
    EXPECT_EQ(+range.depthMaxMid, 1500);
    EXPECT_EQ(+range.depthMaxFar, 350);
}

}  // namespace
}  // namespace quorix
