// The machine's restart: what Windows does on the way down and up that a setup depends on.
#include <cstdio>

#include "jxplat/errhandling.h"
#include "jxplat/fileapi.h"
#include "jxplat/machine.h"
#include "jxplat/processthreadsapi.h"
#include "jxplat/shutdown.h"
#include "jxplat/text.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "jxplat/winreg.h"

namespace jxplat {
namespace {

constexpr char16_t kRunOnce[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

struct CRunOnceValue {
    std::u16string name;
    std::u16string command;
};

// The values of one RunOnce key, in enumeration order.
std::vector<CRunOnceValue> _RbtReadRunOnce(HKEY root, REGSAM view) {
    std::vector<CRunOnceValue> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, kRunOnce, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; ++index) {
        WCHAR name[16384];
        DWORD nameLength = 16384;
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            continue;
        std::u16string data(size / 2 + 1, u'\0');
        if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) !=
            ERROR_SUCCESS)
            continue;
        data.resize(std::u16string(data.c_str()).size());
        values.push_back({name, data});
    }
    RegCloseKey(key);
    return values;
}

bool _RbtDeleteValue(HKEY root, REGSAM view, const std::u16string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, kRunOnce, 0, KEY_SET_VALUE | view, &key) != ERROR_SUCCESS)
        return false;
    LSTATUS status = RegDeleteValueW(key, name.c_str());
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

// Starts the command and waits for it to end.
void _RbtRun(RunOnceResult& result) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::u16string commandLine = result.command;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "jxplat: RunOnce command could not be started (error %u): %s\n",
                     static_cast<unsigned>(GetLastError()), jxtext::Utf16ToUtf8(result.command).c_str());
        return;
    }
    result.started = true;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

void _RbtRunKey(HKEY root, REGSAM view, const std::u16string& keyText, std::vector<RunOnceResult>& results) {
    for (const CRunOnceValue& value : _RbtReadRunOnce(root, view)) {
        // "!" keeps the entry until its command has run; "*" (safe mode) changes nothing here.
        std::u16string name = value.name;
        const bool deleteAfter = !name.empty() && name[0] == u'!';
        if (!deleteAfter && !_RbtDeleteValue(root, view, value.name))
            continue; // an entry that cannot be removed is not run, so it never runs twice
        RunOnceResult result;
        result.key = keyText;
        result.name = value.name;
        result.command = value.command;
        _RbtRun(result);
        if (deleteAfter)
            _RbtDeleteValue(root, view, value.name);
        results.push_back(result);
    }
}

} // namespace

std::vector<RunOnceResult> RebootMachine() {
    // Shutdown: the file operations wait for the moment no file is open any more.
    if (!CarryOutPendingFileOperations())
        std::fprintf(stderr, "jxplat: the pending file operations were not all carried out\n");
    DeleteVolatileRegistryKeys();
    std::remove(MachinePath("reboot.request").c_str());
    std::remove(MachinePath("boot.time").c_str()); // the workstation service starts anew

    // Start: the machine's RunOnce entries, then the user's at logon.
    std::vector<RunOnceResult> results;
    const std::u16string hklm = u"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    if (Machine().is64Bit) {
        _RbtRunKey(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, hklm, results);
        _RbtRunKey(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY,
                   u"HKLM\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce", results);
    } else {
        _RbtRunKey(HKEY_LOCAL_MACHINE, 0, hklm, results);
    }
    _RbtRunKey(HKEY_CURRENT_USER, 0, u"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", results);
    return results;
}

} // namespace jxplat
