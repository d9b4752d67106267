// Interface paths of USB cameras and the reasons a camera's nodes cannot be opened.
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/UsbPlatform.h"

namespace quorix::platform {

std::string UsbInterfacePath(const std::string& node, const std::string& usbPort, uint16_t vendorId,
                             uint16_t productId) {
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", vendorId, productId);
    return node + "?usb=" + usbPort + "&id=" + ids;
}

std::string UsbDeviceNode(const std::string& interfacePath) {
    return interfacePath.substr(0, interfacePath.find('?'));
}

std::string NodeAccessProblem(const std::string& node, int error) {
    if (error == 0) {
        return {};
    }
    if (error == EACCES || error == EPERM) {
        return "cannot open " + node + ": permission denied; install the udev rule " +
               kUdevRuleName +
               " (it comes with the library, in lib/udev/rules.d), run 'udevadm control "
               "--reload-rules && udevadm trigger' as root and plug the camera in again";
    }
    if (error == ENOENT) {
        return "cannot open " + node + ": the node does not exist (the camera was unplugged?)";
    }
    return "cannot open " + node + ": " + std::strerror(error);
}

std::string CheckNodeAccess(const std::string& node) {
    return access(node.c_str(), R_OK | W_OK) == 0 ? std::string() : NodeAccessProblem(node, errno);
}

std::string UsbCameraAccessProblem(const std::string& videoPath) {
    std::string container;
    bool found = false;
    for (const UsbInterface& video : Usb().VideoInterfaces()) {
        if (video.path == videoPath) {
            container = video.containerId;
            found = true;
        }
    }
    if (!found) {
        return {};  // not present: nothing to open, so nothing in the way
    }
    std::string problem = CheckNodeAccess(UsbDeviceNode(videoPath));
    for (const UsbInterface& hid : Usb().HidInterfaces()) {
        if (problem.empty() && hid.containerId == container) {
            problem = CheckNodeAccess(UsbDeviceNode(hid.path));
        }
    }
    return problem;
}

}  // namespace quorix::platform
