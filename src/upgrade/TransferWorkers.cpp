// The transfer workers' state machines, their hand-over state and process-wide instances.
#include "upgrade/TransferWorkers.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "log/Log.h"
#include "model/ModelTraits.h"
#include "platform/RemovableDrives.h"
#include "platform/UsbPlatform.h"
#include "protocol/BaseProtocol.h"
#include "session/ProtocolFactory.h"
#include "upgrade/DriveCopy.h"
#include "upgrade/FirmwareImage.h"

namespace quorix {
namespace {

constexpr uint32_t kUpgradeWaitLimit = 600;  // 60 s without progress
constexpr uint32_t kJsonWaitLimit = 200;     // 20 s
constexpr int kOpenTries = 3;
// Read while a network camera waits for the new JSON file; its value is not used.
constexpr uint32_t kJsonWaitProperty = 0xe0000099;

std::mutex g_instanceLock;
std::unique_ptr<Upgrade> g_upgrade;
std::unique_ptr<JsonCtl> g_jsonCtl;

// The models whose session hands the image over itself (SetToUpgradeMode_P); the worker
// follows only these over the network.
bool HandsImageOver(uint32_t deviceType) {
    return deviceType == 442 || (deviceType >= 561 && deviceType <= 563);
}

template <typename Worker>
Worker& InstanceOf(std::unique_ptr<Worker>& slot) {
    std::lock_guard guard(g_instanceLock);
    if (!slot) {
        slot = std::make_unique<Worker>();
    }
    return *slot;
}

template <typename Worker>
bool ExistsOf(const std::unique_ptr<Worker>& slot) {
    std::lock_guard guard(g_instanceLock);
    return slot != nullptr;
}

// The worker is stopped (its thread joined) outside the lock: its end hook may call back.
template <typename Worker>
void DestroyOf(std::unique_ptr<Worker>& slot) {
    std::unique_ptr<Worker> gone;
    {
        std::lock_guard guard(g_instanceLock);
        gone = std::move(slot);
    }
}

int32_t OrMinusOne(int32_t parameter) {
    return parameter == 0 ? -1 : parameter;
}

}  // namespace

TransferWorker::TransferWorker(std::string name, uint32_t waitLimit)
    : StoppableThread(std::move(name)), m_waitLimit(waitLimit) {}

TransferWorker::~TransferWorker() = default;

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

void TransferWorker::SetCallback(TransferCallback callback) {
    std::lock_guard guard(m_lock);
    m_callback = callback;
}

bool TransferWorker::HasCallback() const {
    std::lock_guard guard(m_lock);
    return m_callback != nullptr;
}

void TransferWorker::SetEndHook(std::function<void()> hook) {
    std::lock_guard guard(m_lock);
    m_endHook = std::move(hook);
}

void TransferWorker::SetTimingForTesting(std::chrono::milliseconds poll, uint32_t waitLimit) {
    m_poll.store(poll);
    m_waitLimit.store(waitLimit);
}

void TransferWorker::StoreStatus(uint32_t status) {
    QLOG("m_Status:%d -> %d\n", static_cast<int>(m_status.load()), static_cast<int>(status));
    m_status.store(status);
}

void TransferWorker::SetStatus(uint32_t status) {
    if (status != 1) {
        StoreStatus(status);
        return;
    }
    StopAndJoin();
    m_before.clear();
    for (const platform::RemovableDrive& drive : platform::Drives().Drives()) {
        m_before.push_back(drive.root);
    }
    m_busy.store(true);
    m_waits = 0;
    m_lastState = 0;
    m_lastParameter = 0;
    StoreStatus(1);
    if (Start() != 0) {
        // No thread will end this transfer: end it here.
        StoreStatus(0);
        m_busy.store(false);
    }
}

bool TransferWorker::IsNetwork() const {
    return IsNetworkDeviceType(DeviceType());
}

uint32_t TransferWorker::DeviceType() const {
    std::lock_guard guard(m_lock);
    return m_sessionInfo.deviceType;
}

int32_t TransferWorker::WithProtocol(const std::function<int32_t(BaseProtocol&)>& op) {
    std::lock_guard guard(m_protocolLock);
    return m_protocol ? op(*m_protocol) : -13;
}

void TransferWorker::CallBack(int32_t code, int32_t parameter) {
    TransferCallback callback;
    {
        std::lock_guard guard(m_lock);
        callback = m_callback;
    }
    if (callback == nullptr) {
        QLOG("m_pCallback is NULL!\n");
        return;
    }
    callback(code, parameter);
}

void TransferWorker::Cleanup() {
    std::unique_ptr<BaseProtocol> protocol;
    {
        std::lock_guard guard(m_protocolLock);
        protocol = std::move(m_protocol);
    }
    if (!protocol) {
        return;
    }
    const int32_t rebooted = protocol->RebootCamera();
    if (rebooted != 0) {
        QLOG("RebootCamera ret:%d\n", rebooted);
    }
    StoreStatus(0);
    SetDevicePath("");
    protocol->CloseDevice();
}

void TransferWorker::Run() {
    while (IsRunning()) {
        if (m_waits >= m_waitLimit.load()) {
            QLOG("timeout on status:%d \n", static_cast<int>(m_status.load()));
            CallBack(static_cast<int32_t>(m_lastState) + 2, -1);
            Cleanup();
            ResetWaits();
            break;
        }
        const uint32_t status = m_status.load();
        if (status == 0 || Step(status)) {
            break;
        }
    }
    // However the transfer ended (stopped by a shutdown included), the camera is not left
    // in its transfer mode, and the end is reported to whoever set the transfer going.
    Cleanup();
    if (m_status.load() != 0) {
        StoreStatus(0);
    }
    std::function<void()> hook;
    {
        std::lock_guard guard(m_lock);
        hook = m_endHook;
    }
    if (hook) {
        hook();
    }
    m_busy.store(false);
}

bool TransferWorker::OpenConnection(uint32_t next) {
    SessionInfo info = GetSessionInfo();
    if (!IsNetworkDeviceType(info.deviceType)) {
        // The upgrade-mode HID interface the device manager found.
        const std::string path = DevicePath();
        if (!DeviceFound() || path.empty()) {
            CountWait();
            Pause();
            return true;
        }
        info.linkType = kLinkUsb;
        snprintf(info.usb.companionPath, sizeof info.usb.companionPath, "%s", path.c_str());
    } else if (!HandsImageOver(info.deviceType)) {
        CountWait();
        Pause();
        return true;
    }
    ResetWaits();
    for (int attempt = 1; attempt <= kOpenTries; ++attempt) {
        std::unique_ptr<BaseProtocol> protocol = CreateTransferProtocol(info);
        const int32_t ret = protocol ? protocol->OpenDevice() : -13;
        if (ret == 0) {
            {
                std::lock_guard guard(m_protocolLock);
                m_protocol = std::move(protocol);
            }
            StoreStatus(next);
            return true;
        }
        QLOG("%s::OpenDevice failed ret:%d\n", Name().c_str(), static_cast<int>(ret));
        QLOG("try:%d\n", attempt);
        if (WaitForStop(m_poll.load())) {
            return false;
        }
    }
    CallBack(2, -1);
    return false;
}

bool TransferWorker::FollowDevice(uint32_t status, uint32_t offset) {
    TransferState read;
    const int32_t ret = ReadState(read);
    QLOG("WaitCount:%d state:%d,%d temp:%d, %d, %d\n", static_cast<int>(m_waits),
         static_cast<int>(m_lastState), static_cast<int>(m_lastParameter),
         static_cast<int>(read.state), static_cast<int>(read.value1),
         static_cast<int>(read.value2));
    if (ret != 0 || (read.state == m_lastState && read.value1 == m_lastParameter)) {
        CountWait();
    } else {
        // A camera may end flashing without reporting 100 %: the application still sees it.
        if (m_lastState == 3 && m_lastParameter < 100 && read.state == 4 && read.value1 == 1) {
            CallBack(5, 100);
        }
        m_lastState = read.state;
        m_lastParameter = read.value1;
        const uint32_t next = read.state + offset;
        if (status != next) {
            QLOG("%d   %d\n", static_cast<int>(status), static_cast<int>(next));
            StoreStatus(next);
        }
        const int32_t result = ProcessStatus(next, static_cast<int32_t>(read.value1));
        ResetWaits();
        if (result != 0) {
            return true;
        }
    }
    Pause();
    return false;
}

int32_t TransferWorker::CameraDrive(std::string& root) {
    std::vector<platform::RemovableDrive> fresh;
    for (platform::RemovableDrive& drive : platform::Drives().Drives()) {
        if (std::find(m_before.begin(), m_before.end(), drive.root) == m_before.end()) {
            fresh.push_back(std::move(drive));
        }
    }
    if (fresh.empty()) {
        return 0;
    }
    // The camera's drive hangs off the same USB device as its upgrade-mode HID interface.
    std::string camera;
    const std::string path = DevicePath();
    for (const platform::UsbInterface& hid : platform::Usb().HidInterfaces()) {
        if (hid.path == path) {
            camera = hid.containerId;
        }
    }
    if (camera.empty()) {
        QLOG("cannot tell which of %d new drive(s) belongs to %s\n", static_cast<int>(fresh.size()),
             path.c_str());
        return -1;
    }
    for (const platform::RemovableDrive& drive : fresh) {
        if (drive.usbDevice == camera) {
            root = drive.root;
            return 1;
        }
    }
    return 0;
}

int32_t TransferWorker::AwaitCameraDrive(std::string& root) {
    const int32_t found = CameraDrive(root);
    if (found == 0) {
        CountWait();
        Pause();
    } else {
        ResetWaits();
    }
    return found;
}

bool TransferWorker::AwaitFileTaken(uint32_t next) {
    TransferState state;
    if (!IsNetwork() || ReadState(state) != 0 || state.state != 0 || state.value1 != 1) {
        CountWait();
        Pause();
        return false;
    }
    ResetWaits();
    StoreStatus(next);
    return true;
}

bool TransferWorker::SendChecksum(uint32_t checksum, uint32_t size, uint32_t next) {
    if (WriteState({2, checksum, size}) != 0) {
        QLOG("send Checksum failed.\n");
        CallBack(4, -1);
        Cleanup();
        return true;
    }
    ResetWaits();
    StoreStatus(next);
    return false;
}

int32_t TransferWorker::ChecksumVerdict(uint32_t status, int32_t parameter) {
    CallBack(4, OrMinusOne(parameter));
    if (parameter == 1) {
        if (WriteState({3, 0, 0}) != 0) {
            Cleanup();
            return -1;
        }
        return 0;
    }
    QLOG("status:%d params:%d\n", static_cast<int>(status), parameter);
    Cleanup();
    return -1;
}

// --- Upgrade ----------------------------------------------------------------------------------

Upgrade::Upgrade() : TransferWorker("Upgrade", kUpgradeWaitLimit) {}

Upgrade::~Upgrade() {
    StopAndJoin();
}

Upgrade& Upgrade::Instance() {
    return InstanceOf(g_upgrade);
}

bool Upgrade::Exists() {
    return ExistsOf(g_upgrade);
}

void Upgrade::Destroy() {
    DestroyOf(g_upgrade);
}

void Upgrade::EnumUpgradeDevice(const FindHidInterface& find) {
    FindWaitingDevice(find, kProductUpgrade);
}

void Upgrade::SetImage(const std::string& path, uint32_t size, uint32_t checksum) {
    m_path = path;
    m_size = size;
    m_checksum = checksum;
}

bool Upgrade::CopyToCameraDrive() {
    std::string root;
    const int32_t found = AwaitCameraDrive(root);
    if (found == 0) {
        return false;
    }
    if (found < 0 || CopyFirmwareToDrive(m_path, root, m_size, m_checksum) != 0) {
        QLOG("Copy2U failed.\n");
        CallBack(2, -1);
        return true;
    }
    StoreStatus(3);
    return false;
}

int32_t Upgrade::ReadState(TransferState& state) {
    return WithProtocol([&](BaseProtocol& p) { return p.GetUpgradeState(state); });
}

int32_t Upgrade::WriteState(const TransferState& state) {
    return WithProtocol([&](BaseProtocol& p) { return p.SetUpgradeState(state); });
}

bool Upgrade::Step(uint32_t status) {
    switch (status) {
        case 1:
            return !OpenConnection(2);
        case 2:
            if (IsNetwork()) {
                AwaitFileTaken(3);
                return false;
            }
            return CopyToCameraDrive();
        case 3:
            return SendChecksum(m_checksum, m_size, 4);
        case 4:
        case 5:
        case 6:
        case 7:
        case 8:
        case 9:
            return FollowDevice(status, 3);
        default:
            QLOG("status:%d\n", static_cast<int>(status));
            return true;
    }
}

int32_t Upgrade::ProcessStatus(uint32_t status, int32_t parameter) {
    const int32_t p = OrMinusOne(parameter);
    switch (status) {
        case 4:
            return 0;
        case 5:
            return ChecksumVerdict(status, parameter);
        case 6:
            QLOG("UpgradeDoing percent:%d%%\n", parameter);
            CallBack(5, parameter);
            return 0;
        case 7:
        case 8:
            CallBack(static_cast<int32_t>(status) - 1, p);
            if (parameter != 1) {
                QLOG("status:%d params:%d\n", static_cast<int>(status), parameter);
                Cleanup();
                return -1;
            }
            return 0;
        case 9:
            CallBack(8, p);
            if (parameter == 1) {
                QLOG("Upgrade OK.\n");
                Cleanup();
                return 1;
            }
            QLOG("Upgrade NG.\n");
            Cleanup();
            return -1;
        default:
            QLOG("invalid status:%d params:%d\n", static_cast<int>(status), parameter);
            CallBack(static_cast<int32_t>(status) - 1, -1);
            return -1;
    }
}

// --- JsonCtl ----------------------------------------------------------------------------------

JsonCtl::JsonCtl() : TransferWorker("JsonCtl", kJsonWaitLimit) {}

JsonCtl::~JsonCtl() {
    StopAndJoin();
}

JsonCtl& JsonCtl::Instance() {
    return InstanceOf(g_jsonCtl);
}

bool JsonCtl::Exists() {
    return ExistsOf(g_jsonCtl);
}

void JsonCtl::Destroy() {
    DestroyOf(g_jsonCtl);
}

void JsonCtl::EnumHIDDevice(const FindHidInterface& find) {
    FindWaitingDevice(find, kProductJsonTransfer);
}

int32_t JsonCtl::ReadState(TransferState& state) {
    return WithProtocol([&](BaseProtocol& p) { return p.GetJsonState(state); });
}

int32_t JsonCtl::WriteState(const TransferState& state) {
    return WithProtocol([&](BaseProtocol& p) { return p.SetJsonState(state); });
}

int32_t JsonCtl::SetJsonPath(const std::string& path) {
    std::vector<uint8_t> bytes;
    ReadTransferFile(path, bytes);
    m_size = static_cast<uint32_t>(bytes.size());
    m_checksum = ByteSum(bytes.data(), bytes.size());
    m_fileRefused.store(bytes.empty());
    m_jsonPath = path;
    if (!bytes.empty() && IsNetwork()) {
        std::string name = path;
        std::replace(name.begin(), name.end(), '/', '\\');
        const int32_t ret =
            WithProtocol([&](BaseProtocol& p) { return p.SetJsonPath_P(name.c_str()); });
        if (ret != 0) {
            QLOG("SetJsonPath_P ret:%d\n", static_cast<int>(ret));
            return -2;
        }
    }
    StoreStatus(4);
    return 0;
}

bool JsonCtl::Step(uint32_t status) {
    switch (status) {
        case 1:
            return !OpenConnection(2);
        case 2:
            if (!IsNetwork()) {
                return FetchFromCameraDrive();
            }
            if (AwaitFileTaken(3)) {
                CallBack(1, 0);
            }
            return false;
        case 3:
            if (IsNetwork()) {
                uint8_t value[64] = {};
                uint32_t length = sizeof value;
                WithProtocol([&](BaseProtocol& p) {
                    return p.GetProperty(kJsonWaitProperty, value, length);
                });
            }
            // Waiting for the application's file counts too: a camera nobody sends a file
            // to is rebooted out of its transfer mode instead of waiting there for ever.
            CountWait();
            Pause();
            return false;
        case 4: {
            if (m_fileRefused.load()) {
                CallBack(2, -1);
                Cleanup();
                return true;
            }
            if (!IsNetwork()) {
                return DeliverToCameraDrive();
            }
            AwaitFileTaken(5);
            return false;
        }
        case 5:
            return SendChecksum(m_checksum, m_size, 6);
        case 6:
        case 7:
        case 8:
        case 9:
            return FollowDevice(status, 5);
        default:
            QLOG("status:%d\n", static_cast<int>(status));
            return true;
    }
}

std::string JsonCtl::LocalFolder() {
    const std::string data = log::DataDirectory();
    return data.empty() ? std::string() : data + "/Json";
}

bool JsonCtl::FetchFromCameraDrive() {
    std::string root;
    const int32_t found = AwaitCameraDrive(root);
    if (found == 0) {
        return false;
    }
    const std::string folder = LocalFolder();
    if (found < 0 || folder.empty() || CopyJsonToLocal(root, folder) != 0) {
        QLOG("CopyJson2Local failed.\n");
        CallBack(1, -1);
        Cleanup();
        return true;
    }
    StoreStatus(3);
    CallBack(1, 0);
    return false;
}

bool JsonCtl::DeliverToCameraDrive() {
    std::string root;
    const int32_t found = AwaitCameraDrive(root);
    if (found == 0) {
        return false;
    }
    if (found < 0 || CopyJsonToDrive(m_jsonPath, root, m_size, m_checksum) != 0) {
        QLOG("Copy2U failed.\n");
        CallBack(2, -1);
        Cleanup();
        return true;
    }
    StoreStatus(5);
    return false;
}

int32_t JsonCtl::ProcessStatus(uint32_t status, int32_t parameter) {
    QLOG("%d,%d\n", static_cast<int>(status), parameter);
    const int32_t p = OrMinusOne(parameter);
    switch (status) {
        case 6:
            QLOG("JsonChecking\n");
            return 0;
        case 7:
            return ChecksumVerdict(status, parameter);
        case 8:
            QLOG("JsonDoing percent:%d%%\n", parameter);
            CallBack(5, parameter);
            return 0;
        case 9:
            CallBack(6, p);
            if (parameter == 1) {
                QLOG("Json OK.\n");
            } else {
                QLOG("Json NG.\n");
            }
            Cleanup();
            return parameter == 1 ? 1 : -1;
        default:
            QLOG("invalid status:%d params:%d\n", static_cast<int>(status), parameter);
            CallBack(static_cast<int32_t>(status) - 3, -1);
            return -1;
    }
}

}  // namespace quorix
