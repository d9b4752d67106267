// The Linux USB platform against sysfs trees built in a temporary folder and udev events
// fed by the test: which nodes count, the paths and container ids they get, and that an
// event names an interface by the same path as enumeration, also after the device's sysfs
// folder is gone.
#include "platform/linux/LinuxUsbPlatform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "platform/fake/FakeDeviceEventSource.h"
#include "support/SysfsTree.h"
#include "support/TempDir.h"

namespace quorix::platform {
namespace {

using test::SysfsTree;
using test::UdevEvent;

class LinuxUsb : public ::testing::Test {
protected:
    LinuxUsb() : m_tree(m_dir.Path()) {}

    LinuxUsbPlatform& Platform() {
        if (!m_platform) {
            auto events = std::make_unique<FakeDeviceEventSource>();
            m_events = events.get();
            m_platform = std::make_unique<LinuxUsbPlatform>(m_dir.Path(), std::move(events));
        }
        return *m_platform;
    }
    std::string PathOf(const std::string& node, const std::string& port, uint16_t vendor,
                       uint16_t product) {
        return UsbInterfacePath(m_tree.Node(node), port, vendor, product);
    }

    test::TempDir m_dir;
    SysfsTree m_tree;
    FakeDeviceEventSource* m_events = nullptr;
    std::unique_ptr<LinuxUsbPlatform> m_platform;
};

TEST(UsbPaths, AccessProblemsNameTheNodeAndForPermissionTheRule) {
    const std::string denied = NodeAccessProblem("/dev/hidraw3", EACCES);
    EXPECT_NE(denied.find("/dev/hidraw3"), std::string::npos);
    EXPECT_NE(denied.find("permission denied"), std::string::npos);
    EXPECT_NE(denied.find(kUdevRuleName), std::string::npos);
    const std::string refused = NodeAccessProblem("/dev/video0", EPERM);
    EXPECT_NE(refused.find("/dev/video0"), std::string::npos);
    EXPECT_NE(refused.find(kUdevRuleName), std::string::npos);
    const std::string missing = NodeAccessProblem("/dev/video7", ENOENT);
    EXPECT_NE(missing.find("/dev/video7"), std::string::npos);
    EXPECT_EQ(missing.find(kUdevRuleName), std::string::npos);
    EXPECT_EQ(NodeAccessProblem("/dev/video0", 0), "");
}

TEST_F(LinuxUsb, EnumerationListsCaptureNodesWithIdsAndPairsHidByDevice) {
    m_tree.Device("1-1", 0xF5E2, 0x0101);
    m_tree.Video("1-1", "video0", 0);
    m_tree.Video("1-1", "video1", 1, ":", 0, 1);  // the camera's metadata node
    m_tree.Hidraw("1-1", "hidraw0", 0xF5E2, 0x0101);
    m_tree.Device("1-2", 0x0C45, 0x636B);
    m_tree.Video("1-2", "video2", 2);
    m_tree.Device("1-3", 0x046D, 0x0825);  // another maker's webcam: the logic filters
    m_tree.Video("1-3", "video3", 3);

    const std::vector<UsbInterface> video = Platform().VideoInterfaces();
    ASSERT_EQ(video.size(), 3u);
    EXPECT_EQ(video[0].path, PathOf("video0", "1-1", 0xF5E2, 0x0101));
    EXPECT_EQ(video[0].vendorId, 0xF5E2);
    EXPECT_EQ(video[0].productId, 0x0101);
    EXPECT_EQ(video[0].containerId, "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1");
    EXPECT_EQ(video[1].path, PathOf("video2", "1-2", 0x0C45, 0x636B));
    EXPECT_EQ(video[2].vendorId, 0x046D);
    EXPECT_NE(video[1].path.find("0c45"), std::string::npos);  // the vendor filter's text

    const std::vector<UsbInterface> hid = Platform().HidInterfaces();
    ASSERT_EQ(hid.size(), 1u);
    EXPECT_EQ(hid[0].path, PathOf("hidraw0", "1-1", 0xF5E2, 0x0101));
    EXPECT_EQ(hid[0].containerId, video[0].containerId);
}

TEST_F(LinuxUsb, CameraBehindAHubIsItsOwnDevice) {
    m_tree.Device("1-1", 0xF5E2, 0x0101);
    m_tree.Video("1-1", "video1", 1);
    m_tree.Device("1-1.2", 0xF5E2, 0x0107);
    m_tree.Video("1-1.2", "video10", 10);
    m_tree.Hidraw("1-1.2", "hidraw1", 0xF5E2, 0x0107);
    const std::vector<UsbInterface> video = Platform().VideoInterfaces();
    ASSERT_EQ(video.size(), 2u);
    EXPECT_EQ(video[0].path, PathOf("video1", "1-1", 0xF5E2, 0x0101));
    EXPECT_EQ(video[1].path, PathOf("video10", "1-1.2", 0xF5E2, 0x0107));
    EXPECT_NE(video[0].containerId, video[1].containerId);
    const std::vector<UsbInterface> hid = Platform().HidInterfaces();
    ASSERT_EQ(hid.size(), 1u);
    EXPECT_EQ(hid[0].containerId, video[1].containerId);
}

TEST_F(LinuxUsb, WithoutUdevRecordAnUnopenableNodeIsJudgedByItsIndex) {
    m_tree.Device("1-1", 0xF5E2, 0x0101);
    m_tree.Video("1-1", "video0", 0, "");
    m_tree.Video("1-1", "video1", 1, "", 0, 1);
    std::filesystem::remove(m_tree.Node("video0"));  // cannot be opened
    std::filesystem::remove(m_tree.Node("video1"));
    const std::vector<UsbInterface> video = Platform().VideoInterfaces();
    ASSERT_EQ(video.size(), 1u);
    EXPECT_EQ(UsbDeviceNode(video[0].path), m_tree.Node("video0"));
    // A node that opens but is no V4L2 device (here a plain file) is no capture node.
    m_tree.Video("1-1", "video2", 2, "", 1, 0);
    EXPECT_EQ(Platform().VideoInterfaces().size(), 1u);
}

TEST_F(LinuxUsb, NoTreeOrBrokenEntriesGiveNothing) {
    EXPECT_TRUE(Platform().VideoInterfaces().empty());
    m_tree.Device("1-1", 0xF5E2, 0x0101);
    m_tree.Video("1-1", "video0", 0);
    test::WriteFile(m_dir / "sys/devices/pci0000:00/0000:00:14.0/usb1/1-1/idVendor", "zz\n");
    EXPECT_TRUE(Platform().VideoInterfaces().empty());
}

TEST_F(LinuxUsb, EventsNameInterfacesAsEnumerationDoesAlsoAfterRemoval) {
    m_tree.Device("1-4", 0xF5E2, 0x0101);
    m_tree.Video("1-4", "video4", 4);
    m_tree.Video("1-4", "video5", 5, ":", 0, 1);
    m_tree.Hidraw("1-4", "hidraw2", 0xF5E2, 0x0101);
    const std::string videoPath = Platform().VideoInterfaces().at(0).path;
    const std::string hidPath = Platform().HidInterfaces().at(0).path;
    const std::string videoDev = m_tree.DevPath("video4linux", "video4");
    const std::string metaDev = m_tree.DevPath("video4linux", "video5");
    const std::string hidDev = m_tree.DevPath("hidraw", "hidraw2");

    auto added =
        Platform().Translate(UdevEvent("add", "video4linux", "video4", videoDev, 0xF5E2, 0x0101));
    ASSERT_TRUE(added);
    EXPECT_TRUE(added->arrival);
    EXPECT_EQ(added->interfaceClass, UsbInterfaceClass::kVideo);
    EXPECT_EQ(added->path, videoPath);
    EXPECT_EQ(added->vendorId, 0xF5E2);
    EXPECT_FALSE(Platform().Translate(
        UdevEvent("add", "video4linux", "video5", metaDev, 0xF5E2, 0x0101, ":")));
    // An arrival without udev's properties is read from sysfs, which is still there.
    auto bare = Platform().Translate(UdevEvent("add", "video4linux", "video4", videoDev));
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->path, videoPath);
    auto hid = Platform().Translate(UdevEvent("add", "hidraw", "hidraw2", hidDev));
    ASSERT_TRUE(hid);
    EXPECT_EQ(hid->interfaceClass, UsbInterfaceClass::kHid);
    EXPECT_EQ(hid->path, hidPath);
    EXPECT_EQ(hid->productId, 0x0101);

