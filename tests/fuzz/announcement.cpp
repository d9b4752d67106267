// Discovery announcements: datagrams cut to the receive buffer as the discovery thread
// receives them, parsed, taken into the camera table and merged into a device list, as
// the device manager merges them. Input: datagrams, each with a 16-bit length before it.
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzInput.h"
#include "device/EnumSocketDevice.h"

using namespace quorix;

namespace {

template <size_t N>
void CheckTerminated(const char (&text)[N]) {
    if (memchr(text, '\0', N) == nullptr) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SetDiscoveryListeningForTesting(false);
    fuzz::FuzzInput in(data, size);
    EnumSocketDevice discovery;
    std::vector<std::unique_ptr<DeviceInfo>> list;
    while (!in.Empty()) {
        const auto datagram = in.Chunk();
        // recvfrom cuts a longer datagram to the buffer.
        uint8_t buffer[kAnnouncementMaxBytes];
        const size_t n = std::min(datagram.size(), sizeof buffer);
        memcpy(buffer, datagram.data(), n);
        Announcement a;
        if (ParseAnnouncement(buffer, n, a)) {
            CheckTerminated(a.ip);
            CheckTerminated(a.sn);
            CheckTerminated(a.peerIp);
            CheckTerminated(a.alias);
        }
        discovery.HandleDatagram(buffer, n);
        discovery.UpdateDeviceListInfo(list);
        for (const auto& record : list) {
            CheckTerminated(record->uri);
            CheckTerminated(record->alias);
        }
    }
    // Silent cameras leave the list in later merges.
    for (int i = 0; i < 5; ++i) {
        discovery.UpdateDeviceListInfo(list);
    }
    return 0;
}
