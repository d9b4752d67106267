// DeviceManager: the process-wide list of every camera seen. It merges USB enumeration,
// USB arrival messages and network discovery into one list, reports add and remove events
// to the application's hot-plug callbacks (one per pass, on a thread of their own, with no
// library lock held), watches opened network cameras, and opens and releases devices.
//
// Threads: public calls come from application threads; Run() is the "DeviceManager"
// worker; OnMessage() runs on the "DeviceDetect" thread. m_lock guards the list and every
// record field, and is taken before the discovery table's lock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/DeviceDetect.h"
#include "device/DeviceInfo.h"
#include "device/EnumSocketDevice.h"
#include "device/EnumUsbDevice.h"
#include "pipeline/StoppableThread.h"

namespace quorix {

// The transfer a camera was switched into: while one runs, cameras that drop off the list
// are not removed, and the transfer drive that appears goes to its worker. The values are
// those of the public upgrade flag.
enum class TransferKind : uint32_t { kNone = 0, kFirmware = 1, kJson = 2 };

class DeviceManager final : public StoppableThread, public DeviceDetect::Notifier {
public:
    // Wait of the handle check for a network camera that is not (yet) opened.
    static constexpr std::chrono::milliseconds kNetworkRevalidateWait{1311};

    // The process-wide manager, created (and its arrival watcher started) on first use.
    static DeviceManager& Instance();
    static bool Exists();
    // Destroys the manager: stops its threads and releases every device.
    static void Destroy();

    ~DeviceManager() override;

    uint32_t GetCameraCount();
    // Whether network discovery took its port.
    ListenState DiscoveryState() const { return m_discovery.GetListenState(); }
    int32_t GetDeviceInfoList(NsDeviceInfo* list, uint32_t count);
    int32_t GetDeviceInfo(NsDeviceInfo* record, uint32_t index);
    bool checkOpenedByURI(const char* uri);
    bool checkOpenedByAlias(const char* alias);
    // Opens the listed camera (the list stays usable meanwhile). One open at a time: the
    // caller serialises them.
    std::shared_ptr<BaseDevice> OpenDevice(const char* uri);
    std::shared_ptr<BaseDevice> OpenDeviceByAlias(const char* alias);
    // The record lets go of the device; it ends with its last owner (the handle's close).
    void ReleaseDevice(BaseDevice* device);
    bool IsValidDevice(BaseDevice* device);

    void HotplugCallback(const NsDeviceInfo& snapshot, int32_t event);
    bool OnMessage(const ArrivalMessage& message) override;

    void SetHotPlugCallback(NsHotPlugCallback callback);
    void SetHotPlugCallbackEx(NsHotPlugCallbackEx callback, void* context);
    void SetUpgradeFlag(TransferKind kind) { m_upgradeFlag.store(kind); }
    TransferKind UpgradeFlag() const { return m_upgradeFlag.load(); }
    // A transfer of `kind` ended: the flag goes back to 0 unless another kind took it.
    void EndTransfer(TransferKind kind) {
        m_upgradeFlag.compare_exchange_strong(kind, TransferKind::kNone);
    }

    // One pass of the worker; true when it handled an event. Public for tests that drive
    // the manager pass by pass instead of through its thread.
    bool RunPass();
    // Snapshots of every record, reported or not (tests and diagnostics).
    std::vector<NsDeviceInfo> AllRecords();
    // Feeds one announcement to discovery as if it had arrived (tests).
    EnumSocketDevice& Discovery() { return m_discovery; }

protected:
    void Run() override;

private:
    using Lock = std::unique_lock<std::mutex>;

    DeviceManager();
    void AddEnumeratedRecords(const std::vector<UsbEntry>& entries);
    void UpdateDeviceInfoListForGetCameraCount(const std::vector<UsbEntry>& entries);
    DeviceInfo* FindByUri(const std::string& path);
    DeviceInfo* FindByAlias(const char* alias, const DeviceInfo* except);
    std::shared_ptr<BaseDevice> Open(const char* key, bool byAlias);
    // The failed open of `key`, with the list as it is (under the list lock).
    void LogOpenFailure(const char* key);
    bool CheckOpened(const char* key, bool byAlias);

    // Pass steps; each returns true when it ended the pass (lock released).
    bool UsbPendingEvent(Lock& lock, DeviceInfo& r);
    bool ReportUsbRemoval(Lock& lock, DeviceInfo& r);
    // Another record of the camera called `alias` that was never reported removed: it is
    // opened, or unconnected after its add was reported.
    DeviceInfo* FindStaleRecord(const char* alias, const DeviceInfo& except);
    bool UsbLostWhileStreaming(Lock& lock, DeviceInfo& r);
    bool NetworkRecord(Lock& lock, DeviceInfo& r);
    // The record goes unconnected and its device hears the connection is lost; the removal
    // is reported when `report`, else the lock is only released.
    bool RemoveNetworkRecord(Lock& lock, DeviceInfo& r, bool report);
    // An opened network camera: removed after three failed serial-number polls or when its
    // device is no longer alive. The poll runs without the lock (released and taken again;
    // records may have gone meanwhile).
    bool WatchOpenedNetworkCamera(Lock& lock, DeviceInfo& r);
    // A camera in its transfer mode goes to the worker of the transfer that was started.
    void HandToTransferWorker(const DeviceInfo& r);
    bool Announce(Lock& lock, DeviceInfo& r);
    // Reports an event on a thread of its own after releasing the lock, and waits for it.
    void Report(Lock& lock, const NsDeviceInfo& snapshot, int32_t event);

    DeviceDetect m_detect;
    std::vector<std::unique_ptr<DeviceInfo>> m_list;
    EnumSocketDevice m_discovery;
    std::mutex m_lock;
    // Waits (with m_callbackLock held in `lock`) until no hot-plug call runs on another
    // thread, so a callback replaced or cleared is not running when its setter returns.
    void WaitForCallbacks(std::unique_lock<std::mutex>& lock);

    std::mutex m_callbackLock;
    std::condition_variable m_callbackIdle;
    std::vector<std::thread::id> m_callbackThreads;  // threads inside a hot-plug call
    NsHotPlugCallback m_callback = nullptr;
    NsHotPlugCallbackEx m_callbackEx = nullptr;
    void* m_callbackContext = nullptr;
    std::atomic<TransferKind> m_upgradeFlag{TransferKind::kNone};
};

}  // namespace quorix
