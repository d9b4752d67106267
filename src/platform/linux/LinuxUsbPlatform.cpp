// The Linux USB platform. Enumeration through sysfs and hot-plug through udev come with
// USB camera support; until then no USB camera is present and no event arrives.
#include <condition_variable>
#include <mutex>

#include "platform/UsbPlatform.h"

namespace quorix::platform {
namespace {

class LinuxUsbPlatform final : public UsbPlatform {
public:
    std::vector<UsbInterface> VideoInterfaces() override { return {}; }
    std::vector<UsbInterface> HidInterfaces() override { return {}; }

    bool WaitForEvent(UsbEvent&, std::chrono::milliseconds timeout) override {
        std::unique_lock lock(m_lock);
        const uint64_t wakes = m_wakes;
        m_wake.wait_for(lock, timeout, [&] { return m_wakes != wakes; });
        return false;
    }

    void Wake() override {
        {
            std::lock_guard guard(m_lock);
            ++m_wakes;
        }
        m_wake.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    uint64_t m_wakes = 0;
};

UsbPlatform* g_override = nullptr;

}  // namespace

UsbPlatform& Usb() {
    static LinuxUsbPlatform system;
    return g_override != nullptr ? *g_override : system;
}

void SetUsbPlatformForTesting(UsbPlatform* platform) { g_override = platform; }

}  // namespace quorix::platform
