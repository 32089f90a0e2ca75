// A test program: copies the file given as its first argument (a Windows path) to the second with
// CopyFileW (failing when the target exists) and ends with 0, or with the copy's last error.
#include <string>
#include <vector>

#include <windows.h>

#include "jxplat/machine.h"

int main() {
    const std::vector<std::u16string> args = jxplat::SplitCommandLine(GetCommandLineW());
    DWORD code = ERROR_INVALID_PARAMETER;
    if (args.size() == 3)
        code = CopyFileW(args[1].c_str(), args[2].c_str(), TRUE) ? 0 : GetLastError();
    jxplat::WriteExitCode(code);
    return static_cast<int>(code & 0xFF);
}
