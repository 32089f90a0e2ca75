// Files copied out of the packages to be loaded or run. The records are made by
// PrepareForExecution, which is not built yet; the operations on existing records behave as they
// must for an empty list.
#include <algorithm>

#include "jxplat/text.h"
#include "jxsetupdata/JxLog.h"
#include "jxvfs/VirtualFS.h"
#include "jxvfs/container/PackageTrace.h"

namespace {

void LogNotBuilt(const WCHAR* context, const WCHAR* operation) {
    JxSetup::Data::Instance()->Log(JxSetup::Data::LP_ERROR, u"lib", context, u"%s is not built yet", operation);
}

} // namespace

VFS_PREPARED_FILE* VirtualFS::PrepareForExecution(const std::u16string& path, const WCHAR* folder, bool randomName) {
    // JX_NOT_BUILT: extracting a packaged file to a temporary copy and keeping its record.
    LogNotBuilt(u"VirtualFS::PrepareForExecution", u"PrepareForExecution");
    return nullptr;
}

HMODULE VirtualFS::LoadDll(const std::u16string& path, DWORD loadFlags, LPVOID) {
    if (path.empty())
        return nullptr;
    if (!PrepareForExecution(path, nullptr, true)) {
        JX_PKG_TRACE(2, u"VirtualFS::LoadDll", u"DLL could not be prepared: %s\n.\n", path.c_str());
        return nullptr;
    }
    return nullptr;
}

BOOL VirtualFS::FreeDll(HMODULE module) {
    std::lock_guard<std::recursive_mutex> guard(m_filesMutex);
    auto found = std::find_if(m_PreparedFiles.begin(), m_PreparedFiles.end(),
                              [&](const auto& record) { return module && record->handle == module; });
    return found != m_PreparedFiles.end() && ReleaseReference((*found)->vfsPath) == 0;
}

HANDLE VirtualFS::Execute(VFS_PREPARED_FILE* record, const WCHAR* commandLine, LPVOID, LPVOID, LPVOID, LPVOID, LPVOID) {
    if (!record || record->diskPath.empty())
        return nullptr;
    // JX_NOT_BUILT: starting a prepared file (CreateProcessW).
    LogNotBuilt(u"VirtualFS::Execute", u"Execute");
    return nullptr;
}

void VirtualFS::CleanupAfterExecution(VFS_PREPARED_FILE* record) {
    if (!record)
        return;
    JX_PKG_TRACE(10, u"VirtualFS::CleanupAfterExecution", u"Cleaning up %s.\n", record->vfsPath.c_str());
    if (ReleaseReference(record->vfsPath) == 0)
        m_DeleteLater.push_back(record->diskPath);
}

const WCHAR* VirtualFS::AddReference(const std::u16string& path) {
    std::lock_guard<std::recursive_mutex> guard(m_filesMutex);
    for (const auto& record : m_PreparedFiles) {
        if (jxtext::EqualsNoCase(record->vfsPath, path)) {
            ++record->refCount;
            return record->diskPath.c_str();
        }
    }
    m_nLastError = -2;
    return nullptr;
}

int VirtualFS::ReleaseReference(const std::u16string& path) {
    std::lock_guard<std::recursive_mutex> guard(m_filesMutex);
    m_nLastError = -2;
    if (!m_PreparedFiles.empty()) {
        // JX_NOT_BUILT: releasing prepared files (unloading, deleting the copy).
        LogNotBuilt(u"VirtualFS::ReleaseReference", u"ReleaseReference");
    }
    return 0;
}

std::u16string VirtualFS::GetModulePath(HMODULE module) {
    std::lock_guard<std::recursive_mutex> guard(m_filesMutex);
    for (const auto& record : m_PreparedFiles)
        if (module && record->handle == module)
            return record->diskPath;
    m_nLastError = -2;
    return std::u16string();
}

void VirtualFS::UnloadAll() {
    std::lock_guard<std::recursive_mutex> guard(m_filesMutex);
    JX_PKG_TRACE(10, u"VirtualFS::UnloadAll", u"Unloading *all* referenced and not yet freed libraries.\n");
    if (!m_PreparedFiles.empty()) {
        // JX_NOT_BUILT: unloading the libraries of prepared files.
        LogNotBuilt(u"VirtualFS::UnloadAll", u"UnloadAll");
    }
    m_PreparedFiles.clear();
}
