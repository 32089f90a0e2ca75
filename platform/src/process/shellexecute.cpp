// ShellExecuteExW and ShellExecuteW: programs are started with CreateProcessW; web addresses and
// documents have no program to open them here, so the request is appended to
// "shellexecute.jsonl" below the machine root and answered as opened. "runas" of a user who is
// not elevated shows the elevation prompt as a message box answered from the machine's answers.
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/processenv.h"
#include "jxplat/processthreadsapi.h"
#include "jxplat/shellapi.h"
#include "jxplat/text.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "jxplat/winuser.h"
#include "process/processobject.h"

namespace jxplat {
namespace {

bool _shell_IsAddress(std::u16string_view file) {
    const size_t scheme = file.find(u"://");
    if (scheme != std::u16string_view::npos && scheme > 1) {
        for (size_t i = 0; i < scheme; ++i) {
            const char16_t c = file[i];
            if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                  c == u'+' || c == u'-' || c == u'.'))
                return false;
        }
        return true;
    }
    return jxtext::StartsWithNoCase(file, u"mailto:");
}

bool _shell_IsProgram(std::u16string_view file, const std::string& host) {
    for (const char16_t* extension : {u".exe", u".com", u".bat", u".cmd"}) {
        if (jxtext::EndsWithNoCase(file, extension))
            return true;
    }
    return ::access(host.c_str(), X_OK) == 0;
}

void _shell_Record(const SHELLEXECUTEINFOW& info, std::u16string_view verb) {
    auto text = [](LPCWSTR value) { return jxtext::Utf16ToUtf8(value ? value : u""); };
    nlohmann::json line = {{"verb", jxtext::Utf16ToUtf8(verb)},
                           {"file", text(info.lpFile)},
                           {"parameters", text(info.lpParameters)},
                           {"directory", text(info.lpDirectory)},
                           {"show", info.nShow}};
    const std::string record = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    const int fd =
        ::open(MachinePath("shellexecute.jsonl").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        const ssize_t written = ::write(fd, record.data(), record.size());
        (void)written;
        ::close(fd);
    }
}

BOOL _shell_Fail(SHELLEXECUTEINFOW* info, DWORD error) {
    const int code = error == ERROR_FILE_NOT_FOUND   ? SE_ERR_FNF
                     : error == ERROR_PATH_NOT_FOUND ? SE_ERR_PNF
                     : error == ERROR_ACCESS_DENIED  ? SE_ERR_ACCESSDENIED
                     : error == ERROR_CANCELLED      ? SE_ERR_ACCESSDENIED
                     : error == ERROR_NO_ASSOCIATION ? SE_ERR_NOASSOC
                                                     : SE_ERR_OOM;
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(code));
    SetLastError(error);
    return FALSE;
}

// The consent prompt of an administrator, or the credentials prompt of a standard user, which an
// administrator answers. Yes (or OK) lets the program run elevated.
bool _shell_ElevationAllowed(const std::u16string& file) {
    const std::u16string question = Machine().user.administrator
                                        ? u"Do you want to allow this app to make changes to your device?"
                                        : u"To continue, enter an admin user name and password.";
    const std::u16string text = question + u"\n\n" + file;
    const int answer = MessageBoxW(nullptr, text.c_str(), u"User Account Control", MB_YESNO | MB_ICONWARNING);
    return answer == IDYES || answer == IDOK;
}

BOOL _shell_Run(SHELLEXECUTEINFOW* info, const std::u16string& file, bool elevate) {
    std::u16string line = file.front() == u'"' ? file : u"\"" + file + u"\"";
    if (info->lpParameters && *info->lpParameters)
        line += u" " + std::u16string(info->lpParameters);
    PROCESS_INFORMATION process = {};
    if (!StartProcess(nullptr, line.data(),
                      info->lpDirectory && *info->lpDirectory ? info->lpDirectory : nullptr, elevate,
                      &process))
        return _shell_Fail(info, GetLastError());
    CloseHandle(process.hThread);
    if (info->fMask & SEE_MASK_NOCLOSEPROCESS)
        info->hProcess = process.hProcess;
    else
        CloseHandle(process.hProcess);
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(42));
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

} // namespace
} // namespace jxplat

BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info) {
    using namespace jxplat;
    if (!info || info->cbSize != sizeof(SHELLEXECUTEINFOW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->hProcess = nullptr;
    if (!info->lpFile || !*info->lpFile)
        return _shell_Fail(info, ERROR_INVALID_PARAMETER);
    const std::u16string verb = info->lpVerb && *info->lpVerb ? std::u16string(info->lpVerb) : u"open";
    const bool runas = jxtext::EqualsNoCase(verb, u"runas");
    if (!runas && !jxtext::EqualsNoCase(verb, u"open"))
        return _shell_Fail(info, ERROR_NO_ASSOCIATION);
    const MachineUser& user = Machine().user;
    const bool elevate = runas && !(user.administrator && user.elevated);
    std::u16string file = info->lpFile;
    if (_shell_IsAddress(file)) {
        _shell_Record(*info, verb);
        info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(42));
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    std::u16string bare = file;
    if (bare.size() >= 2 && bare.front() == u'"' && bare.back() == u'"')
        bare = bare.substr(1, bare.size() - 2);
    const std::string host = WindowsToHostPath(bare);
    if (host.empty() || ::access(host.c_str(), F_OK) != 0)
        return _shell_Fail(info, ERROR_FILE_NOT_FOUND);
    if (_shell_IsProgram(bare, host)) {
        if (elevate) {
            // Without UAC there is no prompt that could raise the user's rights.
            if (!user.uac)
                return _shell_Fail(info, ERROR_ACCESS_DENIED);
            if (!_shell_ElevationAllowed(bare))
                return _shell_Fail(info, ERROR_CANCELLED);
        }
        return _shell_Run(info, bare, elevate);
    }
    _shell_Record(*info, verb);
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(42));
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

HINSTANCE ShellExecuteW(HWND owner, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                        INT showCommand) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.hwnd = owner;
    info.lpVerb = operation;
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = directory;
    info.nShow = showCommand;
    if (!ShellExecuteExW(&info) && reinterpret_cast<intptr_t>(info.hInstApp) > 32)
        info.hInstApp = reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(SE_ERR_OOM));
    return info.hInstApp;
}
