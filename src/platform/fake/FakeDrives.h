// A scripted set of removable drives for tests: folders that "come up" when a test adds
// them, each on the USB device the test names.
#pragma once

#include <mutex>

#include "platform/RemovableDrives.h"

namespace quorix::platform {

class FakeDrives final : public DrivePlatform {
public:
    void Add(const std::string& root, const std::string& usbDevice) {
        std::lock_guard guard(m_lock);
        m_drives.push_back({root, usbDevice});
    }
    // The drive at `root` goes (unmounted, or its device unplugged).
    void Remove(const std::string& root) {
        std::lock_guard guard(m_lock);
        std::erase_if(m_drives, [&](const RemovableDrive& d) { return d.root == root; });
    }
    std::vector<RemovableDrive> Drives() override {
        std::lock_guard guard(m_lock);
        return m_drives;
    }

private:
    std::mutex m_lock;
    std::vector<RemovableDrive> m_drives;
};

}  // namespace quorix::platform
