// Log lines on behalf of a protocol operation: shared helpers that run an exchange or a
// check write under the operation's own name (taken from the call site), as QLOG would
// have written inside the operation.
#pragma once

#include <source_location>

namespace quorix {

// Writes `text` with the "[file:line:Class::Function]:" prefix of `where`.
void LogAt(const std::source_location& where, const char* text);
__attribute__((format(printf, 2, 3))) void LogAtf(const std::source_location& where,
                                                  const char* format, ...);

}  // namespace quorix
