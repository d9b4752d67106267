// A simulated camera run as a child process (quorix-camsim), so that building its frames
// and encoding its MJPEG images do not count against the host being measured.
#pragma once

#include <sys/types.h>
#include <string>
#include <vector>

namespace quorix::bench {

class CamsimProcess {
public:
    CamsimProcess() = default;
    ~CamsimProcess();
    CamsimProcess(const CamsimProcess&) = delete;
    CamsimProcess& operator=(const CamsimProcess&) = delete;

    // Starts `program` with `args` and waits up to 10 s for its "running" line. The child
    // is terminated when this process dies. False, with `error` filled, when it does not
    // come up (its output so far is in the error).
    bool Start(const std::string& program, const std::vector<std::string>& args,
               std::string& error);
    bool Running() const { return m_pid > 0; }
    // User plus system CPU seconds the child has used so far; negative when unknown.
    double CpuSeconds() const;
    // Sends SIGTERM, reads the child's output until it exits and returns the lines it
    // printed after its "running" line (its per-session counters).
    std::vector<std::string> Stop();
    // Kills the child at once (SIGKILL: no farewell, as a power cut) and returns the lines
    // it printed that nobody took yet.
    std::vector<std::string> Kill();
    // The whole lines the child printed since the last call, without waiting.
    std::vector<std::string> TakeLines();

private:
    // Appends what the child printed within `timeoutMs` to m_output; false at its end.
    bool ReadSome(int timeoutMs);
    // Removes the whole lines from m_output (all of it when `all`) and returns them.
    std::vector<std::string> CutLines(bool all);

    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_output;
};

// The folder of this program's executable, with no trailing slash.
std::string OwnFolder();

}  // namespace quorix::bench
