// The live table of handles, the handle check every handle-taking export runs, and
// the end of a device that calls may still be inside.
#include "api/Handles.h"

#include <mutex>
#include <thread>
#include <unordered_map>

#include "base/Status.h"
#include "device/BaseDevice.h"
#include "device/DeviceManager.h"
#include "log/Log.h"

namespace quorix {
namespace {

// Handle values are tokens, never reused: a freed cell's address came back from the next
// open, so a stale copy of a closed handle reached (and could close) the next device
// opened. The values lie outside the canonical address range: never the address of
// anything, and a dereference faults at once.
constexpr uintptr_t kHandleBase = 0x5158000000000000u;
constexpr uintptr_t kHandleStep = 16;
uintptr_t g_lastHandle = kHandleBase;  // under g_handleLock

std::mutex g_handleLock;
std::unordered_map<const void*, std::shared_ptr<BaseDevice>>& LiveCells() {
    static auto* cells = new std::unordered_map<const void*, std::shared_ptr<BaseDevice>>;
    return *cells;
}

}  // namespace

NsDeviceHandle NewHandle(std::shared_ptr<BaseDevice> device) {
    std::lock_guard guard(g_handleLock);
    g_lastHandle += kHandleStep;
    auto* handle = reinterpret_cast<NsDeviceHandle>(g_lastHandle);
    LiveCells().emplace(handle, std::move(device));
    return handle;
}

bool TakeHandle(NsDeviceHandle handle, std::shared_ptr<BaseDevice>* device) {
    std::shared_ptr<BaseDevice> owned;
    {
        std::lock_guard guard(g_handleLock);
        const auto found = LiveCells().find(handle);
        if (found == LiveCells().end()) {
            return false;
        }
        owned = std::move(found->second);
        LiveCells().erase(found);
    }
    if (device != nullptr) {
        *device = std::move(owned);
    }
    return true;
}

std::vector<std::shared_ptr<BaseDevice>> ForgetAllDevices() {
    std::vector<std::shared_ptr<BaseDevice>> devices;
    std::lock_guard guard(g_handleLock);
    for (auto& [handle, device] : LiveCells()) {
        if (device) {
            devices.push_back(std::move(device));
        }
    }
    return devices;
}

int32_t FindSession(NsDeviceHandle handle, uint32_t sessionIndex, DeviceCall* call) {
    if (call != nullptr) {
        *call = DeviceCall{};
    }
    if (handle == nullptr) {
        return kStatusBadHandle;
    }
    std::shared_ptr<BaseDevice> device;
    {
        std::lock_guard guard(g_handleLock);
        const auto found = LiveCells().find(handle);
        if (found == LiveCells().end()) {
            return kStatusBadHandle;
        }
        device = found->second;
    }
    if (!device || device->IsClosing() || !DeviceManager::Instance().IsValidDevice(device.get())) {
        return kStatusBadHandle;
    }
    BaseSession* session = device->GetSession(sessionIndex);
    if (session == nullptr) {
        return kStatusBadHandle;
    }
    if (call != nullptr) {
        call->device = std::move(device);
        call->session = session;
    }
    return 0;
}

void RetireDevice(std::shared_ptr<BaseDevice> device, std::chrono::milliseconds limit) {
    if (!device) {
        return;
    }
    device->BeginClose();
    // No handle and no device record reaches the device any more, so the count only falls.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (device.use_count() > 1 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (device.use_count() > 1) {
        QLOG("devicetype:%d: %d calls still inside after %d ms; the last one ends it.\n",
             static_cast<int>(device->Identity().deviceType),
             static_cast<int>(device.use_count() - 1), static_cast<int>(limit.count()));
    }
    device.reset();
}

}  // namespace quorix
