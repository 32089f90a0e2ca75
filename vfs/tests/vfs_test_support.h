// Helpers of the package store tests: a fresh machine root, packages made with the package writer
// and written as ".wpk" files on drive C:, deterministic random content, and reading a packaged
// file back through a stream or through extraction.
#pragma once

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"
#include "jxvfs/IPackedFileStream.h"
#include "jxvfs/InternalPackageFile.h"
#include "jxvfs/PackageMgr.h"
#include "jxvfs/VirtualFS.h"
#include "jxvfs/container/CPackageWriter.h"

namespace vfstest {

using Bytes = std::vector<BYTE>;

inline Bytes RandomBytes(size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    Bytes out(size);
    for (BYTE& b : out)
        b = static_cast<BYTE>(generator());
    return out;
}

// Content that compresses: words from a small vocabulary.
inline Bytes TextBytes(size_t size, unsigned seed) {
    static const char* words[] = {"setup ", "package ", "virtual ", "file ", "system ", "\r\n", "block "};
    std::mt19937 generator(seed);
    Bytes out;
    while (out.size() < size) {
        const char* word = words[generator() % 7];
        out.insert(out.end(), word, word + std::strlen(word));
    }
    out.resize(size);
    return out;
}

inline Bytes ToBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

inline FILETIME TimeOf(ULONGLONG ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

struct PackageLayout {
    std::string name = "$SETUP";
    DWORD blockSize = 64 * 1024;
    bool crcTag = false;
    // Package paths ("$SETUP\GUI\gui.dll") and contents; a path ending in "\" is an empty directory.
    std::map<std::u16string, Bytes> files;
    ULONGLONG time = 0x01D0000000000000ULL; // last-write time of every file
};

// The former name, still used by other tests until they move to PackageLayout.

inline Bytes BuildPackage(const PackageLayout& layout) {
    PACKAGE_WRITER_OPTIONS options;
    options.name = layout.name;
    options.blockSize = layout.blockSize;
    options.crcTag = layout.crcTag;
    CPackageWriter writer(options);
    for (const auto& [path, content] : layout.files) {
        if (!path.empty() && path.back() == u'\\') {
            EXPECT_TRUE(writer.AddDirectory(path.substr(0, path.size() - 1)));
            continue;
        }
        PACKAGE_FILE_INPUT input;
        input.content = content;
        input.lastWrite = TimeOf(layout.time);
        EXPECT_TRUE(writer.AddFile(path, input)) << jxtext::N(path);
    }
    Bytes out;
    std::string error;
    EXPECT_TRUE(writer.Build(out, &error)) << error;
    return out;
}

// Writes bytes to a Windows path (its folder is made).
inline void WriteWindowsFile(const std::u16string& path, const Bytes& bytes) {
    const std::string host = jxplat::WindowsToHostPath(path);
    jxplat::EnsureHostDirectory(host.substr(0, host.find_last_of('/')));
    FILE* file = std::fopen(host.c_str(), "wb");
    ASSERT_NE(file, nullptr) << host;
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

inline Bytes ReadWindowsFile(const std::u16string& path) {
    const std::string text = jxtest::ReadHostFile(jxplat::WindowsToHostPath(path));
    return Bytes(text.begin(), text.end());
}

// The whole content of a packaged file read through a stream in chunks; `result` gets the last
// read's result.
inline Bytes ReadThroughStream(InternalPackageObjBase* entry, DWORD mode, ULONG chunk,
                               HRESULT* result = nullptr) {
    Bytes out;
    IPackedFileStream* stream = entry ? entry->OpenStream(mode) : nullptr;
    EXPECT_NE(stream, nullptr);
    if (!stream)
        return out;
    Bytes buffer(chunk);
    HRESULT hr = S_OK;
    for (;;) {
        ULONG got = 0;
        hr = stream->Read(buffer.data(), chunk, &got);
        if (FAILED(hr) || got == 0)
            break;
        out.insert(out.end(), buffer.begin(), buffer.begin() + got);
    }
    if (result)
        *result = hr;
    stream->Release();
    return out;
}

// A fresh machine root and an empty package manager for each test.
class PackageStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        PackageMgr::Instance()->Cleanup();
        m_pManager = PackageMgr::Instance();
    }
    void TearDown() override {
        m_pVfs.reset();
        PackageMgr::Instance()->Cleanup();
    }

    // Writes the package as C:\pkgs\<file> and mounts it; returns the mount result.
    int Mount(const std::u16string& file, const PackageLayout& layout, int mode = kScanModeNewer) {
        const std::u16string path = u"C:\\pkgs\\" + file;
        WriteWindowsFile(path, BuildPackage(layout));
        return m_pManager->MountPackageFileInMode(path.c_str(), mode);
    }

    VirtualFS& Vfs() {
        if (!m_pVfs)
            m_pVfs.reset(m_pManager->CreateVirtualFS());
        return *m_pVfs;
    }

    jxtest::TempMachineRoot m_root;
    PackageMgr* m_pManager = nullptr;
    std::unique_ptr<VirtualFS> m_pVfs;
};

} // namespace vfstest
