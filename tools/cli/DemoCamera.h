// A simulated network camera run inside the quorix-cli process for the `demo` command. The
// simulator stays behind this class so the rest of the tool sees only the public C API.
#pragma once

#include <memory>
#include <string>

namespace quorix::sim {
class SimCamera;
class SimUsbBus;
class SimUsbCamera;
}  // namespace quorix::sim

namespace quorix::cli {

class DemoCamera {
public:
    DemoCamera();
    ~DemoCamera();
    DemoCamera(const DemoCamera&) = delete;
    DemoCamera& operator=(const DemoCamera&) = delete;

    // Starts a TK5P camera with this serial number on a loopback address 127.0.0.N (N >= 2);
    // it announces itself to 127.0.0.1:9007. False when it cannot start (address or ports
    // in use).
    bool Start(const std::string& address, const std::string& serial);
    // Plugs a simulated USB camera (a TK2A) with this serial number into a USB side of its
    // own (a sysfs tree in a temporary folder, capture and HID fakes) that the library then
    // enumerates instead of the machine's. Call it before the library is initialised; the
    // URI the library lists for it comes back in `uri`. False when it cannot be set up.
    // `deviceType` is its model (the demo streams a TK2A; upgrades need a model that takes
    // images, such as the TK5U).
    bool StartUsb(const std::string& serial, std::string& uri, uint32_t deviceType);
    // Stops the camera; call it after the library was shut down when a USB camera ran.
    void Stop();

private:
    std::unique_ptr<sim::SimCamera> m_camera;
    std::string m_usbRoot;
    std::unique_ptr<sim::SimUsbBus> m_bus;
    std::unique_ptr<sim::SimUsbCamera> m_usbCamera;
};

}  // namespace quorix::cli
