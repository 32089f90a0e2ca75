// The process: its Windows command line, its module file name and its 32-bit exit code.
#pragma once

#include <string>
#include <vector>

#include "jxplat/wintypes.h"

LPWSTR GetCommandLineW();
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
void ExitProcess(UINT exitCode);
// Replaces each "%NAME%" by the variable's value (unknown names stay as written). Returns the
// characters the result needs with its terminating zero; the result is stored only when it fits.
DWORD ExpandEnvironmentStringsW(LPCWSTR source, LPWSTR destination, DWORD size);

namespace jxplat {

// Quotes one argument by the Windows rules (CommandLineToArgvW reads it back unchanged).
std::u16string QuoteArgument(std::u16string_view argument);
// Splits a Windows command line into arguments by the Windows rules.
std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine);
// Records the Windows exit code of this process in JX_EXIT_CODE_FILE (when set).
void WriteExitCode(DWORD exitCode);
// Runs the Windows entry of a program and writes its exit code; returns the host exit status.
int RunWindowsEntry(int (*entry)(HINSTANCE, HINSTANCE, LPWSTR, int));

} // namespace jxplat
