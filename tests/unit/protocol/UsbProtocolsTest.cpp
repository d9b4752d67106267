// The HID, UVC and composite USB protocols against the platform's fakes: what each link
// sends differently from the network (lengths, directions, request-first gets, groups),
// the HID-only and UVC-only commands, the shared capture channel that a temporary
// protocol never closes, and the composites' own operations.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/fake/FakeHid.h"
#include "platform/fake/FakeVideo.h"
#include "protocol/HidProtocol.h"
#include "protocol/UsbProtocol.h"
#include "protocol/UvcProtocol.h"

namespace quorix {
namespace {

using platform::FakeHidEndpoint;
using platform::FakeVideoNode;
using platform::HidReport;

SessionInfo UsbRecord(const std::string& video, const std::string& hid, uint8_t encoding = 2) {
    SessionInfo s;
    s.linkType = kLinkUsb;
    strncpy(s.usb.path, video.c_str(), sizeof s.usb.path - 1);
    strncpy(s.usb.companionPath, hid.c_str(), sizeof s.usb.companionPath - 1);
    s.usb.colourWidth = 640;
    s.usb.colourHeight = 480;
    s.usb.colourFormat = encoding;
    return s;
}

// The payload of a written report: its length byte's worth after the header.
std::vector<uint8_t> Payload(const HidReport& r) {
    return {r.begin() + 3, r.begin() + 3 + std::min<size_t>(r[2], 61)};
}

struct Control {
    uint8_t selector;
    uint8_t query;
    std::vector<uint8_t> block;
};

class UsbProtocols : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetHidPlatformForTesting(&m_hidPlatform);
        platform::SetVideoKernelForTesting(&m_kernel);
        m_hidPlatform.Add("/dev/hidraw1", m_hid);
        FakeVideoNode::Config config;
        config.formats = {{platform::kFourCCYuyv, 640, 480, 640 * 480 * 2}};
        config.descriptors = FakeVideoNode::Descriptors(config.unitId, {1, 2, 7, 0x13});
        m_video = std::make_shared<FakeVideoNode>(config);
        m_kernel.Add("/dev/video1", m_video);
        // The camera answers a get with the block last set on the selector.
        m_video->SetControlHandler(
            [this](uint8_t selector, uint8_t query, uint8_t* data, uint16_t size) {
                std::lock_guard guard(m_lock);
                if (query == platform::kUvcGetLen) {
                    data[0] = 64;
                    data[1] = 0;
                    return 0;
                }
                std::vector<uint8_t>& block = m_blocks[selector];
                block.resize(64);
                if (query == platform::kUvcSetCur) {
                    memcpy(block.data(), data, size);
                } else {
                    memcpy(data, block.data(), size);
                }
                m_controls.push_back({selector, query, {data, data + size}});
                return 0;
            });
    }
    void TearDown() override {
        platform::SetHidPlatformForTesting(nullptr);
        platform::SetVideoKernelForTesting(nullptr);
    }
    // Every get is answered with `payload` under its own command byte.
    void HidAnswers(std::vector<uint8_t> payload) {
        m_hid->SetResponder([payload](const HidReport& w) {
            if ((w[1] & 0x80) == 0) {
                return std::vector<HidReport>{};
            }
            HidReport r(64, 0);
            r[0] = 0xAA;
            r[1] = w[1];
            r[2] = static_cast<uint8_t>(payload.size());
            std::copy(payload.begin(), payload.end(), r.begin() + 3);
            return std::vector<HidReport>{r};
        });
    }
    std::vector<Control> Controls() {
        std::lock_guard guard(m_lock);
        return m_controls;
    }

    platform::FakeHidPlatform m_hidPlatform;
    platform::FakeVideoKernel m_kernel;
    std::shared_ptr<FakeHidEndpoint> m_hid = std::make_shared<FakeHidEndpoint>();
    std::shared_ptr<FakeVideoNode> m_video;
    std::mutex m_lock;
    std::map<uint8_t, std::vector<uint8_t>> m_blocks;
    std::vector<Control> m_controls;
    const SessionInfo m_record =
        UsbRecord("/dev/video1?usb=1-1&id=f5e2:0101", "/dev/hidraw1?usb=1-1&id=f5e2:0101");
};

