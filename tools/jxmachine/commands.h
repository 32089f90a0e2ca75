// The commands of jxmachine. Each command lives in its own file and registers itself with one
// static JxMachineCommand object, so main.cpp never needs to know them.
#pragma once

#include <string>
#include <vector>

namespace jxtools {

// argv[first] is the first argument after the command's name.
using CommandFn = int (*)(int argc, char** argv, int first);

struct CommandInfo {
    const char* name;
    const char* usage; // one or more lines, each starting with the command and its arguments
    CommandFn run;
};

// The registered commands, in registration order.
std::vector<CommandInfo>& Commands();
int Usage();

struct JxMachineCommand {
    JxMachineCommand(const char* name, const char* usage, CommandFn run) {
        Commands().push_back({name, usage, run});
    }
};

} // namespace jxtools
