// The device list, its worker pass, hot-plug reporting, open and release.
#include "device/DeviceManager.h"

#include <unistd.h>
#include <algorithm>
#include <cstring>
#include <exception>
#include <thread>

#include "base/Status.h"
#include "device/BaseDevice.h"
#include "device/EnumUsbDevice.h"
#include "log/Log.h"
#include "platform/UsbPlatform.h"
#include "upgrade/TransferWorkers.h"

namespace quorix {
namespace {

std::mutex g_instanceLock;
std::unique_ptr<DeviceManager> g_instance;

// USB models whose records go Unconnected when enumeration no longer finds them.
bool VanishesFromEnumeration(uint32_t type) {
    return TraitsOf(type).vanishesFromEnumeration;
}

const char* FirstPath(const DeviceInfo& r) {
    return r.sessions.empty() ? "" : r.sessions[0].usb.path;
}

}  // namespace

DeviceManager& DeviceManager::Instance() {
    std::lock_guard guard(g_instanceLock);
    if (!g_instance) {
        g_instance.reset(new DeviceManager());
        g_instance->m_detect.SetNotifier(g_instance.get());
        g_instance->m_detect.Start();
    }
    return *g_instance;
}

bool DeviceManager::Exists() {
    std::lock_guard guard(g_instanceLock);
    return g_instance != nullptr;
}

void DeviceManager::Destroy() {
    std::unique_ptr<DeviceManager> doomed;
    {
        std::lock_guard guard(g_instanceLock);
        doomed = std::move(g_instance);
    }
    doomed.reset();
}

DeviceManager::DeviceManager() : StoppableThread("DeviceManager") {
    Upgrade::Instance().EnumUpgradeDevice(FindHIDDeviceByVIDandPID);
    JsonCtl::Instance().EnumHIDDevice(FindHIDDeviceByVIDandPID);
    const std::vector<UsbEntry> entries = EnumUSBDevice();
    {
        std::lock_guard guard(m_lock);
        AddEnumeratedRecords(entries);
    }
    m_discovery.Listen();
    m_discovery.Start();
}

DeviceManager::~DeviceManager() {
    // The worker and the watchers use the list: they stop before it goes.
    if (State() == kRunning) {
        Stop();
    }
    if (HasThread()) {
        Join();
    }
    if (m_discovery.State() == kRunning) {
        m_discovery.Stop();
    }
    if (m_discovery.HasThread()) {
        m_discovery.Join();
    }
    m_detect.Stop();
    if (m_detect.HasThread()) {
        m_detect.Join();
    }
    std::vector<std::unique_ptr<DeviceInfo>> records;
    {
        std::lock_guard guard(m_lock);
        records.swap(m_list);
    }
    records.clear();  // devices close outside the lock: their threads may call back in
}

// ---- lookups (lock held) -----------------------------------------------------------------

// Whole paths only: "/dev/video1" begins "/dev/video10", and USB port "1-1" begins "1-1.2".
DeviceInfo* DeviceManager::FindByUri(const std::string& path) {
    if (path.empty()) {
        return nullptr;
    }
    for (auto& r : m_list) {
        if (path == r->uri) {
            return r.get();
        }
    }
    return nullptr;
}

DeviceInfo* DeviceManager::FindByAlias(const char* alias, const DeviceInfo* except) {
    if (alias == nullptr || alias[0] == '\0') {
        return nullptr;  // an empty alias names no camera
    }
    for (auto& r : m_list) {
        if (r.get() != except && strcmp(r->alias, alias) == 0) {
            return r.get();
        }
    }
    return nullptr;
}

void DeviceManager::AddEnumeratedRecords(const std::vector<UsbEntry>& entries) {
    for (const UsbEntry& entry : entries) {
        if (FindByUri(entry.path) != nullptr) {
            continue;
        }
        auto r = std::make_unique<DeviceInfo>(entry.deviceType);
        if (!r->sessions.empty()) {
            SessionInfo& s = r->sessions[0];
            s.linkType = kLinkUsb;
            s.usb.interfaceKind = entry.interfaceKind;
            CopyText(s.usb.path, entry.path.c_str());
            CopyText(s.usb.companionPath, entry.companionPath.c_str());
        }
        CopyText(r->uri, entry.path.c_str());
        r->pending = HotPlugEvent::kAdded;
        m_list.push_back(std::move(r));
    }
}

void DeviceManager::UpdateDeviceInfoListForGetCameraCount(const std::vector<UsbEntry>& entries) {
    for (const UsbEntry& entry : entries) {
        DeviceInfo* r = FindByUri(entry.path);
        if (r == nullptr) {
            AddEnumeratedRecords({entry});
        } else if (r->notified == HotPlugEvent::kRemoved) {
            r->pending = HotPlugEvent::kAdded;
        } else if (!r->sessions.empty() && !r->device) {
            // An opened camera's channels belong to its session: a temporary protocol for the
            // alias would share them and close them under the stream.
            char alias[64];
            if (GetAlias(alias, r->deviceType, r->sessions[0]) == 0 &&
                strcmp(alias, r->alias) != 0) {
                DeviceInfo* other = FindByAlias(alias, r);
                if (other != nullptr && other->notified == HotPlugEvent::kAdded) {
                    QLOG(" enum -- tisFound \n");
                } else {
                    r->pending = HotPlugEvent::kAdded;
                }
            }
        }
    }
    for (auto& r : m_list) {
        bool listed = false;
        for (const UsbEntry& entry : entries) {
            listed = listed || entry.path == r->uri;
        }
        if (!listed && !r->device && VanishesFromEnumeration(r->deviceType)) {
            r->status = Unconnected;
            r->notified = HotPlugEvent::kRemoved;
        }
    }
}

// ---- queries -------------------------------------------------------------------------------

uint32_t DeviceManager::GetCameraCount() {
    const std::vector<UsbEntry> entries = EnumUSBDevice();
    std::lock_guard guard(m_lock);
    UpdateDeviceInfoListForGetCameraCount(entries);
    uint32_t count = 0;
    for (auto& r : m_list) {
        QLOG("alias:%s  uri:%s type:%d , %d %d %d \n", r->alias, r->uri,
             static_cast<int>(r->deviceType), static_cast<int>(r->status),
             static_cast<int>(r->pending), static_cast<int>(r->notified));
        if (r->IsReported()) {
            ++count;
        }
    }
    return count;
}

int32_t DeviceManager::GetDeviceInfoList(NsDeviceInfo* list, uint32_t count) {
    if (list == nullptr) {
        QLOG_WARN("pDevicesList is NULL.\n");
        return kStatusNullPointer;
    }
    std::lock_guard guard(m_lock);
    uint32_t written = 0;
    for (size_t i = 0; i < m_list.size() && written < count; ++i) {
        const DeviceInfo& r = *m_list[i];
        if (!r.IsReported()) {
            continue;
        }
        QLOG(" %d  %d  alias:%s  uri:%s type:%d , %d %d %d \n", static_cast<int>(i),
             static_cast<int>(written), r.alias, r.uri, static_cast<int>(r.deviceType),
             static_cast<int>(r.status), static_cast<int>(r.pending), static_cast<int>(r.notified));
        list[written++] = r.Snapshot();
    }
    return 0;
}

int32_t DeviceManager::GetDeviceInfo(NsDeviceInfo* record, uint32_t index) {
    if (record == nullptr) {
        QLOG_WARN("pDevices is NULL.\n");
        return kStatusNullPointer;
    }
    std::lock_guard guard(m_lock);
    // Only reported records are numbered: a record the list holds but does not report (a
    // closed network camera not heard since) is no device the caller can open.
    uint32_t n = 0;
    for (auto& r : m_list) {
        if (r->IsReported() && n++ == index) {
            *record = r->Snapshot();
            return 0;
        }
    }
    QLOG_WARN("deviceCount:%d is invalid.\n", static_cast<int>(index));
    return kStatusBadParameter;
}

std::vector<NsDeviceInfo> DeviceManager::AllRecords() {
    std::lock_guard guard(m_lock);
    std::vector<NsDeviceInfo> out;
    for (auto& r : m_list) {
        out.push_back(r->Snapshot());
    }
    return out;
}

bool DeviceManager::CheckOpened(const char* key, bool byAlias) {
    if (key == nullptr) {
        if (byAlias) {
            QLOG_WARN("alias:%s is invalid.\n", "(null)");
        } else {
            QLOG_WARN("uri:%s is invalid.\n", "(null)");
        }
        return false;
    }
    std::lock_guard guard(m_lock);
    for (auto& r : m_list) {
        const char* field = byAlias ? r->alias : r->uri;
        if (strcmp(field, key) == 0 && r->status == Opened) {
            if (byAlias) {
                QLOG("alias:%s is found in the device list.%d %d %d \n", key,
                     static_cast<int>(r->status), static_cast<int>(r->pending),
                     static_cast<int>(r->notified));
            } else {
                QLOG("uri:%s is found in the device list.%d %d %d \n", key,
                     static_cast<int>(r->status), static_cast<int>(r->pending),
                     static_cast<int>(r->notified));
            }
            return true;
        }
    }
    return false;
}

bool DeviceManager::checkOpenedByURI(const char* uri) {
    return CheckOpened(uri, false);
}
bool DeviceManager::checkOpenedByAlias(const char* alias) {
    return CheckOpened(alias, true);
}

// ---- open and release ------------------------------------------------------------------------

std::shared_ptr<BaseDevice> DeviceManager::Open(const char* key, bool byAlias) {
    if (key == nullptr) {
        QLOG_WARN("uri:%s is invalid.\n", "(null)");
        return nullptr;
    }
    // The camera is built and opened without the list lock: opening talks to it (connects
    // of up to 5 s, then command exchanges), and every call on every other handle checks its
    // device against the list, so they all waited for it. The caller serialises opens (the C
    // interface's open lock): no other open of this record runs meanwhile.
    std::shared_ptr<BaseDevice> device;
    const DeviceInfo* record = nullptr;
    DeviceIdentity identity;
    {
        Lock lock(m_lock);
        QLOG("%d  %s\n", static_cast<int>(m_list.size()), key);
        for (auto& rp : m_list) {
            DeviceInfo& r = *rp;
            QLOG("%d %d %d %s %s\n", static_cast<int>(r.status), static_cast<int>(r.pending),
                 static_cast<int>(r.notified), r.uri, r.alias);
            if (strcmp(byAlias ? r.alias : r.uri, key) != 0) {
                continue;
            }
            if (r.status == ConnectUNKNOWN || r.status == Unconnected) {
                QLOG(" ---- %d   %d   %d\n", static_cast<int>(r.status),
                     static_cast<int>(r.pending), static_cast<int>(r.notified));
                r.notified = HotPlugEvent::kNone;
                continue;
            }
            if (r.device && r.status == Opened) {
                return r.device;
            }
            device = r.device;
            identity = r;
            record = rp.get();
            break;
        }
        if (record == nullptr) {
            LogOpenFailure(key);
            return nullptr;
        }
    }
    if (!device) {
        // Built without the lock too: a device allocates its frame pools (tens of MB).
        device = std::make_shared<BaseDevice>(identity);
    }
    const bool opened = device->Open(0) == 0;
    Lock lock(m_lock);
    DeviceInfo* r = nullptr;
    for (auto& rp : m_list) {
        if (rp.get() == record && strcmp(byAlias ? rp->alias : rp->uri, key) == 0) {
            r = rp.get();  // still listed (not dropped while the camera was opened)
        }
    }
    if (opened && r != nullptr && (!r->device || r->device == device)) {
        r->device = device;
        r->status = Opened;
        QLOG("ok %d %d %d %s %s\n", static_cast<int>(r->status), static_cast<int>(r->pending),
             static_cast<int>(r->notified), r->uri, r->alias);
        return device;
    }
    if (r != nullptr) {
        QLOG_ERROR("open failed delete %d %d %d %s %s\n", static_cast<int>(r->status),
                   static_cast<int>(r->pending), static_cast<int>(r->notified), r->uri, r->alias);
        r->notified = HotPlugEvent::kNone;
    }
    LogOpenFailure(key);
    lock.unlock();
    device.reset();  // its sessions close without the list lock
    if (identity.sessions.size() > 0 && identity.sessions[0].linkType == kLinkUsb) {
        // The usual reason on Linux: the camera's nodes are not the user's.
        const std::string problem = platform::UsbCameraAccessProblem(identity.uri);
        if (!problem.empty()) {
            QLOG_ERROR("%s\n", problem.c_str());
        }
    }
    return nullptr;
}

void DeviceManager::LogOpenFailure(const char* key) {
    QLOG_ERROR("uri:%s open failed.\n", key);
    for (auto& r : m_list) {
        QLOG("in the device list ---- %s %s   %d   %d   %d\n", r->uri, r->alias,
             static_cast<int>(r->status), static_cast<int>(r->pending),
             static_cast<int>(r->notified));
    }
}

std::shared_ptr<BaseDevice> DeviceManager::OpenDevice(const char* uri) {
    return Open(uri, false);
}
std::shared_ptr<BaseDevice> DeviceManager::OpenDeviceByAlias(const char* alias) {
    return Open(alias, true);
}

void DeviceManager::ReleaseDevice(BaseDevice* device) {
    if (device == nullptr) {
        return;
    }
    std::shared_ptr<BaseDevice> doomed;
    {
        std::lock_guard guard(m_lock);
        for (auto& rp : m_list) {
            DeviceInfo& r = *rp;
            if (r.device.get() != device) {
                continue;
            }
            QLOG("-- %d %d %d %s %s\n", static_cast<int>(r.status), static_cast<int>(r.pending),
                 static_cast<int>(r.notified), r.uri, r.alias);
            const bool gone = IsNetworkDeviceType(r.deviceType) ||
                              r.notified == HotPlugEvent::kRemoved ||
                              r.pending == HotPlugEvent::kRemoved;
            r.status = gone ? Unconnected : Connected;
            doomed = std::move(r.device);
            QLOG("++ %d %d %d %s %s\n", static_cast<int>(r.status), static_cast<int>(r.pending),
                 static_cast<int>(r.notified), r.uri, r.alias);
            r.notified = HotPlugEvent::kNone;
            break;
        }
    }
    // Let go without the list lock: should this be the last owner, the device's threads
    // may be inside library calls.
    doomed.reset();
}

bool DeviceManager::IsValidDevice(BaseDevice* device) {
    if (device == nullptr) {
        return false;
    }
    uint32_t type = 0;
    {
        std::lock_guard guard(m_lock);
        const DeviceInfo* found = nullptr;
        for (auto& r : m_list) {
            if (r->device.get() == device) {
                found = r.get();
                break;
            }
        }
        if (found == nullptr) {
            return false;
        }
        if (found->status == Opened || m_upgradeFlag.load() != TransferKind::kNone) {
            return true;
        }
        type = found->deviceType;
    }
    if (!IsNetworkDeviceType(type)) {
        return false;
    }
    std::this_thread::sleep_for(kNetworkRevalidateWait);  // a reconnecting camera may come back
    std::lock_guard guard(m_lock);
    for (auto& r : m_list) {
        if (r->device.get() == device) {
            return r->status == Opened;
        }
    }
    return false;
}

// ---- events --------------------------------------------------------------------------------

void DeviceManager::WaitForCallbacks(std::unique_lock<std::mutex>& lock) {
    const std::thread::id self = std::this_thread::get_id();
    m_callbackIdle.wait(lock, [&] {
        // A callback that replaces itself cannot wait for its own call.
        return m_callbackThreads.empty() ||
               (m_callbackThreads.size() == 1 && m_callbackThreads[0] == self);
    });
}

void DeviceManager::SetHotPlugCallback(NsHotPlugCallback callback) {
    std::unique_lock lock(m_callbackLock);
    m_callback = callback;
    WaitForCallbacks(lock);
}

void DeviceManager::SetHotPlugCallbackEx(NsHotPlugCallbackEx callback, void* context) {
    std::unique_lock lock(m_callbackLock);
    m_callbackEx = callback;
    m_callbackContext = context;
    WaitForCallbacks(lock);
}

void DeviceManager::HotplugCallback(const NsDeviceInfo& snapshot, int32_t event) {
    QLOG("%d %s %s  threadid:%d \n", event, snapshot.alias, snapshot.uri,
         static_cast<int>(gettid()));
    NsHotPlugCallback first;
    NsHotPlugCallbackEx second;
    void* context;
    {
        std::lock_guard guard(m_callbackLock);
        first = m_callback;
        second = m_callbackEx;
        context = m_callbackContext;
        m_callbackThreads.push_back(std::this_thread::get_id());
    }
    if (first != nullptr) {
        first(&snapshot, event);
    }
    if (second != nullptr) {
        second(&snapshot, event, context);
    }
    {
        std::lock_guard guard(m_callbackLock);
        m_callbackThreads.erase(std::find(m_callbackThreads.begin(), m_callbackThreads.end(),
                                          std::this_thread::get_id()));
    }
    m_callbackIdle.notify_all();
}

void DeviceManager::Report(Lock& lock, const NsDeviceInfo& snapshot, int32_t event) {
    if (lock.owns_lock()) {
        lock.unlock();
    }
    bool any;
    {
        std::lock_guard guard(m_callbackLock);
        any = m_callback != nullptr || m_callbackEx != nullptr;
    }
    if (!any) {
        return;
    }
    std::thread reporter([this, snapshot, event] { HotplugCallback(snapshot, event); });
    reporter.join();
}

bool DeviceManager::OnMessage(const ArrivalMessage& m) {
    try {
        QLOG("type:%d deviceType:%d (0x%04x, 0x%04x) devicePath:%s\n", static_cast<int>(m.event),
             static_cast<int>(m.interfaceKind), m.vendorId, m.productId, m.path.c_str());
        if (m.interfaceKind == 0 && m.event == 1) {
            std::lock_guard guard(m_lock);
            if (DeviceInfo* r = FindByUri(m.path)) {
                r->status = Unconnected;
                if (r->device) {
                    QLOG("find remove\n");
                    r->device->SetConnectStatus(1);
                    if (r->pending == HotPlugEvent::kNone || r->notified == HotPlugEvent::kAdded) {
                        QLOG("do remove\n");
                        r->pending = HotPlugEvent::kRemoved;
                    }
                } else {
                    // Not reported as a removal, so the camera counts as new when it returns.
                    r->notified = HotPlugEvent::kRemoved;
                }
            }
        } else if (m.interfaceKind == 1 && m.event == 0) {
            TransferWorker* worker = nullptr;
            if (m.productId == kProductUpgrade) {
                worker = &Upgrade::Instance();
            } else if (m.productId == kProductJsonTransfer) {
                if (m_upgradeFlag.load() == TransferKind::kFirmware) {
                    worker = &Upgrade::Instance();
                } else if (m_upgradeFlag.load() == TransferKind::kJson) {
                    worker = &JsonCtl::Instance();
                }
            }
            if (worker != nullptr) {
                worker->SetDeviceFound(true);
                std::string path;
                if (FindHIDDeviceByVIDandPID(path, m.vendorId, m.productId)) {
                    worker->SetDevicePath(path);
                }
            }
        } else if (m.interfaceKind == 0 && m.event == 0) {
            const uint32_t type = UsbModelLookup(m.vendorId, m.productId);
            if (type != 0) {
                std::lock_guard guard(m_lock);
                if (DeviceInfo* r = FindByUri(m.path)) {
                    QLOG("find   %s %d %d %d \n", r->uri, static_cast<int>(r->status),
                         static_cast<int>(r->pending), static_cast<int>(r->notified));
                    // A camera already listed and present (counted before its arrival was
                    // read, or told again) stays listed: a pending add would hide it from
                    // the count until the next pass, opened and streaming as it is.
                    if (r->status == Unconnected || r->notified != HotPlugEvent::kAdded) {
                        r->pending = HotPlugEvent::kAdded;
                    }
                } else {
                    auto record = std::make_unique<DeviceInfo>(type);
                    if (!record->sessions.empty()) {
                        record->sessions[0].usb.interfaceKind = 2;
                        CopyText(record->sessions[0].usb.path, m.path.c_str());
                    }
                    CopyText(record->uri, m.path.c_str());
                    record->pending = HotPlugEvent::kAdded;
                    m_list.push_back(std::move(record));
                }
            }
        }
        QLOG("end\n");
    } catch (const std::exception& e) {
        QLOG("exception:%s\n", e.what());
    }
    return true;
}

// ---- the worker pass -----------------------------------------------------------------------

bool DeviceManager::Announce(Lock& lock, DeviceInfo& r) {
    if (!r.sessions.empty()) {
        SessionInfo& s = r.sessions[0];
        memset(s.usb.companionPath, 0, sizeof s.usb.companionPath);
        std::string hid;
        if (FindCompanionPath(s.usb.path, hid)) {
            CopyText(s.usb.companionPath, hid.c_str());
        }
    }
    r.status = Connected;
    QLOG("call back %d  %d  %d %s %s  %s\n", static_cast<int>(r.status),
         static_cast<int>(r.pending), static_cast<int>(r.notified), r.uri, r.alias, FirstPath(r));
    const NsDeviceInfo snapshot = r.Snapshot();
    r.notified = HotPlugEvent::kAdded;
    r.pending = HotPlugEvent::kNone;
    lock.unlock();
    QLOG("add %d   %d   %d   %s %s \n", static_cast<int>(snapshot.status), 0, -1, snapshot.uri,
         snapshot.alias);
    Report(lock, snapshot, NsHotPlugAdded);
    QLOG("add call back done ---- %d %d %d  %s %s\n", static_cast<int>(snapshot.status), -1, 0,
         snapshot.uri, snapshot.alias);
    return true;
}

// The camera of `from` came back under a new path: its record `to` takes the new path and
// the pending add, and `from` is left unconnected.
static void MoveArrivalInto(DeviceInfo& from, DeviceInfo& to) {
    memcpy(to.uri, from.uri, sizeof to.uri);
    memcpy(to.reserved, from.reserved, sizeof to.reserved);
    to.pending = from.pending;
    to.status = from.status;
    to.deviceType = from.deviceType;
    if (!to.sessions.empty() && !from.sessions.empty()) {
        memcpy(to.sessions[0].usb.path, from.sessions[0].usb.path, kUsbPathBytes);
    }
    from.pending = HotPlugEvent::kNone;
    from.notified = HotPlugEvent::kNone;
    from.status = Unconnected;
}

DeviceInfo* DeviceManager::FindStaleRecord(const char* alias, const DeviceInfo& except) {
    for (auto& s : m_list) {
        if (s.get() != &except && alias[0] != '\0' && strcmp(s->alias, alias) == 0 &&
            (s->status == Opened ||
             (s->status == Unconnected && s->notified == HotPlugEvent::kAdded))) {
            return s.get();
        }
    }
    return nullptr;
}

bool DeviceManager::ReportUsbRemoval(Lock& lock, DeviceInfo& r) {
    QLOG("call back %d  %d  %d %s %s  %s\n", static_cast<int>(r.status),
         static_cast<int>(r.pending), static_cast<int>(r.notified), r.uri, r.alias, FirstPath(r));
    const NsDeviceInfo snapshot = r.Snapshot();
    r.notified = HotPlugEvent::kRemoved;
    r.pending = HotPlugEvent::kNone;
    lock.unlock();
    QLOG("remove %d   %d   %d   %s %s \n", static_cast<int>(snapshot.status), -1, 1, snapshot.uri,
         snapshot.alias);
    Report(lock, snapshot, NsHotPlugRemoved);
    QLOG("call back done ---- %d %d %d  %s %s\n", static_cast<int>(snapshot.status), -1, 1,
         snapshot.uri, snapshot.alias);
    return true;
}

bool DeviceManager::UsbPendingEvent(Lock& lock, DeviceInfo& r) {
    if (r.pending == HotPlugEvent::kRemoved) {
        return ReportUsbRemoval(lock, r);
    }
    // A pending add.
    char alias[64] = {};
    if (r.status == Opened || r.sessions.empty() ||
        GetAlias(alias, r.deviceType, r.sessions[0]) != 0) {
        QLOG("not call back %d   %s   %s\n", static_cast<int>(r.status), r.uri, r.alias);
        r.pending = HotPlugEvent::kNone;
        return true;
    }
    DeviceInfo* target = &r;
    auto moveInto = [&](DeviceInfo& s) {
        MoveArrivalInto(r, s);
        target = &s;
    };
    auto newDevice = [&] {
        CopyText(r.alias, alias);
        QLOG("new device  %d   %d  %d  %s  %s\n", static_cast<int>(r.status),
             static_cast<int>(r.pending), static_cast<int>(r.notified), r.uri, r.alias);
    };
    if (r.alias[0] != '\0') {
        if (strcmp(r.alias, alias) != 0) {
            DeviceInfo* s = FindByAlias(alias, &r);
            if (m_list.size() < 2 || s == nullptr) {
                newDevice();
            } else {
                moveInto(*s);  // the camera came back under a new path
            }
        }
    } else if (m_list.size() < 2) {
        newDevice();
    } else {
        if (DeviceInfo* stale = FindStaleRecord(alias, r)) {
            QLOG(
                "the video num or devicepath has changed, but has no remove signal, has new add "
                "signal %d %d %d %s   %s\n",
                static_cast<int>(stale->status), static_cast<int>(stale->pending),
                static_cast<int>(stale->notified), stale->uri, stale->alias);
            const NsDeviceInfo snapshot = stale->Snapshot();
            stale->status = Unconnected;
            stale->notified = HotPlugEvent::kRemoved;
            stale->pending = HotPlugEvent::kNone;
            Report(lock, snapshot, NsHotPlugRemoved);
            return true;
        }
        if (DeviceInfo* s = FindByAlias(alias, &r)) {
            moveInto(*s);
            if (!r.device && strcmp(r.uri, s->uri) == 0) {
                QLOG("in and erase , %s\n", r.uri);
                for (auto it = m_list.begin(); it != m_list.end(); ++it) {
                    if (it->get() == &r) {
                        m_list.erase(it);
                        break;
                    }
                }
            }
        } else {
            newDevice();
        }
    }
    return Announce(lock, *target);
}

bool DeviceManager::UsbLostWhileStreaming(Lock& lock, DeviceInfo& r) {
    if (!TraitsOf(r.deviceType).companionRecheck || r.sessions.empty()) {
        return false;
    }
    std::string hid;
    if (FindCompanionPath(r.sessions[0].usb.path, hid)) {
        return false;
    }
    QLOG("  do REMOVE  %s  %d\n", r.uri, static_cast<int>(r.deviceType));
    r.status = Unconnected;
    r.device->SetConnectStatus(1);
    const NsDeviceInfo snapshot = r.Snapshot();
    r.notified = HotPlugEvent::kRemoved;
    r.pending = HotPlugEvent::kNone;
    Report(lock, snapshot, NsHotPlugRemoved);
    return true;
}

bool DeviceManager::RemoveNetworkRecord(Lock& lock, DeviceInfo& r, bool report) {
    r.status = Unconnected;
    if (r.device) {
        r.device->SetConnectStatus(1);
    }
    const NsDeviceInfo snapshot = r.Snapshot();
    r.notified = HotPlugEvent::kRemoved;
    r.pending = HotPlugEvent::kNone;
    if (report) {
        Report(lock, snapshot, NsHotPlugRemoved);
    } else {
        lock.unlock();
    }
    return true;
}

bool DeviceManager::WatchOpenedNetworkCamera(Lock& lock, DeviceInfo& r) {
    if (m_upgradeFlag.load() != TransferKind::kNone) {
        return false;
    }
    if (r.missCount > 2 || !r.device->IsAlive()) {
        QLOG(" socket remove  %d %s\n", r.missCount, r.alias);
        r.missCount = 0;
        return RemoveNetworkRecord(lock, r, r.notified != HotPlugEvent::kRemoved);
    }
    // The poll talks to the camera (a reply may take 2 s, after the camera's other commands
    // in flight): not under the list lock, which every call on every handle takes. The
    // record is looked for again afterwards; it may have gone meanwhile.
    std::shared_ptr<BaseDevice> device = r.device;
    const DeviceInfo* record = &r;
    lock.unlock();
    char sn[64] = {};
    const bool answered = device->GetSN(sn, 63) == 0;
    lock.lock();
    for (auto& rp : m_list) {
        if (rp.get() == record && rp->device == device && !answered) {
            if (rp->missCount < 3) {
                ++rp->missCount;
            }
            QLOG(" pDeviceInfo->missCount %d  %s\n", rp->missCount, rp->alias);
        }
    }
    // Closed meanwhile, the device may end with this reference: without the lock.
    lock.unlock();
    device.reset();
    lock.lock();
    return false;
}

void DeviceManager::HandToTransferWorker(const DeviceInfo& r) {
    if (r.sessions.empty()) {
        return;
    }
    TransferWorker* worker;
    if (m_upgradeFlag.load() == TransferKind::kFirmware) {
        QLOG("%d\n", 4);
        worker = &Upgrade::Instance();
    } else {
        worker = &JsonCtl::Instance();
    }
    worker->SetDeviceFound(false);
    worker->SetSessionInfo(r.sessions[0]);
}

bool DeviceManager::NetworkRecord(Lock& lock, DeviceInfo& r) {
    if (r.status == Opened && r.device) {
        return WatchOpenedNetworkCamera(lock, r);
    }
    if (r.status == UpgradeMode) {
        HandToTransferWorker(r);
        return false;
    }
    if (r.status == Connected && r.pending == HotPlugEvent::kRemoved &&
        r.notified != HotPlugEvent::kRemoved) {
        QLOG(" socket need remove first %s %s\n", r.uri, r.alias);
        return RemoveNetworkRecord(lock, r, r.device != nullptr);
    }
    if (r.status == Connected && r.pending == HotPlugEvent::kAdded &&
        r.notified != HotPlugEvent::kAdded) {
        QLOG(" socket add %s %s %d,%d,%d\n", r.uri, r.alias, static_cast<int>(r.status),
             static_cast<int>(r.pending), static_cast<int>(r.notified));
        const NsDeviceInfo snapshot = r.Snapshot();
        r.notified = HotPlugEvent::kAdded;
        r.pending = HotPlugEvent::kNone;
        Report(lock, snapshot, NsHotPlugAdded);
        return true;
    }
    if (r.status == ConnectUNKNOWN && (r.device || r.pending == HotPlugEvent::kRemoved)) {
        // Also for a camera never opened: it announced it is going away after it was
        // reported added, and is reported removed once.
        QLOG(" socket remove  %d %s\n", r.missCount, r.alias);
        r.missCount = 0;
        return RemoveNetworkRecord(lock, r, r.notified != HotPlugEvent::kRemoved);
    }
    if (r.pending != HotPlugEvent::kNone && r.pending == r.notified) {
        r.pending = HotPlugEvent::kNone;  // already reported: nothing to tell
    }
    return false;
}

bool DeviceManager::RunPass() {
    Lock lock(m_lock);
    m_discovery.UpdateDeviceListInfo(m_list);
    bool eventSeen = false;
    for (size_t i = 0; i < m_list.size(); ++i) {
        DeviceInfo& r = *m_list[i];
        if (IsNetworkDeviceType(r.deviceType)) {
            if (NetworkRecord(lock, r)) {
                return true;
            }
            continue;
        }
        if (r.pending != HotPlugEvent::kNone) {
            eventSeen = true;
            if (r.pending != r.notified) {
                UsbPendingEvent(lock, r);
                return true;
            }
            QLOG("%d %d  %d %d ==== %s , %s \n", static_cast<int>(r.status),
                 static_cast<int>(r.pending), static_cast<int>(r.notified),
                 static_cast<int>(r.deviceType), r.uri, r.alias);
            r.pending = HotPlugEvent::kNone;
        }
        if (!eventSeen && r.notified != HotPlugEvent::kRemoved && r.device &&
            r.device->IsStreaming() && !r.device->IsAlive() && UsbLostWhileStreaming(lock, r)) {
            return true;
        }
    }
    return eventSeen;
}

void DeviceManager::Run() {
    while (IsRunning()) {
        const bool busy = RunPass();
        WaitForStop(std::chrono::milliseconds(busy ? 100 : 500));
    }
}

}  // namespace quorix
