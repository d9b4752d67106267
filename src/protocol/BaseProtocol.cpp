// The "Not Support." defaults of every protocol operation, and the protocols' log helpers.
#include "protocol/BaseProtocol.h"

#include <cstdarg>
#include <cstdio>
#include <iterator>

#include "log/Log.h"
#include "protocol/ProtocolLog.h"

namespace quorix {

void LogAt(const std::source_location& where, const char* text, log::Level level) {
    const log::detail::FunctionName name(where.function_name());
    log::Write(level, "[%s:%d:%s]:%s", log::detail::BaseName(where.file_name()),
               static_cast<int>(where.line()), name.c_str(), text);
}

void LogAtf(log::Level level, const std::source_location& where, const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    LogAt(where, text, level);
}

namespace {

// Logs under the calling operation's qualified name, so the log says what was missing.
int32_t NotSupported(const std::source_location& where = std::source_location::current()) {
    LogAt(where, "Not Support.\n", log::Level::kWarning);
    return kStatusNotSupported;
}

}  // namespace

BaseProtocol::~BaseProtocol() = default;

// The table's rows are in order: position k is the k-th row.
constexpr uint8_t kPositions[] = {
#define QUORIX_POSITION(position, ...) position,
    QUORIX_PROTOCOL_OPERATIONS(QUORIX_POSITION)
#undef QUORIX_POSITION
};
static_assert(std::size(kPositions) == kOperationCount);
static_assert([] {
    for (size_t i = 0; i < std::size(kPositions); ++i) {
        if (kPositions[i] != i + 1) {
            return false;
        }
    }
    return true;
}());

#define QUORIX_DEFAULT_BODY(position, name, params, args, ...) \
    int32_t BaseProtocol::name params {                        \
        detail::Unused args;                                   \
        return NotSupported();                                 \
    }
QUORIX_PROTOCOL_OPERATIONS(QUORIX_DEFAULT_BODY)
#undef QUORIX_DEFAULT_BODY

}  // namespace quorix
