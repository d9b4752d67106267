// The process-wide firmware-upgrade ("Upgrade") and JSON-transfer ("JsonCtl") workers.
// The session switches a camera into its transfer mode and starts a worker (status 1);
// the worker's thread opens its own connection to the camera, delivers the file, follows
// the camera through its states and reports them to the application's status callback,
// then reboots the camera and goes idle (status 0). The device manager hands over what it
// learns of a camera waiting in transfer mode (its session record, or the path of its
// upgrade-mode HID interface).
//
// Threads: the callback runs on the worker's thread with no library lock held. A transfer
// ends on success, failure, time-out (600 waits of 100 ms without progress for the
// upgrade, 200 for JSON) or library shutdown; the end hook runs after every end.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model/SessionInfo.h"
#include "pipeline/StoppableThread.h"

namespace quorix {

class BaseProtocol;
struct TransferState;

// Finds the path of a present HID interface by its vendor and product id. USB discovery
// belongs to the device list, above the workers, so the device manager hands it in.
using FindHidInterface =
    std::function<bool(std::string& path, uint32_t vendorId, uint32_t productId)>;

// The application's callback: (status code, parameter).
using TransferCallback = void (*)(int32_t status, int32_t parameter);

class TransferWorker : public StoppableThread {
public:
    TransferWorker(std::string name, uint32_t waitLimit);
    ~TransferWorker() override;

    // --- hand-over from the device manager ---
    void SetDeviceFound(bool found);
    bool DeviceFound() const;
    void SetSessionInfo(const SessionInfo& info);
    SessionInfo GetSessionInfo() const;
    void SetDevicePath(const std::string& path);
    std::string DevicePath() const;
    // Looks for a camera already waiting in transfer mode (at creation).
    void FindWaitingDevice(const FindHidInterface& find, uint16_t productId);

    // --- the transfer ---
    void SetCallback(TransferCallback callback);
    bool HasCallback() const;
    uint32_t Status() const { return m_status.load(); }
    // True from SetStatus(1) until the transfer has ended and the end hook has run.
    bool Busy() const { return m_busy.load(); }
    // Logs and stores the status; 1 restarts the thread for a new transfer.
    void SetStatus(uint32_t status);
    // Runs on the worker's thread each time a transfer ends, however it ends.
    void SetEndHook(std::function<void()> hook);
    // Tests shorten the wait between polls and the number of waits before a time-out.
    void SetTimingForTesting(std::chrono::milliseconds poll, uint32_t waitLimit);
    uint32_t WaitLimit() const { return m_waitLimit.load(); }

protected:
    void Run() override;
    // One turn of the state machine for `status`; true leaves the loop.
    virtual bool Step(uint32_t status) = 0;

    // Opens the upgrade connection (3 tries, 100 ms apart); on success the status becomes
    // `next`, after the third failure the callback gets (2, -1) and false comes back.
    bool OpenConnection(uint32_t next);
    // Follows the camera's state record; `offset` turns a device state into a status.
    // True leaves the loop.
    bool FollowDevice(uint32_t status, uint32_t offset);
    virtual int32_t ProcessStatus(uint32_t status, int32_t parameter) = 0;
    // A network camera took the file (state 0, parameter 1): status `next`, true.
    bool AwaitFileTaken(uint32_t next);
    // Sends (2, checksum, size); on failure calls back (4, -1), cleans up, true (leave).
    bool SendChecksum(uint32_t checksum, uint32_t size, uint32_t next);
    // The camera's verdict on the checksum: (4, p); on 1 tells it to go on.
    int32_t ChecksumVerdict(uint32_t status, int32_t parameter);
    // The camera's state record of this kind of transfer, over the open connection.
    virtual int32_t ReadState(TransferState& state) = 0;
    virtual int32_t WriteState(const TransferState& state) = 0;
    // With a connection open: reboot the camera, status 0, close the connection.
    void Cleanup();
    void CallBack(int32_t code, int32_t parameter);
    void CountWait() { ++m_waits; }
    void ResetWaits() { m_waits = 0; }
    void Pause() { WaitForStop(m_poll.load()); }
    void StoreStatus(uint32_t status);
    bool IsNetwork() const;
    uint32_t DeviceType() const;
    // The camera's drive among the drives that came up since the transfer started: 1 with
    // its root, 0 while there is none (unrelated drives are never taken), -1 when drives
    // came up but it cannot be told which one is the camera's.
    int32_t CameraDrive(std::string& root);
    // CameraDrive as one turn of a poll: while there is none, counts a wait and pauses.
    int32_t AwaitCameraDrive(std::string& root);
    // Runs `op` on the open connection under its lock; -13 without one.
    int32_t WithProtocol(const std::function<int32_t(BaseProtocol&)>& op);

