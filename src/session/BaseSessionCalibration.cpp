// Session calibration: the cached intrinsics, distortion and extrinsics, the pixel-ray
// table, the colour sensor's lens record and the plane-correction block.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "base/Status.h"
#include "log/Log.h"
#include "protocol/BaseProtocol.h"
#include "session/BaseSession.h"

namespace quorix {
namespace {

using namespace std::chrono_literals;

constexpr double kEpsilon = 1e-8;

bool BothSet(double a, double b) {
    return std::abs(a) > kEpsilon && std::abs(b) > kEpsilon;
}

bool ValidCameraType(uint32_t cameraType) {
    if (cameraType == 1 || cameraType == 2) {
        return true;
    }
    QLOG_WARN("cameraType:%d is invalid.\n", static_cast<int>(cameraType));
    return false;
}

}  // namespace

int32_t BaseSession::GetCameraIntrinsic(uint32_t cameraType, Matrix3& intrinsic) {
    if (!ValidCameraType(cameraType)) {
        return kStatusNotSupported;
    }
    if (m_fromLocal.load()) {
        std::lock_guard guard(m_cacheLock);
        const Matrix3& cached = cameraType == 1 ? m_cache.depthIntrinsic : m_cache.colourIntrinsic;
        if (std::abs(cached[8] - 1.0) < kEpsilon) {
            intrinsic = cached;
            return 0;
        }
    }
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    return m_protocol->GetCameraIntrinsic(static_cast<uint8_t>(cameraType), intrinsic);
}

int32_t BaseSession::GetCameraDistortion(uint32_t cameraType, Distortion& distortion) {
    if (!ValidCameraType(cameraType)) {
        return kStatusNotSupported;
    }
    if (m_fromLocal.load()) {
        std::lock_guard guard(m_cacheLock);
        const Distortion& cached =
            cameraType == 1 ? m_cache.depthDistortion : m_cache.colourDistortion;
        if (BothSet(cached[0], cached[1])) {
            distortion = cached;
            return 0;
        }
    }
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    return m_protocol->GetCameraDistortion(static_cast<uint8_t>(cameraType), distortion);
}

int32_t BaseSession::GetCameraRotation(Matrix3& rotation) {
    if (m_fromLocal.load()) {
        std::lock_guard guard(m_cacheLock);
        if (BothSet(m_cache.rotation[0], m_cache.rotation[1])) {
            rotation = m_cache.rotation;
            return 0;
        }
    }
    return m_protocol ? m_protocol->GetCameraRotation(rotation) : -255;
}

int32_t BaseSession::GetCameraTransfer(Vector3& translation) {
    if (m_fromLocal.load()) {
        std::lock_guard guard(m_cacheLock);
        if (BothSet(m_cache.translation[0], m_cache.translation[1])) {
            translation = m_cache.translation;
            return 0;
        }
    }
    return m_protocol ? m_protocol->GetCameraTransfer(translation) : -255;
}

int32_t BaseSession::SetCameraIntrinsic(uint32_t cameraType, const Matrix3& intrinsic) {
    if (!ValidCameraType(cameraType)) {
        return kStatusNotSupported;
    }
    return m_protocol ? m_protocol->SetCameraIntrinsic(static_cast<uint8_t>(cameraType), intrinsic)
                      : -255;
}

int32_t BaseSession::SetCameraDistortion(uint32_t cameraType, const Distortion& distortion) {
    if (!ValidCameraType(cameraType)) {
        return kStatusNotSupported;
    }
    return m_protocol
               ? m_protocol->SetCameraDistortion(static_cast<uint8_t>(cameraType), distortion)
               : -255;
}

int32_t BaseSession::SetCameraRotation(const Matrix3& rotation) {
    return m_protocol ? m_protocol->SetCameraRotation(rotation) : -255;
}

int32_t BaseSession::SetCameraTransfer(const Vector3& translation) {
    return m_protocol ? m_protocol->SetCameraTransfer(translation) : -255;
}

int32_t BaseSession::SetFromLocal(bool fromLocal) {
    m_fromLocal = fromLocal;
    return 0;
}

int32_t BaseSession::BuildPixelRayTable() {
    Matrix3 k{};
    {
        std::lock_guard guard(m_cacheLock);
        k = m_cache.depthIntrinsic;
    }
    const double fx = k[0];
    const double cx = k[2];
    const double fy = k[4];
    const double cy = k[5];
    if (std::abs(fx) < kEpsilon || std::abs(fy) < kEpsilon) {
        // No focal length: the table would hold infinities.
        QLOG_WARN("fx:%f fy:%f is invalid.\n", fx, fy);
        std::lock_guard guard(m_rayLock);
        m_rayTable.reset();
        return kStatusFailed;
    }
    auto table = std::make_shared<PixelRayTable>();
    const bool portrait = m_model.portraitDepth;
    table->width = portrait ? 480 : 640;
    table->height = portrait ? 640 : 480;
    table->columns.resize(table->width);
    table->rows.resize(table->height);
    for (uint32_t u = 0; u < table->width; ++u) {
        table->columns[u] = (u - cx) / fx;
    }
    for (uint32_t v = 0; v < table->height; ++v) {
        table->rows[v] = (v - cy) / fy;
    }
    std::lock_guard guard(m_rayLock);
    m_rayTable = std::move(table);  // a conversion still using the old table keeps it
    return 0;
}

std::shared_ptr<const PixelRayTable> BaseSession::GetPixelRayTable() {
    std::lock_guard guard(m_rayLock);
    return m_rayTable;
}

uint32_t BaseSession::FirmwareBuild() {
    char version[64] = {};
    if (!m_protocol || m_protocol->GetFWVer(version, sizeof version) != 0) {
        return 0;
    }
    version[63] = '\0';
    const char* underscore = strchr(version, '_');
    if (underscore == nullptr || strnlen(underscore, 3) < 3) {
        return 0;
    }
    return static_cast<uint32_t>(strtoul(underscore + 2, nullptr, 10));
}

int32_t BaseSession::SetLens(const LensRecord& lens) {
    std::lock_guard mapping(MappingLock());
    const bool colour = lens.sensor == 2;
    if (colour) {
        std::lock_guard guard(m_cacheLock);
        m_cache.rgbMode = TofFrameMode{lens.width, lens.height, lens.fps};
    }
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    const uint32_t build = FirmwareBuild();
    LensRecord sent = lens;
    if (colour && lens.width == 640 && lens.height == 480) {
        const bool native =
            m_model.nativeColour480Build != 0 && build >= m_model.nativeColour480Build;
        if (!native) {
            sent.height = 360;  // cut and scaled back to 4:3 by the colour decoder
        }
    }
    const bool confirm = colour && ConfirmationActive();
    int32_t ret = m_protocol->SetLens(sent);
    DeviceStatus last = GetDeviceStatus();
    bool mismatch = false;
    if (ret == 0 && confirm) {
        const auto echoed = [&sent](const DeviceStatus& s) {
            return s.colourWidth == sent.width && s.colourHeight == sent.height;
        };
        if (!AwaitEcho(100, 10ms, echoed, last)) {
            mismatch = true;
            ret = -105;
        }
    }
    if (ret == 0) {
        if (colour) {
            m_imageProc.SetColourMode(lens.width, lens.height, lens.fps);
        }
        return 0;
    }
    if (mismatch) {
        QLOG("set (%d,%d) is mismatch sync(%d,%d)\n", sent.width, sent.height, last.colourWidth,
             last.colourHeight);
    }
    QLOG_ERROR("is failed.\n");
    QLOG("receive m_WidthRGB %d  m_HeightRGB  %d\n", last.colourWidth, last.colourHeight);
    return ret;
}

int32_t BaseSession::GetLens(LensRecord& lens) {
    if (!m_protocol) {
        return kStatusNotSupported;
    }
    const int32_t ret = m_protocol->GetLens(lens);
    if (ret != 0 || lens.sensor != 2) {
        return ret;
    }
    if (lens.width == 0 || lens.height == 0 ||
        uint64_t{lens.width} * lens.height * 3 > kColourBytes) {
        // The colour decoder's frames hold at most 1920 x 1080; a bigger or empty size would
        // refuse every frame.
        QLOG_WARN("colour lens %ux%u is invalid.\n", lens.width, lens.height);
        return kStatusFailed;
    }
    {
        std::lock_guard guard(m_cacheLock);
        if (lens.height == 360 && m_cache.rgbMode.height == 480) {
            lens.height = 480;  // the camera sends 640 x 360 for the session's 640 x 480
        }
        m_cache.rgbMode = TofFrameMode{lens.width, lens.height, lens.fps};
    }
    m_imageProc.SetColourMode(lens.width, lens.height, lens.fps);
    return 0;
}

int32_t BaseSession::InitLens() {
    switch (m_model.lens) {
        case LensAtInit::kSentInColourModes: {
            const uint8_t mode = m_dataMode.load();
            if (mode != 100 && mode != 101) {
                return 0;
            }
            std::lock_guard guard(m_cacheLock);
            m_cache.rgbMode = TofFrameMode{640, 480, 30};
        }
            [[fallthrough]];
        case LensAtInit::kSent: {
            const TofFrameMode rgb = GetRgbFrameMode();
            const LensRecord lens{
                2, 1, static_cast<uint16_t>(rgb.width), static_cast<uint16_t>(rgb.height), 30, 2};
            {
                std::lock_guard guard(m_cacheLock);
                m_cache.lens = lens;
            }
            return SetLens(lens);
        }
        case LensAtInit::kNotSent:
            return 0;
        case LensAtInit::kUnlisted:
            break;
    }
    QLOG_WARN("devicetype:%d is invalid.\n", static_cast<int>(GetDeviceType()));
    return 0;
}

}  // namespace quorix