TEST_F(UsbProtocols, HidSendsTheNetworkVocabularyInItsOwnLengthsAndDirections) {
    HidProtocol hid(m_record);
    EXPECT_EQ(hid.SetThreshold(30), 0);  // closed: nothing sent
    EXPECT_TRUE(m_hid->Written().empty());
    ASSERT_EQ(hid.OpenDevice(), 0);
    HidAnswers(std::vector<uint8_t>(20, 0));

    EXPECT_EQ(hid.SetThreshold(30), 0);
    WDROutputMode wdr{};
    wdr.totalRange = 2;
    EXPECT_EQ(hid.SetWDRMode(wdr), 0);
    NsMeasuringRange range{};
    EXPECT_EQ(hid.GetMeasuringRange(range), 0);
    EXPECT_EQ(hid.SetDataMode(2), 0);
    uint8_t mode = 0;
    EXPECT_EQ(hid.GetDataMode(mode), 0);
    PulseCountBlock pulses{};
    EXPECT_EQ(hid.GetPulseCount(pulses), 0);
    TransferState state{};
    EXPECT_EQ(hid.GetUpgradeState(state), 0);

    const auto w = m_hid->Written();
    ASSERT_EQ(w.size(), 7u);
    EXPECT_EQ(std::vector<uint8_t>(w[0].begin(), w[0].begin() + 6),
              (std::vector<uint8_t>{0xAA, 0x02, 3, 0x01, 0x2C, 0x01}));
    EXPECT_EQ(w[1][1], 0x82);  // a set sent in the get direction
    EXPECT_EQ(w[1][2], 8);
    EXPECT_EQ(w[2][1], 0x86);
    EXPECT_EQ(w[2][2], 19);
    EXPECT_EQ(w[3][1], 0x07);
    EXPECT_EQ(w[3][2], 64);
    EXPECT_EQ(w[4][2], 1);
    EXPECT_EQ(w[5][2], 20);
    EXPECT_EQ(w[6][1], 0x98);  // transfer state travels in group 0x18
}

TEST_F(UsbProtocols, HidTextGetsAskFirstAndHidOnlyCommandsAreByteExact) {
    HidProtocol hid(m_record);
    ASSERT_EQ(hid.OpenDevice(), 0);
    HidAnswers({0x02, 'Q', 'X', '1'});
    char sn[16] = {};
    ASSERT_EQ(hid.GetSN(sn, sizeof sn), 0);
    EXPECT_STREQ(sn, "QX1");
    auto w = m_hid->Written();
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0][1], 0x13);  // the set that says what is asked
    EXPECT_EQ(Payload(w[0]), (std::vector<uint8_t>{0x02}));
    EXPECT_EQ(w[1][1], 0x93);

    HidAnswers({0x01, 0x01});
    uint8_t mode = 0;
    EXPECT_EQ(hid.SetTecentMode(100), 0);
    EXPECT_EQ(hid.GetTecentMode(mode), 0);
    EXPECT_EQ(mode, 100);
    EXPECT_EQ(hid.SetRgbAecEnabled(true), 0);
    EXPECT_EQ(hid.SetRgbExplosureTimeAndGain(1.5f, 2.0f), 0);
    w = m_hid->Written();
    ASSERT_EQ(w.size(), 6u);
    EXPECT_EQ(Payload(w[2]), (std::vector<uint8_t>{0x01, 0x01}));
    EXPECT_EQ(w[3][1], 0x97);
    EXPECT_EQ(Payload(w[4]), (std::vector<uint8_t>{0x03, 0x02, 0x00}));
    float time = 0;
    memcpy(&time, w[5].data() + 5, sizeof time);
    EXPECT_EQ(time, 1.5f);

    EXPECT_EQ(hid.SetToJsonMode_P(), kStatusNotSupported);
    EXPECT_EQ(hid.SetSlaveTrigger(), kStatusNotSupported);
    uint32_t length = 4;
    uint8_t data[4] = {};
    EXPECT_EQ(hid.GetProperty(property::kDeviceSN, data, length), kStatusNotSupported);
    EXPECT_EQ(hid.StartStream(), 0);
    EXPECT_EQ(m_hid->Written().size(), 6u);  // none of these sent anything
}

