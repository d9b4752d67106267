// Network camera discovery: the announcement listener and the merge into the device list.
#include "device/EnumSocketDevice.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "device/BaseDevice.h"
#include "log/Log.h"
#include "platform/Socket.h"

namespace quorix {
namespace {

template <size_t N>
void ReadText(char (&out)[N], const uint8_t* field, size_t width) {
    static_assert(N >= 2);
    const size_t n = std::min(width, N - 1);
    memcpy(out, field, n);
    out[n] = '\0';
}

// One part of "a.b.c.d": 1 to 3 digits up to 255, else 0. Read digit by digit: atoi on
// the announcement's 16 digits would overflow an int, which is undefined.
uint8_t ParseOctet(const char* p) {
    uint32_t value = 0;
    size_t digits = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (++digits > 3) {
            return 0;
        }
        value = value * 10 + static_cast<uint32_t>(*p - '0');
    }
    return value <= 255 ? static_cast<uint8_t>(value) : 0;
}

// "a.b.c.d" into four bytes; missing or malformed parts read as 0.
void ParseIPv4(const char* text, uint8_t (&ip)[4]) {
    const char* p = text;
    for (uint8_t& byte : ip) {
        byte = p != nullptr ? ParseOctet(p) : 0;
        const char* dot = p != nullptr ? strchr(p, '.') : nullptr;
        p = dot != nullptr ? dot + 1 : nullptr;
    }
}

}  // namespace

bool ParseAnnouncement(const uint8_t* data, size_t length, Announcement& out) {
    if (data == nullptr || length < kAnnouncementBytes) {
        return false;
    }
    out.header = data[0];
    out.bcc = data[1];
    out.len = data[2];
    out.tof = data[3];
    out.rgb = data[4];
    ReadText(out.ip, data + 5, 16);
    out.kind = data[21];
    ReadText(out.sn, data + 22, 30);
    out.cameraState = data[52];
    ReadText(out.peerIp, data + 53, 16);
    ReadText(out.alias, data + 69, 20);
    return true;
}

EnumSocketDevice::EnumSocketDevice() : StoppableThread("EnumSocketDevice") {
    m_socket.Open();
}

EnumSocketDevice::~EnumSocketDevice() {
    if (State() == kRunning) {
        Stop();
    }
    if (HasThread()) {
        Join();
    }
    m_socket.Close();
}

void EnumSocketDevice::OnStopRequested() {
    m_socket.Wake();
}

size_t EnumSocketDevice::EntryCount() const {
    std::lock_guard guard(m_tableLock);
    return m_table.size();
}

#define QLOG_ANNOUNCEMENT(prefix, a)                                                     \
    QLOG(prefix                                                                          \
         " header:0x%x, bcc:0x%x, len:%d, tof:%d, rgb:%d, ip:%s, deviceType:%d, sn:%s, " \
         "camerastate:%d, peerip:%s, alias:%s\n",                                        \
         (a).header, (a).bcc, (a).len, (a).tof, (a).rgb, (a).ip, (a).kind, (a).sn,       \
         (a).cameraState, (a).peerIp, (a).alias)

void EnumSocketDevice::HandleDatagram(const uint8_t* data, size_t length) {
    Announcement a;
    if (!ParseAnnouncement(data, length, a)) {
        return;
    }
    const ModelTraits* model = FindModelByKind(a.kind);
    if (model == nullptr) {
        QLOG_ANNOUNCEMENT("error", a);
        return;
    }
    std::lock_guard guard(m_tableLock);
    for (auto& e : m_table) {
        if (strncmp(e->sn, a.sn, 30) == 0 && strncmp(e->ip, a.ip, 16) == 0) {
            if (e->state != a.cameraState) {
                QLOG_ANNOUNCEMENT(" true", a);
                e->state = a.cameraState;
            }
            e->seen = true;
            e->silentUpdates = 0;
            return;
        }
    }
    QLOG_ANNOUNCEMENT(" false", a);
    auto e = std::make_unique<Entry>();
    e->sessionCount = a.tof;
    e->colourSessionCount = a.rgb;
    memcpy(e->ip, a.ip, sizeof e->ip);
    e->deviceType = model->deviceType;
    memcpy(e->sn, a.sn, sizeof e->sn);
    e->state = a.cameraState;
    memcpy(e->alias, a.alias, sizeof e->alias);
    e->seen = true;
    m_table.push_back(std::move(e));
}

