// Device records, per-model tables, the announcement parser and the USB discovery logic.
#include <gtest/gtest.h>

#include <cstring>

#include "device/BaseDevice.h"
#include "device/DeviceInfo.h"
#include "device/EnumSocketDevice.h"
#include "device/EnumUsbDevice.h"
#include "log/Log.h"
#include "platform/fake/FakeUsbPlatform.h"
#include "protocol/BaseProtocol.h"
#include "session/BaseSession.h"
#include "session/ProtocolFactory.h"
#include "support/Announcement.h"
#include "support/CameraTexts.h"

namespace quorix {
namespace {

TEST(DeviceInfo, NetworkRecordsWaitForDiscoveryOthersGetOneSession) {
    for (const ModelTraits& model : Models()) {
        SCOPED_TRACE(model.deviceType);
        DeviceInfo r(model.deviceType);
        EXPECT_EQ(r.pending, HotPlugEvent::kNone);
        EXPECT_EQ(r.notified, HotPlugEvent::kNone);
        if (model.linkType == kLinkNetwork) {
            EXPECT_EQ(+r.status, static_cast<uint32_t>(Connected));
            EXPECT_EQ(r.sessionCount, 0);
            EXPECT_TRUE(r.sessions.empty());
            continue;
        }
        ASSERT_EQ(r.sessionCount, 1);
        ASSERT_EQ(r.sessions.size(), 1u);
        EXPECT_EQ(r.sessions[0].deviceType, model.deviceType);
        EXPECT_EQ(r.sessions[0].dataModes.size(), model.dataModes.size());
    }
    // A link other than USB has no colour size in its record.
    DeviceInfo mipi(TK_MIPI);
    EXPECT_EQ(mipi.sessions[0].usb.colourWidth, 0u);
    EXPECT_EQ(+mipi.status, static_cast<uint32_t>(Connected));

    DeviceInfo small(NsDeviceType444);
    EXPECT_EQ(small.sessions[0].usb.colourWidth, 480u);
    EXPECT_EQ(small.sessions[0].usb.colourHeight, 480u);
    EXPECT_EQ(small.sessions[0].usb.colourFormat, 2);
    EXPECT_EQ(small.sessions[0].dataModes, std::vector<uint32_t>{200});
}

TEST(DeviceInfo, UnknownTypeHasNoSessionsAndNeitherHasItsDevice) {
    log::Capture capture;
    DeviceInfo r(999);
    EXPECT_TRUE(capture.Contains("devicetype:999 is invalid"));
    EXPECT_EQ(r.sessionCount, 0);
    BaseDevice device(r);
    EXPECT_EQ(device.SessionCount(), 0u);
    EXPECT_EQ(device.GetSession(0), nullptr);
    EXPECT_TRUE(capture.Contains("sessionIndex:0 is invalid."));
    EXPECT_EQ(device.Open(0), 0);
    EXPECT_TRUE(device.IsAlive());
    EXPECT_TRUE(device.IsStreaming());
}

TEST(DeviceInfo, MipiGetSNWritesNothing) {
    DeviceInfo r(TK_MIPI);
    BaseDevice device(r);
    char buffer[8];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(device.GetSN(buffer, sizeof buffer), 0);
    EXPECT_EQ(std::string(buffer, 8), "xxxxxxxx");
}

TEST(DeviceInfo, SessionCopiesAreDeepAndCheckTheLinkType) {
    SessionInfo a;
    a.linkType = kLinkNetwork;
    a.dataModes = {0, 1, 2};
    SessionInfo b(a);
    b.dataModes[0] = 9;
    EXPECT_EQ(a.dataModes[0], 0u);
    log::Capture capture;
    SessionInfo bad;
    bad.linkType = 7;
    SessionInfo copy;
    copy = bad;
    EXPECT_TRUE(capture.Contains("linkType:7 is invalid."));
}

TEST(DeviceInfo, SnapshotCopiesThePublicFields) {
    DeviceInfo r(TK5P);
    r.sessionCount = 2;
    CopyText(r.uri, "TK5P:SN1");
    CopyText(r.alias, "front");
    r.status = Opened;
    r.pending = HotPlugEvent::kAdded;
    const NsDeviceInfo s = r.Snapshot();
    EXPECT_EQ(+s.SessionCount, 2u);
    EXPECT_EQ(+s.devicetype, static_cast<uint32_t>(TK5P));
    EXPECT_STREQ(s.uri, "TK5P:SN1");
    EXPECT_STREQ(s.alias, "front");
    EXPECT_EQ(+s.status, static_cast<uint32_t>(Opened));
}

TEST(Announcement, ParsesFixedLengthFieldsAndIgnoresShortDatagrams) {
    test::AnnouncementBytes bytes;
    bytes.Set(2, 1, "192.168.1.20", 4, "SN-0001", 0, "10.0.0.1", "left");
    Announcement a;
    EXPECT_FALSE(ParseAnnouncement(bytes.data.data(), 88, a));
    ASSERT_TRUE(ParseAnnouncement(bytes.data.data(), 89, a));
    EXPECT_EQ(a.tof, 2);
    EXPECT_EQ(a.rgb, 1);
    EXPECT_STREQ(a.ip, "192.168.1.20");
    EXPECT_EQ(a.kind, 4);
    EXPECT_STREQ(a.sn, "SN-0001");
    EXPECT_STREQ(a.peerIp, "10.0.0.1");
    EXPECT_STREQ(a.alias, "left");

    // Text fields filled to the brim carry no NUL: they end at their width.
    memset(bytes.data.data() + 22, 'S', 30);
    memset(bytes.data.data() + 69, 'A', 20);
    memset(bytes.data.data() + 5, '9', 16);
    ASSERT_TRUE(ParseAnnouncement(bytes.data.data(), 89, a));
    EXPECT_EQ(std::string(a.sn), std::string(30, 'S'));
    EXPECT_EQ(std::string(a.alias), std::string(20, 'A'));
    EXPECT_EQ(std::string(a.ip), std::string(16, '9'));
}

// The address of each session comes from the announcement's text, part by part: parts of
// 1 to 3 digits up to 255 are taken, anything else (also 16 digits, once read through an
// int that overflowed) reads as 0.
TEST(Announcement, SessionAddressesTakeOnlyPartsThatFitAByte) {
    SetDiscoveryListeningForTesting(false);
    struct Case {
        const char* ip;
        uint8_t expected[4];
    };
    const Case cases[] = {
        {"192.168.1.20", {192, 168, 1, 20}},
        {"9999999999999999", {0, 0, 0, 0}},
        {"256.1.-2.0099", {0, 1, 0, 0}},
        {"10.0.0", {10, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ip);
        EnumSocketDevice discovery;
        test::AnnouncementBytes bytes;
        bytes.Set(2, 1, c.ip, 4, "SN-IP", 0, "", "");
        discovery.HandleDatagram(bytes.data.data(), bytes.data.size());
        std::vector<std::unique_ptr<DeviceInfo>> list;
        discovery.UpdateDeviceListInfo(list);
        ASSERT_EQ(list.size(), 1u);
        ASSERT_EQ(list[0]->sessions.size(), 2u);
        for (const SessionInfo& session : list[0]->sessions) {
            EXPECT_EQ(std::vector<uint8_t>(session.net.ip, session.net.ip + 4),
                      std::vector<uint8_t>(c.expected, c.expected + 4));
        }
    }
    SetDiscoveryListeningForTesting(true);
}

// A USB camera's protocol as the alias read sees it: it answers from the texts of the
// session's video path and counts how it was opened and closed.
class AliasProtocol final : public BaseProtocol {
public:
    struct Counts {
        int created = 0;
        int opened = 0;
        int closed = 0;
        int32_t openResult = 0;
    };
    AliasProtocol(test::CameraTexts& texts, Counts& counts, const SessionInfo& info)
        : m_texts(texts), m_counts(counts), m_path(info.usb.path) {
        ++m_counts.created;
    }
    int32_t OpenDevice() override {
        ++m_counts.opened;
        return m_counts.openResult;
    }
    int32_t CloseDevice() override {
        ++m_counts.closed;
        return 0;
    }
    int32_t GetAlias(char* text, uint32_t capacity) override {
        return m_texts.Read(m_path, test::CameraText::kAlias, text, capacity);
    }
    int32_t GetSN(char* text, uint32_t capacity) override {
        return m_texts.Read(m_path, test::CameraText::kSerialNumber, text, capacity);
    }

private:
    test::CameraTexts& m_texts;
    Counts& m_counts;
    const std::string m_path;
};

class UsbLogic : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetUsbPlatformForTesting(&m_usb);
        SetProtocolFactoryForTesting([this](const SessionInfo& info) {
            return std::make_unique<AliasProtocol>(m_texts, m_counts, info);
        });
    }
    void TearDown() override {
        SetProtocolFactoryForTesting({});
        platform::SetUsbPlatformForTesting(nullptr);
    }
    static SessionInfo UsbSession(uint32_t type, const char* path) {
        SessionInfo s;
        s.linkType = kLinkUsb;
        s.deviceType = type;
        CopyText(s.usb.path, path);
        return s;
    }
    platform::FakeUsbPlatform m_usb;
    test::CameraTexts m_texts;
    AliasProtocol::Counts m_counts;
};

TEST_F(UsbLogic, EnumerationPairsVideoWithHidByContainer) {
    m_usb.AddCamera("/video/a", "/hid/a", "box-a", 0xF5E2, 0x0101);  // TK3A
    m_usb.AddCamera("/video/b", "", "box-b", 0xF5E2, 0x0107);        // TK2A, HID not yet there
    m_usb.AddCamera("/video/c", "/hid/c", "box-c", 0x0C45, 0x636B);  // 444
    m_usb.AddCamera("/video/d", "/hid/d", "box-d", 0xF5E2, 0x0999);  // not a camera
    m_usb.AddCamera("/video/e", "/hid/e", "box-e", 0x1234, 0x0101);  // another vendor
    const auto entries = EnumUSBDevice();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].path, "/video/a");
    EXPECT_EQ(entries[0].companionPath, "/hid/a");
    EXPECT_EQ(entries[0].deviceType, static_cast<uint32_t>(TK3A));
    EXPECT_EQ(entries[1].companionPath, "");
    EXPECT_EQ(entries[1].deviceType, static_cast<uint32_t>(TK2A));
    EXPECT_EQ(entries[2].deviceType, static_cast<uint32_t>(NsDeviceType444));
    EXPECT_EQ(entries[2].companionPath, "");  // only the first vendor's HID pairs

    std::string hid;
    EXPECT_TRUE(FindCompanionPath("/video/a", hid));
    EXPECT_EQ(hid, "/hid/a");
    EXPECT_FALSE(FindCompanionPath("/video/b", hid));
    EXPECT_FALSE(FindCompanionPath("/video/unknown", hid));
}

