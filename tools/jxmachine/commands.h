// The commands of jxmachine. Each command lives in its own file and registers itself with one
// static JxMachineCommand object, so main.cpp never needs to know them.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace jxtools {

// argv[first] is the first argument after the command's name.
using CommandFn = int (*)(int argc, char** argv, int first);

struct CommandInfo {
    const char* name;
    const char* usage; // one or more lines, each starting with the command and its arguments
    CommandFn run;
    int minArgs; // how many arguments the command takes after its name
    int maxArgs;
};

// The registered commands, in registration order.
std::vector<CommandInfo>& Commands();
// The usage of every command on `out`.
void PrintUsage(FILE* out);
// A wrong command line: the usage on stderr, exit code 2.
int Usage();

struct JxMachineCommand {
    JxMachineCommand(const char* name, const char* usage, CommandFn run, int minArgs = 0, int maxArgs = 0) {
        Commands().push_back({name, usage, run, minArgs, maxArgs});
    }
};

} // namespace jxtools
