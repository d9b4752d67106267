// The demo's simulated camera.
#include "cli/DemoCamera.h"

#include <quorix/quorix_api.h>

#include "sim/SimCamera.h"

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

void DemoCamera::Stop() {
    if (m_camera) {
        m_camera->Stop();
        m_camera.reset();
    }
}

}  // namespace quorix::cli
