// The lifecycle of a session as one state, and the one check of what each state allows.
//
//   Closed --OpenDevice--> Opened --StartStream (initialises)--> Streaming
//   Streaming --StopStream--> Ready --StartStream--> Streaming
//   Opened, Ready, Streaming --CloseDevice--> Closed
//
// A start whose initialisation fails leaves the session Opened, so the next start
// initialises again. Two conditions stand beside the state because other threads set them
// at any time: the camera's connection was lost (the session stays in its state and reports
// itself not alive), and the device is closing (waits inside it end at once).
#pragma once

#include "base/Status.h"

#include <cstdint>

namespace quorix {

enum class SessionState : uint8_t { kClosed, kOpened, kReady, kStreaming };

// What a caller asks of a session, as far as its state decides.
enum class SessionRequest : uint8_t { kOpen, kReadFrames };

// 0 when `request` may go ahead in `state`, else the status it is refused with.
constexpr int32_t Admit(SessionState state, SessionRequest request) {
    switch (request) {
        case SessionRequest::kOpen:
            return state == SessionState::kClosed ? 0 : -103;
        case SessionRequest::kReadFrames:
            return state == SessionState::kStreaming ? 0 : -2;
    }
    return kStatusNotSupported;
}

// Initialised: the first start after the open has read the camera and configured it.
constexpr bool IsInitialised(SessionState state) {
    return state == SessionState::kReady || state == SessionState::kStreaming;
}

}  // namespace quorix
