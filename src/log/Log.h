// The library's one log: every module writes through QLOG (QLOG_WARN, QLOG_ERROR), which
// prefixes the message with "[file:line:Class::Function]:". Messages go to an optional console and
// to a text file under <home>/.local/share/Quorix/Log that rotates at 10 MiB.
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

// How much a line matters: a warning is a refused request or a degraded path that the
// library works around; an error is a failure the caller sees (a system call, a camera
// that does not answer, bad bytes).
enum class Level { kInfo, kWarning, kError };

// Formats one message (cut at 1023 characters) and writes it to every sink. File and
// console lines carry the time, process id, thread id and level before the message.
void Write(Level level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Path of the log file as set up; empty when the log is not set up.
std::string FilePath();

// The library's per-user data folder ("<home>/.local/share/Quorix"), created when missing;
// empty when it cannot be made.
std::string DataDirectory();

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
#define QLOG_AT(level, format, ...)                                                          \
    do {                                                                                     \
        static const ::quorix::log::detail::FunctionName qlogFunction_(__PRETTY_FUNCTION__); \
        ::quorix::log::Write(level, "[%s:%d:%s]:" format,                                    \
                             ::quorix::log::detail::BaseName(__FILE__), __LINE__,            \
                             qlogFunction_.c_str() __VA_OPT__(, ) __VA_ARGS__);              \
    } while (0)
#define QLOG(format, ...) QLOG_AT(::quorix::log::Level::kInfo, format __VA_OPT__(, ) __VA_ARGS__)
#define QLOG_WARN(format, ...) \
    QLOG_AT(::quorix::log::Level::kWarning, format __VA_OPT__(, ) __VA_ARGS__)
#define QLOG_ERROR(format, ...) \
    QLOG_AT(::quorix::log::Level::kError, format __VA_OPT__(, ) __VA_ARGS__)
