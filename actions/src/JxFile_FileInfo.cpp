// What the file system tells about one file: existence, attributes, size and times.
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {
namespace {

bool _info_Read(const std::u16string& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
    if (path.empty())
        return false;
    return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) != FALSE;
}

} // namespace

bool JxFile::FileExists(const std::u16string& path) {
    const DWORD attributes = GetAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

DWORD JxFile::GetAttributes(const std::u16string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return _info_Read(path, data) ? data.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

bool JxFile::GetFileSize64(const std::u16string& path, ULONGLONG& size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!_info_Read(path, data))
        return false;
    size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

bool JxFile::GetLastWriteTime(const std::u16string& path, FILETIME& time) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!_info_Read(path, data))
        return false;
    time = data.ftLastWriteTime;
    return true;
}

} // namespace JxSetup::Data
