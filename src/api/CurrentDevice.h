// The current device of the first-generation exports: one process-wide handle, null when
// no device is current. Every first-generation function acts on its session 0.
#pragma once

#include <cstdint>

#include "quorix/quorix_api.h"

namespace quorix {

// The first generation always addresses the first sensor of the current device.
inline constexpr uint32_t kCurrentSession = 0;

// The current handle, read atomically; null when none is current.
NsDeviceHandle CurrentDevice();

}  // namespace quorix
