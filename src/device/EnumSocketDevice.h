// EnumSocketDevice: listens for the UDP announcements of network cameras on port 9007,
// keeps a table of the cameras heard recently, and merges that table into the device
// manager's list when asked.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/DeviceInfo.h"
#include "pipeline/StoppableThread.h"
#include "platform/UdpListener.h"
#include "quorix/quorix_api.h"

namespace quorix {

inline constexpr uint16_t kDiscoveryPort = 9007;
inline constexpr size_t kAnnouncementBytes = 89;
inline constexpr size_t kAnnouncementMaxBytes = 1024;

// One announcement datagram, text fields read at their fixed lengths and NUL-terminated.
struct Announcement {
    uint8_t header = 0;
    uint8_t bcc = 0;
    uint8_t len = 0;
    uint8_t tof = 0;  // sessions (ToF sensors)
    uint8_t rgb = 0;  // sessions with a colour sensor
    char ip[17] = {};
    uint8_t kind = 0;  // camera kind code
    char sn[31] = {};
    uint8_t cameraState = 0;
    char peerIp[17] = {};
    char alias[21] = {};
};

// False for datagrams shorter than 89 bytes; bytes past 89 are ignored.
bool ParseAnnouncement(const uint8_t* data, size_t length, Announcement& out);

// Off: discovery opens no socket and hears only what HandleDatagram is given. For tests
// that drive the device list announcement by announcement, so that cameras announcing on
// the machine's port 9007 (a user's, another test run's) never reach them.
void SetDiscoveryListeningForTesting(bool listening);
// The port discovery listens on; 0 restores 9007. For tests that make the port busy
// without disturbing whatever uses 9007 on the machine.
void SetDiscoveryPortForTesting(uint16_t port);
uint16_t DiscoveryPort();

// Whether the announcement port was taken; what Ns2_GetDiscoveryState reports.
struct ListenState {
    uint32_t status = NsDiscoveryOff;
    uint16_t port = 0;
    int systemError = 0;  // errno of the failed call
    std::string message;  // what happened and what to do; empty while listening
};

class EnumSocketDevice final : public StoppableThread {
public:
    // One camera heard recently.
    struct Entry {
        uint8_t sessionCount = 0;
        uint8_t colourSessionCount = 0;
        char ip[17] = {};
        uint32_t deviceType = 0;
        char sn[31] = {};
        uint8_t state = 0;
        char alias[21] = {};
        bool seen = false;
        uint32_t silentUpdates = 0;
    };

    EnumSocketDevice();
    ~EnumSocketDevice() override;

    // Merges the table into `list`; the caller holds the device list's lock.
    void UpdateDeviceListInfo(std::vector<std::unique_ptr<DeviceInfo>>& list);

    // Opens the socket and takes the port, before the thread starts, so an application
    // can ask at once whether network cameras can be found.
    void Listen();
    ListenState GetListenState() const;

    // Takes one announcement as if it had arrived on the socket (also used by Run).
    void HandleDatagram(const uint8_t* data, size_t length);
    size_t EntryCount() const;

protected:
    void Run() override;
    void OnStopRequested() override;

private:
    DeviceInfo* FindRecord(std::vector<std::unique_ptr<DeviceInfo>>& list, const Entry& e) const;
    std::unique_ptr<DeviceInfo> CreateRecord(const Entry& e) const;
    // Applies a seen entry to its record.
    void ApplyState(DeviceInfo& record, const Entry& e) const;
    // Decides on an entry that stayed silent; true to drop it.
    bool DropSilent(DeviceInfo& record, Entry& e) const;

    void SetListenState(uint32_t status, int systemError, std::string message);

    platform::UdpListener m_socket;
    mutable std::mutex m_listenLock;
    ListenState m_listen;
    bool m_listening = false;  // the socket is bound; Run receives on it
    mutable std::mutex m_tableLock;
    std::vector<std::unique_ptr<Entry>> m_table;
};

}  // namespace quorix
