// BaseProtocol: one camera's command set behind one interface, whatever the link. A
// session owns one and never sees the link. Every operation returns 0 or a negative
// status; the default body of each logs "Not Support." and returns -255, so a concrete
// class implements only what its camera offers. The operations and their fixed order (the
// composite USB protocols route by it) are the table in ProtocolOperations.h.
//
// A protocol has no lock of its own: its transport serialises command exchanges, and
// ReadData is called by the session's reader thread only.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/Status.h"
#include "protocol/ProtocolOperations.h"
#include "protocol/ProtocolTypes.h"

namespace quorix {

// The position of every operation in the interface.
enum class Operation : uint8_t {
#define QUORIX_OPERATION_POSITION(position, name, ...) name = position,
    QUORIX_PROTOCOL_OPERATIONS(QUORIX_OPERATION_POSITION)
#undef QUORIX_OPERATION_POSITION
};
#define QUORIX_COUNT_OPERATION(...) +1
inline constexpr uint32_t kOperationCount = 0 QUORIX_PROTOCOL_OPERATIONS(QUORIX_COUNT_OPERATION);
#undef QUORIX_COUNT_OPERATION

class BaseProtocol {
public:
    BaseProtocol() = default;
    BaseProtocol(const BaseProtocol&) = delete;
    BaseProtocol& operator=(const BaseProtocol&) = delete;

    virtual ~BaseProtocol();

    // Operations 1 to kOperationCount, in the order of the interface table.
#define QUORIX_DECLARE_OPERATION(position, name, params, args, ...) virtual int32_t name params;
    QUORIX_PROTOCOL_OPERATIONS(QUORIX_DECLARE_OPERATION)
#undef QUORIX_DECLARE_OPERATION

    bool IsOpened() const {
        return m_opened.load(std::memory_order_acquire);
    }

protected:
    // Set by a successful OpenDevice, cleared by CloseDevice; read from any thread.
    std::atomic<bool> m_opened{false};
};

}  // namespace quorix
