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

// What the simulated camera (network or USB) reports through a whole, successful firmware
// upgrade: the checksum verdict, flashing in steps of 20 with the extra 100, the stages.
inline TransferCalls SimulatedUpgradeCalls() {
    return {{4, 1}, {5, 20}, {5, 40}, {5, 60}, {5, 80}, {5, 100}, {6, 1}, {7, 1}, {8, 1}};
}

}  // namespace quorix::test