    m_tree.Unplug("1-4", {"video4", "video5", "hidraw2"});
    auto removed = Platform().Translate(
        UdevEvent("remove", "video4linux", "video4", videoDev, 0xF5E2, 0x0101));
    ASSERT_TRUE(removed);
    EXPECT_FALSE(removed->arrival);
    EXPECT_EQ(removed->path, videoPath);
    auto hidRemoved = Platform().Translate(UdevEvent("remove", "hidraw", "hidraw2", hidDev));
    ASSERT_TRUE(hidRemoved);
    EXPECT_EQ(hidRemoved->path, hidPath);
}

TEST_F(LinuxUsb, RemovalWithoutIdsTakesThePathLastSeenAtItsNode) {
    m_tree.Device("1-4", 0xF5E2, 0x0101);
    m_tree.Video("1-4", "video4", 4);
    const std::string videoPath = Platform().VideoInterfaces().at(0).path;
    const std::string devpath = m_tree.DevPath("video4linux", "video4");
    m_tree.Unplug("1-4", {"video4"});
    auto removed = Platform().Translate(UdevEvent("remove", "video4linux", "video4", devpath));
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->path, videoPath);
    EXPECT_EQ(removed->productId, 0x0101);
    // Once gone, the node names nothing more.
    EXPECT_FALSE(Platform().Translate(UdevEvent("remove", "video4linux", "video4", devpath)));
}

