// The settings, parameter and property exports on a network camera opened through the
// device manager, whose sessions speak to a recording protocol: argument checks, result
// forms, the colour scaling of the camera parameters, and the property table row by row.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "device/DeviceManager.h"
#include "device/EnumSocketDevice.h"
#include "log/Log.h"
#include "quorix/quorix_api.h"
#include "session/ProtocolFactory.h"
#include "support/Announcement.h"
#include "support/RecordingProtocol.h"
#include "upgrade/TransferWorkers.h"

namespace quorix {
namespace {

using test::CameraScript;
using test::RecordingProtocol;
using Calls = std::vector<std::string>;

class SettingsApi : public ::testing::Test {
protected:
    void SetUp() override {
        SetDiscoveryListeningForTesting(false);  // only the announcements fed below
        SetProtocolFactoryForTesting(
            [this](const SessionInfo&) { return std::make_unique<RecordingProtocol>(m_script); });
        test::AnnouncementBytes a;
        a.Set(1, 1, "127.0.93.99", 4, "QXAPI", 0, "127.0.0.1");
        DeviceManager& manager = DeviceManager::Instance();
        manager.Discovery().HandleDatagram(a.data.data(), a.data.size());
        manager.RunPass();
        ASSERT_EQ(Ns2_OpenDevice("TK5P:QXAPI", &h), NsStatusOk);
        m_script.ClearCalls();
    }
    void TearDown() override {
        Ns2_CloseDevice(&h);
        DeviceManager::Destroy();
        Upgrade::Destroy();
        JsonCtl::Destroy();
        SetProtocolFactoryForTesting({});
        SetDiscoveryListeningForTesting(true);
    }

