// Raw dumps through the platform's file seam.
#include "imaging/RawDump.h"

#include <cstdarg>
#include <cstdio>

#include "log/Log.h"
#include "platform/Files.h"

namespace quorix {

bool AppendRawDump(DumpFailure onFailure, const std::string& folder, const uint8_t* data,
                   size_t length, const char* nameFormat, ...) {
    char name[64];
    va_list args;
    va_start(args, nameFormat);
    vsnprintf(name, sizeof name, nameFormat, args);
    va_end(args);
    char path[1024];
    snprintf(path, sizeof path, "%s%s%s", folder.c_str(), folder.empty() ? "" : "/", name);
    const platform::AppendResult result = platform::AppendToFile(path, data, length);
    if (result == platform::AppendResult::kCannotOpen && onFailure == DumpFailure::kLog) {
        QLOG_ERROR("cannot open %s.\n", path);
    }
    return result == platform::AppendResult::kDone;
}

}  // namespace quorix
