// Device handles of the C interface: an 8-byte cell holding the opened BaseDevice, given to
// the application as an opaque pointer. The cells alive are kept in a set, so a stale copy
// of a closed handle is recognised instead of read.
#pragma once

#include <cstdint>

#include "quorix/quorix_api.h"

namespace quorix {

class BaseDevice;
class BaseSession;

// A new live cell holding `device`.
NsDeviceHandle NewHandle(BaseDevice* device);
// Forgets and frees a live cell; false when `handle` is not live.
bool FreeHandle(NsDeviceHandle handle, BaseDevice** device);
bool IsLiveHandle(NsDeviceHandle handle);
// Empties every live cell (the library shut down and its devices are gone); the cells stay
// valid for Ns2_CloseDevice to free.
void ForgetAllDevices();

// The handle check: 0 and the session, or -3 for a null or dead handle, a device the
// manager does not hold, or a session index without a session.
int32_t FindSession(NsDeviceHandle handle, uint32_t sessionIndex, BaseSession** session);

}  // namespace quorix
