// Starting, watching and stopping quorix-camsim as a child process.
#include "CamsimProcess.h"

#include "E2eStats.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace quorix::bench {
namespace {

constexpr const char* kRunningLine = "running; Ctrl-C stops";

}  // namespace

std::string OwnFolder() {
    char path[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) {
        return ".";
    }
    std::string folder(path, static_cast<size_t>(n));
    const size_t slash = folder.rfind('/');
    return slash == std::string::npos ? "." : folder.substr(0, slash);
}

CamsimProcess::~CamsimProcess() {
    if (Running()) {
        Stop();
    }
}

bool CamsimProcess::Start(const std::string& program, const std::vector<std::string>& args,
                          std::string& error) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        error = std::string("fork: ") + std::strerror(errno);
        close(pipeFds[0]);
        close(pipeFds[1]);
        return false;
    }
    if (pid == 0) {
        // The child: its standard output goes to the pipe; it dies with the benchmark.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) {
            _exit(127);
        }
        dup2(pipeFds[1], STDOUT_FILENO);
        execv(program.c_str(), argv.data());
        std::fprintf(stderr, "cannot run %s: %s\n", program.c_str(), std::strerror(errno));
        _exit(127);
    }
    close(pipeFds[1]);
    m_pid = pid;
    m_out = pipeFds[0];
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (m_output.find(kRunningLine) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count()))) {
            error = program + " did not come up; it said: " + m_output;
            Stop();
            return false;
        }
    }
    m_output.erase(0, m_output.find(kRunningLine) + std::strlen(kRunningLine));
    return true;
}

bool CamsimProcess::ReadSome(int timeoutMs) {
    pollfd p{m_out, POLLIN, 0};
    const int ready = poll(&p, 1, timeoutMs);
    if (ready < 0) {
        return errno == EINTR;
    }
    if (ready == 0) {
        return true;
    }
    char buffer[4096];
    const ssize_t n = read(m_out, buffer, sizeof buffer);
    if (n <= 0) {
        return n < 0 && errno == EINTR;
    }
    m_output.append(buffer, static_cast<size_t>(n));
    return true;
}

double CamsimProcess::CpuSeconds() const {
    if (!Running()) {
        return -1.0;
    }
    const auto cpu = ReadProcStat("/proc/" + std::to_string(m_pid) + "/stat");
    return cpu ? cpu->seconds : -1.0;
}

std::vector<std::string> CamsimProcess::CutLines(bool all) {
    const size_t end = all ? m_output.size() : m_output.rfind('\n') + 1;  // npos + 1 is 0
    std::istringstream text(m_output.substr(0, end));
    m_output.erase(0, end);
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::vector<std::string> CamsimProcess::TakeLines() {
    if (m_out >= 0) {
        for (size_t before = std::string::npos; before != m_output.size();) {
            before = m_output.size();
            if (!ReadSome(0)) {
                break;
            }
        }
    }
    return CutLines(false);
}

std::vector<std::string> CamsimProcess::Kill() {
    if (!Running()) {
        return CutLines(true);
    }
    kill(m_pid, SIGKILL);
    int status = 0;
    waitpid(m_pid, &status, 0);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < end && ReadSome(200)) {
    }
    close(m_out);
    m_out = -1;
    m_pid = -1;
    return CutLines(true);
}

std::vector<std::string> CamsimProcess::Stop() {
    if (!Running()) {
        return CutLines(true);
    }
    kill(m_pid, SIGTERM);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end && ReadSome(200)) {
    }
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == 0) {
        kill(m_pid, SIGKILL);  // it ignored the request for 10 s
        waitpid(m_pid, &status, 0);
    }
    close(m_out);
    m_out = -1;
    m_pid = -1;
    return CutLines(true);
}

}  // namespace quorix::bench
