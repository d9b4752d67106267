// Removable drives from a mount table and a sysfs tree the test builds: only removable
// block devices count, a partition takes its disk's flag, mount points are unescaped, and
// each drive names the USB device it hangs off.
#include "platform/RemovableDrives.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

#include "support/TempDir.h"

namespace quorix::platform {
namespace {

namespace fs = std::filesystem;

TEST(RemovableDrives, OnlyRemovableDevicesWithTheirUsbDevice) {
    test::TempDir sys;
    const fs::path root = sys.Path();
    const fs::path usb = root / "devices/pci0/usb1/1-2";
    const fs::path disk = usb / "1-2:1.0/host3/target3/3:0:0:0/block/sdb";
    fs::create_directories(disk / "sdb1");
    test::WriteFile(usb / "idVendor", "f5e2\n");
    test::WriteFile(disk / "removable", "1\n");
    const fs::path fixed = root / "devices/pci0/ata1/block/sda";
    fs::create_directories(fixed / "sda1");
    test::WriteFile(fixed / "removable", "0\n");
    const fs::path sd = root / "devices/platform/mmc0/block/mmcblk0";  // removable, not USB
    fs::create_directories(sd);
    test::WriteFile(sd / "removable", "1\n");
    fs::create_directories(root / "dev/block");
    fs::create_directory_symlink(disk / "sdb1", root / "dev/block/8:17");
    fs::create_directory_symlink(fixed / "sda1", root / "dev/block/8:1");
    fs::create_directory_symlink(sd, root / "dev/block/179:0");

    const std::string mountinfo =
        "30 1 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n"
        "41 30 0:5 / /proc rw - proc proc rw\n"
        "52 30 8:17 / /media/cam\\040drive rw,nosuid - vfat /dev/sdb1 rw\n"
        "53 30 179:0 / /media/card rw - vfat /dev/mmcblk0 rw\n"
        "garbage\n";
    const std::vector<RemovableDrive> drives = RemovableDrivesOf(mountinfo, sys.Path());
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].root, "/media/cam drive");
    EXPECT_EQ(drives[0].usbDevice, fs::canonical(usb).string());
    EXPECT_EQ(drives[1].root, "/media/card");
    EXPECT_EQ(drives[1].usbDevice, "");  // the transfer cannot match it to a camera
}

}  // namespace
}  // namespace quorix::platform
