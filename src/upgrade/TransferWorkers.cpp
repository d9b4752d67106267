// Hand-over state of the transfer workers and their process-wide instances.
#include "upgrade/TransferWorkers.h"

#include <memory>

#include "model/ModelTraits.h"

namespace quorix {
namespace {

std::mutex g_instanceLock;
std::unique_ptr<Upgrade> g_upgrade;
std::unique_ptr<JsonCtl> g_jsonCtl;

}  // namespace

void TransferWorker::SetDeviceFound(bool found) {
    std::lock_guard guard(m_lock);
    m_deviceFound = found;
}

bool TransferWorker::DeviceFound() const {
    std::lock_guard guard(m_lock);
    return m_deviceFound;
}

void TransferWorker::SetSessionInfo(const SessionInfo& info) {
    std::lock_guard guard(m_lock);
    m_sessionInfo = info;
}

SessionInfo TransferWorker::GetSessionInfo() const {
    std::lock_guard guard(m_lock);
    return m_sessionInfo;
}

void TransferWorker::SetDevicePath(const std::string& path) {
    std::lock_guard guard(m_lock);
    m_devicePath = path;
}

std::string TransferWorker::DevicePath() const {
    std::lock_guard guard(m_lock);
    return m_devicePath;
}

void TransferWorker::FindWaitingDevice(const FindHidInterface& find, uint16_t productId) {
    std::string path;
    if (find(path, kVendorQuorix, productId)) {
        SetDevicePath(path);
        SetDeviceFound(true);
    }
}

Upgrade& Upgrade::Instance() {
    std::lock_guard guard(g_instanceLock);
    if (!g_upgrade) {
        g_upgrade = std::make_unique<Upgrade>();
    }
    return *g_upgrade;
}

bool Upgrade::Exists() {
    std::lock_guard guard(g_instanceLock);
    return g_upgrade != nullptr;
}

void Upgrade::Destroy() {
    std::lock_guard guard(g_instanceLock);
    g_upgrade.reset();
}

void Upgrade::EnumUpgradeDevice(const FindHidInterface& find) {
    FindWaitingDevice(find, kProductUpgrade);
}

JsonCtl& JsonCtl::Instance() {
    std::lock_guard guard(g_instanceLock);
    if (!g_jsonCtl) {
        g_jsonCtl = std::make_unique<JsonCtl>();
    }
    return *g_jsonCtl;
}

bool JsonCtl::Exists() {
    std::lock_guard guard(g_instanceLock);
    return g_jsonCtl != nullptr;
}

void JsonCtl::Destroy() {
    std::lock_guard guard(g_instanceLock);
    g_jsonCtl.reset();
}

void JsonCtl::EnumHIDDevice(const FindHidInterface& find) {
    FindWaitingDevice(find, kProductJsonTransfer);
}

}  // namespace quorix