namespace {
std::atomic<bool> g_listening{true};
}  // namespace

void SetDiscoveryListeningForTesting(bool listening) {
    g_listening.store(listening);
}

namespace {
std::atomic<uint16_t> g_portOverride{0};
}  // namespace

void SetDiscoveryPortForTesting(uint16_t port) {
    g_portOverride.store(port);
}

uint16_t DiscoveryPort() {
    const uint16_t port = g_portOverride.load();
    return port != 0 ? port : kDiscoveryPort;
}

void EnumSocketDevice::SetListenState(uint32_t status, int systemError, std::string message) {
    std::lock_guard guard(m_listenLock);
    m_listen.status = status;
    m_listen.port = DiscoveryPort();
    m_listen.systemError = systemError;
    m_listen.message = std::move(message);
}

ListenState EnumSocketDevice::GetListenState() const {
    std::lock_guard guard(m_listenLock);
    return m_listen;
}

void EnumSocketDevice::Listen() {
    if (!g_listening.load()) {
        return;
    }
    const uint16_t port = DiscoveryPort();
    const auto fail = [this, port](int err, const char* call) {
        char text[160];
        if (err == EADDRINUSE) {
            snprintf(text, sizeof text,
                     "UDP port %u is in use by another program: network cameras cannot be "
                     "found until it is free",
                     static_cast<unsigned>(port));
        } else {
            snprintf(text, sizeof text, "%s on UDP port %u failed: %s", call,
                     static_cast<unsigned>(port), platform::ErrorText(err).c_str());
        }
        QLOG_ERROR("discovery cannot listen: %s\n", text);
        m_socket.Close();
        SetListenState(NsDiscoveryFailed, err, text);
    };
    if (const int err = m_socket.EnableBroadcast(); err != 0) {
        QLOG_ERROR("Error in setting Broadcast option\n");
        fail(err, "socket");
        return;
    }
    if (m_socket.SetReceiveTimeout(1) != 0) {
        QLOG_WARN("Error in setting Broadcast option  timeout\n");
    }
    if (const int err = m_socket.EnableAddressReuse(); err != 0) {
        QLOG_WARN("setsockopt() error, errno[%d], info: %s\n", err,
                  platform::ErrorText(err).c_str());
    }
    if (const int err = m_socket.Bind(port); err != 0) {
        QLOG_ERROR("Error in BINDING:%d\n", err);
        fail(err, "bind");
        return;
    }
    m_listening = true;
    SetListenState(NsDiscoveryListening, 0, {});
}

void EnumSocketDevice::Run() {
    QLOG("start\n");
    if (!m_listening) {
        while (IsRunning()) {
            WaitForStop(std::chrono::milliseconds(200));
        }
        return;
    }
    QLOG("recvfrom\n");
    uint8_t buffer[kAnnouncementMaxBytes];
    while (IsRunning()) {
        // Stop wakes the wait at once, so a long wait costs no promptness.
        const ssize_t n = m_socket.Receive(buffer, sizeof buffer, 200);
        if (n > 0) {
            HandleDatagram(buffer, static_cast<size_t>(n));
        }
    }
    QLOG("end\n");
}

DeviceInfo* EnumSocketDevice::FindRecord(std::vector<std::unique_ptr<DeviceInfo>>& list,
                                         const Entry& e) const {
    for (auto& record : list) {
        const ModelTraits& model = TraitsOf(record->deviceType);
        if (model.linkType != kLinkNetwork) {
            continue;
        }
        const size_t prefix = strlen(model.name);
        if (strncmp(record->uri, model.name, prefix) == 0 && record->uri[prefix] == ':' &&
            strncmp(record->uri + prefix + 1, e.sn, 30) == 0 &&
            strlen(record->uri + prefix + 1) == strlen(e.sn)) {
            return record.get();
        }
    }
    return nullptr;
}

