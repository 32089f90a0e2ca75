// Module handles of the stand-in's built-in modules, for the other parts of the stand-in
// (GetModuleFileNameW of the running program, message lookup in WinInet).
#pragma once

#include <string>

#include "jxplat/wintypes.h"

namespace jxplat {

// GetModuleHandleW(nullptr): the running program, at the usual image base of a 32-bit program.
inline const HMODULE kMainModule = reinterpret_cast<HMODULE>(uintptr_t{0x00400000});
inline const HMODULE kKernel32Module = reinterpret_cast<HMODULE>(uintptr_t{0x7A400000});
inline const HMODULE kWinInetModule = reinterpret_cast<HMODULE>(uintptr_t{0x7A800000});
// "Shell32.dll": always loaded, as in every program with a user interface.
inline const HMODULE kShell32Module = reinterpret_cast<HMODULE>(uintptr_t{0x7AC00000});
// "User32.dll": always loaded, as in every program with a user interface.
inline const HMODULE kUser32Module = reinterpret_cast<HMODULE>(uintptr_t{0x7B000000});
// "SrClient.dll": the restore service's client, present only when machine.json switches it on.
inline const HMODULE kSrClientModule = reinterpret_cast<HMODULE>(uintptr_t{0x7B400000});

// "FltLib.dll", the filter manager's user library.
inline const HMODULE kFltLibModule = reinterpret_cast<HMODULE>(uintptr_t{0x7AE00000});

// Windows path of a loaded module (GetModuleFileNameW): the running program, a built-in module in
// the system folder, or a loaded library's file. Empty for an unknown handle.
std::u16string ModuleWindowsPath(HMODULE module);

// The address of a kernel32 export as the running Windows version offers it, or null.
FARPROC FindKernel32Export(const char* name);
// The address of a Shell32 export (platform/src/shell), or null.
FARPROC FindShell32Export(const char* name);
// The address of a User32 export (platform/src/user), or null.
FARPROC FindUser32Export(const char* name);
// The address of an export of the restore service's client (platform/src/restore), or null.
FARPROC FindSrClientExport(const char* name);

} // namespace jxplat
