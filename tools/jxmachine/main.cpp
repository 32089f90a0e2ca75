// jxmachine: looks into a stand-in machine root for people and tests.
#include <cstdio>
#include <cstring>
#include <string>

#include "jxmachine/commands.h"
#include "jxplat/machine.h"

namespace jxtools {

std::vector<CommandInfo>& Commands() {
    static std::vector<CommandInfo> commands;
    return commands;
}

void PrintUsage(FILE* out) {
    std::fprintf(out,
                 "usage: jxmachine [--root PATH] COMMAND\n"
                 "The machine root is PATH, else JX_MACHINE_ROOT, else ~/.local/state/jxsetup/machine.\n");
    for (const CommandInfo& command : Commands())
        std::fprintf(out, "  %s\n", command.usage);
}

int Usage() {
    PrintUsage(stderr);
    return 2;
}

} // namespace jxtools

namespace {

bool IsHelp(const char* arg) {
    return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "help") == 0;
}

} // namespace

int main(int argc, char** argv) {
    int i = 1;
    if (i < argc && std::strcmp(argv[i], "--root") == 0) {
        if (i + 1 >= argc)
            return jxtools::Usage();
        jxplat::SetMachineRoot(argv[i + 1]);
        i += 2;
    }
    if (i >= argc)
        return jxtools::Usage();
    // "--help" asked for the usage: it goes to stdout and is no failure.
    if (IsHelp(argv[i]) || (i + 1 < argc && IsHelp(argv[i + 1]))) {
        jxtools::PrintUsage(stdout);
        return 0;
    }
    for (const jxtools::CommandInfo& command : jxtools::Commands()) {
        if (std::strcmp(argv[i], command.name) != 0)
            continue;
        const int given = argc - (i + 1);
        if (given < command.minArgs || given > command.maxArgs)
            return jxtools::Usage();
        return command.run(argc, argv, i + 1);
    }
    std::fprintf(stderr, "jxmachine: unknown command \"%s\"\n", argv[i]);
    return jxtools::Usage();
}