TEST_F(LinuxUsb, EventsOfOtherKindsAreIgnored) {
    m_tree.Device("1-4", 0xF5E2, 0x0101);
    m_tree.Video("1-4", "video4", 4);
    const std::string devpath = m_tree.DevPath("video4linux", "video4");
    EXPECT_FALSE(Platform().Translate(
        UdevEvent("change", "video4linux", "video4", devpath, 0xF5E2, 0x0101)));
    EXPECT_FALSE(
        Platform().Translate(UdevEvent("add", "input", "event3", devpath, 0xF5E2, 0x0101)));
    // A virtual video device lies under no USB interface.
    EXPECT_FALSE(Platform().Translate(UdevEvent(
        "remove", "video4linux", "video9", "/devices/virtual/video4linux/video9", 0xF5E2, 0x0101)));
    EXPECT_FALSE(Platform().Translate(
        UdevEvent("add", "hidraw", "hidraw9", "/devices/virtual/misc/uhid/hidraw/hidraw9")));
}

TEST_F(LinuxUsb, WaitForEventSkipsIgnoredEventsAndWakeEndsTheWait) {
    m_tree.Device("1-4", 0xF5E2, 0x0101);
    m_tree.Video("1-4", "video4", 4);
    Platform();
    const std::string devpath = m_tree.DevPath("video4linux", "video4");
    m_events->Push(UdevEvent("change", "video4linux", "video4", devpath, 0xF5E2, 0x0101));
    m_events->Push(UdevEvent("add", "video4linux", "video4", devpath, 0xF5E2, 0x0101));
    UsbEvent event;
    ASSERT_TRUE(Platform().WaitForEvent(event, std::chrono::seconds(60)));
    EXPECT_TRUE(event.arrival);
    EXPECT_EQ(UsbDeviceNode(event.path), m_tree.Node("video4"));

    // Woken until the wait returns: without the wake it would wait for the full minute.
    std::atomic<bool> returned{false};
    std::thread waker([&] {
        while (!returned) {
            Platform().Wake();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    const bool got = Platform().WaitForEvent(event, std::chrono::seconds(60));
    returned = true;
    waker.join();
    EXPECT_FALSE(got);
}

// The udev source itself, as far as a machine without cameras shows it: no event comes, and
// a wake, also one given before the wait, ends the wait at once.
TEST(UdevSource, WaitsWithoutEventsAndAWakeEndsTheWait) {
    const std::unique_ptr<DeviceEventSource> source = MakeUdevEventSource();
    RawDeviceEvent event;
    EXPECT_FALSE(source->Wait(event, std::chrono::milliseconds(20)));
    source->Wake();
    EXPECT_FALSE(source->Wait(event, std::chrono::seconds(600)));  // hangs if the wake is lost
}

TEST_F(LinuxUsb, CameraAccessProblemNamesTheNodeThatCannotBeOpened) {
    m_tree.Device("1-1", 0xF5E2, 0x0101);
    m_tree.Video("1-1", "video0", 0);
    m_tree.Hidraw("1-1", "hidraw0", 0xF5E2, 0x0101);
    SetUsbPlatformForTesting(&Platform());
    const std::string videoPath = PathOf("video0", "1-1", 0xF5E2, 0x0101);
    EXPECT_EQ(UsbCameraAccessProblem(videoPath), "");
    std::filesystem::remove(m_tree.Node("hidraw0"));
    const std::string problem = UsbCameraAccessProblem(videoPath);
    EXPECT_NE(problem.find(m_tree.Node("hidraw0")), std::string::npos) << problem;
    EXPECT_EQ(UsbCameraAccessProblem("/dev/video9?usb=2-1&id=f5e2:0101"), "");  // not present
    SetUsbPlatformForTesting(nullptr);
}

}  // namespace
}  // namespace quorix::platform
