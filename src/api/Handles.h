// Device handles of the C interface: a token given to the application as an opaque pointer,
// never given out twice. The live tokens are kept in a table with the device each one owns,
// so a stale copy of a closed handle is recognised and refused (-3).
//
// Every call on a handle holds the device for its duration (a DeviceCall): a close on
// another thread marks the handle dead at once (new calls get -3), wakes the waits of the
// device's sessions, and the device is destroyed when the last call has left it, never
// under a caller.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "quorix/quorix_api.h"

namespace quorix {

class BaseDevice;
class BaseSession;

// A call's hold on one session: the session stays alive at least as long as this does.
struct DeviceCall {
    std::shared_ptr<BaseDevice> device;
    BaseSession* session = nullptr;
};

// A new live handle owning `device`.
NsDeviceHandle NewHandle(std::shared_ptr<BaseDevice> device);
// Takes a live handle out of the table; false when `handle` is not live.
// `device` receives what the handle owned (null after a shutdown emptied it).
bool TakeHandle(NsDeviceHandle handle, std::shared_ptr<BaseDevice>* device);
// Empties every live handle (the library shuts down) and hands over the devices they
// owned; the handles stay in the table for Ns2_CloseDevice to take out.
std::vector<std::shared_ptr<BaseDevice>> ForgetAllDevices();

// The handle check: 0 and a hold on the session, or -3 for a null or dead handle, a device
// the manager does not hold, or a session index without a session.
int32_t FindSession(NsDeviceHandle handle, uint32_t sessionIndex, DeviceCall* call);

// How long a close waits for the calls in flight to leave before it lets the last of them
// destroy the device. Every wait that can be woken is woken at once; this bounds the
// command exchanges (2 s replies) that cannot.
inline constexpr std::chrono::milliseconds kCloseDrainLimit{3000};

// Ends a device that no handle reaches any more: marks it closing (its frame reads and
// confirmation polls return at once), waits up to `limit` for the calls in flight, and
// drops this reference. The device is destroyed here when they left, else by the last one.
void RetireDevice(std::shared_ptr<BaseDevice> device,
                  std::chrono::milliseconds limit = kCloseDrainLimit);

}  // namespace quorix
