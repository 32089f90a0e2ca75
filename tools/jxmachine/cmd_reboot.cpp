// jxmachine reboot: restarts the machine (pending file operations, then the RunOnce entries).
#include <cstdio>

#include <windows.h>

#include "jxmachine/commands.h"
#include "jxplat/text.h"

namespace {

int Reboot(int, char**, int) {
    for (const auto& entry : jxplat::RebootMachine()) {
        const std::string command = jxtext::Utf16ToUtf8(entry.command);
        if (entry.started)
            std::printf("ran %s (exit code %u)\n", command.c_str(), static_cast<unsigned>(entry.exitCode));
        else
            std::printf("not started: %s\n", command.c_str());
    }
    return 0;
}

jxtools::JxMachineCommand
    g_Reboot("reboot", "reboot                   restart the machine: pending file operations, RunOnce",
             Reboot);

} // namespace
