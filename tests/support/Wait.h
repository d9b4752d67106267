// Polls a condition until it holds or a time limit passes (for events on other threads).
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace quorix::test {

inline bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

}  // namespace quorix::test
