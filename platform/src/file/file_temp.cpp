// The user's temporary folder and unique temporary file names.
#include <chrono>
#include <unistd.h>

#include "file/file_common.h"
#include "jxplat/errhandling.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"

using namespace jxplat;

DWORD GetTempPathW(DWORD bufferLength, LPWSTR buffer) {
    const std::u16string path =
        u"C:\\Users\\" + jxtext::Utf8ToUtf16(Machine().user.name) + u"\\AppData\\Local\\Temp\\";
    EnsureHostDirectory(WindowsToHostPath(path));
    const DWORD length = static_cast<DWORD>(path.size());
    if (!buffer || bufferLength <= length)
        return length + 1;
    std::copy(path.begin(), path.end(), buffer);
    buffer[length] = 0;
    return length;
}

UINT GetTempFileNameW(LPCWSTR pathName, LPCWSTR prefixString, UINT unique, LPWSTR tempFileName) {
    if (!pathName || !tempFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string folder(pathName);
    if (!folder.empty() && folder.back() != u'\\' && folder.back() != u'/')
        folder += u'\\';
    const std::u16string prefix = std::u16string(prefixString ? prefixString : u"").substr(0, 3);
    auto nameFor = [&](UINT number) { return folder + prefix + jxtext::Format(u"%X", number) + u".TMP"; };
    auto store = [&](const std::u16string& name) {
        if (name.size() >= MAX_PATH)
            return false;
        std::copy(name.begin(), name.end(), tempFileName);
        tempFileName[name.size()] = 0;
        return true;
    };

    unique &= 0xFFFFu;
    if (unique != 0) {
        if (!store(nameFor(unique))) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return 0;
        }
        return unique;
    }
    // A starting number from the clock and the process, then the next free one.
    UINT start = static_cast<UINT>(
        (std::chrono::steady_clock::now().time_since_epoch().count() ^ (GetCurrentProcessId() << 8)) &
        0xFFFF);
    for (UINT attempt = 0; attempt < 0xFFFF; ++attempt) {
        UINT number = (start + attempt) % 0xFFFF + 1;
        const std::u16string name = nameFor(number);
        if (name.size() >= MAX_PATH) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return 0;
        }
        HANDLE file =
            CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            store(name);
            return number;
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ACCESS_DENIED) {
            SetLastError(error == ERROR_PATH_NOT_FOUND ? ERROR_DIRECTORY : error);
            return 0;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}