TEST_F(UsbProtocols, HidGetThatIsNeverAnsweredFails) {
    HidProtocol hid(m_record);
    ASSERT_EQ(hid.OpenDevice(), 0);
    uint16_t threshold = 77;
    EXPECT_EQ(hid.GetThreshold(threshold), kStatusTransferError);
    EXPECT_EQ(threshold, 77);
    SessionInfo network = m_record;
    network.linkType = kLinkNetwork;
    HidProtocol none(network);  // only a USB link has a HID channel
    EXPECT_EQ(none.OpenDevice(), kStatusNotOpened);
}

TEST_F(UsbProtocols, UvcSendsTheModeByteAndAsksBeforeItReadsTexts) {
    UvcProtocol uvc(m_record);
    EXPECT_EQ(uvc.StartStream(), kStatusNotOpened);
    ASSERT_EQ(uvc.OpenDevice(), 0);
    EXPECT_EQ(uvc.SetDataMode(2), 0);
    char sn[8] = {};
    ASSERT_EQ(uvc.GetSN(sn, sizeof sn), 0);
    const auto c = Controls();
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(c[0].selector, 0x07);
    EXPECT_EQ(c[0].query, platform::kUvcSetCur);
    EXPECT_EQ(c[0].block[0], 0x02);
    EXPECT_EQ(c[0].block[1], 0x00);  // the mode byte alone
    EXPECT_EQ(c[1].selector, 0x13);
    EXPECT_EQ(c[1].query, platform::kUvcSetCur);
    EXPECT_EQ(c[1].block[0], 0x02);
    EXPECT_EQ(c[2].query, platform::kUvcGetCur);

    TransferState state{};
    EXPECT_EQ(uvc.GetUpgradeState(state), kStatusNotSupported);
    EXPECT_EQ(uvc.RebootCamera(), kStatusNotSupported);
    uint32_t length = 4;
    uint8_t flag[4] = {};
    EXPECT_EQ(uvc.GetProperty(property::kDeviceUpgradeFlag, flag, length), 1);
    EXPECT_EQ(Controls().size(), 3u);
}

TEST_F(UsbProtocols, ATemporaryProtocolNeverClosesTheSessionsChannel) {
    UvcProtocol session(m_record);
    ASSERT_EQ(session.OpenDevice(), 0);
    ASSERT_EQ(session.StartStream(), 0);
    {
        UsbProtocol temporary(m_record);  // as the alias read builds it
        EXPECT_EQ(temporary.OpenDevice(), 1);
        temporary.CloseDevice();
    }
    EXPECT_TRUE(m_video->Streaming());
    EXPECT_EQ(m_kernel.OpenDescriptors(), 1u);
    const std::vector<uint8_t> sample(32, 9);
    ASSERT_TRUE(m_video->Deliver(sample.data(), sample.size()));
    std::vector<uint8_t> buffer(64);
    uint32_t length = 64;
    EXPECT_EQ(session.ReadData(buffer.data(), length), 0);
    EXPECT_EQ(length, 32u);
    session.CloseDevice();
    EXPECT_EQ(m_kernel.OpenDescriptors(), 0u);
}

TEST_F(UsbProtocols, UsbProtocolToleratesAMissingHidChannel) {
    UsbProtocol usb(UsbRecord("/dev/video1", "/dev/hidraw9"));
    EXPECT_EQ(usb.OpenDevice(), 0);
    EXPECT_EQ(usb.SetRgbAecEnabled(true), kStatusNotSupported);
    EXPECT_EQ(usb.CloseDevice(), 0);
}

