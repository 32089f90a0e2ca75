// Runs a built program of the project as a user would, against the current machine root.
#pragma once

#include <string>
#include <vector>

namespace jxtest {

struct ProgramResult {
    bool started = false;
    int hostStatus = -1;     // the host exit status
    long long exitCode = -1; // the Windows exit code the program recorded (JX_EXIT_CODE_FILE)
};

// Starts hostPath with the arguments and JX_MACHINE_ROOT of the current machine root; waits for it.
ProgramResult RunProgram(const std::string& hostPath, const std::vector<std::string>& args);

// What a host shell command prints on its standard output ("" when it cannot be started).
std::string CommandOutput(const std::string& command);

} // namespace jxtest
