// A quorix-camsim process running one simulated TK5P on its own loopback address, ended
// with SIGTERM when the object goes. The tests of the wrapper link the shared library
// alone, as an application does, so the camera runs in a process of its own.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace quorix::test {

class CamsimProcess {
public:
    // Runs `quorix-camsim --address A --model TK5P --serial S --interval 50 <extra>`.
    CamsimProcess(const std::string& address, const std::string& serial,
                  std::vector<std::string> extra = {})
        : m_uri("TK5P:" + serial),
          m_log(std::string(QUORIX_TEST_WORK_DIR) + "/camsim-" + serial + ".log") {
        std::vector<std::string> args = {QUORIX_CAMSIM, "--address",  address,
                                         "--model",     "TK5P",       "--serial",
                                         serial,        "--interval", "50"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, m_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (posix_spawn(&m_pid, QUORIX_CAMSIM, &actions, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CamsimProcess() { Stop(); }
    CamsimProcess(const CamsimProcess&) = delete;
    CamsimProcess& operator=(const CamsimProcess&) = delete;

    const std::string& uri() const { return m_uri; }

    // Ends the simulator (it says farewell: the camera is reported removed).
    void Stop() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

    // What the simulator printed, for a failure message.
    std::string Output() const {
        std::ifstream in(m_log);
        std::stringstream text;
        text << in.rdbuf();
        return "quorix-camsim " + m_uri + (m_pid > 0 ? "" : " (not running)") + ":\n" + text.str();
    }

private:
    std::string m_uri;
    std::string m_log;
    pid_t m_pid = -1;
};

}  // namespace quorix::test