TEST_F(UsbProtocols, Tk1aOpensUvcFirstAndKeepsItsDataModeScheme) {
    TK1A_Protocol missing(UsbRecord("/dev/video9", "/dev/hidraw1"));
    EXPECT_EQ(missing.OpenDevice(), kStatusNotOpened);
    EXPECT_EQ(m_hid->Opens(), 0u);  // HID is not opened after a UVC failure

    TK1A_Protocol tk1a(m_record);
    ASSERT_EQ(tk1a.OpenDevice(), 0);
    EXPECT_EQ(tk1a.SetDataMode(5), kStatusFailed);
    EXPECT_EQ(tk1a.SetDataMode(101), 0);
    EXPECT_EQ(tk1a.SetRgbAecEnabled(true), 0);
    const auto w = m_hid->Written();
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(Payload(w[0]), (std::vector<uint8_t>{0x01, 0x01}));  // reset to 100
    EXPECT_EQ(Payload(w[1]), (std::vector<uint8_t>{0x01, 0x02}));
    EXPECT_EQ(w[2][1], 0x15);
    uint16_t id = 0;
    uint32_t count = 0;
    EXPECT_EQ(tk1a.GetPlaneCorrectionParam(id, nullptr, 0, count), kStatusFailed);
    // The serial number is read without switching the camera's data mode.
    char sn[8] = {};
    EXPECT_EQ(tk1a.GetSN(sn, sizeof sn), 0);
    EXPECT_EQ(m_hid->Written().size(), 3u);
    const uint16_t gain = 0x0102;
    HidAnswers({});
    EXPECT_EQ(tk1a.SetProperty(property::kGmmGain16, &gain, sizeof gain), 0);
    const auto last = m_hid->Written().back();
    EXPECT_EQ(last[1], 0x05);
    EXPECT_EQ(tk1a.SetProperty(0x12345678, &gain, sizeof gain), kStatusNotSupported);
    tk1a.CloseDevice();
}

TEST_F(UsbProtocols, UvcWdrRecordsAndPropertiesAreBoundedBySize) {
    UvcProtocol uvc(m_record);
    ASSERT_EQ(uvc.OpenDevice(), 0);
    const uint8_t gain[5] = {0x10, 0x20, 0x30, 0x40, 0x01};
    EXPECT_EQ(uvc.SetProperty(property::kWDRGMMGain, gain, sizeof gain), 0);
    EXPECT_EQ(uvc.SetProperty(property::kWDRGMMGain, gain, 4), kStatusBadParameter);
    uint8_t back[6] = {};
    uint32_t length = sizeof back;
    ASSERT_EQ(uvc.GetProperty(property::kWDRGMMGain, back, length), 0);
    EXPECT_EQ(std::vector<uint8_t>(back, back + 5), std::vector<uint8_t>(gain, gain + 5));
    length = 5;  // a get fills six bytes
    EXPECT_EQ(uvc.GetProperty(property::kWDRThreshold, back, length), kStatusBadParameter);
    WDROutputMode wdr{};
    length = sizeof wdr - 1;
    EXPECT_EQ(uvc.GetProperty(property::kWDRSetting, &wdr, length), kStatusBadParameter);
    const auto c = Controls();
    ASSERT_EQ(c.size(), 2u);  // the refused calls sent nothing
    EXPECT_EQ(c[0].selector, 0x1B);
    EXPECT_EQ(c[0].query, platform::kUvcSetCur);
    EXPECT_EQ(c[1].query, platform::kUvcGetCur);
    uvc.CloseDevice();
    EXPECT_EQ(uvc.SetWDRThreshold(gain, sizeof gain), 0);  // closed: "device is not opened."
    EXPECT_EQ(Controls().size(), 2u);
}

