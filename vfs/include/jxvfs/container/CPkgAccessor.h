// The byte source of one carrier (a package file or the program file). CFilePkgAccessor reads a
// disk file by its Windows path; CMemoryPkgAccessor serves bytes held in memory (tools, tests and
// the fuzz target).
//
// Open and Close are counted: every successful Open takes one count, Close gives one back and the
// file is closed at the transition from 1 to 0. ReadAt is positional and safe to call from
// several threads; Read/Seek/Tell share one file position.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include <windows.h>

#ifndef FILE_BEGIN
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#endif

class CPkgAccessor {
public:
    virtual ~CPkgAccessor() = default;
    virtual bool Open() = 0;
    virtual bool IsOpen() const = 0;
    // The size taken at open (0 before).
    virtual ULONGLONG GetSize() const = 0;
    virtual bool Close() = 0;
    // Bytes read at the current position; 0 when not open, for a null buffer or a failed read.
    virtual DWORD Read(DWORD count, void* buffer) = 0;
    // Bytes read at the offset (the position afterwards is offset + bytes read); 0 on failure.
    virtual DWORD ReadAt(ULONGLONG offset, DWORD count, void* buffer) = 0;
    // Moves the position (FILE_BEGIN, FILE_CURRENT, FILE_END); returns Tell().
    virtual ULONGLONG Seek(LONGLONG distance, DWORD method) = 0;
    virtual ULONGLONG Tell() const = 0;
    virtual const std::u16string& GetName() const = 0;
    virtual DWORD Reserved() { return 0; }
    // The Windows error of the last failed Open (0 when none).
    virtual DWORD GetOpenError() const { return 0; }
};

class CFilePkgAccessor : public CPkgAccessor {
public:
    // Takes the path only when a file exists there; otherwise Open fails.
    explicit CFilePkgAccessor(const std::u16string& windowsPath);
    ~CFilePkgAccessor() override;
    CFilePkgAccessor(const CFilePkgAccessor&) = delete;
    CFilePkgAccessor& operator=(const CFilePkgAccessor&) = delete;

    bool Open() override;
    bool IsOpen() const override;
    ULONGLONG GetSize() const override;
    bool Close() override;
    DWORD Read(DWORD count, void* buffer) override;
    DWORD ReadAt(ULONGLONG offset, DWORD count, void* buffer) override;
    ULONGLONG Seek(LONGLONG distance, DWORD method) override;
    ULONGLONG Tell() const override;
    const std::u16string& GetName() const override { return m_path; }
    DWORD GetOpenError() const override { return m_openError; }

private:
    std::u16string m_path;
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    ULONGLONG m_size = 0;
    ULONGLONG m_position = 0;
    int m_openCount = 0;
    DWORD m_openError = 0;
    mutable std::mutex m_mutex;
};

class CMemoryPkgAccessor : public CPkgAccessor {
public:
    CMemoryPkgAccessor(std::u16string name, std::vector<BYTE> bytes);
    // Borrows the bytes (they must outlive the accessor).
    CMemoryPkgAccessor(std::u16string name, const BYTE* bytes, size_t length);

    bool Open() override;
    bool IsOpen() const override { return m_openCount > 0; }
    ULONGLONG GetSize() const override { return m_openCount > 0 ? m_length : 0; }
    bool Close() override;
    DWORD Read(DWORD count, void* buffer) override;
    DWORD ReadAt(ULONGLONG offset, DWORD count, void* buffer) override;
    ULONGLONG Seek(LONGLONG distance, DWORD method) override;
    ULONGLONG Tell() const override { return m_openCount > 0 ? m_position : 0; }
    const std::u16string& GetName() const override { return m_name; }

private:
    std::u16string m_name;
    std::vector<BYTE> m_owned;
    const BYTE* m_bytes = nullptr;
    size_t m_length = 0;
    ULONGLONG m_position = 0;
    int m_openCount = 0;
    std::mutex m_mutex;
};
