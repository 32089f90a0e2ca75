// Writing packaged files to disk: copies by pattern, whole directories and single files, and the
// disk folders they go into.
#include "jxvfs/CStreamOnFileHandle.h"
#include "jxvfs/IPackedFileStream.h"
#include "jxvfs/InternalPackageDir.h"
#include "jxvfs/InternalPackageFile.h"
#include "jxvfs/VirtualFS.h"
#include "jxvfs/container/PackageTrace.h"

namespace {

bool IsFolderAttributes(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsDiskFolder(const std::u16string& path) {
    return IsFolderAttributes(GetFileAttributesW(path.c_str()));
}

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

std::u16string WithSeparator(std::u16string folder) {
    if (folder.empty() || !IsSeparator(folder.back()))
        folder += u'\\';
    return folder;
}

} // namespace

int VirtualFS::CopyFile(const std::u16string& sourcePattern, const std::u16string& destination, DWORD flags) {
    const int matches = CountMatches(sourcePattern);
    if (matches == 0)
        return -2;
    if (matches > 1 && !CreateDirectoryPath(destination, nullptr))
        return -2;
    InternalPackageObjBase* entry = nullptr;
    HANDLE search = FindFirstFile(sourcePattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return -2;
    // What the destination is, asked once: a single file written onto it needs the same answer.
    const DWORD present =
        (flags & kVfsIntoFolder) ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(destination.c_str());
    const bool intoFolder = (flags & kVfsIntoFolder) || IsFolderAttributes(present);
    int result = 0;
    // As many entries as matched: the search of a file path goes on over the current directory.
    for (int done = 0; entry && done < matches; ++done) {
        InternalPackageFile* file = intoFolder || matches > 1 ? nullptr : AsFile(entry);
        if (file) {
            std::lock_guard<std::recursive_mutex> guard(m_extractMutex);
            result = _extract_File(*file, destination, flags, present);
            break;
        }
        result =
            Extract(entry, intoFolder ? WithSeparator(destination) + entry->GetName() : destination, flags);
        if (result != 0 || done + 1 == matches || !FindNextFile(search, &entry))
            break;
    }
    FindClose(search);
    return result;
}

int VirtualFS::Extract(InternalPackageObjBase* entry, const std::u16string& target, DWORD flags) {
    std::lock_guard<std::recursive_mutex> guard(m_extractMutex);
    if (!entry)
        return -2;
    if (entry->IsDirectory())
        return ExtractDirectory(entry, target);
    if (entry->IsFile())
        return ExtractFile(entry, target, flags);
    return -2;
}

int VirtualFS::ExtractDirectory(InternalPackageObjBase* entry, const std::u16string& target) {
    if (!entry || !entry->IsDirectory())
        return 0;
    CreateDirectoryPath(target, nullptr);
    std::vector<std::shared_ptr<InternalPackageObjBase>> children;
    for (const auto& [name, child] : static_cast<InternalPackageDir&>(*entry).GetChildren())
        children.push_back(child);
    for (const auto& child : children) {
        const int result = Extract(child.get(), target, kVfsIntoFolder);
        if (result != 0)
            return result;
    }
    return 0;
}

int VirtualFS::ExtractFile(InternalPackageObjBase* entry, const std::u16string& target, DWORD flags) {
    InternalPackageFile* file = AsFile(entry);
    if (!file)
        return -2;
    return _extract_File(*file, target, flags, GetFileAttributesW(target.c_str()));
}

int VirtualFS::_extract_File(InternalPackageFile& entry, const std::u16string& target, DWORD flags,
                             DWORD present) {
    InternalPackageFile* file = &entry;
    const auto keep = file->shared_from_this(); // the entry stays while it is written
    std::u16string path = target;
    if (present != INVALID_FILE_ATTRIBUTES && (present & FILE_ATTRIBUTE_DIRECTORY)) {
        path = WithSeparator(path) + file->GetName();
        present = GetFileAttributesW(path.c_str());
    }
    if (present != INVALID_FILE_ATTRIBUTES && !(present & FILE_ATTRIBUTE_DIRECTORY) &&
        (flags & kVfsNoOverwrite))
        return -10;
    HANDLE handle = CreateFileW(path.c_str(),
                                GENERIC_WRITE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | FILE_READ_EA |
                                    FILE_WRITE_EA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        JX_PKG_TRACE(1, u"VirtualFS::ExtractFile", u"%s cannot be created (%u).\n", path.c_str(),
                     ::GetLastError());
        return -9;
    }
    if (file->GetSize64() == 0) {
        JX_PKG_TRACE(10, u"VirtualFS::ExtractFile", u"(Skipping decompress due to empty file)\n");
    } else if (!_extract_WriteContent(*file, handle)) {
        // Nothing half-written stays behind; the caller learns why the write failed.
        const DWORD error = ::GetLastError();
        CloseHandle(handle);
        DeleteFileW(path.c_str());
        SetLastError(error);
        return -3;
    }
    FILETIME time{};
    file->GetFileTime(&time);
    SetFileTime(handle, &time, nullptr, &time);
    CloseHandle(handle);
    SetFileAttributesW(path.c_str(),
                       FILE_ATTRIBUTE_NORMAL |
                           (file->GetFileAttributes() & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)));
    return 0;
}

bool VirtualFS::_extract_WriteContent(InternalPackageFile& file, HANDLE target) {
    IPackedFileStream* source = file.OpenStream(kStreamPrivateBlocks);
    if (!source) {
        JX_PKG_TRACE(1, u"VirtualFS::ExtractFile", u"No stream on %s.\n", file.GetName().c_str());
        return false;
    }
    auto* sink = new CStreamOnFileHandle(target, true, false);
    ULARGE_INTEGER written{};
    const HRESULT hr = source->CopyTo(sink, MakeULargeInteger(file.GetSize64()), nullptr, &written);
    sink->Release();
    source->Release();
    if (hr == S_FALSE)
        JX_PKG_TRACE(1, u"VirtualFS::ExtractFile", u"The content of %s does not match its checksum.\n",
                     file.GetName().c_str());
    else if (FAILED(hr))
        JX_PKG_TRACE(1, u"VirtualFS::ExtractFile", u"Copying %s failed (%08X).\n", file.GetName().c_str(),
                     static_cast<unsigned>(hr));
    return hr == S_OK && written.QuadPart == file.GetSize64();
}

bool VirtualFS::CreateDirectoryPath(const std::u16string& path, const WCHAR* base) {
    const std::u16string full = base ? std::u16string(base) + u"\\" + path : path;
    if (full.empty() || IsDiskFolder(full))
        return true;
    // Each prefix up to a separator, then the whole path; a drive ("C:") becomes its root.
    for (size_t i = 1; i <= full.size(); ++i) {
        if (i < full.size() && !IsSeparator(full[i]))
            continue;
        std::u16string prefix = full.substr(0, i);
        if (prefix.back() == u':')
            prefix += u'\\';
        if (IsDiskFolder(prefix))
            continue;
        if (!CreateDirectoryW(prefix.c_str(), nullptr) && !IsDiskFolder(prefix))
            return false;
    }
    return IsDiskFolder(full);
}
