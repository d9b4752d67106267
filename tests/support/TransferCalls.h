// A transfer status callback that records its calls (callbacks are plain function
// pointers, so the record is process-wide), for the upgrade and JSON transfer tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace quorix::test {

using TransferCalls = std::vector<std::pair<int32_t, int32_t>>;

struct TransferRecord {
    std::mutex lock;
    TransferCalls calls;
};

inline TransferRecord& Transfers() {
    static TransferRecord record;
    return record;
}

inline void RecordTransfer(int32_t status, int32_t parameter) {
    std::lock_guard guard(Transfers().lock);
    Transfers().calls.emplace_back(status, parameter);
}

inline TransferCalls RecordedTransfers() {
    std::lock_guard guard(Transfers().lock);
    return Transfers().calls;
}

inline void ClearTransfers() {
    std::lock_guard guard(Transfers().lock);
    Transfers().calls.clear();
}

inline bool ReceivedTransfer(std::pair<int32_t, int32_t> call) {
    const TransferCalls calls = RecordedTransfers();
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

}  // namespace quorix::test