TEST_F(UsbLogic, AliasFallsBackToSerialNumberAndTK1AHasNone) {
    const SessionInfo s = UsbSession(TK3A, "/video/a");
    char alias[64];
    m_texts.Set("/video/a", test::CameraText::kAlias, "");
    m_texts.Set("/video/a", test::CameraText::kSerialNumber, "QX-77");
    EXPECT_EQ(GetAlias(alias, TK3A, s), 0);
    EXPECT_STREQ(alias, "QX-77");
    m_texts.Set("/video/a", test::CameraText::kAlias, "bench");
    EXPECT_EQ(GetAlias(alias, TK3A, s), 0);
    EXPECT_STREQ(alias, "bench");
    m_texts.Set("/video/a", test::CameraText::kAlias, "", -104);
    EXPECT_EQ(GetAlias(alias, TK3A, s), 0);  // a failed alias read falls back too
    EXPECT_STREQ(alias, "QX-77");
    m_texts.Set("/video/a", test::CameraText::kSerialNumber, "", -104);
    EXPECT_EQ(GetAlias(alias, TK3A, s), -104);
    EXPECT_STREQ(alias, "");

    const int created = m_counts.created;
    log::Capture capture;
    EXPECT_EQ(GetAlias(alias, TK1A, s), 0);
    EXPECT_STREQ(alias, "");
    EXPECT_TRUE(capture.Contains("devicetype:140 is invalid."));
    EXPECT_EQ(GetAlias(alias, TK4A, s), 0);
    EXPECT_EQ(m_counts.created, created);  // neither asked the camera
}

