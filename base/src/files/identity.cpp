// Whether two paths name one file-system object: compared by volume and file index, so that
// different spellings, short names and links of one file are recognised.
#include "jxbase/files.h"

namespace {

bool _files_Identify(const std::u16string& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const BOOL ok = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    return ok != FALSE;
}

} // namespace

bool IsSameFileSystemObject(const std::u16string& first, const std::u16string& second) {
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    return _files_Identify(first, a) && _files_Identify(second, b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}
