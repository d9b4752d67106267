// A sysfs tree of USB cameras built in a folder, laid out as the kernel lays it
// out (class entries linking into /sys/devices, a USB device folder per port with its ids,
// interfaces below it), with device nodes under dev/ and udev's records under run/.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/linux/LinuxUsbPlatform.h"

namespace quorix::sim {

class UsbTree {
public:
    explicit UsbTree(std::string root) : m_root(std::move(root)) {}

    const std::string& Root() const { return m_root; }

    // The USB device at `port` ("1-1.2" lies under "1-1", as behind a hub).
    void Device(const std::string& port, uint16_t vendor, uint16_t product) {
        const std::string dir = DeviceDir(port);
        std::filesystem::create_directories(dir);
        WriteFile(dir + "/idVendor", Hex(vendor) + "\n");
        WriteFile(dir + "/idProduct", Hex(product) + "\n");
    }
    // Unplugged: the device's folder, its class entries and its nodes go.
    void Unplug(const std::string& port, std::initializer_list<const char*> nodes) {
        std::filesystem::remove_all(DeviceDir(port));
        for (const char* node : nodes) {
            const std::string cls =
                std::string(node).rfind("hidraw", 0) == 0 ? "hidraw" : "video4linux";
            std::filesystem::remove(m_root + "/sys/class/" + cls + "/" + node);
            std::filesystem::remove(m_root + "/dev/" + node);
        }
    }

    // A video node on interface `iface` of the device at `port`; `capabilities` is what udev
    // recorded (":capture:" for the capture node, ":" for a metadata node), empty for no
    // record. `index` is the node's index on its interface.
    void Video(const std::string& port, const std::string& name, int minor,
               const std::string& capabilities = ":capture:", int iface = 0, int index = 0) {
        const std::string ifDir = DeviceDir(port) + "/" + port + ":1." + std::to_string(iface);
        const std::string dir = ifDir + "/video4linux/" + name;
        std::filesystem::create_directories(dir);
        WriteFile(dir + "/dev", "81:" + std::to_string(minor) + "\n");
        WriteFile(dir + "/index", std::to_string(index) + "\n");
        std::filesystem::create_directory_symlink(ifDir, dir + "/device");
        Link("video4linux", name, dir);
        if (!capabilities.empty()) {
            std::filesystem::create_directories(m_root + "/run/udev/data");
            WriteFile(m_root + "/run/udev/data/c81:" + std::to_string(minor),
                      "S:v4l/by-id/x\nE:ID_V4L_CAPABILITIES=" + capabilities + "\nE:ID_SERIAL=x\n");
        }
    }
    // A hidraw node on interface `iface` of the device at `port`.
    void Hidraw(const std::string& port, const std::string& name, uint16_t vendor, uint16_t product,
                int iface = 2) {
        const std::string hidDir = DeviceDir(port) + "/" + port + ":1." + std::to_string(iface) +
                                   "/0003:" + Upper(vendor) + ":" + Upper(product) + ".0001";
        const std::string dir = hidDir + "/hidraw/" + name;
        std::filesystem::create_directories(dir);
        std::filesystem::create_directory_symlink(hidDir, dir + "/device");
        Link("hidraw", name, dir);
    }

    // The device path udev reports for a class entry (below /sys).
    std::string DevPath(const std::string& cls, const std::string& name) const {
        const std::string target =
            std::filesystem::canonical(m_root + "/sys/class/" + cls + "/" + name).string();
        return target.substr(std::filesystem::canonical(m_root + "/sys").string().size());
    }
    // The USB device's sysfs path as the platform names it ("/sys/devices/..."): what a
    // drive on that device is matched by.
    std::string UsbDevicePath(const std::string& port) const {
        const std::string target = std::filesystem::canonical(DeviceDir(port)).string();
        return target.substr(std::filesystem::canonical(m_root).string().size());
    }
    std::string Node(const std::string& name) const { return m_root + "/dev/" + name; }

    static std::string Hex(uint16_t value) {
        char text[8];
        std::snprintf(text, sizeof text, "%04x", value);
        return text;
    }

private:
    static void WriteFile(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string Upper(uint16_t value) {
        char text[8];
        std::snprintf(text, sizeof text, "%04X", value);
        return text;
    }
    std::string DeviceDir(const std::string& port) const {
        std::string dir = m_root + "/sys/devices/pci0000:00/0000:00:14.0/usb1";
        // "1-1.2.3" lies in "1-1/1-1.2/1-1.2.3".
        for (size_t dot = port.find('.'); dot != std::string::npos; dot = port.find('.', dot + 1)) {
            dir += "/" + port.substr(0, dot);
        }
        return dir + "/" + port;
    }
    void Link(const std::string& cls, const std::string& name, const std::string& target) {
        std::filesystem::create_directories(m_root + "/sys/class/" + cls);
        std::filesystem::create_directory_symlink(target,
                                                  m_root + "/sys/class/" + cls + "/" + name);
        std::filesystem::create_directories(m_root + "/dev");
        WriteFile(m_root + "/dev/" + name, "");
    }

    std::string m_root;
};

// udev's event for a class entry of the tree, with the properties udev adds to video nodes.
inline platform::RawDeviceEvent UdevEvent(const std::string& action, const std::string& cls,
                                          const std::string& name, const std::string& devpath,
                                          uint16_t vendor = 0, uint16_t product = 0,
                                          const std::string& capabilities = ":capture:") {
    platform::RawDeviceEvent e{action, cls, "/dev/" + name, devpath, {}};
    if (cls == "video4linux" && vendor != 0) {
        e.properties["ID_VENDOR_ID"] = UsbTree::Hex(vendor);
        e.properties["ID_MODEL_ID"] = UsbTree::Hex(product);
        e.properties["ID_V4L_CAPABILITIES"] = capabilities;
    }
    return e;
}

}  // namespace quorix::sim
