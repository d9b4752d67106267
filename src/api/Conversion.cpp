// Coordinate-conversion exports of both generations: points between the depth image and
// space, depth frames into point clouds, depth points into the colour image.
#include <memory>

#include "api/Handles.h"
#include "api/Status.h"
#include "imaging/Conversion.h"
#include "log/Log.h"
#include "quorix/quorix_api.h"
#include "session/BaseSession.h"

namespace quorix {
namespace {

NsReturnStatus NullPointer(const char* what) {
    QLOG_WARN("%s is NULL.\n", what);
    return NsStatusNullPointer;
}

// -12 (logged) when the input array, the output array or the camera record is missing.
NsReturnStatus CheckPointArguments(const void* input, const char* inputName, const void* output,
                                   const char* outputName, const NsCameraParameters* camera) {
    if (input == nullptr) {
        return NullPointer(inputName);
    }
    if (output == nullptr) {
        return NullPointer(outputName);
    }
    return camera == nullptr ? NullPointer("pCameraParameters") : NsStatusOk;
}

NsReturnStatus WorldToDepth(const char* name, const NsVector3f* world, NsDepthVector3* depth,
                            uint32_t count, const NsCameraParameters* camera, RowDirection rows) {
    if (const NsReturnStatus ret = CheckPointArguments(world, "pWorld", depth, "pDepth", camera);
        ret != NsStatusOk) {
        return ret;
    }
    return Firewall(name, [&] {
        ConvertWorldToDepth(world, depth, count, *camera, rows);
        return NsStatusOk;
    });
}

}  // namespace
}  // namespace quorix

using namespace quorix;

extern "C" {

// The handle and session index are not looked at: the conversion is a function of its
// arguments alone.
QUORIX_API NsReturnStatus Ns2_ConvertWorldToDepth(NsDeviceHandle, uint32_t, const NsVector3f* world,
                                                  NsDepthVector3* depth, uint32_t count,
                                                  const NsCameraParameters* parameters) {
    return WorldToDepth(__func__, world, depth, count, parameters, RowDirection::kDown);
}

QUORIX_API NsReturnStatus Ns2_ConvertDepthToWorld(NsDeviceHandle, uint32_t,
                                                  const NsDepthVector3* depth, NsVector3f* world,
                                                  uint32_t count,
                                                  const NsCameraParameters* parameters) {
    if (const NsReturnStatus ret =
            CheckPointArguments(depth, "pDepth", world, "pWorld", parameters);
        ret != NsStatusOk) {
        return ret;
    }
    return Firewall(__func__, [&] {
        ConvertDepthToWorld(depth, world, count, *parameters);
        return NsStatusOk;
    });
}

QUORIX_API NsReturnStatus Ns2_ConvertDepthFrameToWorldVector(NsDeviceHandle h, uint32_t s,
                                                             const NsFrame* depthFrame,
                                                             NsVector3f* world) {
    if (world == nullptr) {
        return NullPointer("pWorld");
    }
    if (depthFrame == nullptr || depthFrame->pFrameData == nullptr) {
        QLOG_WARN("depth frame is NULL.\n");
        return NsStatusNullFrame;
    }
    return Firewall(__func__, [&]() -> NsReturnStatus {
        DeviceCall call;
        if (const int32_t ret = FindSession(h, s, &call); ret != 0) {
            return ret;
        }
        BaseSession* session = call.session;
        // Held for the whole conversion: a re-initialisation builds a new table meanwhile.
        const std::shared_ptr<const PixelRayTable> table = session->GetPixelRayTable();
        if (table == nullptr || table->columns.size() < table->width ||
            table->rows.size() < table->height) {
            QLOG("pixel-ray table is not built.\n");
            return NsStatusBadParameter;
        }
        const RayTableView view{table->columns.data(), table->rows.data(), table->width,
                                table->height};
        return InterRet2ExternRet(ConvertDepthFrameToWorld(
            view, static_cast<const uint16_t*>(depthFrame->pFrameData), depthFrame->width,
            depthFrame->height, depthFrame->dataLen, world));
    });
}

QUORIX_API NsReturnStatus Ns2_GetMappedPointDepthToRGB(NsDeviceHandle h, uint32_t s,
                                                       NsDepthVector3 depthPoint,
                                                       NsColorResolution colorResolution,
                                                       NsColorPoint* colorPoint) {
    return Firewall(__func__, [&]() -> NsReturnStatus {
        DeviceCall call;
        if (const int32_t ret = FindSession(h, s, &call); ret != 0) {
            return ret;
        }
        BaseSession* session = call.session;
        if (colorPoint == nullptr) {
            return NullPointer("pColorPoint");
        }
        const uint32_t resolution =
            uint32_t{colorResolution.width} | (uint32_t{colorResolution.height} << 16);
        return InterRet2ExternRet(
            session->GetMappedPointDepthToRGB(depthPoint, resolution, colorPoint));
    });
}

// First generation: its rows count upwards from cy.
QUORIX_API NsReturnStatus NsConvertWorldToDepth(uint32_t, const NsVector3f* world,
                                                NsDepthVector3* depth, uint32_t count,
                                                const NsCameraParameters* parameters) {
    return WorldToDepth(__func__, world, depth, count, parameters, RowDirection::kUp);
}

QUORIX_API NsReturnStatus NsConvertDepthToWorld(uint32_t, const NsDepthVector3* depth,
                                                NsVector3f* world, uint32_t count,
                                                const NsCameraParameters* parameters) {
    return Ns2_ConvertDepthToWorld(nullptr, 0, depth, world, count, parameters);
}

}  // extern "C"
