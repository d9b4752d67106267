// The Linux USB platform: sysfs enumeration, udev hot-plug events, and the process's
// platform instance.
#include "platform/linux/LinuxUsbPlatform.h"

#include <fcntl.h>
#include <libudev.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>

namespace quorix::platform {
namespace {

namespace fs = std::filesystem;

// The first line of a small sysfs or udev file, empty when it cannot be read.
std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) {
        line.pop_back();
    }
    return line;
}

std::optional<uint16_t> ParseHex16(const std::string& text) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, 16);
    if (text.empty() || text.size() > 4 || ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

bool IsHexDigits(std::string_view text, size_t count) {
    return text.size() == count && std::all_of(text.begin(), text.end(), [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c)) != 0;
           });
}

// "1-1.2:1.0", a USB interface's name: bus, ports, then configuration and interface.
bool IsUsbInterfaceName(std::string_view name) {
    const size_t colon = name.find(':');
    const size_t dash = name.find('-');
    if (colon == std::string_view::npos || dash == std::string_view::npos || dash == 0 ||
        dash > colon) {
        return false;
    }
    const auto digitsAndDots = [](std::string_view s) {
        return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '.';
        });
    };
    return digitsAndDots(name.substr(0, dash)) &&
           digitsAndDots(name.substr(dash + 1, colon - dash - 1)) &&
           digitsAndDots(name.substr(colon + 1));
}

// The USB port path ("1-1.2") of the interface a device path lies under.
std::optional<std::string> UsbPortOf(const std::string& devpath) {
    std::optional<std::string> port;
    for (const fs::path& part : fs::path(devpath)) {
        const std::string name = part.string();
        if (IsUsbInterfaceName(name)) {
            port = name.substr(0, name.find(':'));
        }
    }
    return port;
}

// Vendor and product of a HID device from its name in the path ("0003:F5E2:0101.0004").
std::optional<std::pair<uint16_t, uint16_t>> HidIdsOf(const std::string& devpath) {
    std::optional<std::pair<uint16_t, uint16_t>> ids;
    for (const fs::path& part : fs::path(devpath)) {
        const std::string name = part.string();
        if (name.size() > 15 && name[4] == ':' && name[9] == ':' && name[14] == '.' &&
            IsHexDigits(std::string_view(name).substr(5, 4), 4) &&
            IsHexDigits(std::string_view(name).substr(10, 4), 4)) {
            ids = {*ParseHex16(name.substr(5, 4)), *ParseHex16(name.substr(10, 4))};
        }
    }
    return ids;
}

// The USB device (the folder with idVendor) that `from` lies under, within `sysRoot`.
struct UsbParent {
    std::string container;  // its path below the root
    std::string port;       // its name: the USB port path
    uint16_t vendorId = 0;
    uint16_t productId = 0;
};

std::optional<UsbParent> FindUsbParent(const fs::path& from, const fs::path& sysRoot,
                                       size_t rootLength) {
    for (fs::path dir = from; dir.string().size() > sysRoot.string().size();
         dir = dir.parent_path()) {
        std::error_code ec;
        if (!fs::exists(dir / "idVendor", ec)) {
            continue;
        }
        const auto vendor = ParseHex16(FirstLine(dir / "idVendor"));
        const auto product = ParseHex16(FirstLine(dir / "idProduct"));
        if (!vendor || !product) {
            return std::nullopt;
        }
        return UsbParent{dir.string().substr(rootLength), dir.filename().string(), *vendor,
                         *product};
    }
    return std::nullopt;
}

// udev's own probe of the node, when udev recorded it: ":capture:" among the capabilities.
std::optional<bool> CaptureByUdev(const std::string& root, const std::string& majorMinor) {
    std::ifstream in(root + "/run/udev/data/c" + majorMinor);
    const std::string key = "E:ID_V4L_CAPABILITIES=";
    for (std::string line; in && std::getline(in, line);) {
        if (line.compare(0, key.size(), key) == 0) {
            return line.find(":capture:") != std::string::npos;
        }
    }
    return std::nullopt;
}

// A UVC camera has a video-capture node and a metadata node; only the first counts. udev's
// record says which without opening the node; else the driver is asked; a node this
// process may not open is judged by its index (the capture node comes first), so that it
// is still listed and the reason it cannot be opened can be told.
bool IsCaptureNode(const std::string& root, const fs::path& classEntry, const std::string& node) {
    if (const auto byUdev = CaptureByUdev(root, FirstLine(classEntry / "dev"))) {
        return *byUdev;
    }
    const int fd = open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return FirstLine(classEntry / "index") == "0";
    }
    v4l2_capability caps{};
    const bool asked = ioctl(fd, VIDIOC_QUERYCAP, &caps) == 0;
    close(fd);
    const uint32_t which =
        (caps.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? caps.device_caps : caps.capabilities;
    return asked && (which & V4L2_CAP_VIDEO_CAPTURE) != 0;
}

