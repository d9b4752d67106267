// A simulated USB camera: the simulator's camera state and frame builder behind the
// platform's fakes, found by the library through the same sysfs enumeration and udev
// events a real camera goes through. SimUsbBus stands in for the machine's USB side (a
// sysfs tree under a folder, the capture driver, the HID interfaces, the udev monitor);
// each SimUsbCamera on it is one camera with a video-capture node (and its metadata node)
// and a hidraw node. HID reports and extension-unit controls are answered by the same
// command handler as the network camera's connection; while the host streams, every
// capture goes out as one video sample carrying the raw sub-packets of the network stream.
//
// Threads: everything may be called from any thread. Build the bus before the library
// looks at USB (before Ns2_Initialize) and destroy it after Ns2_Shutdown: it installs
// itself as the process's USB, HID and capture platform.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/fake/FakeDeviceEventSource.h"
#include "platform/fake/FakeDrives.h"
#include "platform/fake/FakeHid.h"
#include "platform/fake/FakeVideo.h"
#include "sim/CommandHandler.h"
#include "sim/SimState.h"
#include "sim/SimStreamer.h"
#include "sim/UsbTree.h"

namespace quorix::sim {

class SimUsbBus {
public:
    // `root` is an existing, empty folder that the bus owns for its life.
    explicit SimUsbBus(std::string root);
    ~SimUsbBus();
    SimUsbBus(const SimUsbBus&) = delete;
    SimUsbBus& operator=(const SimUsbBus&) = delete;

    const std::string& Root() const { return m_root; }
    UsbTree& Tree() { return m_tree; }
    platform::FakeVideoKernel& Kernel() { return m_kernel; }
    platform::FakeHidPlatform& Hid() { return m_hid; }
    // The removable drives: a camera in its transfer mode shows its drive here.
    platform::FakeDrives& Drives() { return m_drives; }
    // The Linux USB platform reading the bus's tree and hearing its events.
    platform::UsbPlatform& Platform() { return *m_platform; }
    // Reports a udev event to the library's monitor.
    void Report(const platform::RawDeviceEvent& event) { m_events->Push(event); }

private:
    const std::string m_root;
    UsbTree m_tree;
    platform::FakeVideoKernel m_kernel;
    platform::FakeHidPlatform m_hid;
    platform::FakeDrives m_drives;
    platform::FakeDeviceEventSource* m_events = nullptr;  // owned by m_platform
    std::unique_ptr<platform::UsbPlatform> m_platform;
};

struct SimUsbConfig {
    uint32_t deviceType = 210;  // a HID-and-UVC model
    std::string serial = "QXUSB0001";
    std::string port = "1-1";  // the USB port path
    int videoIndex = 0;        // /dev/video<N>; its metadata node is N + 1
    int hidIndex = 0;          // /dev/hidraw<N>
    // Told to enter a transfer mode, the camera restarts as its upgrade-mode device with a
    // drive (kFull), without the drive (kNoDrive), or does not come back (kGone).
    enum class Transfer { kFull, kNoDrive, kGone };
    Transfer transfer = Transfer::kFull;
    // Runs just before the camera's drive comes up (a test mounts another drive first).
    std::function<void()> beforeDrive;
};

class SimUsbCamera : private StreamPort {
public:
    SimUsbCamera(SimUsbBus& bus, SimUsbConfig config);
    ~SimUsbCamera() override;
    SimUsbCamera(const SimUsbCamera&) = delete;
    SimUsbCamera& operator=(const SimUsbCamera&) = delete;

    // Plugs the camera in: its tree, its nodes and the arrival events. A second Plug while
    // plugged does nothing.
    void Plug();
    // Pulls it out: every open node fails at once, the tree goes, removal events follow.
    void Unplug();
    bool Plugged() const { return m_plugged.load(); }
    // True while it is plugged in as its upgrade-mode device.
    bool InTransferMode() const { return m_transferMode.load(); }
    // Its drive's folder while in transfer mode (it stays for the test to look at).
    std::string DriveFolder() const;

    // The interface paths the library lists.
    std::string VideoPath() const;
    std::string HidPath() const;

    SimState State() const;
    void UpdateState(const std::function<void(SimState&)>& change);
    StreamStats StreamStatistics() const { return m_streamer->Stats(0); }
    // Samples the host took (delivered into one of its buffers).
    uint64_t SamplesDelivered() const { return m_delivered.load(); }

private:
    std::vector<platform::HidReport> OnReport(const platform::HidReport& written);
    int OnControl(uint8_t selector, uint8_t query, uint8_t* data, uint16_t size);
    void OnStreaming(bool on);
    void MakeNodes();
    // After a command: a transfer mode asked for, or a reboot out of one, restarts the
    // camera on its own thread (the reply goes out first).
    void AfterCommand(ModeRequest request, bool rebooted);
    void EnterTransferMode(ModeRequest request);
    void LeaveTransferMode();

    // StreamPort, for the capture clock.
    uint32_t SessionCount() const override { return 1; }
    void ReadState(const std::function<void(const SimState&)>& read) const override;
    SendProgress BeginFrame(uint32_t session, const uint8_t* data, size_t length) override;
    SendProgress ContinueFrame(uint32_t) override { return SendProgress::kDone; }

    SimUsbBus& m_bus;
    const SimUsbConfig m_config;
    uint16_t m_vendor = 0;
    uint16_t m_product = 0;
    std::string m_videoName;
    std::string m_metaName;
    std::string m_hidName;
    std::atomic<bool> m_plugged{false};
    std::atomic<bool> m_transferMode{false};
    uint16_t m_modeProduct = 0;
    std::mutex m_restartLock;  // one restart at a time
    std::thread m_restart;
    std::atomic<uint64_t> m_delivered{0};

    mutable std::mutex m_stateLock;  // guards the state, the pending reads, the blocks
    SimState m_state;
    PendingReads m_hidPending;
    PendingReads m_uvcPending;
    std::map<uint8_t, std::array<uint8_t, 64>> m_lastSet;  // per selector

    platform::FakeVideoNode::Config m_videoConfig;
    mutable std::mutex m_nodeLock;  // the nodes are replaced at each plug
    std::shared_ptr<platform::FakeVideoNode> m_video;
    std::shared_ptr<platform::FakeVideoNode> m_meta;
    std::shared_ptr<platform::FakeHidEndpoint> m_hid;
    std::unique_ptr<StreamClock> m_streamer;  // last: stops before what it reads goes
};

}  // namespace quorix::sim
