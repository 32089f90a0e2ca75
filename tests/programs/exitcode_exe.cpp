// A test program: ends with the exit code given as its first argument, after writing the Windows
// command line it saw into the file given as its second argument.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <windows.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"

int main() {
    const std::vector<std::u16string> args = jxplat::SplitCommandLine(GetCommandLineW());
    const DWORD code =
        args.size() > 1 ? static_cast<DWORD>(std::strtoull(jxtext::N(args[1]).c_str(), nullptr, 10)) : 0;
    if (args.size() > 2) {
        if (FILE* file = std::fopen(jxplat::WindowsToHostPath(args[2]).c_str(), "wb")) {
            const std::string line = jxtext::N(GetCommandLineW());
            std::fwrite(line.data(), 1, line.size(), file);
            std::fclose(file);
        }
    }
    jxplat::WriteExitCode(code);
    return static_cast<int>(code & 0xFF);
}
