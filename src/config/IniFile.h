// The ini text format of the per-model configuration files: sections, keys and values, and
// how numbers and comma lists inside values are read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quorix {

// A parsed ini text. Rules: a line holding "[" and later "]" opens the section named by the
// text between them; otherwise a line holding "=" gives a key (before the first "=") and a
// value (after it), both with every space character removed (tabs and other white space
// stay). An entry is kept only when section, key and value are all non-empty; of duplicate
// keys in a section the last wins. Every other line (comments, blank lines) means nothing.
// One "\r" at the end of a line is dropped first, so files written with CR LF line ends
// read like any other.
class IniFile {
public:
    static IniFile Parse(std::string_view text);

    // The value of `key` in `section`, or null when there is none.
    const std::string* Find(std::string_view section, std::string_view key) const;

    // Keys of `section` in sorted order (empty for an unknown section).
    std::vector<std::string> Keys(std::string_view section) const;
    std::vector<std::string> Sections() const;

private:
    std::map<std::string, std::map<std::string, std::string, std::less<>>, std::less<>> m_sections;
};

// The decimal number at the start of `value`: optional leading blanks, an optional sign,
// then digits. 0 when there are no digits; values beyond the i32 range are clamped to it.
// The sign is honoured because -255 is the "not set" value of many keys.
int32_t ParseIniNumber(std::string_view value);

// A comma-separated list of numbers, each piece read with ParseIniNumber (so an empty piece
// is 0). A value without a comma is a one-entry list; an empty value an empty list. At most
// `capacity` entries are kept; the rest are logged under `key` and dropped.
std::vector<int32_t> ParseIniList(std::string_view value, size_t capacity, const char* key);

}  // namespace quorix