const char* ClassFolder(UsbInterfaceClass kind) {
    return kind == UsbInterfaceClass::kVideo ? "video4linux" : "hidraw";
}

std::string Property(const RawDeviceEvent& raw, const std::string& key) {
    const auto it = raw.properties.find(key);
    return it == raw.properties.end() ? std::string() : it->second;
}

class UdevEventSource final : public DeviceEventSource {
public:
    UdevEventSource() : m_wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~UdevEventSource() override {
        if (m_monitor != nullptr) {
            udev_monitor_unref(m_monitor);
        }
        if (m_udev != nullptr) {
            udev_unref(m_udev);
        }
        if (m_wake >= 0) {
            close(m_wake);
        }
    }

    bool Wait(RawDeviceEvent& event, std::chrono::milliseconds timeout) override {
        if (!m_tried) {
            m_tried = true;
            Connect();
        }
        pollfd fds[2] = {{m_wake, POLLIN, 0}, {-1, POLLIN, 0}};
        if (m_monitor != nullptr) {
            fds[1].fd = udev_monitor_get_fd(m_monitor);
        }
        if (poll(fds, 2, static_cast<int>(timeout.count())) <= 0) {
            return false;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = read(m_wake, &count, sizeof count);
            return false;
        }
        udev_device* device = udev_monitor_receive_device(m_monitor);
        if (device == nullptr) {
            return false;
        }
        const auto text = [](const char* s) {
            return s != nullptr ? std::string(s) : std::string();
        };
        event.action = text(udev_device_get_action(device));
        event.subsystem = text(udev_device_get_subsystem(device));
        event.devnode = text(udev_device_get_devnode(device));
        event.devpath = text(udev_device_get_devpath(device));
        event.properties.clear();
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_device_get_properties_list_entry(device)) {
            event.properties[text(udev_list_entry_get_name(entry))] =
                text(udev_list_entry_get_value(entry));
        }
        udev_device_unref(device);
        return true;
    }

    void Wake() override {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(m_wake, &one, sizeof one);
    }

private:
    void Connect() {
        m_udev = udev_new();
        if (m_udev == nullptr) {
            return;
        }
        m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
        if (m_monitor == nullptr) {
            return;
        }
        if (udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "video4linux", nullptr) <
                0 ||
            udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "hidraw", nullptr) < 0 ||
            udev_monitor_enable_receiving(m_monitor) < 0) {
            udev_monitor_unref(m_monitor);
            m_monitor = nullptr;
        }
    }

    const int m_wake;
    bool m_tried = false;  // only the waiting thread touches the monitor
    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
};

UsbPlatform* g_override = nullptr;

}  // namespace

std::unique_ptr<DeviceEventSource> MakeUdevEventSource() {
    return std::make_unique<UdevEventSource>();
}

LinuxUsbPlatform::LinuxUsbPlatform(std::string root, std::unique_ptr<DeviceEventSource> events)
    : m_root(std::move(root)), m_events(std::move(events)) {}

std::vector<UsbInterface> LinuxUsbPlatform::VideoInterfaces() {
    return Enumerate(UsbInterfaceClass::kVideo);
}

std::vector<UsbInterface> LinuxUsbPlatform::HidInterfaces() {
    return Enumerate(UsbInterfaceClass::kHid);
}

std::vector<UsbInterface> LinuxUsbPlatform::Enumerate(UsbInterfaceClass kind) {
    std::vector<UsbInterface> found;
    std::error_code ec;
    const fs::path sysRoot = fs::weakly_canonical(fs::path(m_root + "/sys"), ec);
    if (ec) {
        return found;
    }
    const size_t rootLength = sysRoot.string().size() - 4;  // the "/sys" stays in the id
    for (const fs::directory_entry& entry :
         fs::directory_iterator(sysRoot / "class" / ClassFolder(kind), ec)) {
        std::error_code linkError;
        const fs::path device = fs::canonical(entry.path() / "device", linkError);
        if (linkError) {
            continue;
        }
        const std::optional<UsbParent> parent = FindUsbParent(device, sysRoot, rootLength);
        if (!parent) {
            continue;  // not a USB device
        }
        const std::string node = m_root + "/dev/" + entry.path().filename().string();
        if (kind == UsbInterfaceClass::kVideo && !IsCaptureNode(m_root, entry.path(), node)) {
            continue;
        }
        found.push_back({UsbInterfacePath(node, parent->port, parent->vendorId, parent->productId),
                         parent->container, parent->vendorId, parent->productId});
        Remember(node, found.back());
    }
    // In node order, video2 before video10.
    std::sort(found.begin(), found.end(), [](const UsbInterface& a, const UsbInterface& b) {
        const std::string x = UsbDeviceNode(a.path);
        const std::string y = UsbDeviceNode(b.path);
        return x.size() != y.size() ? x.size() < y.size() : x < y;
    });
    return found;
}