    NsDeviceHandle h = nullptr;
    CameraScript m_script;
};

TEST_F(SettingsApi, NullPointersBadHandlesAndRanges) {
    uint8_t byte = 0;
    NsCameraParameters params{};
    EXPECT_EQ(Ns2_GetThreshold(h, 0, nullptr), NsStatusNullPointer);
    EXPECT_EQ(Ns2_GetDepthRange(h, 0, nullptr), NsStatusNullPointer);
    EXPECT_EQ(Ns2_SetGMMGain(h, 0, nullptr), NsStatusNullPointer);
    EXPECT_EQ(Ns2_SetWDROutputMode(h, 0, nullptr), NsStatusNullPointer);
    EXPECT_EQ(Ns2_GetSmoothingFilterEnabled(h, 0, nullptr), NsStatusNullPointer);
    EXPECT_EQ(Ns2_SetWDRPulseCount(h, 0, nullptr), NsStatusNullPointer);
    EXPECT_EQ(Ns2_GetDSPEnabled(h, 0, nullptr), NsStatusNullPointer);
    EXPECT_EQ(Ns2_GetCameraParameters(h, 0, 1, nullptr), NsStatusNullPointer);
    EXPECT_EQ(Ns2_GetCameraExtrinsicParameters(h, 0, nullptr), NsStatusNullPointer);
    EXPECT_EQ(Ns2_GetMeasuringRange(h, 0, 0, nullptr), NsStatusNullPointer);
    EXPECT_EQ(Ns2_GetProperty(h, 0, 5, nullptr, nullptr), NsStatusNullProperty);
    EXPECT_EQ(Ns2_SetProperty(h, 0, 5, nullptr, 4), NsStatusNullProperty);

    EXPECT_EQ(Ns2_SetThreshold(nullptr, 0, 20), NsStatusBadHandle);
    EXPECT_EQ(Ns2_GetDataMode(h, 1, &byte), NsStatusBadHandle) << "one session only";
    EXPECT_EQ(Ns2_GetProperty(nullptr, 0, 5, nullptr, nullptr), NsStatusBadHandle);

    for (int32_t format : {2, 5}) {
        EXPECT_EQ(Ns2_SetColorPixelFormat(h, 0, format), NsStatusBadParameter) << format;
    }
    EXPECT_EQ(Ns2_SetColorPixelFormat(h, 0, 3), NsStatusOk);
    EXPECT_EQ(Ns2_SetIRPixelFormat(h, 0, 3), NsStatusBadParameter);
    EXPECT_EQ(Ns2_SetIRPixelFormat(h, 0, -1), NsStatusBadParameter);
    EXPECT_EQ(Ns2_SetIRPixelFormat(h, 0, 2), NsStatusOk);
    for (int32_t sensor : {0, 3}) {
        EXPECT_EQ(Ns2_GetCameraParameters(h, 0, sensor, &params), NsStatusBadSensorType);
    }
    EXPECT_TRUE(m_script.Calls().empty()) << "no argument failure reached the camera";
}

TEST_F(SettingsApi, ResultForms) {
    uint16_t word = 0;
    uint32_t range = 77;
    EXPECT_EQ(Ns2_SetThreshold(h, 0, 25), NsStatusOk);
    m_script.Fail("SetThreshold", -104);
    EXPECT_EQ(Ns2_SetThreshold(h, 0, 26), NsStatusTransferError) << "T passes -104";
    m_script.Fail("SetThreshold", -300);
    log::Capture capture;
    EXPECT_EQ(Ns2_SetThreshold(h, 0, 27), NsStatusOther);
    EXPECT_TRUE(capture.Contains("invalid param: interRet:-300"));
    EXPECT_EQ(Ns2_GetThreshold(h, 0, &word), NsStatusOk);
    EXPECT_EQ(word, 20);
    EXPECT_EQ(Ns2_GetPulseCount(h, 0, &word), NsStatusOk);
    EXPECT_EQ(word, 700);

    m_script.Fail("GetDepthRange", -104);
    EXPECT_EQ(Ns2_GetDepthRange(h, 0, &range), NsStatusOpenFailed);
    EXPECT_EQ(range, 77u) << "not written";

    // The data-mode list is read at the first start; before it nothing is accepted.
    EXPECT_EQ(Ns2_SetDataMode(h, 0, 2), NsStatusOther);
    EXPECT_EQ(Ns2_SetSaveRawBufferEnabled(h, 0, 0), NsStatusOk);
    EXPECT_EQ(Ns2_SetRangeValue(h, 0, 1, 2, 3), NsStatusOk);
    EXPECT_EQ(Ns2_SetSaveComputeDepthTab(h, 0), NsStatusOk);
    EXPECT_EQ(Ns2_SetWDRStyle(h, 0, 0), NsStatusFailed) << "outside data mode 11";
    const uint8_t counts[7] = {};
    EXPECT_EQ(Ns2_SetWDRPulseCount(h, 0, counts), NsStatusOther) << "not a WDR mode";
    uint8_t on = 9;
    EXPECT_EQ(Ns2_SetSmoothingFilterEnabled(h, 0, 1), NsStatusOk);
    EXPECT_EQ(Ns2_GetSmoothingFilterEnabled(h, 0, &on), NsStatusOk);
    EXPECT_EQ(on, 1);
}

TEST_F(SettingsApi, ColourParametersFollowTheColourResolution) {
    NsCameraParameters p{};
    m_script.lens = LensRecord{2, 1, 640, 480, 30, 2};
    ASSERT_EQ(Ns2_GetCameraParameters(h, 0, 2, &p), NsStatusOk);
    EXPECT_NEAR(p.fx, 666.667, 1e-3);
    EXPECT_NEAR(p.fy, 666.667, 1e-3);
    EXPECT_NEAR(p.cx, 320, 1e-9);
    EXPECT_NEAR(p.cy, 240, 1e-9);
    EXPECT_EQ(+p.distortion[1], -0.2);

    m_script.lens = LensRecord{2, 1, 1280, 720, 30, 2};
    ASSERT_EQ(Ns2_GetCameraParameters(h, 0, 2, &p), NsStatusOk);
    EXPECT_NEAR(p.fx, 1000, 1e-9);
    EXPECT_NEAR(p.cy, 360, 1e-9);

    ASSERT_EQ(Ns2_GetCameraParameters(h, 0, 1, &p), NsStatusOk);
    EXPECT_EQ(+p.fx, 520) << "depth is not scaled";

    m_script.Fail("GetCameraDistortion", -104);
    NsCameraParameters untouched{};
    untouched.fx = 1;
    EXPECT_EQ(Ns2_GetCameraParameters(h, 0, 1, &untouched), NsStatusTransferError);
    EXPECT_EQ(untouched.fx, 1);

    NsCameraExtrinsicParameters e{};
    ASSERT_EQ(Ns2_GetCameraExtrinsicParameters(h, 0, &e), NsStatusOk);
    EXPECT_EQ(e.rotation[1], 0.001);
    EXPECT_EQ(e.translation[0], 25);
}

TEST_F(SettingsApi, ColourResolutionCodes) {
    for (const auto& [code, sent] :
         {std::pair{0u, "SetLens 2 1920 1080 30"}, std::pair{1u, "SetLens 2 1280 720 30"},
          std::pair{3u, "SetLens 2 640 360 30"}, std::pair{9u, "SetLens 2 1920 1080 30"}}) {
        m_script.ClearCalls();
        EXPECT_EQ(Ns2_SetRGBResolution(h, 0, code), NsStatusOk) << code;
        EXPECT_EQ(m_script.CallsOf("SetLens"), Calls{sent}) << code;
    }
    // 640 x 480 goes out as 640 x 360 and reads back as what was asked for.
    ASSERT_EQ(Ns2_SetRGBResolution(h, 0, 2), NsStatusOk);
    EXPECT_EQ(m_script.lens.height, 360);
    uint16_t code = 99;
    ASSERT_EQ(Ns2_GetRGBResolution(h, 0, &code), NsStatusOk);
    EXPECT_EQ(code, 2);
    m_script.lens = LensRecord{2, 1, 800, 600, 30, 2};
    ASSERT_EQ(Ns2_GetRGBResolution(h, 0, &code), NsStatusOk);
    EXPECT_EQ(code, 2) << "a size without a code leaves it";
}

TEST_F(SettingsApi, MeasuringRangeOfARangesGroup) {
    NsMeasuringRange r{};
    r.depthMode = 9;
    ASSERT_EQ(Ns2_GetMeasuringRange(h, 0, 4, &r), NsStatusOk);
    EXPECT_EQ(+r.depthMode, 1);
    EXPECT_EQ(+r.depthMaxNear, 5754);
    ASSERT_EQ(Ns2_GetMeasuringRange(h, 0, 42, &r), NsStatusOk);
    EXPECT_EQ(+r.depthMode, 0) << "a range outside 0-8 reads group 0";
    EXPECT_EQ(+r.depthMaxNear, 1848);
}

// Property table: what each id reads and writes, and the sizes it demands.
constexpr int64_t kNone = -1;  // no reading / no writing
constexpr int64_t kFree = -2;  // the size is the session's or the camera's business

struct Row {
    uint32_t id;
    int64_t read;
    int64_t write;
};

constexpr Row kRows[] = {
    {NS_PROPERTY_JSON_TRANSFER, kNone, kFree},
    {NS_PROPERTY_JSON_CONFIG_MODE, kNone, sizeof(NsUpgradeStatusCallback)},
    {NS_PROPERTY_PULSE_COUNT, 2, 2},
    {NS_PROPERTY_THRESHOLD, kNone, 2},
    {NS_PROPERTY_NONE, kNone, kFree},
    {0, kNone, kNone},
    {4, kNone, kNone},
    {NS_PROPERTY_SERIAL_NUMBER, kFree, kFree},
    {NS_PROPERTY_FIRMWARE_VERSION, kFree, kNone},
    {NS_PROPERTY_HARDWARE_VERSION, kFree, kNone},
    {NS_PROPERTY_DATA_MODE_BYTE, kNone, 1},
    {NS_PROPERTY_DATA_MODE_LIST, kFree, kFree},
    {NS_PROPERTY_DEPTH_RANGE_LIST, kFree, kFree},
    {NS_PROPERTY_UPGRADE_FLAG, kFree, kFree},
    {NS_PROPERTY_DEVICE_SN, kFree, kFree},
    {NS_PROPERTY_MAC_ADDRESS, kFree, kFree},
    {NS_PROPERTY_SOFTWARE_VERSION, kFree, kFree},
    {NS_PROPERTY_IP_ADDRESS, kFree, kFree},
    {NS_PROPERTY_SUBNET_MASK, kFree, kFree},
    {NS_PROPERTY_DSP, kFree, kFree},
    {NS_PROPERTY_UPGRADE_SUPPORTED, kFree, kNone},
    {NS_PROPERTY_UPGRADE_STATE, kFree, kFree},
    {20, kNone, kNone},
    {NS_PROPERTY_RANGE_OFFSET, kFree, kFree},
    {0x0E000001, kNone, kNone},
    {NS_PROPERTY_FRAME_INFO, 45, kNone},
    {NS_PROPERTY_TAL_DELAY, kFree, kFree},
    {0xE0000100, kFree, kFree},
    {0xE0000106, kFree, kFree},
    {0xE0000107, kNone, kNone},
    {NS_PROPERTY_HTP, 37, 37},
    {NS_PROPERTY_OFFSET, 100, 100},
    {NS_PROPERTY_MEASURING_RANGE, 19, 19},
    {NS_PROPERTY_CAMERA_PARAMETERS, 76, 76},
    {NS_PROPERTY_DATA_MODE, 1, 1},
    {NS_PROPERTY_LD_ENABLE, 2, 2},
    {NS_PROPERTY_ISA_ENABLE, 1, 1},
    {NS_PROPERTY_TAL_ENABLE, 2, 2},
    {0xF0000009, kNone, kNone},
    {NS_PROPERTY_PCBA, kFree, kFree},
    {NS_PROPERTY_WORK_MODE, 5, 5},
    {NS_PROPERTY_IRS2, 2, 2},
    {NS_PROPERTY_GMM_GAIN, 2, 3},
    {NS_PROPERTY_GMM, 24, 24},
    {NS_PROPERTY_ACC_SENSITIVITY, 36, 36},
    {NS_PROPERTY_GYRO_SENSITIVITY, 36, 36},
    {NS_PROPERTY_IMU_DATA_MODE, kNone, 4},
    {NS_PROPERTY_PULSE_TIME, 4, kNone},
    {NS_PROPERTY_LENS, 8, 8},
    {NS_PROPERTY_PULSE_COUNT_RECORD, 20, 5},
    {NS_PROPERTY_ACC_OFFSET, 15, 15},
    {NS_PROPERTY_GYRO_OFFSET, 15, 15},
    {NS_PROPERTY_ACC_OFFSET_TEMP, 11, 11},
    {NS_PROPERTY_GYRO_OFFSET_TEMP, 11, 11},
    {NS_PROPERTY_FLASH_TYPE, kFree, kNone},
    {NS_PROPERTY_MEASURING_STATUS, 10, 2},
    {0xF000001B, kNone, kNone},
};

TEST_F(SettingsApi, PropertyTableRowByRow) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(RecordingProtocol::Hex(row.id));
        uint8_t data[128] = {};
        uint32_t size = sizeof data;
        if (row.read == kNone) {
            EXPECT_EQ(Ns2_GetProperty(h, 0, row.id, data, &size), NsStatusNoPropertyGet);
        } else if (row.read == kFree) {
            EXPECT_NE(Ns2_GetProperty(h, 0, row.id, data, &size), NsStatusNoPropertyGet);
        } else {
            const auto fixed = static_cast<uint32_t>(row.read);
            size = fixed - 1;
            memset(data, 0xEE, sizeof data);
            EXPECT_EQ(Ns2_GetProperty(h, 0, row.id, data, &size), NsStatusBadParameter);
            EXPECT_EQ(size, fixed - 1);
            EXPECT_EQ(data[0], 0xEE) << "nothing written";
            size = sizeof data;
            memset(data, 0, sizeof data);
            const NsReturnStatus ret = Ns2_GetProperty(h, 0, row.id, data, &size);
            EXPECT_NE(ret, NsStatusBadParameter);
            if (ret == NsStatusOk) {
                EXPECT_EQ(size, fixed) << "the size delivered";
            }
        }
        memset(data, 0, sizeof data);
        if (row.write == kNone) {
            EXPECT_EQ(Ns2_SetProperty(h, 0, row.id, data, 4), NsStatusNoPropertySet);
        } else if (row.write == kFree) {
            EXPECT_NE(Ns2_SetProperty(h, 0, row.id, data, 4), NsStatusNoPropertySet);
        } else {
            const auto fixed = static_cast<uint32_t>(row.write);
            m_script.ClearCalls();
            EXPECT_EQ(Ns2_SetProperty(h, 0, row.id, data, fixed - 1), NsStatusBadParameter);
            EXPECT_EQ(Ns2_SetProperty(h, 0, row.id, data, fixed + 1), NsStatusBadParameter);
            EXPECT_TRUE(m_script.Calls().empty()) << "refused before the camera";
            EXPECT_NE(Ns2_SetProperty(h, 0, row.id, data, fixed), NsStatusBadParameter);
        }
    }
}

