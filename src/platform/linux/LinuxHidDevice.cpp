// HID interfaces on Linux through hidapi's hidraw backend.
#include <hidapi/hidapi.h>
#include <cerrno>
#include <mutex>

#include "platform/HidDevice.h"

namespace quorix::platform {
namespace {

class HidapiDevice final : public HidDevice {
public:
    explicit HidapiDevice(hid_device* device) : m_device(device) {}
    ~HidapiDevice() override { hid_close(m_device); }

    // hidraw takes a report at once or fails: the kernel queues it for the interrupt
    // endpoint, so the write has no wait of its own to bound.
    int32_t Write(const uint8_t* report, size_t size, std::chrono::milliseconds) override {
        errno = 0;
        const int written = hid_write(m_device, report, size);
        return written >= 0 ? written : -(errno != 0 ? errno : EIO);
    }

    int32_t Read(uint8_t* report, size_t size, std::chrono::milliseconds timeout) override {
        errno = 0;
        const int read =
            hid_read_timeout(m_device, report, size, static_cast<int>(timeout.count()));
        return read >= 0 ? read : -(errno != 0 ? errno : ENODEV);
    }

private:
    hid_device* const m_device;
};

class HidapiPlatform final : public HidPlatform {
public:
    std::unique_ptr<HidDevice> Open(const std::string& node, int& error) override {
        {
            std::lock_guard guard(m_lock);
            if (!m_initialised && hid_init() != 0) {
                error = EIO;
                return nullptr;
            }
            m_initialised = true;
        }
        errno = 0;
        hid_device* device = hid_open_path(node.c_str());
        if (device == nullptr) {
            error = errno != 0 ? errno : ENODEV;
            return nullptr;
        }
        error = 0;
        return std::make_unique<HidapiDevice>(device);
    }

private:
    std::mutex m_lock;
    bool m_initialised = false;
};

HidPlatform* g_hidOverride = nullptr;

}  // namespace

HidPlatform& Hid() {
    static HidapiPlatform system;
    return g_hidOverride != nullptr ? *g_hidOverride : system;
}

void SetHidPlatformForTesting(HidPlatform* platform) {
    g_hidOverride = platform;
}

}  // namespace quorix::platform
