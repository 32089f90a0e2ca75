#include "jxtest/run_program.h"

#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "jxplat/machine.h"
#include "jxtest/machine_root.h"

extern char** environ;

namespace jxtest {

ProgramResult RunProgram(const std::string& hostPath, const std::vector<std::string>& args) {
    ProgramResult result;
    const std::string exitFile = jxplat::MachinePath("test-exit-code");
    ::unlink(exitFile.c_str());
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        if (entry.rfind("JX_MACHINE_ROOT=", 0) != 0 && entry.rfind("JX_EXIT_CODE_FILE=", 0) != 0 &&
            entry.rfind("JX_COMMAND_LINE=", 0) != 0)
            env.push_back(entry);
    }
    env.push_back("JX_MACHINE_ROOT=" + jxplat::MachineRoot());
    env.push_back("JX_EXIT_CODE_FILE=" + exitFile);
    std::vector<char*> argv{const_cast<char*>(hostPath.c_str())};
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, hostPath.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0)
        return result;
    result.started = true;
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.hostStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::string recorded = ReadHostFile(exitFile);
    result.exitCode = recorded.empty() ? result.hostStatus : std::atoll(recorded.c_str());
    return result;
}

std::string CommandOutput(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[256];
    while (size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
        out.append(buffer, got);
    ::pclose(pipe);
    return out;
}

} // namespace jxtest