TEST_F(SettingsApi, CameraParameterRecord) {
    uint8_t record[76] = {};
    uint32_t size = sizeof record;
    const uint32_t invalid = 9;
    memcpy(record, &invalid, 4);
    record[10] = 0xAB;
    log::Capture capture;
    EXPECT_EQ(Ns2_GetProperty(h, 0, NS_PROPERTY_CAMERA_PARAMETERS, record, &size), NsStatusOk);
    EXPECT_TRUE(capture.Contains("CameraParams is invalid!"));
    EXPECT_EQ(size, 76u);
    EXPECT_EQ(record[10], 0xAB) << "values untouched";
    EXPECT_EQ(Ns2_SetProperty(h, 0, NS_PROPERTY_CAMERA_PARAMETERS, record, 76), NsStatusOk);
    EXPECT_TRUE(m_script.Calls().empty());

    double values[9] = {};
    for (const auto& [selector, first] :
         {std::pair{0u, 520.0}, std::pair{2u, 1500.0}, std::pair{3u, 0.1}, std::pair{7u, 7.5}}) {
        memcpy(record, &selector, 4);
        ASSERT_EQ(Ns2_GetProperty(h, 0, NS_PROPERTY_CAMERA_PARAMETERS, record, &size), NsStatusOk);
        memcpy(values, record + 4, sizeof values);
        EXPECT_EQ(values[0], first) << selector;
    }
    const uint32_t rotation = 4;
    values[0] = 1;
    memcpy(record, &rotation, 4);
    memcpy(record + 4, values, sizeof values);
    EXPECT_EQ(Ns2_SetProperty(h, 0, NS_PROPERTY_CAMERA_PARAMETERS, record, 76), NsStatusOk);
    EXPECT_EQ(m_script.CallsOf("SetCameraRotation"), Calls{"SetCameraRotation 1"});
}

