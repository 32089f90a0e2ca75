// A file of the command channel's transfers: opened for binary reading, or created for binary
// writing with no sharing; closed when the object goes.
#pragma once

#include <string>

#include <windows.h>

class CMmsFile {
public:
    CMmsFile(const std::u16string& path, bool write)
        : m_Handle(CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                               write ? 0 : FILE_SHARE_READ, nullptr, write ? CREATE_ALWAYS : OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~CMmsFile() { Close(); }
    CMmsFile(const CMmsFile&) = delete;
    CMmsFile& operator=(const CMmsFile&) = delete;

    bool IsOpen() const { return m_Handle != INVALID_HANDLE_VALUE; }
    // The count read, 0 at the end or on a failure.
    size_t Read(void* buffer, size_t size) {
        DWORD read = 0;
        return IsOpen() && ReadFile(m_Handle, buffer, static_cast<DWORD>(size), &read, nullptr) ? read : 0;
    }
    // True when every byte was written.
    bool Write(const void* data, size_t size) {
        DWORD written = 0;
        return IsOpen() &&
               (size == 0 ||
                (WriteFile(m_Handle, data, static_cast<DWORD>(size), &written, nullptr) && written == size));
    }
    void Close() {
        if (IsOpen())
            CloseHandle(m_Handle);
        m_Handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_Handle;
};