std::unique_ptr<DeviceInfo> EnumSocketDevice::CreateRecord(const Entry& e) const {
    auto record = std::make_unique<DeviceInfo>(e.deviceType);
    record->sessionCount = e.sessionCount;
    const ModelTraits& model = TraitsOf(e.deviceType);
    if (model.linkType == kLinkNetwork) {
        snprintf(record->uri, sizeof record->uri, "%s:%s", model.name, e.sn);
    } else {
        QLOG_WARN("devicetype:%d is invalid. \n", static_cast<int>(e.deviceType));
    }
    CopyText(record->alias, e.alias[0] != '\0' ? e.alias : e.sn);
    for (uint32_t i = 0; i < e.sessionCount; ++i) {
        SessionInfo s;
        s.linkType = kLinkNetwork;
        s.deviceType = e.deviceType;
        ParseIPv4(e.ip, s.net.ip);
        s.net.commandPort = static_cast<uint16_t>(9008 + 10 * i);
        s.net.dataPort = static_cast<uint16_t>(9009 + 10 * i);
        s.featureFlags = i < e.colourSessionCount ? kFeatureColour : 0;
        s.dataModes.assign(model.dataModes.begin(), model.dataModes.end());
        s.finalField = model.finalField;
        record->sessions.push_back(std::move(s));
    }
    record->pending = HotPlugEvent::kAdded;
    return record;
}

void EnumSocketDevice::ApplyState(DeviceInfo& r, const Entry& e) const {
    for (SessionInfo& s : r.sessions) {
        ParseIPv4(e.ip, s.net.ip);
    }
    if (r.status != Unconnected) {
        r.missCount = 0;
    }
    switch (e.state) {
        case 0:
            if (r.status == ConnectUNKNOWN && r.notified == HotPlugEvent::kAdded) {
                QLOG(" wait for  remove first ConnectUNKNOWN %s\n", r.uri);
            } else if (r.status == Opened) {
                QLOG(" wait for  remove first Opened %s\n", r.uri);
            } else {
                r.status = Connected;
                const bool announce =
                    r.device
                        ? (r.pending == HotPlugEvent::kNone && !r.device->IsAlive())
                        : (r.notified == HotPlugEvent::kRemoved ||
                           (r.pending == HotPlugEvent::kNone && r.notified == HotPlugEvent::kNone));
                if (announce) {
                    QLOG(" setCallBackStatus add %s\n", r.uri);
                    r.pending = HotPlugEvent::kAdded;
                }
            }
            break;
        case 1:
            break;
        case 2:
            if (r.status != Unconnected) {
                r.status = ConnectUNKNOWN;
                if (r.notified == HotPlugEvent::kAdded && r.pending != HotPlugEvent::kRemoved) {
                    QLOG(" setCallBackStatus remove %s\n", r.uri);
                    r.pending = HotPlugEvent::kRemoved;
                }
            }
            break;
        case 3:
            r.status = UpgradeMode;
            break;
        case 4:
            r.status = NsConnectStatus5;
            break;
        default:
            r.status = ConnectUNKNOWN;
            break;
    }
}

bool EnumSocketDevice::DropSilent(DeviceInfo& r, Entry& e) const {
    if (r.status == Opened) {
        if (r.missCount < 3) {
            return false;
        }
        QLOG("DeviceInfo->missCount %d  isdelete %d %s %s\n", r.missCount, 1, r.uri, e.ip);
        return true;
    }
    if (r.status == Unconnected) {
        QLOG("DeviceInfo->missCount %d  isdelete %d %s %s\n", r.missCount, 1, r.uri, e.ip);
        return true;
    }
    if (++e.silentUpdates < 4) {
        return false;
    }
    QLOG("DeviceInfo->missCount %d  isdelete %d %s %s\n", r.missCount, 1, r.uri, e.ip);
    e.silentUpdates = 0;
    if (r.device && r.notified != HotPlugEvent::kRemoved &&
        (r.device->IsStreaming() || !r.device->IsAlive())) {
        QLOG(" setCallBackStatus remove %s\n", r.uri);
        r.pending = HotPlugEvent::kRemoved;
    }
    return true;
}

void EnumSocketDevice::UpdateDeviceListInfo(std::vector<std::unique_ptr<DeviceInfo>>& list) {
    std::lock_guard guard(m_tableLock);
    for (auto it = m_table.begin(); it != m_table.end();) {
        Entry& e = **it;
        DeviceInfo* r = FindRecord(list, e);
        bool drop = false;
        if (r == nullptr) {
            if (e.state == 0 || e.state == 3) {
                list.push_back(CreateRecord(e));
                e.seen = false;
            }
        } else if (e.seen) {
            ApplyState(*r, e);
            e.seen = false;
        } else {
            drop = DropSilent(*r, e);
        }
        it = drop ? m_table.erase(it) : it + 1;
    }
}

}  // namespace quorix