TEST_F(UsbProtocols, CaptureChannelReopensOnTheNodesOfACameraThatCameBack) {
    UvcProtocol first(m_record);
    ASSERT_EQ(first.OpenDevice(), 0);
    m_video->Unplug();
    first.SetConnectStatus(false);
    EXPECT_EQ(first.SetDataMode(2), kStatusNotOpened);
    first.CloseDevice();
    // Plugged in again on the same node.
    FakeVideoNode::Config config;
    config.formats = {{platform::kFourCCYuyv, 640, 480, 640 * 480 * 2}};
    auto again = std::make_shared<FakeVideoNode>(config);
    m_kernel.Add("/dev/video1", again);
    UvcProtocol second(m_record);
    ASSERT_EQ(second.OpenDevice(), 0);
    EXPECT_EQ(second.SetDataMode(2), 0);
    EXPECT_EQ(again->Opens(), 1u);
    second.CloseDevice();
    EXPECT_EQ(m_kernel.OpenDescriptors(), 0u);
}

TEST_F(UsbProtocols, Tk1aTransferPropertiesGoOverHid) {
    TK1A_Protocol tk1a(m_record);
    ASSERT_EQ(tk1a.OpenDevice(), 0);
    HidAnswers({0x01, 0x02, 0, 0, 0, 0x03, 0, 0, 0, 0x04});
    TransferState state{};
    uint32_t length = sizeof state;
    ASSERT_EQ(tk1a.GetProperty(property::kUpgradeState, &state, length), 0);
    EXPECT_EQ(m_hid->Written().back()[1], 0x98);  // the transfer group on HID
    length = sizeof state - 1;
    EXPECT_EQ(tk1a.GetProperty(property::kUpgradeState, &state, length), kStatusBadParameter);
    uint8_t supported = 9;
    length = 0;
    EXPECT_EQ(tk1a.GetProperty(property::kUpgradeSupported, &supported, length),
              kStatusBadParameter);
    EXPECT_EQ(supported, 9);
    tk1a.CloseDevice();
}

TEST_F(UsbProtocols, ProximitySensorsCheckTheirValuesAndAskBeforeReading) {
    TK1A_Protocol tk1a(m_record);
    ASSERT_EQ(tk1a.OpenDevice(), 0);
    const uint16_t gain3 = 0x0301;  // sensor 1, gain 3
    EXPECT_EQ(tk1a.SetProperty(property::kPsensorFirst + 4, &gain3, sizeof gain3), 1);
    const uint8_t equal[5] = {1, 0x10, 0x00, 0x10, 0x00};  // high = low
    EXPECT_EQ(tk1a.SetProperty(property::kPsensorFirst + 2, equal, sizeof equal), 1);
    EXPECT_TRUE(Controls().empty());  // refused values send nothing
    const uint16_t gain4 = 0x0401;
    ASSERT_EQ(tk1a.SetProperty(property::kPsensorFirst + 4, &gain4, sizeof gain4), 0);
    auto c = Controls();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].selector, 0x13);
    EXPECT_EQ(std::vector<uint8_t>(c[0].block.begin(), c[0].block.begin() + 5),
              (std::vector<uint8_t>{0x06, 0x01, 0x05, 0x04, 0x00}));

    // A reading: the request goes as a set, the answer comes from byte 3 of the get.
    {
        std::lock_guard guard(m_lock);
        m_controls.clear();
    }
    m_video->SetControlHandler([&](uint8_t, uint8_t query, uint8_t* data, uint16_t) {
        if (query == platform::kUvcGetLen) {
            data[0] = 64;
            data[1] = 0;
        } else if (query == platform::kUvcGetCur) {
            memset(data, 0, 64);
            data[3] = 0x00;  // 1024: beyond what a sensor reads
            data[4] = 0x04;
        }
        return 0;
    });
    uint8_t reading[3] = {2, 0xAA, 0xAA};
    uint32_t length = sizeof reading;
    EXPECT_EQ(tk1a.GetProperty(property::kPsensorData, reading, length), kStatusFailed);
    EXPECT_EQ(reading[1], 0xAA);  // nothing written on failure
    tk1a.CloseDevice();
}

}  // namespace
}  // namespace quorix
