// What scripted USB cameras answer when asked for their alias or serial number, keyed by
// the path of their video interface (a session's usb.path), for the protocols that tests
// stand in for the USB links.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace quorix::test {

enum class CameraText { kAlias, kSerialNumber };

class CameraTexts {
public:
    // What the camera at `path` answers; status non-zero makes the read fail.
    void Set(const std::string& path, CameraText which, const std::string& text,
             int32_t status = 0) {
        std::lock_guard guard(m_lock);
        m_texts[{path, which}] = {text, status};
    }

    // A read into `text` (capacity bytes, NUL included); -13 for a camera not set up.
    int32_t Read(const std::string& path, CameraText which, char* text, uint32_t capacity) {
        std::lock_guard guard(m_lock);
        if (text == nullptr || capacity == 0) {
            return -12;
        }
        text[0] = '\0';
        const auto it = m_texts.find({path, which});
        if (it == m_texts.end()) {
            return -13;
        }
        if (it->second.status != 0) {
            return it->second.status;
        }
        const size_t n = std::min<size_t>(capacity - 1, it->second.text.size());
        memcpy(text, it->second.text.data(), n);
        text[n] = '\0';
        return 0;
    }

private:
    struct Answer {
        std::string text;
        int32_t status = 0;
    };
    std::mutex m_lock;
    std::map<std::pair<std::string, CameraText>, Answer> m_texts;
};

}  // namespace quorix::test
