// The WDR output mode record, shared with the command protocols that carry it.
#pragma once

#include "protocol/ProtocolTypes.h"

namespace quorix {
static_assert(sizeof(WDROutputMode) == 19, "the WDR output mode record is 19 bytes");
}  // namespace quorix
