// The process-wide log: formatting, the console switch, the rotating file, test capture.
#include "log/Log.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <unistd.h>

#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/Socket.h"

namespace quorix::log {
namespace {

constexpr const char* kProductName = "QuorixSDK";
constexpr const char* kExtension = ".txt";
constexpr long kRotationSize = 0xA00000;
constexpr size_t kMessageSize = 1024;

struct LogState {
    std::mutex lock;
    bool setUp = false;
    bool console = false;
    bool firstLine = true;
    FILE* file = nullptr;
    std::string filePath;
    std::string backupPath;
    std::string dataHomeOverride;
    std::vector<Capture*> captures;
};

LogState& State() {
    static LogState* state = new LogState;  // never destroyed: threads may log at exit
    return *state;
}

void TimeOfDay(char (&out)[48], char (&date)[80]) {
    const platform::LocalTime t = platform::LocalTimeNow();
    snprintf(out, sizeof out, "%02d:%02d:%02d-%03d", t.hour, t.minute, t.second, t.millisecond);
    snprintf(date, sizeof date, "%04d/%02d/%02d %02d:%02d:%02d-%03d", t.year, t.month, t.day,
             t.hour, t.minute, t.second, t.millisecond);
}

// "<data home>/Quorix", created when missing; empty when it cannot be created.
std::string GetAppDataDirectory() {
    std::string base;
    {
        std::lock_guard guard(State().lock);
        base = State().dataHomeOverride;
    }
    if (base.empty()) {
        const std::string home = platform::HomeDirectory();
        if (home.empty()) {
            return {};
        }
        base = home + "/.local/share";
    }
    const std::string dir = base + "/Quorix";
    if (const int err = platform::MakeDirectories(dir); err != 0) {
        QLOG_ERROR("CreateDirectory %s failed errorcode:%d !\n", dir.c_str(), err);
        QLOG_ERROR("CreateDirectory %s: %s\n", dir.c_str(), platform::ErrorText(err).c_str());
        return {};
    }
    return dir;
}

// Opens the log file; leaves it closed (console and capture still work) on failure.
void OpenLogFile() {
    const std::string appData = GetAppDataDirectory();
    if (appData.empty()) {
        return;  // never fall back to a "/Log" at the file-system root
    }
    const std::string dir = appData + "/Log";
    if (const int err = platform::MakeDirectories(dir); err != 0) {
        QLOG_ERROR("CreateDirectory %s failed errorcode:%d !\n", dir.c_str(), err);
        QLOG_ERROR("CreateDirectory %s: %s\n", dir.c_str(), platform::ErrorText(err).c_str());
        return;
    }
    const std::string path = dir + "/" + kProductName + kExtension;
    int openError = 0;
    {
        std::lock_guard guard(State().lock);
        LogState& s = State();
        s.filePath = path;
        s.backupPath = dir + "/bak" + kProductName + kExtension;
        s.file = fopen(path.c_str(), "a");
        openError = s.file == nullptr ? errno : 0;
    }
    if (openError != 0) {
        QLOG_ERROR("fopen_s %s failed errorcode:%d !\n", path.c_str(), openError);
        QLOG_ERROR("fopen %s: %s\n", path.c_str(), platform::ErrorText(openError).c_str());
    }
}

char LevelLetter(Level level) {
    switch (level) {
        case Level::kWarning:
            return 'W';
        case Level::kError:
            return 'E';
        case Level::kInfo:
            break;
    }
    return 'I';
}

void RotateIfFull(LogState& s) {
    if (fseek(s.file, 0, SEEK_END) != 0 || ftell(s.file) < kRotationSize) {
        return;
    }
    remove(s.backupPath.c_str());
    fclose(s.file);
    rename(s.filePath.c_str(), s.backupPath.c_str());
    s.file = fopen(s.filePath.c_str(), "a");
}

}  // namespace

std::string DataDirectory() {
    return GetAppDataDirectory();
}

void Deliver(const char* message) {
    for (Capture* c : State().captures) {
        c->m_lines.emplace_back(message);
    }
}

void Initialize(bool console) {
    {
        std::lock_guard guard(State().lock);
        if (State().setUp) {
            return;
        }
        State().setUp = true;
        State().console = console;
        State().firstLine = true;
    }
    OpenLogFile();
}

void Shutdown() {
    std::lock_guard guard(State().lock);
    LogState& s = State();
    if (s.file != nullptr) {
        fclose(s.file);
        s.file = nullptr;
    }
    s.setUp = false;
    s.console = false;
    s.filePath.clear();
    s.backupPath.clear();
}

void Write(Level level, const char* format, ...) {
    char message[kMessageSize];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);
    // Several programs may write one file: each line says whose it is.
    thread_local const long threadId = static_cast<long>(gettid());
    LogState& s = State();
    std::lock_guard guard(s.lock);
    char now[48];
    char date[80];
    TimeOfDay(now, date);
    char head[96];
    snprintf(head, sizeof head, "%s %ld/%ld %c", now, static_cast<long>(getpid()), threadId,
             LevelLetter(level));

