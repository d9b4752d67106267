// The simulated USB camera and the bus it sits on.
#include "sim/SimUsbCamera.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include "model/ModelTraits.h"
#include "platform/linux/LinuxUsbPlatform.h"
#include "protocol/Commands.h"
#include "sim/FrameBuilder.h"
#include "sim/SimWire.h"
#include "transport/DXCtl.h"

namespace quorix::sim {
namespace {

constexpr uint8_t kUnitId = 4;
constexpr size_t kBlock = 64;
constexpr size_t kReport = 64;
constexpr uint8_t kReportId = 0xAA;
// The HID link carries the transfer group as 0x18.
constexpr uint8_t kHidTransferGroup = 0x18;
// Room for a whole data frame of any data mode in one sample.
constexpr uint32_t kSampleRoom = 4u << 20;
// Groups whose USB gets name their item in a set that goes first (texts, lens records).
bool AsksFirst(uint8_t group) {
    return group == 0x13 || group == 0x18 || group == 0x15;
}
// How long the camera takes to restart into or out of a transfer mode; its last reply
// goes out meanwhile.
constexpr auto kRestartTime = std::chrono::milliseconds(100);
// What a camera offers as its current JSON file before any was applied.
constexpr const char* kFactoryJson = "{\"range\": 1}";

}  // namespace

SimUsbBus::SimUsbBus(std::string root) : m_root(std::move(root)), m_tree(m_root) {
    auto events = std::make_unique<platform::FakeDeviceEventSource>();
    m_events = events.get();
    m_platform = std::make_unique<platform::LinuxUsbPlatform>(m_root, std::move(events));
    std::filesystem::create_directories(m_root + "/sys/class");
    std::filesystem::create_directories(m_root + "/dev");
    platform::SetUsbPlatformForTesting(m_platform.get());
    platform::SetVideoKernelForTesting(&m_kernel);
    platform::SetHidPlatformForTesting(&m_hid);
    platform::SetDrivePlatformForTesting(&m_drives);
}

SimUsbBus::~SimUsbBus() {
    platform::SetUsbPlatformForTesting(nullptr);
    platform::SetVideoKernelForTesting(nullptr);
    platform::SetHidPlatformForTesting(nullptr);
    platform::SetDrivePlatformForTesting(nullptr);
}

SimUsbCamera::SimUsbCamera(SimUsbBus& bus, SimUsbConfig config)
    : m_bus(bus),
      m_config(std::move(config)),
      m_videoName("video" + std::to_string(m_config.videoIndex)),
      m_metaName("video" + std::to_string(m_config.videoIndex + 1)),
      m_hidName("hidraw" + std::to_string(m_config.hidIndex)),
      m_state(MakeDefaultState(m_config.deviceType, "127.0.0.1", m_config.serial, 1)) {
    const ModelTraits& model = TraitsOf(m_config.deviceType);
    m_vendor = model.vendorId;
    m_product = model.productId;

    const uint32_t w = model.recordColour.width;
    const uint32_t h = model.recordColour.height;
    const uint32_t bytesPerPixel = DXCtl::BytesPerPixelOf(model.recordColourFormat);
    m_videoConfig.formats = {{DXCtl::FourCCOf(model.recordColourFormat), w, h,
                              std::max(w * h * bytesPerPixel, kSampleRoom)}};
    m_videoConfig.unitId = kUnitId;
    m_videoConfig.descriptors = platform::FakeVideoNode::Descriptors(kUnitId, {2, 7});
    MakeNodes();
    m_streamer = std::make_unique<SimStreamer>(static_cast<StreamPort&>(*this));
    m_streamer->Start();
}

SimUsbCamera::~SimUsbCamera() {
    {
        std::lock_guard guard(m_restartLock);
        if (m_restart.joinable()) {
            m_restart.join();
        }
    }
    if (m_transferMode.load()) {
        LeaveTransferMode();
    }
    m_streamer->Stop();
    m_streamer->Join();
    if (m_plugged.load()) {
        Unplug();
    }
}

std::string SimUsbCamera::VideoPath() const {
    return platform::UsbInterfacePath(m_bus.Root() + "/dev/" + m_videoName, m_config.port, m_vendor,
                                      m_product);
}

std::string SimUsbCamera::HidPath() const {
    return platform::UsbInterfacePath(m_bus.Root() + "/dev/" + m_hidName, m_config.port, m_vendor,
                                      m_product);
}

void SimUsbCamera::MakeNodes() {
    std::lock_guard guard(m_nodeLock);
    m_video = std::make_shared<platform::FakeVideoNode>(m_videoConfig);
    m_video->SetControlHandler(
        [this](uint8_t selector, uint8_t query, uint8_t* data, uint16_t size) {
            return OnControl(selector, query, data, size);
        });
    m_video->SetStreamObserver([this](bool on) { OnStreaming(on); });
    platform::FakeVideoNode::Config metadata = m_videoConfig;
    metadata.capture = false;
    m_meta = std::make_shared<platform::FakeVideoNode>(metadata);
    m_hid = std::make_shared<platform::FakeHidEndpoint>();
    m_hid->SetResponder([this](const platform::HidReport& written) { return OnReport(written); });
}

void SimUsbCamera::Plug() {
    if (m_plugged.exchange(true)) {
        return;
    }
    MakeNodes();  // fresh nodes: a camera that comes back is a new device to the kernel
    const int minor = m_config.videoIndex;
    UsbTree& tree = m_bus.Tree();
    tree.Device(m_config.port, m_vendor, m_product);
    tree.Video(m_config.port, m_videoName, minor, ":capture:", 0, 0);
    tree.Video(m_config.port, m_metaName, minor + 1, ":", 0, 1);
    tree.Hidraw(m_config.port, m_hidName, m_vendor, m_product);
    m_bus.Kernel().Add(m_bus.Root() + "/dev/" + m_videoName, m_video);
    m_bus.Kernel().Add(m_bus.Root() + "/dev/" + m_metaName, m_meta);
    m_bus.Hid().Add(m_bus.Root() + "/dev/" + m_hidName, m_hid);
    m_bus.Report(UdevEvent("add", "video4linux", m_videoName,
                           tree.DevPath("video4linux", m_videoName), m_vendor, m_product));
    m_bus.Report(UdevEvent("add", "video4linux", m_metaName,
                           tree.DevPath("video4linux", m_metaName), m_vendor, m_product, ":"));
    m_bus.Report(UdevEvent("add", "hidraw", m_hidName, tree.DevPath("hidraw", m_hidName)));
}

void SimUsbCamera::Unplug() {
    if (!m_plugged.exchange(false)) {
        return;
    }
    m_video->Unplug();
    m_meta->Unplug();
    m_hid->Unplug();
    UsbTree& tree = m_bus.Tree();
    const std::string videoPath = tree.DevPath("video4linux", m_videoName);
    const std::string metaPath = tree.DevPath("video4linux", m_metaName);
    const std::string hidPath = tree.DevPath("hidraw", m_hidName);
    m_bus.Kernel().Remove(m_bus.Root() + "/dev/" + m_videoName);
    m_bus.Kernel().Remove(m_bus.Root() + "/dev/" + m_metaName);
    m_bus.Hid().Remove(m_bus.Root() + "/dev/" + m_hidName);
    tree.Unplug(m_config.port, {m_videoName.c_str(), m_metaName.c_str(), m_hidName.c_str()});
    m_bus.Report(UdevEvent("remove", "video4linux", m_videoName, videoPath, m_vendor, m_product));
    m_bus.Report(
        UdevEvent("remove", "video4linux", m_metaName, metaPath, m_vendor, m_product, ":"));
    m_bus.Report(UdevEvent("remove", "hidraw", m_hidName, hidPath));
    OnStreaming(false);
}

SimState SimUsbCamera::State() const {
    std::lock_guard guard(m_stateLock);
    return m_state;
}

void SimUsbCamera::UpdateState(const std::function<void(SimState&)>& change) {
    {
        std::lock_guard guard(m_stateLock);
        change(m_state);
    }
    m_streamer->Wake();
}

void SimUsbCamera::OnStreaming(bool on) {
    UpdateState([on](SimState& state) {
        SensorState& sensor = state.sensors[0];
        if (on && !sensor.streaming) {
            ++sensor.streamStarts;
        }
        sensor.streaming = on;
    });
}

void SimUsbCamera::ReadState(const std::function<void(const SimState&)>& read) const {
    std::lock_guard guard(m_stateLock);
    read(m_state);
}

SendProgress SimUsbCamera::BeginFrame(uint32_t, const uint8_t* data, size_t length) {
    // A UVC sample is the data frame's payload: the stream needs no framing of its own.
    constexpr size_t kHeader = 8;
    std::shared_ptr<platform::FakeVideoNode> video;
    {
        std::lock_guard guard(m_nodeLock);
        video = m_video;
    }
    if (length < kHeader || !video->Deliver(data + kHeader, length - kHeader)) {
        return SendProgress::kNoConnection;  // the host has no buffer queued: dropped
    }
    ++m_delivered;
    return SendProgress::kDone;
}

std::vector<platform::HidReport> SimUsbCamera::OnReport(const platform::HidReport& written) {
    if (written.size() < 3 || written[0] != kReportId) {
        return {};
    }
    uint8_t commandByte = written[1];
    const uint8_t group = commandByte & static_cast<uint8_t>(~kGetBit);
    const bool get = (commandByte & kGetBit) != 0;
    const size_t length =
        std::min<size_t>(written[2] < 62 ? written[2] : written[2] - 3u, written.size() - 3);
    const uint8_t* payload = written.data() + 3;
    uint8_t handled = commandByte;
    if (group == kHidTransferGroup) {
        handled = static_cast<uint8_t>(cmd::kTransferGroup | (get ? kGetBit : 0));
    }
    CommandOutcome outcome;
    ModeRequest mode = ModeRequest::kNone;
    bool rebooted = false;
    {
        std::lock_guard guard(m_stateLock);
        if (!get && AsksFirst(group) && length == 1) {
            m_hidPending.Store(group, payload, length);  // names what the next get asks
            return {};
        }
        std::vector<uint8_t> request(payload, payload + length);
        if (get && AsksFirst(group)) {
            const std::vector<uint8_t> asked = m_hidPending.Take(group);
            if (!asked.empty()) {
                request = asked;
            }
        }
        const uint32_t reboots = m_state.reboots;
        outcome = HandleCommand(m_state, 0, m_hidPending, handled, request.data(), request.size());
        request = {};
        mode = std::exchange(m_state.modeRequest, ModeRequest::kNone);
        rebooted = m_state.reboots != reboots;
    }
    AfterCommand(mode, rebooted);
    m_streamer->Wake();
    if (!outcome.reply) {
        return {};
    }
    platform::HidReport reply(kReport, 0);
    reply[0] = kReportId;
    reply[1] = commandByte;
    const size_t n = std::min<size_t>(outcome.payload.size(), 61);
    reply[2] = static_cast<uint8_t>(n);
    std::copy_n(outcome.payload.begin(), n, reply.begin() + 3);
    return {reply};
}

int SimUsbCamera::OnControl(uint8_t selector, uint8_t query, uint8_t* data, uint16_t size) {
    if (query == platform::kUvcGetLen) {
        if (size < 2) {
            return -EINVAL;
        }
        data[0] = kBlock;
        data[1] = 0;
        return 0;
    }
    if (size != kBlock || (query != platform::kUvcSetCur && query != platform::kUvcGetCur)) {
        return -EINVAL;
    }
    CommandOutcome outcome;
    {
        std::lock_guard guard(m_stateLock);
        std::array<uint8_t, kBlock>& last = m_lastSet[selector];
        if (query == platform::kUvcSetCur) {
            memcpy(last.data(), data, kBlock);
            const bool onlySub =
                std::all_of(data + 1, data + kBlock, [](uint8_t b) { return b == 0; });
            if (AsksFirst(selector) && onlySub) {
                return 0;  // names what the next get asks
            }
            if (selector == 0x07) {
                // The UVC link's data mode is the mode byte alone.
                const cmd::Command mode = cmd::SetDataMode(data[0]);
                outcome = HandleCommand(m_state, 0, m_uvcPending, selector, mode.data.data(),
                                        mode.requestLength);
            } else {
                outcome = HandleCommand(m_state, 0, m_uvcPending, selector, data, kBlock);
            }
        } else {
            // A get carries no request: the camera answers what the last set of the
            // selector asked about.
            outcome = HandleCommand(m_state, 0, m_uvcPending,
                                    static_cast<uint8_t>(selector | kGetBit), last.data(), kBlock);
            memset(data, 0, kBlock);
            if (outcome.reply) {
                std::copy_n(outcome.payload.begin(), std::min(outcome.payload.size(), kBlock),
                            data);
            }
        }
    }
    m_streamer->Wake();
    if (query == platform::kUvcGetCur && !outcome.reply) {
        return -EPIPE;  // the camera stalls a control it does not answer
    }
    return 0;
}

}  // namespace quorix::sim

