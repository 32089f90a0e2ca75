// The driver test double (tests/programs/driverdouble.exe) for one test:
// started with its options on the test's machine root, waited for until it
// listens, ended by its process id afterwards.
#pragma once

#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "jxplat/machine.h"
#include "jxtest/machine_root.h"

extern char** environ;

namespace jxtest {

inline std::string DriverDoublePath() {
    return BuildDir() + "/tests/programs/driverdouble.exe";
}

class CDriverDouble {
public:
    explicit CDriverDouble(std::vector<std::string> options = {}) {
        std::vector<std::string> args = {DriverDoublePath(), "--root", jxplat::MachineRoot()};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        int out[2];
        if (::pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_pid = 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        // The double says "ready" once it listens (a blocking read, no polling).
        char line[16] = {};
        m_ready = m_pid && ::read(out[0], line, 5) == 5 && std::string(line, 5) == "ready";
        ::close(out[0]);
    }
    ~CDriverDouble() { Stop(); }
    CDriverDouble(const CDriverDouble&) = delete;
    CDriverDouble& operator=(const CDriverDouble&) = delete;

    bool Ready() const { return m_ready; }
    void Stop() {
        if (m_pid) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = 0;
        }
    }
    // Waits for the double's own end (it ends by itself after --die-after).
    void AwaitEnd() {
        if (m_pid) {
            ::waitpid(m_pid, nullptr, 0);
            m_pid = 0;
        }
    }
    // "openBags=N requests=N released=N trusted=N"
    static std::string Status() { return ReadHostFile(jxplat::MachinePath("driverdouble.status")); }
    static int OpenBags() {
        const std::string status = Status();
        const size_t at = status.find("openBags=");
        return at == std::string::npos ? -1 : std::stoi(status.substr(at + 9));
    }

private:
    pid_t m_pid = 0;
    bool m_ready = false;
};

} // namespace jxtest
