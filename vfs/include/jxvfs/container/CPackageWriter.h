// Writes packages in the container format: the tool (jxpack), repacking and the tests build their
// packages with it. Every file is cut into blocks of the chosen block size and each block is
// compressed as one LZO1X stream with the LZO library's compressor; the meta tree carries each
// file's size, content checksum, data offset, last-write time, attributes and tags (version for
// executables and libraries, SHA-256 for every file, CRC-32 on request).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

struct PACKAGE_WRITER_OPTIONS {
    // The package name: ANSI text of at most 16 bytes ("$CONFIG"), or a GUID text "{...}" when guidName.
    std::string name;
    bool guidName = false;
    DWORD blockSize = 512 * 1024; // must be one of jxpkg::BlockSizes()
    bool crcTag = false;          // add tag 16 (CRC-32 of the content) to every file
    bool best = false;            // lzo1x_999 (slower, smaller) instead of lzo1x_1
};

struct PACKAGE_FILE_INPUT {
    std::vector<BYTE> content;
    FILETIME lastWrite = {};
    bool readOnly = false;
    bool hidden = false;
    // Version a.b.c.d for tags 40/41; written for executables and libraries (and whenever hasVersion).
    bool hasVersion = false;
    WORD version[4] = {};
};

class CPackageWriter {
public:
    explicit CPackageWriter(PACKAGE_WRITER_OPTIONS options);
    ~CPackageWriter();
    CPackageWriter(const CPackageWriter&) = delete;
    CPackageWriter& operator=(const CPackageWriter&) = delete;

    // Adds a directory (and its parents). Paths are relative to the package root and use "\" or "/";
    // the first component is normally the package's top directory ("$CONFIG\setup.jxsetup").
    bool AddDirectory(const std::u16string& path);
    // Adds a file (and its parent directories). False when the path is empty or names a directory.
    bool AddFile(const std::u16string& path, PACKAGE_FILE_INPUT file);
    // Adds a host folder's whole content below `packagePath` (the top directory, may be empty):
    // files with their modification times and read-only state, empty folders too. Host names are
    // UTF-8. False when the folder cannot be read.
    bool AddHostFolder(const std::string& hostFolder, const std::u16string& packagePath);

    // Sets the version (tags 40/41) of a file already added. False when there is no such file.
    bool SetFileVersion(const std::u16string& path, const WORD version[4]);

    // Produces the package bytes (header, packed meta, padding, data area).
    bool Build(std::vector<BYTE>& out, std::string* error = nullptr);
    // Writes the package to a host file holding one block of content at a time; a failure removes
    // the file.
    bool WriteToHostFile(const std::string& hostPath, std::string* error = nullptr);

    // Tags the writer gives a file of that name: executables and libraries carry version and hash
    // (60 bytes), other files the hash (48 bytes).
    static bool IsVersionedName(const std::u16string& name);

    struct Node; // the tree being built (opaque)

private:
    bool _WriterPack(const std::function<bool(const BYTE*, size_t)>& emit, std::vector<BYTE>& head,
                     std::string* error);
    Node* _WriterFind(Node* parent, const std::u16string& name);
    Node* _WriterMakePath(const std::vector<std::u16string>& parts, size_t count);

    PACKAGE_WRITER_OPTIONS m_options;
    Node* m_root;
};

namespace jxpkg {
// FILETIME of a host time (seconds and nanoseconds since 1970).
FILETIME FileTimeFromUnix(int64_t seconds, int64_t nanoseconds);
// The compressed form of one block with the LZO library (lzo1x_1, or lzo1x_999 with best).
bool CompressBlockLzo(const BYTE* data, size_t length, bool best, std::vector<BYTE>& out);
} // namespace jxpkg
