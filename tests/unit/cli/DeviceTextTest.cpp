// Tests of the device table lines.
#include "cli/DeviceText.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

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

}  // namespace
}  // namespace quorix::cli
