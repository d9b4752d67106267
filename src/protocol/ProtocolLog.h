// Log lines on behalf of a protocol operation: shared helpers that run an exchange or a
// check write under the operation's own name (taken from the call site), as QLOG would
// have written inside the operation.
#pragma once

#include <source_location>

#include "log/Log.h"

namespace quorix {

// Writes `text` with the "[file:line:Class::Function]:" prefix of `where`.
void LogAt(const std::source_location& where, const char* text,
           log::Level level = log::Level::kInfo);
__attribute__((format(printf, 3, 4))) void LogAtf(log::Level level,
                                                  const std::source_location& where,
                                                  const char* format, ...);

}  // namespace quorix