TEST_F(SettingsApi, PassThroughAndComposedProperties) {
    // The software version is written alone, never as the IP address too.
    const char version[] = "V2";
    EXPECT_EQ(Ns2_SetProperty(h, 0, NS_PROPERTY_SOFTWARE_VERSION, version, 2), NsStatusOk);
    EXPECT_EQ(m_script.Calls(), Calls{"SetProperty 0x0E000014 2"});

    // The JSON transfer's properties are bounded by the size given: a callback of another
    // size, an empty path, or a file before the camera waits for one are refused, and the
    // upgrade flag stays 0.
    EXPECT_EQ(Ns2_SetProperty(h, 0, NS_PROPERTY_JSON_CONFIG_MODE, version, 2),
              NsStatusBadParameter);
    const NsUpgradeStatusCallback none = nullptr;
    EXPECT_EQ(Ns2_SetProperty(h, 0, NS_PROPERTY_JSON_CONFIG_MODE, &none, sizeof none),
              NsStatusNullPointer);
    EXPECT_EQ(Ns2_SetProperty(h, 0, NS_PROPERTY_JSON_TRANSFER, version, 0), NsStatusBadParameter);
    EXPECT_EQ(Ns2_SetProperty(h, 0, NS_PROPERTY_JSON_TRANSFER, version, 2),
              NsStatusUpgradeNotReady);
    EXPECT_EQ(DeviceManager::Instance().UpgradeFlag(), TransferKind::kNone);
    EXPECT_EQ(m_script.Calls(), Calls{"SetProperty 0x0E000014 2"});

    // GMM record: sub-command, three doubles, the gain, the IRS2 switch.
    for (size_t i = 0; i < m_script.gmm.size(); ++i) {
        m_script.gmm[i] = static_cast<uint8_t>(i);
    }
    uint16_t gain = 0;
    ASSERT_EQ(Ns2_GetGMMGain(h, 0, &gain), NsStatusOk);
    EXPECT_EQ(gain, 25 | 26 << 8);
    uint8_t data[24] = {};
    uint32_t size = 2;
    ASSERT_EQ(Ns2_GetProperty(h, 0, NS_PROPERTY_IRS2, data, &size), NsStatusOk);
    EXPECT_EQ(data[0], 0);
    EXPECT_EQ(data[1], 27);
    size = 24;
    ASSERT_EQ(Ns2_GetProperty(h, 0, NS_PROPERTY_GMM, data, &size), NsStatusOk);
    EXPECT_EQ(data[0], 1);
    EXPECT_EQ(data[23], 24);

    // DSP on and off through property 17's six bytes.
    uint8_t enabled = 9;
    ASSERT_EQ(Ns2_SetDSPEnabled(h, 0, 5), NsStatusOk);
    ASSERT_EQ(Ns2_GetDSPEnabled(h, 0, &enabled), NsStatusOk);
    EXPECT_EQ(enabled, 1);
    ASSERT_EQ(Ns2_SetDSPEnabled(h, 0, 0), NsStatusOk);
    ASSERT_EQ(Ns2_GetDSPEnabled(h, 0, &enabled), NsStatusOk);
    EXPECT_EQ(enabled, 0);
    EXPECT_EQ(m_script.CallsOf("SetProperty 0x0E000017"), Calls(2, "SetProperty 0x0E000017 6"));

    char text[32] = {};
    ASSERT_EQ(Ns2_GetSerialNumber(h, 0, text, sizeof text), NsStatusOk);
    EXPECT_STREQ(text, "SN-RECORD");
    ASSERT_EQ(Ns2_GetFirmwareVersionNumber(h, 0, text, 6), NsStatusOk);
    EXPECT_STREQ(text, "20240") << "within the caller's length";
}