void LinuxUsbPlatform::Remember(const std::string& node, const UsbInterface& interface) {
    std::lock_guard guard(m_lock);
    m_seen[node] = interface;
}

std::optional<UsbEvent> LinuxUsbPlatform::Translate(const RawDeviceEvent& raw) {
    UsbEvent event;
    if (raw.subsystem == "video4linux") {
        event.interfaceClass = UsbInterfaceClass::kVideo;
    } else if (raw.subsystem == "hidraw") {
        event.interfaceClass = UsbInterfaceClass::kHid;
    } else {
        return std::nullopt;
    }
    if (raw.action != "add" && raw.action != "remove") {
        return std::nullopt;
    }
    event.arrival = raw.action == "add";
    const std::string name = fs::path(raw.devpath).filename().string();
    const std::string node = m_root + (raw.devnode.empty() ? "/dev/" + name : raw.devnode);
    const fs::path sysDir = m_root + "/sys" + raw.devpath;

    if (event.interfaceClass == UsbInterfaceClass::kVideo) {
        const std::string caps = Property(raw, "ID_V4L_CAPABILITIES");
        if (!caps.empty() && caps.find(":capture:") == std::string::npos) {
            return std::nullopt;  // a metadata node
        }
        if (caps.empty() && event.arrival && !IsCaptureNode(m_root, sysDir, node)) {
            return std::nullopt;
        }
    }

    // The ids come with the event: on removal the device's sysfs folder is gone already.
    std::optional<uint16_t> vendor;
    std::optional<uint16_t> product;
    if (event.interfaceClass == UsbInterfaceClass::kHid) {
        if (const auto ids = HidIdsOf(raw.devpath)) {
            vendor = ids->first;
            product = ids->second;
        }
    } else {
        vendor = ParseHex16(Property(raw, "ID_VENDOR_ID"));
        product = ParseHex16(Property(raw, "ID_MODEL_ID"));
    }
    const std::optional<std::string> port = UsbPortOf(raw.devpath);
    if (vendor && product && port) {
        event.vendorId = *vendor;
        event.productId = *product;
        event.path = UsbInterfacePath(node, *port, *vendor, *product);
    } else if (event.arrival) {
        std::error_code ec;
        const fs::path sysRoot = fs::weakly_canonical(fs::path(m_root + "/sys"), ec);
        const std::optional<UsbParent> parent =
            ec ? std::nullopt
               : FindUsbParent(fs::weakly_canonical(sysDir, ec), sysRoot,
                               sysRoot.string().size() - 4);
        if (!parent) {
            return std::nullopt;  // not a USB device
        }
        event.vendorId = parent->vendorId;
        event.productId = parent->productId;
        event.path = UsbInterfacePath(node, parent->port, parent->vendorId, parent->productId);
    } else {
        // A removal that names no ids: the path this node had when it was last seen.
        std::lock_guard guard(m_lock);
        const auto it = m_seen.find(node);
        if (it == m_seen.end()) {
            return std::nullopt;
        }
        event.path = it->second.path;
        event.vendorId = it->second.vendorId;
        event.productId = it->second.productId;
    }
    if (event.arrival) {
        Remember(node, {event.path, {}, event.vendorId, event.productId});
    } else {
        std::lock_guard guard(m_lock);
        m_seen.erase(node);
    }
    return event;
}

bool LinuxUsbPlatform::WaitForEvent(UsbEvent& event, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    RawDeviceEvent raw;
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (!m_events->Wait(raw, std::max(left, std::chrono::milliseconds(0)))) {
            return false;
        }
        if (std::optional<UsbEvent> translated = Translate(raw)) {
            event = std::move(*translated);
            return true;
        }
        if (left.count() <= 0) {
            return false;
        }
    }
}

void LinuxUsbPlatform::Wake() {
    m_events->Wake();
}

UsbPlatform& Usb() {
    static LinuxUsbPlatform system("", MakeUdevEventSource());
    return g_override != nullptr ? *g_override : system;
}

void SetUsbPlatformForTesting(UsbPlatform* platform) {
    g_override = platform;
}

}  // namespace quorix::platform
