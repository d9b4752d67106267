// Tests of the device table lines.
#include "cli/DeviceText.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/fake/FakeDeviceEventSource.h"
#include "support/SysfsTree.h"
#include "support/TempDir.h"

namespace quorix::cli {
namespace {

using ::testing::HasSubstr;

TEST(DeviceText, RowShowsEveryField) {
    NsDeviceInfo device{};
    std::strcpy(device.uri, "TK5P:QX1");
    std::strcpy(device.alias, "bench");
    device.devicetype = TK5P;
    device.SessionCount = 2;
    device.status = Connected;
    const std::string row = DeviceTableRow(device);
    for (const char* part : {"TK5P:QX1", "bench", "561 TK5P", " 2 ", "connected"}) {
        EXPECT_THAT(row, HasSubstr(part));
    }
}

TEST(DeviceText, ModelsWithoutANameAndUnknownTypesAreMarked) {
    EXPECT_STREQ(ModelName(TK_MIPI), "TK_MIPI");
    EXPECT_STREQ(ModelName(NsDeviceType444), "-");
    EXPECT_STREQ(ModelName(445), "unknown");
}

TEST(DeviceText, UnterminatedTextStaysWithinItsField) {
    NsDeviceInfo device{};
    std::memset(device.uri, 'u', sizeof(device.uri));
    std::memset(device.alias, 'a', sizeof(device.alias));
    device.status = 0x41414141;  // would extend the alias if read past the array
    EXPECT_EQ(DeviceUri(device), std::string(sizeof(device.uri), 'u'));
    EXPECT_EQ(DeviceAlias(device), std::string(sizeof(device.alias), 'a'));
    EXPECT_THAT(DeviceTableRow(device), HasSubstr(std::string(sizeof(device.alias), 'a') + " "));
}

TEST(DeviceText, UnopenableUsbCameraGetsTheReasonAndOthersNothing) {
    test::TempDir dir;
    test::SysfsTree tree(dir.Path());
    tree.Device("1-1", 0xF5E2, 0x0101);
    tree.Video("1-1", "video0", 0);
    tree.Hidraw("1-1", "hidraw0", 0xF5E2, 0x0101);
    platform::LinuxUsbPlatform usb(dir.Path(), std::make_unique<platform::FakeDeviceEventSource>());
    platform::SetUsbPlatformForTesting(&usb);
    NsDeviceInfo device{};
    const std::string uri = platform::UsbInterfacePath(tree.Node("video0"), "1-1", 0xF5E2, 0x0101);
    std::strcpy(device.uri, uri.c_str());
    device.devicetype = TK3A;
    device.status = Connected;
    EXPECT_EQ(UnopenableLine(device), "");

    std::filesystem::remove(tree.Node("hidraw0"));
    EXPECT_THAT(UnopenableLine(device),
                HasSubstr("cannot be opened: cannot open " + tree.Node("hidraw0")));
    device.devicetype = TK5P;  // not a USB camera
    EXPECT_EQ(UnopenableLine(device), "");
    platform::SetUsbPlatformForTesting(nullptr);
}

}  // namespace
}  // namespace quorix::cli
