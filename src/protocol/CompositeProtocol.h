// The composite protocols of USB cameras: one UVC and one HID protocol behind one
// interface, every operation sent to one of them by its position in the interface table.
// The routing is the table's usb or tk1a column, so a composite writes only its OWN
// operations; an OWN operation it has not written yet refuses with "Not Support.".
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "base/Status.h"
#include "protocol/BaseProtocol.h"

namespace quorix {

// Where a composite sends an operation.
enum class Route : uint8_t {
    OWN,   // a body of the composite's own
    UVC,   // the inner UVC protocol, unchanged
    HID,   // the inner HID protocol, unchanged
    NONE,  // "Not Support.", -255
    FAIL,  // -1
};

enum class Composite : uint8_t { kUsb, kTk1a };

namespace detail {

// Indexed by position; entry 0 (the destructor) is the composite's own.
constexpr std::array<Route, kOperationCount + 1> kUsbRoutes{
    Route::OWN,
#define QUORIX_USB_ROUTE(position, name, params, args, session, usb, tk1a) Route::usb,
    QUORIX_PROTOCOL_OPERATIONS(QUORIX_USB_ROUTE)
#undef QUORIX_USB_ROUTE
};
constexpr std::array<Route, kOperationCount + 1> kTk1aRoutes{
    Route::OWN,
#define QUORIX_TK1A_ROUTE(position, name, params, args, session, usb, tk1a) Route::tk1a,
    QUORIX_PROTOCOL_OPERATIONS(QUORIX_TK1A_ROUTE)
#undef QUORIX_TK1A_ROUTE
};

}  // namespace detail

constexpr Route RouteOf(Composite composite, Operation operation) {
    const auto position = static_cast<size_t>(operation);
    return composite == Composite::kUsb ? detail::kUsbRoutes[position]
                                        : detail::kTk1aRoutes[position];
}

template <Composite Kind>
class CompositeProtocol : public BaseProtocol {
public:
    // Built UVC first, then HID; either may be null only in tests of the routing.
    CompositeProtocol(std::unique_ptr<BaseProtocol> uvc, std::unique_ptr<BaseProtocol> hid)
        : m_uvcProtocol(std::move(uvc)), m_hidProtocol(std::move(hid)) {}
    ~CompositeProtocol() override = default;

#define QUORIX_ROUTED_OPERATION(position, name, params, args, ...) \
    int32_t name params override {                                 \
        constexpr Route route = RouteOf(Kind, Operation::name);    \
        if constexpr (route == Route::UVC) {                       \
            return m_uvcProtocol->name args;                       \
        } else if constexpr (route == Route::HID) {                \
            return m_hidProtocol->name args;                       \
        } else if constexpr (route == Route::FAIL) {               \
            detail::Unused args;                                   \
            return kStatusFailed;                                  \
        } else {                                                   \
            return BaseProtocol::name args;                        \
        }                                                          \
    }
    QUORIX_PROTOCOL_OPERATIONS(QUORIX_ROUTED_OPERATION)
#undef QUORIX_ROUTED_OPERATION

protected:
    BaseProtocol& Uvc() {
        return *m_uvcProtocol;
    }
    BaseProtocol& Hid() {
        return *m_hidProtocol;
    }

private:
    std::unique_ptr<BaseProtocol> m_uvcProtocol;
    std::unique_ptr<BaseProtocol> m_hidProtocol;
};

}  // namespace quorix
