// The transfer workers: finding a camera already waiting in transfer mode through the
// lookup the device manager hands in, and the process-wide instances.
#include "upgrade/TransferWorkers.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "model/ModelTraits.h"

namespace quorix {
namespace {

// A lookup over a list of present HID interfaces that records what it was asked.
struct HidInterfaces {
    struct Present {
        uint32_t vendorId;
        uint32_t productId;
        std::string path;
    };
    std::vector<Present> present;
    std::vector<std::pair<uint32_t, uint32_t>> asked;

    FindHidInterface Finder() {
        return [this](std::string& path, uint32_t vendorId, uint32_t productId) {
            asked.emplace_back(vendorId, productId);
            for (const Present& p : present) {
                if (p.vendorId == vendorId && p.productId == productId) {
                    path = p.path;
                    return true;
                }
            }
            return false;
        };
    }
};

class Workers : public ::testing::Test {
protected:
    void TearDown() override {
        Upgrade::Destroy();
        JsonCtl::Destroy();
    }
};

TEST_F(Workers, EachLooksForTheFirstVendorsInterfaceOfItsOwnTransferMode) {
    HidInterfaces hid;
    hid.present = {{kVendorSecondary, 0x0104, "/hid/other-vendor"},
                   {kVendorQuorix, 0x0106, "/hid/json"},
                   {kVendorQuorix, 0x0104, "/hid/upgrade"}};
    Upgrade::Instance().EnumUpgradeDevice(hid.Finder());
    JsonCtl::Instance().EnumHIDDevice(hid.Finder());

    using Ids = std::pair<uint32_t, uint32_t>;
    EXPECT_EQ(hid.asked, (std::vector<Ids>{{0xF5E2, 0x0104}, {0xF5E2, 0x0106}}));
    EXPECT_TRUE(Upgrade::Instance().DeviceFound());
    EXPECT_EQ(Upgrade::Instance().DevicePath(), "/hid/upgrade");
    EXPECT_TRUE(JsonCtl::Instance().DeviceFound());
    EXPECT_EQ(JsonCtl::Instance().DevicePath(), "/hid/json");
}

TEST_F(Workers, NoCameraWaitingLeavesTheHandOverEmpty) {
    HidInterfaces hid;
    hid.present = {{kVendorQuorix, 0x0101, "/hid/streaming-camera"}};
    Upgrade::Instance().EnumUpgradeDevice(hid.Finder());
    JsonCtl::Instance().EnumHIDDevice(hid.Finder());
    EXPECT_FALSE(Upgrade::Instance().DeviceFound());
    EXPECT_EQ(Upgrade::Instance().DevicePath(), "");
    EXPECT_FALSE(JsonCtl::Instance().DeviceFound());
    EXPECT_EQ(JsonCtl::Instance().DevicePath(), "");
}

TEST_F(Workers, OneInstanceOfEachKindUntilDestroyed) {
    EXPECT_FALSE(Upgrade::Exists());
    EXPECT_FALSE(JsonCtl::Exists());
    Upgrade& upgrade = Upgrade::Instance();
    EXPECT_EQ(&Upgrade::Instance(), &upgrade);
    EXPECT_TRUE(Upgrade::Exists());
    EXPECT_FALSE(JsonCtl::Exists());  // the two kinds are separate objects
    EXPECT_EQ(upgrade.Name(), "Upgrade");
    EXPECT_EQ(JsonCtl::Instance().Name(), "JsonCtl");

    upgrade.SetDeviceFound(true);
    upgrade.SetDevicePath("/hid/upgrade");
    SessionInfo network;
    network.linkType = kLinkNetwork;
    network.dataModes = {0, 1};
    upgrade.SetSessionInfo(network);
    EXPECT_EQ(upgrade.GetSessionInfo().dataModes, network.dataModes);

    Upgrade::Destroy();
    EXPECT_FALSE(Upgrade::Exists());
    EXPECT_TRUE(JsonCtl::Exists());
    // A new worker starts with no camera handed over.
    EXPECT_FALSE(Upgrade::Instance().DeviceFound());
    EXPECT_EQ(Upgrade::Instance().DevicePath(), "");
    EXPECT_EQ(Upgrade::Instance().GetSessionInfo().linkType, 0u);
}

}  // namespace
}  // namespace quorix
