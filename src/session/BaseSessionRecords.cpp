// Records the public interface reads or writes as a whole: the colour resolution by code,
// the camera parameters of one lens (scaled to the colour size delivered), the extrinsics,
// the selector-addressed camera-parameter record, the parts of the GMM reply and the DSP
// switch. The exports only check their arguments and hand these on.
#include <algorithm>
#include <cstring>

#include "base/Status.h"
#include "log/Log.h"
#include "model/ColourResolution.h"
#include "protocol/BaseProtocol.h"
#include "session/BaseSession.h"

namespace quorix {
namespace {

// The camera-parameter record: a u32 selector and nine doubles, packed.
constexpr uint32_t kCameraParameterBytes = 76;
constexpr uint32_t kLastSelector = 7;

// The GMM reply: the sub-command, the three GMM doubles, the 16-bit gain and the IRS2
// switch.
constexpr size_t kGmmDoubles = 1;
constexpr size_t kGmmGain = 25;
constexpr size_t kGmmIrs2 = 27;

// Scales a colour sensor's principal point and focal lengths to the colour resolution
// code: the camera's matrix belongs to 1920 x 1080; 640 x 480 is cut from 640 x 360's
// width-matched 4:3 window.
void ScaleToColourResolution(uint16_t code, NsCameraParameters& p) {
    auto scale = [&p](double k) {
        p.fx *= k;
        p.fy *= k;
        p.cx *= k;
        p.cy *= k;
    };
    switch (code) {
        case NsRGBResolution1280x720:
            scale(2.0 / 3.0);
            break;
        case NsRGBResolution640x360:
            scale(1.0 / 3.0);
            break;
        case NsRGBResolution640x480:
            scale(1.0 / 3.0);
            if (p.cx > p.cy) {
                p.cx -= 80;
            } else {
                p.cy -= 80;
            }
            scale(4.0 / 3.0);
            break;
        default:
            break;
    }
}

}  // namespace

int32_t BaseSession::SetColourResolution(uint32_t code) {
    const ColourSize size = ColourSizeOfCode(code);
    return SetLens(LensRecord{2, 1, size.width, size.height, 30, 2});
}

int32_t BaseSession::GetColourResolution(uint16_t& code) {
    LensRecord lens{};
    lens.sensor = 2;
    const int32_t ret = GetLens(lens);
    if (ret == 0) {
        if (const auto found = CodeOfColourSize(lens.width, lens.height)) {
            code = *found;
        }
    }
    return ret;
}

int32_t BaseSession::GetCameraParameters(uint32_t sensor, NsCameraParameters& out) {
    Matrix3 k{};
    int32_t ret = GetCameraIntrinsic(sensor, k);
    QLOG("sensorType:%d Intrinsic:%8.6f %8.6f %8.6f\t%8.6f %8.6f %8.6f\t%8.6f %8.6f %8.6f\n",
         static_cast<int>(sensor), k[0], k[1], k[2], k[3], k[4], k[5], k[6], k[7], k[8]);
    if (ret != 0) {
        return ret;
    }
    Distortion d{};
    ret = GetCameraDistortion(sensor, d);
    QLOG("sensorType:%d distortion:%8.6f %8.6f %8.6f %8.6f\t%8.6f %8.6f %8.6f %8.6f\n",
         static_cast<int>(sensor), d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]);
    if (ret != 0) {
        return ret;
    }
    NsCameraParameters p{};
    p.fx = k[0];
    p.fy = k[4];
    p.cx = k[2];
    p.cy = k[5];
    uint16_t code = 0;
    if (sensor == 2 && GetColourResolution(code) == 0) {
        ScaleToColourResolution(code, p);
    }
    std::copy(d.begin(), d.end(), p.distortion);
    out = p;
    return 0;
}

int32_t BaseSession::GetCameraExtrinsics(NsCameraExtrinsicParameters& out) {
    Matrix3 rotation{};
    int32_t ret = GetCameraRotation(rotation);
    if (ret == 0) {
        std::copy(rotation.begin(), rotation.end(), out.rotation);
        Vector3 translation{};
        ret = GetCameraTransfer(translation);
        if (ret == 0) {
            std::copy(translation.begin(), translation.end(), out.translation);
        }
    }
    return ret;
}

