// The process-wide firmware-upgrade and JSON-transfer workers, as far as the device
// manager hands cameras over to them: a camera found waiting in transfer mode (its session
// record, or the path of its upgrade-mode HID interface) and the device-found byte. The
// transfers themselves come with firmware support; until then a hand-over is only kept.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "model/SessionInfo.h"

namespace quorix {

// Finds the path of a present HID interface by its vendor and product id. USB discovery
// belongs to the device list, above the workers, so the device manager hands it in.
using FindHidInterface =
    std::function<bool(std::string& path, uint32_t vendorId, uint32_t productId)>;

class TransferWorker {
public:
    explicit TransferWorker(std::string name) : m_name(std::move(name)) {}
    virtual ~TransferWorker() = default;

    void SetDeviceFound(bool found);
    bool DeviceFound() const;
    void SetSessionInfo(const SessionInfo& info);
    SessionInfo GetSessionInfo() const;
    void SetDevicePath(const std::string& path);
    std::string DevicePath() const;
    // Looks for a camera already waiting in transfer mode (at creation).
    void FindWaitingDevice(const FindHidInterface& find, uint16_t productId);
    const std::string& Name() const { return m_name; }

private:
    const std::string m_name;
    mutable std::mutex m_lock;
    bool m_deviceFound = false;
    SessionInfo m_sessionInfo;
    std::string m_devicePath;
};

// Firmware upgrade ("Upgrade").
class Upgrade final : public TransferWorker {
public:
    Upgrade() : TransferWorker("Upgrade") {}
    // The process-wide worker, created when absent.
    static Upgrade& Instance();
    static bool Exists();
    // Stops and destroys the worker (library shutdown).
    static void Destroy();
    void EnumUpgradeDevice(const FindHidInterface& find);
};

// JSON configuration transfer ("JsonCtl").
class JsonCtl final : public TransferWorker {
public:
    JsonCtl() : TransferWorker("JsonCtl") {}
    static JsonCtl& Instance();
    static bool Exists();
    static void Destroy();
    void EnumHIDDevice(const FindHidInterface& find);
};

}  // namespace quorix
