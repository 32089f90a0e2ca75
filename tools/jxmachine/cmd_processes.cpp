// jxmachine processes: the processes started on the machine, oldest first.
#include <cstdio>
#include <string>

#include <windows.h>

#include "jxmachine/commands.h"
#include "jxplat/text.h"

namespace {

// One line per process: name, id, state, exit code ("-" while running or unknown), command line.
int PrintProcesses(int, char**, int) {
    for (const jxplat::ProcessTableEntry& row : jxplat::ReadProcessTable()) {
        const std::string code = row.running || !row.exitCodeKnown ? "-" : std::to_string(row.exitCode);
        std::printf("%s\t%u\t%s\t%s\t%s\n", jxtext::Utf16ToUtf8(row.name).c_str(), row.processId,
                    row.running ? "running" : "ended", code.c_str(),
                    jxtext::Utf16ToUtf8(row.commandLine).c_str());
    }
    return 0;
}

jxtools::JxMachineCommand g_Processes("processes",
                                      "processes                print the processes started on the machine "
                                      "(name, id, state, exit code, command line)",
                                      PrintProcesses);

} // namespace
