// The maintenance transfers behind public properties -4 and -5, for the property exports.
// Both return a public status.
#pragma once

#include <cstdint>

#include "quorix/quorix_api.h"

namespace quorix {

class BaseSession;

// Property -4: `data` holds the JSON status callback (exactly one function pointer).
NsReturnStatus EnterJsonConfigModeProperty(BaseSession& session, const void* data, uint32_t size);
// Property -5: `data` holds the new file's path, read no further than `size` bytes.
NsReturnStatus StartUpgradeJsonProperty(BaseSession& session, const void* data, uint32_t size);

}  // namespace quorix