TEST_F(UsbLogic, AliasIsReadFromTheCameraOfTheSessionOverAProtocolOpenedForTheRead) {
    m_texts.Set("/video/a", test::CameraText::kAlias, "left");
    m_texts.Set("/video/b", test::CameraText::kAlias, "right");
    char alias[64];
    EXPECT_EQ(GetAlias(alias, TK2A, UsbSession(TK2A, "/video/b")), 0);
    EXPECT_STREQ(alias, "right");
    EXPECT_EQ(GetAlias(alias, TK3A, UsbSession(TK3A, "/video/a")), 0);
    EXPECT_STREQ(alias, "left");
    EXPECT_EQ(m_counts.created, 2);
    EXPECT_EQ(m_counts.opened, 2);
    EXPECT_EQ(m_counts.closed, 2);

    // A protocol that cannot be opened is not asked and not closed.
    m_counts.openResult = -13;
    memset(alias, 'x', sizeof alias);
    EXPECT_EQ(GetAlias(alias, TK3A, UsbSession(TK3A, "/video/a")), -13);
    EXPECT_STREQ(alias, "");
    EXPECT_EQ(m_counts.opened, 3);
    EXPECT_EQ(m_counts.closed, 2);
}

TEST_F(UsbLogic, AliasOfACameraWhoseNodeCannotBeOpenedFailsQuietly) {
    SetProtocolFactoryForTesting({});  // the library's own protocols; "/video/a" is no node
    m_texts.Set("/video/a", test::CameraText::kAlias, "left");
    char alias[64];
    auto askEveryModel = [&] {
        for (const ModelTraits& model : Models()) {
            if (!model.readsAlias) {
                continue;
            }
            SCOPED_TRACE(model.deviceType);
            memset(alias, 'x', sizeof alias);
            EXPECT_EQ(GetAlias(alias, model.deviceType, UsbSession(model.deviceType, "/video/a")),
                      -13);
            EXPECT_STREQ(alias, "");
        }
    };
    askEveryModel();  // the first failure says why
    log::Capture capture;
    askEveryModel();
    EXPECT_TRUE(capture.Lines().empty());  // discovery asks on every pass: no line per ask
}

TEST_F(UsbLogic, UpgradeInterfaceIsFoundByVendorAndProduct) {
    m_usb.AddCamera("/video/x", "/hid/upgrade", "box-x", 0xF5E2, 0x0104);
    std::string path;
    EXPECT_TRUE(FindHIDDeviceByVIDandPID(path, 0xF5E2, 0x0104));
    EXPECT_EQ(path, "/hid/upgrade");
    EXPECT_FALSE(FindHIDDeviceByVIDandPID(path, 0xF5E2, 0x0106));
}

}  // namespace
}  // namespace quorix