namespace quorix::sim {

std::string SimUsbCamera::DriveFolder() const {
    return m_bus.Root() + "/drive-" + m_config.port;
}

void SimUsbCamera::AfterCommand(ModeRequest request, bool rebooted) {
    const bool enter = request != ModeRequest::kNone && m_plugged.load();
    const bool leave = rebooted && m_transferMode.load();
    if (!enter && !leave) {
        return;
    }
    std::lock_guard guard(m_restartLock);
    if (m_restart.joinable()) {
        m_restart.join();  // the previous restart ended before this command could be sent
    }
    m_restart = std::thread([this, request, enter] {
        std::this_thread::sleep_for(kRestartTime);
        if (enter) {
            EnterTransferMode(request);
        } else {
            LeaveTransferMode();
        }
    });
}

void SimUsbCamera::EnterTransferMode(ModeRequest request) {
    Unplug();
    if (m_config.transfer == SimUsbConfig::Transfer::kGone) {
        return;
    }
    const std::string folder = DriveFolder();
    const std::string data = folder + "/Android/data";
    std::filesystem::create_directories(data);
    {
        std::lock_guard guard(m_stateLock);
        m_state.transferFolder = data;
        if (request == ModeRequest::kUpgrade) {
            m_state.upgradeFile = "Firmware.img";
            BeginUpgrade(m_state);
        } else {
            // The current file waits on the drive; the new one is read from it when the
            // host says it is there.
            const std::string current =
                m_state.jsonConfig.empty() ? kFactoryJson : m_state.jsonConfig;
            std::ofstream(data + "/configOrig.json", std::ios::binary) << current;
            m_state.jsonFile = "config.json";
            BeginJsonFile(m_state);
        }
    }
    m_modeProduct = request == ModeRequest::kUpgrade ? kProductUpgrade : kProductJsonTransfer;
    UsbTree& tree = m_bus.Tree();
    tree.Device(m_config.port, m_vendor, m_modeProduct);
    // The drive before the HID interface, so it is there when the host has connected.
    if (m_config.transfer == SimUsbConfig::Transfer::kFull) {
        if (m_config.beforeDrive) {
            m_config.beforeDrive();
        }
        m_bus.Drives().Add(folder, m_bus.Tree().UsbDevicePath(m_config.port));
    }
    {
        std::lock_guard guard(m_nodeLock);
        m_hid = std::make_shared<platform::FakeHidEndpoint>();
        m_hid->SetResponder(
            [this](const platform::HidReport& written) { return OnReport(written); });
    }
    tree.Hidraw(m_config.port, m_hidName, m_vendor, m_modeProduct);
    m_bus.Hid().Add(m_bus.Root() + "/dev/" + m_hidName, m_hid);
    m_transferMode.store(true);
    m_bus.Report(UdevEvent("add", "hidraw", m_hidName, tree.DevPath("hidraw", m_hidName)));
}

void SimUsbCamera::LeaveTransferMode() {
    if (!m_transferMode.exchange(false)) {
        return;
    }
    m_bus.Drives().Remove(DriveFolder());
    m_hid->Unplug();
    UsbTree& tree = m_bus.Tree();
    const std::string hidPath = tree.DevPath("hidraw", m_hidName);
    m_bus.Hid().Remove(m_bus.Root() + "/dev/" + m_hidName);
    tree.Unplug(m_config.port, {m_hidName.c_str()});
    m_bus.Report(UdevEvent("remove", "hidraw", m_hidName, hidPath));
    // Back as the camera, with what the transfer changed.
    Plug();
}

}  // namespace quorix::sim
