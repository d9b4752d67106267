// The library's one log: every module writes through QLOG, which prefixes the message
// with "[file:line:Class::Function]:". Messages go to an optional console and to a text
// file under <home>/.local/share/Quorix/Log that rotates at 10 MiB.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace quorix::log {

// Sets the log up unless it is already (a second call before Shutdown does nothing).
// `console` mirrors every message to standard output.
void Initialize(bool console);

// Closes the file and forgets the set-up, so a later Initialize starts again.
void Shutdown();

// Formats one message (cut at 1023 characters) and writes it to every sink.
void Write(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Path of the log file as set up; empty when the log is not set up.
std::string FilePath();

// --- internal hooks for tests, not exported ---------------------------------------------

// Replaces "<home>/.local/share" as the base of the log folder; empty restores it.
void SetDataHomeForTesting(const std::string& base);

// Collects every message written while it lives (the equivalent of a debugger output).
class Capture {
public:
    Capture();
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    std::vector<std::string> Lines() const;
    // Number of messages that contain `needle`.
    size_t Count(const std::string& needle) const;
    bool Contains(const std::string& needle) const { return Count(needle) > 0; }
    void Clear();

private:
    friend void Deliver(const char* message);
    std::vector<std::string> m_lines;
};

namespace detail {

// The qualified function name of a call site ("BaseSession::OpenDevice"), taken once
// from the compiler's pretty function name without allocating.
class FunctionName {
public:
    explicit FunctionName(const char* pretty) noexcept;
    const char* c_str() const noexcept { return m_name; }

private:
    char m_name[128];
};

constexpr const char* BaseName(const char* path) {
    const char* base = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') {
            base = p + 1;
        }
    }
    return base;
}

}  // namespace detail
}  // namespace quorix::log

// Writes one log line with the "[%s:%d:%s]:" prefix. `format` must be a string literal.
#define QLOG(format, ...)                                                                     \
    do {                                                                                      \
        static const ::quorix::log::detail::FunctionName qlogFunction_(__PRETTY_FUNCTION__);  \
        ::quorix::log::Write("[%s:%d:%s]:" format, ::quorix::log::detail::BaseName(__FILE__), \
                             __LINE__, qlogFunction_.c_str() __VA_OPT__(, ) __VA_ARGS__);     \
    } while (0)
