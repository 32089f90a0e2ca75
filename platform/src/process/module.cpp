// The running program's own file and its exit code.
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "jxplat/errhandling.h"
#include "kernel/modules.h"
#include "jxplat/machine.h"
#include "jxplat/processenv.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"

namespace {

std::u16string ProgramWindowsPath() {
    char host[4096];
    ssize_t n = ::readlink("/proc/self/exe", host, sizeof(host) - 1);
    if (n <= 0)
        return u"";
    host[n] = 0;
    return jxplat::HostToWindowsPath(host);
}

} // namespace

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
    // The program itself, or a module the loader knows (loaded libraries, built-in modules).
    std::u16string path =
        !module || module == jxplat::kMainModule ? ProgramWindowsPath() : jxplat::ModuleWindowsPath(module);
    if (path.empty()) {
        SetLastError(module ? ERROR_MOD_NOT_FOUND : ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (!fileName || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= size) {
        // Cut and terminated, as Windows Vista and later do.
        path.copy(fileName, size - 1);
        fileName[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    path.copy(fileName, path.size());
    fileName[path.size()] = 0;
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

namespace jxplat {

void WriteExitCode(DWORD exitCode) {
    const char* file = std::getenv("JX_EXIT_CODE_FILE");
    if (!file || !*file)
        return;
    int fd = ::open(file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    std::string text = std::to_string(exitCode) + "\n";
    ssize_t written = ::write(fd, text.data(), text.size());
    (void)written;
    ::close(fd);
}

int RunWindowsEntry(int (*entry)(HINSTANCE, HINSTANCE, LPWSTR, int)) {
    int code = entry(nullptr, nullptr, GetCommandLineW(), 1 /* SW_SHOWNORMAL */);
    WriteExitCode(static_cast<DWORD>(code));
    return code & 0xFF;
}

} // namespace jxplat

void ExitProcess(UINT exitCode) {
    jxplat::WriteExitCode(exitCode);
    std::exit(static_cast<int>(exitCode & 0xFF));
}
