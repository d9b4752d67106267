// Parsing of ini text and of the numbers and lists in its values.
#include "config/IniFile.h"

#include <algorithm>
#include <limits>

#include "log/Log.h"

namespace quorix {
namespace {

std::string WithoutSpaces(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c != ' ') {
            out += c;
        }
    }
    return out;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
    IniFile ini;
    std::string section;
    std::string_view::size_type begin = 0;
    while (begin < text.size()) {
        std::string_view::size_type end = text.find('\n', begin);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(begin, end - begin);
        begin = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const std::string_view::size_type open = line.find('[');
        if (open != std::string_view::npos) {
            const std::string_view::size_type close = line.find(']', open + 1);
            if (close != std::string_view::npos) {
                section = std::string(line.substr(open + 1, close - open - 1));
                continue;
            }
        }
        const std::string_view::size_type equals = line.find('=');
        if (equals == std::string_view::npos || section.empty()) {
            continue;
        }
        std::string key = WithoutSpaces(line.substr(0, equals));
        std::string value = WithoutSpaces(line.substr(equals + 1));
        if (!key.empty() && !value.empty()) {
            ini.m_sections[section].insert_or_assign(std::move(key), std::move(value));
        }
    }
    return ini;
}

const std::string* IniFile::Find(std::string_view section, std::string_view key) const {
    const auto s = m_sections.find(section);
    if (s == m_sections.end()) {
        return nullptr;
    }
    const auto k = s->second.find(key);
    return k == s->second.end() ? nullptr : &k->second;
}

std::vector<std::string> IniFile::Keys(std::string_view section) const {
    std::vector<std::string> keys;
    if (const auto s = m_sections.find(section); s != m_sections.end()) {
        for (const auto& entry : s->second) {
            keys.push_back(entry.first);
        }
    }
    return keys;
}

std::vector<std::string> IniFile::Sections() const {
    std::vector<std::string> names;
    for (const auto& entry : m_sections) {
        names.push_back(entry.first);
    }
    return names;
}

int32_t ParseIniNumber(std::string_view value) {
    size_t i = 0;
    while (i < value.size() && IsBlank(value[i])) {
        ++i;
    }
    bool negative = false;
    if (i < value.size() && (value[i] == '-' || value[i] == '+')) {
        negative = value[i] == '-';
        ++i;
    }
    // Accumulate the magnitude up to just past the i32 range, then stop growing.
    constexpr int64_t kLimit = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
    int64_t magnitude = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        if (magnitude < kLimit) {
            magnitude = magnitude * 10 + (value[i] - '0');
        }
    }
    if (negative) {
        return static_cast<int32_t>(-std::min(magnitude, kLimit));
    }
    return static_cast<int32_t>(std::min(magnitude, kLimit - 1));
}

std::vector<int32_t> ParseIniList(std::string_view value, size_t capacity, const char* key) {
    std::vector<int32_t> list;
    if (value.empty()) {
        return list;
    }
    std::string_view::size_type begin = 0;
    while (true) {
        if (list.size() == capacity) {
            QLOG_WARN("%s holds more than %zu entries; dropped: %s\n", key, capacity,
                      std::string(value.substr(begin)).c_str());
            break;
        }
        const std::string_view::size_type comma = value.find(',', begin);
        list.push_back(ParseIniNumber(value.substr(begin, comma - begin)));
        if (comma == std::string_view::npos) {
            break;
        }
        begin = comma + 1;
    }
    return list;
}

}  // namespace quorix
