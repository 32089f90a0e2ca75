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

int Usage() {
    std::fprintf(stderr, "usage: jxmachine [--root PATH] COMMAND\n");
    for (const CommandInfo& command : Commands())
        std::fprintf(stderr, "  %s\n", command.usage);
    return 2;
}

} // namespace jxtools

int main(int argc, char** argv) {
    int i = 1;
    if (i + 1 < argc && std::strcmp(argv[i], "--root") == 0) {
        jxplat::SetMachineRoot(argv[i + 1]);
        i += 2;
    }
    if (i >= argc)
        return jxtools::Usage();
    for (const jxtools::CommandInfo& command : jxtools::Commands()) {
        if (std::strcmp(argv[i], command.name) == 0)
            return command.run(argc, argv, i + 1);
    }
    return jxtools::Usage();
}
