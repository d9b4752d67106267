// Calling any operation of the camera interface from a test without writing its arguments:
// value-initialised ones (null pointers, zero records), so every row of the operation
// table can be exercised in a loop.
#pragma once

#include <tuple>
#include <type_traits>

#include "protocol/BaseProtocol.h"

namespace quorix::test {

template <class... Args>
int32_t CallWithDefaults(BaseProtocol& protocol, int32_t (BaseProtocol::*op)(Args...)) {
    std::tuple<std::remove_cvref_t<Args>...> values{};
    return std::apply([&](auto&... v) { return (protocol.*op)(v...); }, values);
}

}  // namespace quorix::test
