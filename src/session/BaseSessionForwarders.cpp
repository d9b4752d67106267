// Session operations without rules of their own: the ones passed to the camera's protocol
// unchanged, the switches of the session's frame engine, and the mapper and filter
// switches of the pre-processing library.
#include "base/Status.h"
#include "log/Log.h"
#include "protocol/BaseProtocol.h"
#include "session/BaseSession.h"

namespace quorix {
namespace {

// A switch of the pre-processing library, -255 without one.
template <class Op>
int32_t SetFilter(ImgPreProcess* pre, Op op, bool enabled) {
    return pre != nullptr ? (pre->*op)(enabled) : kStatusNotSupported;
}

template <class Op>
int32_t GetFilter(ImgPreProcess* pre, Op op, bool& enabled) {
    if (pre == nullptr) {
        return kStatusNotSupported;
    }
    bool value = false;
    const int32_t ret = (pre->*op)(&value);
    enabled = value;
    return ret;
}

// A mapper switch of the engine: mapping needs the pre-processing library (-255 without).
int32_t SetMapper(ImageProc& engine, void (ImageProc::*set)(bool), bool enabled) {
    if (engine.PreProcess() == nullptr) {
        return kStatusNotSupported;
    }
    (engine.*set)(enabled);
    return 0;
}

int32_t GetMapper(const ImageProc& engine, bool (ImageProc::*get)() const, bool& enabled) {
    if (engine.PreProcess() == nullptr) {
        return kStatusNotSupported;
    }
    enabled = (engine.*get)();
    return 0;
}

}  // namespace

// --- forwarded unchanged --------------------------------------------------------------------

#define QUORIX_FORWARD_BODY(position, name, params, args, session, ...)  \
    QUORIX_IF_FWD(session)                                               \
    (int32_t BaseSession::name params {                                  \
        return m_protocol ? m_protocol->name args : kStatusNotSupported; \
    })
QUORIX_PROTOCOL_OPERATIONS(QUORIX_FORWARD_BODY)
#undef QUORIX_FORWARD_BODY

// --- switches of the frame engine -----------------------------------------------------------

int32_t BaseSession::SetColorPixelFormat(int32_t format) {
    m_imageProc.Rgb().SetOutputFormat(static_cast<uint32_t>(format));
    return 0;
}

int32_t BaseSession::GetColorPixelFormat() {
    return static_cast<int32_t>(m_imageProc.Rgb().GetOutputFormat());
}

int32_t BaseSession::SetIRPixelFormat(int32_t format) {
    m_imageProc.SetIROutputMode(static_cast<uint32_t>(format));
    return 0;
}

int32_t BaseSession::SetImageMirror(uint32_t mirror) {
    m_imageProc.SetOutputFlip(static_cast<int32_t>(mirror));
    return 0;
}

int32_t BaseSession::SetImageRotation(uint32_t rotation) {
    m_imageRotation = static_cast<int32_t>(rotation);
    m_imageProc.SetOutputRotation(static_cast<int32_t>(rotation));
    return 0;
}

int32_t BaseSession::SetSaveRawBufferEnabled(bool enabled) {
    m_imageProc.SetSaveRawBufferEnabled(enabled);
    return 0;
}

int32_t BaseSession::SetWDRStyle(uint32_t style) {
    if (m_dataMode.load() != kDataModeWdr) {
        return kStatusFailed;
    }
    // Style 0 (fusion) also gives the depth filters the WDR pair's limits.
    return m_imageProc.Tof().SetWDRStyle(style);
}

int32_t BaseSession::SetTofAecEnabled(bool) {
    return 0;
}

int32_t BaseSession::SetRawDepthCut(bool) {
    return 0;
}

int32_t BaseSession::SetRangeValue(uint32_t, uint32_t, uint32_t) {
    return 0;
}

int32_t BaseSession::SetSaveComputeDepthTab() {
    return 0;
}

// --- mapping and filters --------------------------------------------------------------------

int32_t BaseSession::SetMapperEnabledDepthToRGB(bool enabled) {
    return SetMapper(m_imageProc, &ImageProc::SetMapperEnabledColourToDepth, enabled);
}
int32_t BaseSession::GetMapperEnabledDepthToRGB(bool& enabled) {
    return GetMapper(m_imageProc, &ImageProc::GetMapperEnabledColourToDepth, enabled);
}
int32_t BaseSession::SetMapperEnabledRGBToDepth(bool enabled) {
    return SetMapper(m_imageProc, &ImageProc::SetMapperEnabledDepthToColour, enabled);
}
int32_t BaseSession::GetMapperEnabledRGBToDepth(bool& enabled) {
    return GetMapper(m_imageProc, &ImageProc::GetMapperEnabledDepthToColour, enabled);
}
int32_t BaseSession::SetMapperEnabledRGBToIR(bool enabled) {
    return SetMapper(m_imageProc, &ImageProc::SetMapperEnabledIRToColour, enabled);
}
int32_t BaseSession::GetMapperEnabledRGBToIR(bool& enabled) {
    return GetMapper(m_imageProc, &ImageProc::GetMapperEnabledIRToColour, enabled);
}

int32_t BaseSession::SetComputeRealDepthCorrectionEnabled(bool enabled) {
    return SetFilter(PreProcessor(), &ImgPreProcess::SetComputeRealDepthCorrectionEnabled, enabled);
}
int32_t BaseSession::GetComputeRealDepthCorrectionEnabled(bool& enabled) {
    return GetFilter(PreProcessor(), &ImgPreProcess::GetComputeRealDepthCorrectionEnabled, enabled);
}
int32_t BaseSession::SetSmoothingFilterEnabled(bool enabled) {
    return SetFilter(PreProcessor(), &ImgPreProcess::SetSmoothingFilterEnabled, enabled);
}
int32_t BaseSession::GetSmoothingFilterEnabled(bool& enabled) {
    return GetFilter(PreProcessor(), &ImgPreProcess::GetSmoothingFilterEnabled, enabled);
}
int32_t BaseSession::SetDepthDistortionCorrectionEnabled(bool enabled) {
    return SetFilter(PreProcessor(), &ImgPreProcess::SetDepthDistortionCorrectionEnabled, enabled);
}
int32_t BaseSession::GetDepthDistortionCorrectionEnabled(bool& enabled) {
    return GetFilter(PreProcessor(), &ImgPreProcess::GetDepthDistortionCorrectionEnabled, enabled);
}
int32_t BaseSession::SetIrDistortionCorrectionEnabled(bool enabled) {
    return SetFilter(PreProcessor(), &ImgPreProcess::SetIrDistortionCorrectionEnabled, enabled);
}
int32_t BaseSession::GetIrDistortionCorrectionEnabled(bool& enabled) {
    return GetFilter(PreProcessor(), &ImgPreProcess::GetIrDistortionCorrectionEnabled, enabled);
}
int32_t BaseSession::SetRGBDistortionCorrectionEnabled(bool enabled) {
    return SetFilter(PreProcessor(), &ImgPreProcess::SetRGBDistortionCorrectionEnabled, enabled);
}
int32_t BaseSession::GetRGBDistortionCorrectionEnabled(bool& enabled) {
    return GetFilter(PreProcessor(), &ImgPreProcess::GetRGBDistortionCorrectionEnabled, enabled);
}
int32_t BaseSession::SetRGBCorrectionEnabled(bool enabled) {
    return SetFilter(PreProcessor(), &ImgPreProcess::SetRGBCorrectionEnabled, enabled);
}
int32_t BaseSession::GetRGBCorrectionEnabled(bool& enabled) {
    return GetFilter(PreProcessor(), &ImgPreProcess::GetRGBCorrectionEnabled, enabled);
}
int32_t BaseSession::SetTimeFilterEnabled(bool enabled) {
    return SetFilter(PreProcessor(), &ImgPreProcess::SetTimeFilterEnabled, enabled);
}
int32_t BaseSession::GetTimeFilterEnabled(bool& enabled) {
    return GetFilter(PreProcessor(), &ImgPreProcess::GetTimeFilterEnabled, enabled);
}
int32_t BaseSession::SetSpatialFilterEnabled(bool enabled) {
    return SetFilter(PreProcessor(), &ImgPreProcess::SetSpatialFilterEnabled, enabled);
}
int32_t BaseSession::GetSpatialFilterEnabled(bool& enabled) {
    return GetFilter(PreProcessor(), &ImgPreProcess::GetSpatialFilterEnabled, enabled);
}

}  // namespace quorix
