// The demo's simulated camera.
#include "cli/DemoCamera.h"

#include <quorix/quorix_api.h>

#include <stdlib.h>

#include <filesystem>

#include "api/PrivateExports.h"
#include "sim/SimCamera.h"
#include "sim/SimUsbCamera.h"

namespace quorix::cli {

DemoCamera::DemoCamera() = default;

DemoCamera::~DemoCamera() {
    Stop();
}

bool DemoCamera::Start(const std::string& address, const std::string& serial) {
    Stop();
    sim::SimConfig config;
    config.address = address;
    config.deviceType = TK5P;
    config.serial = serial;
    config.farewellOnStop = true;
    m_camera = std::make_unique<sim::SimCamera>(config);
    // Depth and IR together, so the demo shows every kind of frame.
    m_camera->UpdateState([](sim::SimState& s) { s.sensors[0].dataMode = 2; });
    if (m_camera->Start() != 0) {
        m_camera.reset();
        return false;
    }
    return true;
}

bool DemoCamera::StartUsb(const std::string& serial, std::string& uri, uint32_t deviceType) {
    Stop();
    char root[] = "/tmp/quorix-usb-demo-XXXXXX";
    if (mkdtemp(root) == nullptr) {
        return false;
    }
    m_usbRoot = root;
    m_bus = std::make_unique<sim::SimUsbBus>(m_usbRoot);
    sim::SimUsbConfig config;
    config.deviceType = deviceType;
    config.serial = serial;
    m_usbCamera = std::make_unique<sim::SimUsbCamera>(*m_bus, config);
    // The library enumerates this bus with the same Linux code it runs on the machine's.
    if (NsPrivate_SetUsbPlatforms(&m_bus->Platform(), &m_bus->Kernel(), &m_bus->Hid(),
                                  &m_bus->Drives()) != NsStatusOk) {
        Stop();
        return false;
    }
    m_usbCamera->Plug();
    uri = m_usbCamera->VideoPath();
    return true;
}

void DemoCamera::Stop() {
    if (m_camera) {
        m_camera->Stop();
        m_camera.reset();
    }
    if (m_bus) {
        NsPrivate_SetUsbPlatforms(nullptr, nullptr, nullptr, nullptr);
        m_usbCamera.reset();
        m_bus.reset();
        std::error_code ec;
        std::filesystem::remove_all(m_usbRoot, ec);
    }
}

}  // namespace quorix::cli
