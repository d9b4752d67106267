// A simulated network camera run inside the quorix-cli process for the `demo` command. The
// simulator stays behind this class so the rest of the tool sees only the public C API.
#pragma once

#include <memory>
#include <string>

namespace quorix::sim {
class SimCamera;
}

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
    void Stop();

private:
    std::unique_ptr<sim::SimCamera> m_camera;
};

}  // namespace quorix::cli