    uint32_t m_lastState = 0;
    uint32_t m_lastParameter = 0;

private:
    mutable std::mutex m_lock;  // hand-over fields and the callback
    bool m_deviceFound = false;
    SessionInfo m_sessionInfo;
    std::string m_devicePath;
    TransferCallback m_callback = nullptr;
    std::function<void()> m_endHook;

    std::atomic<uint32_t> m_status{0};
    std::atomic<bool> m_busy{false};
    std::atomic<std::chrono::milliseconds> m_poll{std::chrono::milliseconds(100)};
    std::atomic<uint32_t> m_waitLimit;
    uint32_t m_waits = 0;

    std::vector<std::string> m_before;  // drive roots present when the transfer started

    std::mutex m_protocolLock;
    std::unique_ptr<BaseProtocol> m_protocol;
};

// Firmware upgrade ("Upgrade").
class Upgrade final : public TransferWorker {
public:
    Upgrade();
    ~Upgrade() override;
    // The process-wide worker, created when absent.
    static Upgrade& Instance();
    static bool Exists();
    // Stops and destroys the worker (library shutdown).
    static void Destroy();
    void EnumUpgradeDevice(const FindHidInterface& find);
    // Set by the session before the transfer starts.
    void SetImage(const std::string& path, uint32_t size, uint32_t checksum);

private:
    bool Step(uint32_t status) override;
    int32_t ProcessStatus(uint32_t status, int32_t parameter) override;
    int32_t ReadState(TransferState& state) override;
    int32_t WriteState(const TransferState& state) override;

    // USB: the image onto the camera's drive once it is there; true leaves the loop.
    bool CopyToCameraDrive();

    std::string m_path;
    uint32_t m_size = 0;
    uint32_t m_checksum = 0;
};

// JSON configuration transfer ("JsonCtl").
class JsonCtl final : public TransferWorker {
public:
    JsonCtl();
    ~JsonCtl() override;
    static JsonCtl& Instance();
    static bool Exists();
    static void Destroy();
    void EnumHIDDevice(const FindHidInterface& find);
    // The new file, once the camera waits for it (status 3): read whole (its size and byte
    // sum go with it); a network camera is told its name. 0 when the transfer goes on to
    // status 4; an unreadable or empty file ends the transfer with the callback (2, -1).
    int32_t SetJsonPath(const std::string& path);
    // Where a USB camera's current file is fetched to, as "config.json": the per-user data
    // folder's "Json" (beside the log folder; the library's own folder may not be
    // writable). Empty when it cannot be made.
    static std::string LocalFolder();

private:
    bool Step(uint32_t status) override;
    int32_t ProcessStatus(uint32_t status, int32_t parameter) override;
    int32_t ReadState(TransferState& state) override;
    int32_t WriteState(const TransferState& state) override;

    // USB: the camera's current file from its drive into LocalFolder(), then status 3;
    // the new file onto its drive, then status 5. True leaves the loop.
    bool FetchFromCameraDrive();
    bool DeliverToCameraDrive();

    std::atomic<bool> m_fileRefused{false};
    std::string m_jsonPath;
    uint32_t m_size = 0;
    uint32_t m_checksum = 0;
};

}  // namespace quorix