TEST_F(SettingsApi, FrameInformationIsTheNewestDeliveredFrame) {
    NsFrame info{};
    uint32_t size = sizeof info;
    ASSERT_EQ(Ns2_StartStream(h, 0), NsStatusOk);
    EXPECT_EQ(Ns2_GetProperty(h, 0, NS_PROPERTY_FRAME_INFO, &info, &size), NsStatusBadFrameType);
    test::Buffer depth{0x21, 0x00, 0x08, 0x07, 0};  // 460800 bytes of raw depth
    depth.resize(5 + 460800, 0x11);
    m_script.Repeat(depth);
    ASSERT_EQ(Ns2_SetWaitTimeOfReadNextFrame(h, 0, 2000), NsStatusOk);
    uint32_t ready = 0;
    for (int i = 0; i < 20 && (ready & NsFrameReadyDepth) == 0; ++i) {
        ready = 0;
        Ns2_ReadNextFrame(h, 0, &ready);
    }
    ASSERT_NE(ready & NsFrameReadyDepth, 0u);
    ASSERT_EQ(Ns2_GetProperty(h, 0, NS_PROPERTY_FRAME_INFO, &info, &size), NsStatusOk);
    EXPECT_EQ(size, 45u);
    NsFrame frame{};
    ASSERT_EQ(Ns2_GetFrame(h, 0, DepthFrame, &frame), NsStatusOk) << "not taken by the read";
    EXPECT_EQ(+info.frameIndex, frame.frameIndex);
    EXPECT_EQ(+info.pFrameData, +frame.pFrameData);
    EXPECT_EQ(+info.width, 640);
    EXPECT_EQ(+info.dataLen, 640u * 480 * 2);
}

}  // namespace
}  // namespace quorix
