// The live set of handle cells and the handle check every handle-taking export runs.
#include "api/Handles.h"

#include <mutex>
#include <unordered_set>

#include "device/BaseDevice.h"
#include "device/DeviceManager.h"

namespace quorix {
namespace {

struct HandleCell {
    BaseDevice* device;
};
static_assert(sizeof(HandleCell) == 8);

std::mutex g_handleLock;
std::unordered_set<const void*>& LiveCells() {
    static auto* cells = new std::unordered_set<const void*>;
    return *cells;
}

}  // namespace

NsDeviceHandle NewHandle(BaseDevice* device) {
    auto* cell = new HandleCell{device};
    std::lock_guard guard(g_handleLock);
    LiveCells().insert(cell);
    return cell;
}

bool FreeHandle(NsDeviceHandle handle, BaseDevice** device) {
    HandleCell* cell = static_cast<HandleCell*>(handle);
    {
        std::lock_guard guard(g_handleLock);
        if (LiveCells().erase(cell) == 0) {
            return false;
        }
    }
    if (device != nullptr) {
        *device = cell->device;
    }
    delete cell;
    return true;
}

bool IsLiveHandle(NsDeviceHandle handle) {
    std::lock_guard guard(g_handleLock);
    return LiveCells().count(handle) != 0;
}

void ForgetAllDevices() {
    std::lock_guard guard(g_handleLock);
    for (const void* cell : LiveCells()) {
        static_cast<HandleCell*>(const_cast<void*>(cell))->device = nullptr;
    }
}

int32_t FindSession(NsDeviceHandle handle, uint32_t sessionIndex, BaseSession** session) {
    if (session != nullptr) {
        *session = nullptr;
    }
    if (handle == nullptr) {
        return -3;
    }
    BaseDevice* device = nullptr;
    {
        std::lock_guard guard(g_handleLock);
        if (LiveCells().count(handle) == 0) {
            return -3;
        }
        device = static_cast<HandleCell*>(handle)->device;
    }
    if (device == nullptr || !DeviceManager::Instance().IsValidDevice(device)) {
        return -3;
    }
    BaseSession* found = device->GetSession(sessionIndex);
    if (found == nullptr) {
        return -3;
    }
    if (session != nullptr) {
        *session = found;
    }
    return 0;
}

}  // namespace quorix
