// Names and one-line texts of the public status codes, for applications and the tools.
#include <cstddef>

#include "quorix/quorix_api.h"

namespace {

struct StatusText {
    NsReturnStatus status;
    const char* name;
    const char* text;
};

// One row per public code; the texts say what happened and, where there is one, what to do.
constexpr StatusText kStatusTexts[] = {
    {NsStatusOk, "NsStatusOk", "success"},
    {NsStatusFailed, "NsStatusFailed",
     "the operation failed (or frames are being delivered to a registered frame callback)"},
    {NsStatusNotStreaming, "NsStatusNotStreaming",
     "the stream is not running: call Ns2_StartStream first"},
    {NsStatusBadHandle, "NsStatusBadHandle",
     "no such device or session: the handle is null or closed, the camera was removed, or "
     "the session index is beyond the camera's sensors"},
    {NsStatusBadFrameType, "NsStatusBadFrameType",
     "no frame of this type is ready (check the ready set of Ns2_ReadNextFrame), or the "
     "frame type is not valid"},
    {NsStatusNullFrame, "NsStatusNullFrame", "the frame record or its data pointer is null"},
    {NsStatusNoPropertyGet, "NsStatusNoPropertyGet", "this property id cannot be read"},
    {NsStatusNoPropertySet, "NsStatusNoPropertySet", "this property id cannot be written"},
    {NsStatusNullProperty, "NsStatusNullProperty", "the property's data or size pointer is null"},
    {NsStatusLowerLayer, "NsStatusLowerLayer",
     "a lower layer failed (code -9 passed through unchanged)"},
    {NsStatusBadDepthRange, "NsStatusBadDepthRange",
     "depth range refused: it is above 8 or not one the camera offers (see "
     "NS_PROPERTY_DEPTH_RANGE_LIST)"},
    {NsStatusFrameTimeout, "NsStatusFrameTimeout",
     "no new frame arrived within the wait time; try again, or check that the camera still "
     "streams"},
    {NsStatusNullPointer, "NsStatusNullPointer", "a required pointer argument is null"},
    {NsStatusOpenFailed, "NsStatusOpenFailed",
     "the camera could not be opened or did not answer: check that it is powered, connected "
     "and not used by another host"},
    {NsStatusBadSensorType, "NsStatusBadSensorType",
     "sensor type refused: use 1 (depth) or 2 (colour)"},
    {NsStatusBadParameter, "NsStatusBadParameter",
     "a value is outside its documented range, or a size does not match; nothing was sent"},
    {NsStatusUpgradeNotReady, "NsStatusUpgradeNotReady", "the firmware upgrade could not start"},
    {NsStatusUpgradeRejected, "NsStatusUpgradeRejected",
     "the firmware image was refused: it is not an image for this camera"},
    {NsStatusPathTooLong, "NsStatusPathTooLong",
     "the firmware image path is longer than 260 characters"},
    {NsStatusUpgradeUnsupported, "NsStatusUpgradeUnsupported",
     "this camera cannot be upgraded this way"},
    {NsStatusReinitialised, "NsStatusReinitialised",
     "the library is already initialised (call Ns2_Shutdown first to start again)"},
    {NsStatusNotInitialised, "NsStatusNotInitialised",
     "the library is not initialised: call Ns2_Initialize first"},
    {NsStatusAlreadyOpened, "NsStatusAlreadyOpened",
     "the camera is already opened by this process: use the handle you have"},
    {NsStatusTransferError, "NsStatusTransferError",
     "a command to the camera could not be sent or was not answered (connection lost or "
     "camera busy)"},
    {NsStatusNotConfirmed, "NsStatusNotConfirmed",
     "the camera did not confirm the new value in time; it may still take effect (read it "
     "back)"},
    {NsStatusOther, "NsStatusOther",
     "not supported by this camera or in its current mode, or an internal failure (see the "
     "log)"},
};

const StatusText* Find(NsReturnStatus status) {
    for (const StatusText& row : kStatusTexts) {
        if (row.status == status) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace

extern "C" {

QUORIX_API const char* Ns2_GetStatusName(NsReturnStatus status) {
    const StatusText* row = Find(status);
    return row != nullptr ? row->name : "NsStatusUnknown";
}

QUORIX_API const char* Ns2_GetStatusText(NsReturnStatus status) {
    const StatusText* row = Find(status);
    return row != nullptr ? row->text : "not a status code of this library";
}

}  // extern "C"
