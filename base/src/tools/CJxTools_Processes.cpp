// Finding a running process by its executable name and ending a process by its id.
#include "jxbase/CJxTools.h"

#include "jxplat/text.h"

namespace JxSetup::Data {

DWORD CJxTools::GetProcessIdByName(const std::u16string& executableName) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (!snapshot || snapshot == INVALID_HANDLE_VALUE)
        return 0;
    DWORD found = 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
         more = Process32NextW(snapshot, &entry)) {
        if (jxtext::EqualsNoCase(entry.szExeFile, executableName))
            found = entry.th32ProcessID;
    }
    CloseHandle(snapshot);
    return found;
}

bool CJxTools::TerminateProcessById(DWORD processId, UINT exitCode) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, processId);
    if (!process)
        return false;
    const BOOL ended = TerminateProcess(process, exitCode);
    CloseHandle(process);
    return ended != FALSE;
}

} // namespace JxSetup::Data
