// Plain reads and writes of whole files on the disk for the data object's loaders.
#include "jxsetupdata/JxData.h"

#include <algorithm>

namespace JxSetup::Data {
namespace {

// Closes a file handle at the end of its scope.
class CFileHandle {
public:
    explicit CFileHandle(HANDLE handle) : m_Handle(handle) {}
    ~CFileHandle() {
        if (IsValid())
            CloseHandle(m_Handle);
    }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;

    bool IsValid() const { return m_Handle != INVALID_HANDLE_VALUE && m_Handle != nullptr; }
    HANDLE Get() const { return m_Handle; }

private:
    HANDLE m_Handle;
};

// One ReadFile or WriteFile moves at most this much.
constexpr DWORD kChunk = 1u << 24;

} // namespace

bool JxData::_disk_FileExists(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool JxData::_disk_ReadFile(const std::u16string& path, std::string& bytes) {
    bytes.clear();
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file.IsValid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0)
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kChunk));
        if (!ReadFile(file.Get(), bytes.data() + done, wanted, &read, nullptr))
            return false;
        if (read == 0)
            break; // the file became shorter meanwhile
        done += read;
    }
    bytes.resize(done);
    return true;
}

namespace {

// Creates or truncates the file and writes the bytes whole, flushed to the disk.
bool _disk_WriteBytes(const std::u16string& path, const std::string& bytes) {
    CFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kChunk));
        if (!WriteFile(file.Get(), bytes.data() + done, wanted, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return FlushFileBuffers(file.Get()) != FALSE;
}

} // namespace

bool JxData::_disk_WriteUtf16File(const std::u16string& path, const std::u16string& text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return _disk_WriteBytes(path, bytes);
}

bool JxData::_disk_ReplaceFile(const std::u16string& path, const std::string& bytes) {
    // The old file stays whole until the new one is: written aside, then moved over it. The aside
    // copy has the engine's temporary suffix, so a copy a kill leaves behind is removed with the
    // other leftover temporaries by the next run or the uninstall.
    const std::u16string temporary = path + u".jxtmp";
    if (!_disk_WriteBytes(temporary, bytes) ||
        !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(temporary.c_str());
        SetLastError(error);
        return false;
    }
    return true;
}

} // namespace JxSetup::Data