int32_t BaseSession::ReadCameraParameterRecord(void* data, uint32_t& size) {
    if (size < kCameraParameterBytes) {
        QLOG("size:%u is less than %u.\n", size, kCameraParameterBytes);
        return kStatusBadParameter;
    }
    uint32_t selector = 0;
    memcpy(&selector, data, sizeof selector);
    size = kCameraParameterBytes;
    if (selector > kLastSelector) {
        QLOG_WARN("CameraParams is invalid!\n");
        return 0;
    }
    std::array<double, 9> values{};
    auto take = [&values](const auto& from) {
        std::copy(from.begin(), from.end(), values.begin());
    };
    Matrix3 matrix{};
    Distortion distortion{};
    Vector3 vector{};
    int32_t ret = 0;
    switch (selector) {
        case 0:
        case 2:
            ret = GetCameraIntrinsic(selector == 0 ? 1 : 2, matrix);
            take(matrix);
            break;
        case 1:
        case 3:
            ret = GetCameraDistortion(selector == 1 ? 1 : 2, distortion);
            take(distortion);
            break;
        case 4:
            ret = GetCameraRotation(matrix);
            take(matrix);
            break;
        case 5:
            ret = GetCameraTransfer(vector);
            take(vector);
            break;
        case 6:
            ret = GetCameraE(matrix);
            take(matrix);
            break;
        default:
            ret = GetCameraF(matrix);
            take(matrix);
            break;
    }
    if (ret == 0) {
        memcpy(static_cast<uint8_t*>(data) + sizeof selector, values.data(), sizeof values);
    }
    return ret;
}

int32_t BaseSession::WriteCameraParameterRecord(const void* data, uint32_t size) {
    if (size != kCameraParameterBytes) {
        QLOG("size:%u is not %u.\n", size, kCameraParameterBytes);
        return kStatusBadParameter;
    }
    uint32_t selector = 0;
    std::array<double, 9> values{};
    memcpy(&selector, data, sizeof selector);
    memcpy(values.data(), static_cast<const uint8_t*>(data) + sizeof selector, sizeof values);
    if (selector > kLastSelector) {
        QLOG_WARN("CameraParams is invalid!\n");
        return 0;
    }
    Matrix3 matrix{};
    Distortion distortion{};
    Vector3 vector{};
    std::copy(values.begin(), values.end(), matrix.begin());
    std::copy(values.begin(), values.begin() + distortion.size(), distortion.begin());
    std::copy(values.begin(), values.begin() + vector.size(), vector.begin());
    switch (selector) {
        case 0:
        case 2:
            return SetCameraIntrinsic(selector == 0 ? 1 : 2, matrix);
        case 1:
        case 3:
            return SetCameraDistortion(selector == 1 ? 1 : 2, distortion);
        case 4:
            return SetCameraRotation(matrix);
        case 5:
            return SetCameraTransfer(vector);
        case 6:
            return SetCameraE(matrix);
        default:
            return SetCameraF(matrix);
    }
}

int32_t BaseSession::GetGMMGain(uint16_t& gain) {
    GmmBlock gmm{};
    const int32_t ret = GetGMM(gmm);
    gain = static_cast<uint16_t>(gmm[kGmmGain] | gmm[kGmmGain + 1] << 8);
    return ret;
}

int32_t BaseSession::GetIRS2Record(std::array<uint8_t, 2>& record) {
    GmmBlock gmm{};
    const int32_t ret = GetGMM(gmm);
    record = {gmm[0], gmm[kGmmIrs2]};
    return ret;
}

int32_t BaseSession::GetGMMValues(std::array<uint8_t, 24>& values) {
    GmmBlock gmm{};
    const int32_t ret = GetGMM(gmm);
    std::copy_n(gmm.begin() + kGmmDoubles, values.size(), values.begin());
    return ret;
}

int32_t BaseSession::SetDSPEnabled(bool enabled) {
    const DspStatusRecord record{0, 0, static_cast<uint8_t>(enabled ? 1 : 0)};
    return SetProperty(property::kDspStatus, &record, sizeof record);
}

int32_t BaseSession::GetDSPEnabled(bool& enabled) {
    DspStatusRecord record{};
    uint32_t size = sizeof record;
    const int32_t ret = GetProperty(property::kDspStatus, &record, &size);
    enabled = ret == 0 && record.value == 1;
    return ret;
}

}  // namespace quorix