    Deliver(message);
    if (s.console) {
        printf("%s %s", head, message);
        fflush(stdout);
    }
    if (s.file == nullptr) {
        return;
    }
    RotateIfFull(s);
    if (s.file == nullptr) {
        return;
    }
    fprintf(s.file, "%s %s", head, message);
    if (s.firstLine) {
        fprintf(s.file, "%s %s\n", now, date);
        s.firstLine = false;
    }
    fflush(s.file);
}

std::string FilePath() {
    std::lock_guard guard(State().lock);
    return State().file != nullptr ? State().filePath : std::string{};
}

void SetDataHomeForTesting(const std::string& base) {
    std::lock_guard guard(State().lock);
    State().dataHomeOverride = base;
}

Capture::Capture() {
    std::lock_guard guard(State().lock);
    State().captures.push_back(this);
}

Capture::~Capture() {
    std::lock_guard guard(State().lock);
    auto& v = State().captures;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

std::vector<std::string> Capture::Lines() const {
    std::lock_guard guard(State().lock);
    return m_lines;
}

size_t Capture::Count(const std::string& needle) const {
    std::lock_guard guard(State().lock);
    return static_cast<size_t>(
        std::count_if(m_lines.begin(), m_lines.end(),
                      [&](const std::string& l) { return l.find(needle) != std::string::npos; }));
}

void Capture::Clear() {
    std::lock_guard guard(State().lock);
    m_lines.clear();
}

namespace detail {

FunctionName::FunctionName(const char* pretty) noexcept : m_name{} {
    // Find the '(' that opens the parameter list: the first one outside template brackets.
    const char* open = nullptr;
    int angle = 0;
    for (const char* p = pretty; *p != '\0'; ++p) {
        if (*p == '<') {
            ++angle;
        } else if (*p == '>') {
            --angle;
        } else if (*p == '(' && angle == 0) {
            open = p;
            break;
        }
    }
    if (open == nullptr) {
        open = pretty + strlen(pretty);
    }
    // The name starts after the last space outside template brackets (the return type).
    const char* start = pretty;
    angle = 0;
    for (const char* p = open - 1; p >= pretty; --p) {
        if (*p == '>') {
            ++angle;
        } else if (*p == '<') {
            --angle;
        } else if (*p == ' ' && angle == 0) {
            start = p + 1;
            break;
        }
    }
    // Drop namespaces (lower-case by convention, and "{anonymous}"), keep Class::Function.
    for (;;) {
        const char* sep = strstr(start, "::");
        if (sep == nullptr || sep >= open) {
            break;
        }
        const bool isNamespace = (*start >= 'a' && *start <= 'z') || *start == '{';
        if (!isNamespace) {
            break;
        }
        start = sep + 2;
    }
    const size_t len = std::min(static_cast<size_t>(open - start), sizeof m_name - 1);
    memcpy(m_name, start, len);
    m_name[len] = '\0';
}

}  // namespace detail
}  // namespace quorix::log
