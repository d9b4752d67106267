// Translation of internal status codes into the public set, and the exception firewall
// that every export runs its body in.
#pragma once

#include <cstdint>
#include <exception>

#include "log/Log.h"
#include "quorix/quorix_api.h"

namespace quorix {

// 0, -1..-19 and -101..-105 pass unchanged; everything else is logged and becomes -255.
NsReturnStatus InterRet2ExternRet(int32_t interRet);

// Result form Z: 0 stays 0, anything else becomes -255 without a log line.
inline NsReturnStatus ZeroOrOther(int32_t interRet) {
    return interRet == 0 ? NsStatusOk : NsStatusOther;
}

// Result form B: true gives 0, false -255.
inline NsReturnStatus TrueOrOther(bool ok) {
    return ok ? NsStatusOk : NsStatusOther;
}

// Runs an export's body so that nothing thrown below reaches the application.
template <typename Body>
NsReturnStatus Firewall(const char* exportName, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::exception& e) {
        QLOG_ERROR("%s failed: %s\n", exportName, e.what());
    } catch (...) {
        QLOG_ERROR("%s failed: unknown exception\n", exportName);
    }
    return NsStatusOther;
}

}  // namespace quorix
