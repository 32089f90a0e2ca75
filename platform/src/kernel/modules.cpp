// Module loading: the built-in system modules answer by name; every other library is a shared
// object loaded with dlopen from its mapped host path.
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <unistd.h>

#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "jxplat/dosdevices.h"
#include "jxplat/security.h"
#include "kernel/modules.h"

namespace jxplat {
namespace {

struct CModuleState {
    std::mutex lock;
    long winInetLoads = 0;               // kernel32 is always loaded, WinInet only while loaded
    std::map<void*, long> sharedObjects; // dlopen handle -> LoadLibrary count
};

CModuleState& _ModState() {
    static auto* state = new CModuleState;
    return *state;
}

bool _ModIsBare(std::u16string_view name) {
    return name.find_first_of(u"\\/:") == std::u16string_view::npos;
}

// The built-in module a bare name means ("kernel32", "KERNEL32.DLL"), or null.
HMODULE _ModBuiltin(std::u16string_view name) {
    if (!_ModIsBare(name))
        return nullptr;
    if (jxtext::EndsWithNoCase(name, u".dll"))
        name.remove_suffix(4);
    if (jxtext::EqualsNoCase(name, u"kernel32"))
        return kKernel32Module;
    if (jxtext::EqualsNoCase(name, u"wininet"))
        return kWinInetModule;
    if (jxtext::EqualsNoCase(name, u"shell32"))
        return kShell32Module;
    if (jxtext::EqualsNoCase(name, u"fltlib"))
        return kFltLibModule;
    if (jxtext::EqualsNoCase(name, u"user32"))
        return kUser32Module;
    // The restore service's client is there only on a machine with the service.
    if (jxtext::EqualsNoCase(name, u"srclient") && Machine().systemRestore)
        return kSrClientModule;
    return nullptr;
}

std::filesystem::path _ModProgramPath() {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec);
}

// Host path of a library: a bare name is looked for beside the running program, then in the
// current folder; a name without an extension gets ".dll", as LoadLibrary does. "" when missing.
std::string _ModHostPath(std::u16string_view name) {
    std::u16string fileName(name);
    size_t lastSeparator = fileName.find_last_of(u"\\/");
    if (fileName.find(u'.', lastSeparator == std::u16string::npos ? 0 : lastSeparator) ==
        std::u16string::npos)
        fileName += u".dll";
    std::error_code ec;
    if (!_ModIsBare(fileName))
        return WindowsToHostPath(fileName);
    std::string besideProgram =
        WindowsToHostPath(HostToWindowsPath(_ModProgramPath().parent_path().string()) + u"\\" + fileName);
    if (!besideProgram.empty() && std::filesystem::is_regular_file(besideProgram, ec))
        return besideProgram;
    std::string inCurrent = (std::filesystem::current_path(ec) / jxtext::Utf16ToUtf8(fileName)).string();
    return std::filesystem::is_regular_file(inCurrent, ec) ? inCurrent : std::string();
}

HMODULE _ModLoad(LPCWSTR fileName) {
    if (!fileName || !*fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    CModuleState& state = _ModState();
    if (HMODULE builtin = _ModBuiltin(fileName)) {
        std::lock_guard<std::mutex> guard(state.lock);
        if (builtin == kWinInetModule)
            ++state.winInetLoads;
        return builtin;
    }
    std::string hostPath = _ModHostPath(fileName);
    void* handle = hostPath.empty() ? nullptr : ::dlopen(hostPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(state.lock);
    ++state.sharedObjects[handle];
    return static_cast<HMODULE>(handle);
}

HMODULE _ModFind(LPCWSTR moduleName) {
    if (!moduleName)
        return kMainModule;
    CModuleState& state = _ModState();
    HMODULE builtin = _ModBuiltin(moduleName);
    if (builtin) {
        std::lock_guard<std::mutex> guard(state.lock);
        if (builtin != kWinInetModule || state.winInetLoads > 0)
            return builtin;
    } else if (std::string hostPath = _ModHostPath(moduleName); !hostPath.empty()) {
        if (void* handle = ::dlopen(hostPath.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD)) {
            ::dlclose(handle); // RTLD_NOLOAD counts a reference too
            std::lock_guard<std::mutex> guard(state.lock);
            if (state.sharedObjects.count(handle))
                return static_cast<HMODULE>(handle);
        }
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

} // namespace

std::u16string ModuleWindowsPath(HMODULE module) {
    if (!module || module == kMainModule)
        return HostToWindowsPath(_ModProgramPath().string());
    // The engine is a 32-bit program: its system modules come from SysWOW64, which redirection
    // shows it as System32.
    if (module == kKernel32Module)
        return u"C:\\Windows\\system32\\KERNEL32.DLL";
    if (module == kWinInetModule)
        return u"C:\\Windows\\system32\\WININET.dll";
    if (module == kShell32Module)
        return u"C:\\Windows\\system32\\SHELL32.dll";
    if (module == kFltLibModule)
        return u"C:\\Windows\\system32\\FLTLIB.DLL";
    if (module == kUser32Module)
        return u"C:\\Windows\\system32\\USER32.dll";
    if (module == kSrClientModule)
        return u"C:\\Windows\\system32\\SrClient.dll";
    CModuleState& state = _ModState();
    std::lock_guard<std::mutex> guard(state.lock);
    if (!state.sharedObjects.count(module))
        return std::u16string();
    link_map* map = nullptr;
    if (::dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
        return std::u16string();
    return HostToWindowsPath(map->l_name);
}

} // namespace jxplat

HMODULE GetModuleHandleW(LPCWSTR moduleName) {
    return jxplat::_ModFind(moduleName);
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    if (!moduleName)
        return jxplat::_ModFind(nullptr);
    return jxplat::_ModFind(jxtext::Utf8ToUtf16(moduleName).c_str());
}

HMODULE LoadLibraryW(LPCWSTR fileName) {
    return jxplat::_ModLoad(fileName);
}

HMODULE LoadLibraryA(LPCSTR fileName) {
    if (!fileName)
        return jxplat::_ModLoad(nullptr);
    return jxplat::_ModLoad(jxtext::Utf8ToUtf16(fileName).c_str());
}

HMODULE LoadLibraryExW(LPCWSTR fileName, HANDLE reserved, DWORD) {
    if (reserved) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return jxplat::_ModLoad(fileName);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    using namespace jxplat;
    if (!module)
        module = kMainModule;
    // Lookups by ordinal (a value below 0x10000 in place of a name) find nothing here.
    FARPROC found = nullptr;
    bool knownModule = true;
    if (reinterpret_cast<uintptr_t>(procName) < 0x10000) {
        found = nullptr;
    } else if (module == kKernel32Module) {
        found = FindKernel32Export(procName);
    } else if (module == kShell32Module) {
        found = FindShell32Export(procName);
    } else if (module == kSrClientModule) {
        found = FindSrClientExport(procName);
    } else if (module == kFltLibModule) {
        found = std::strcmp(procName, "FilterGetDosName") == 0 ? reinterpret_cast<FARPROC>(&FilterGetDosName)
                                                               : nullptr;
    } else if (module == kUser32Module) {
        found = FindUser32Export(procName);
    } else if (module == kMainModule || module == kWinInetModule) {
        found = nullptr;
    } else {
        CModuleState& state = _ModState();
        std::lock_guard<std::mutex> guard(state.lock);
        knownModule = state.sharedObjects.count(module) > 0;
        if (knownModule)
            found = reinterpret_cast<FARPROC>(::dlsym(module, procName));
    }
    if (!found)
        SetLastError(knownModule ? ERROR_PROC_NOT_FOUND : ERROR_MOD_NOT_FOUND);
    return found;
}

BOOL FreeLibrary(HMODULE module) {
    using namespace jxplat;
    CModuleState& state = _ModState();
    std::lock_guard<std::mutex> guard(state.lock);
    if (module == kMainModule || module == kKernel32Module || module == kShell32Module ||
        module == kFltLibModule || module == kUser32Module || module == kSrClientModule)
        return TRUE;
    if (module == kWinInetModule) {
        if (state.winInetLoads > 0)
            --state.winInetLoads;
        return TRUE;
    }
    auto found = state.sharedObjects.find(module);
    if (found == state.sharedObjects.end()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (--found->second == 0)
        state.sharedObjects.erase(found);
    ::dlclose(module);
    return TRUE;
}

BOOL GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module) {
    using namespace jxplat;
    if (!module) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The engine's code is linked into the running program; only its addresses are asked for.
    *module = (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) ? kMainModule : _ModFind(moduleName);
    return *module ? TRUE : FALSE;
}

BOOL QueryFullProcessImageNameW(HANDLE process, DWORD, LPWSTR exeName, LPDWORD size) {
    using namespace jxplat;
    if (process != GetCurrentProcess() || !exeName || !size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::u16string path = ModuleWindowsPath(kMainModule);
    if (*size <= path.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(exeName, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
    *size = static_cast<DWORD>(path.size());
    return TRUE;
}
