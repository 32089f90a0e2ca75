#include "jxvfs/VirtualFS.h"

#include "jxbase/reg.h"
#include "jxsetupdata/JxLog.h"
#include "jxvfs/PackageMgr.h"
#include "jxvfs/container/PackageTrace.h"

int g_VirtualFSDebugLevel = 0;

VirtualFS::VirtualFS() {
    // The package store traces at the engine's level.
    g_VirtualFSDebugLevel = static_cast<int>(
        CReg::GetProductIntFromRegistry(HKEY_LOCAL_MACHINE, u"JxSetupEngine", u"DebugLevel", 0, 0));
}

VirtualFS::~VirtualFS() {
    UnmountAll();
    if (m_DeleteLater.empty())
        return;
    Sleep(50); // programs started from these files may just be ending
    for (const std::u16string& path : m_DeleteLater) {
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES || DeleteFileW(path.c_str()))
            continue;
        // Still in use: deleted when the machine restarts.
        if (!MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
            JxSetup::Data::Instance()->Log(JxSetup::Data::LP_ERROR, u"lib", u"VirtualFS::~VirtualFS",
                                           u"Cannot delete %s at reboot. Error %u", path.c_str(),
                                           GetLastError());
    }
}

VirtualFS& VirtualFS::CopyFrom(const VirtualFS& other) {
    m_pPackageMgr = other.m_pPackageMgr;
    return *this;
}

int VirtualFS::Mount(PackageMgr* manager) {
    m_pPackageMgr = manager;
    return Refresh();
}

int VirtualFS::GetLastError() {
    const int error = m_nLastError;
    m_nLastError = 0;
    return error;
}

PackageMgr* VirtualFS::GetPackageMgr() {
    return m_pPackageMgr;
}

int VirtualFS::Refresh() {
    if (!m_pPackageMgr) {
        m_nLastError = -8;
        return -8;
    }
    if (!m_pPackageMgr->GetRoot()) {
        m_nLastError = -5;
        return 0;
    }
    if (m_currentPath.empty()) {
        m_currentPath = u"\\";
        return 1;
    }
    // The directory is bound again by its path; when it is gone the merged root stays current.
    const std::u16string remembered = m_currentPath;
    m_currentPath = u"\\";
    std::u16string canonical;
    auto entry = _vfs_Resolve(remembered, &canonical);
    if (!entry || !entry->IsDirectory())
        return 0;
    m_currentPath = canonical;
    return 1;
}

std::u16string VirtualFS::GetCurrentDirectory() {
    if (!m_pPackageMgr)
        return std::u16string();
    if (m_currentPath.empty())
        Refresh();
    return m_currentPath;
}

std::u16string VirtualFS::GetWorkingDirectory() {
    return GetCurrentDirectory();
}

int VirtualFS::GetCurrentDirectoryToBuffer(DWORD sizeInBytes, WCHAR* buffer) {
    const std::u16string path = GetCurrentDirectory();
    if (buffer && sizeInBytes >= 2) {
        const size_t count = std::min<size_t>(path.size(), sizeInBytes / 2 - 1);
        std::copy(path.begin(), path.begin() + static_cast<ptrdiff_t>(count), buffer);
        buffer[count] = 0;
    }
    return static_cast<int>(path.size());
}

std::u16string VirtualFS::SetCurrentDirectory(const std::u16string& path) {
    std::u16string canonical;
    if (auto entry = _vfs_Resolve(path, &canonical)) {
        if (entry->IsDirectory())
            m_currentPath = canonical;
        else
            m_nLastError = -6;
    }
    return GetCurrentDirectory();
}

std::u16string VirtualFS::ChangeDirectory(const std::u16string& path) {
    return SetCurrentDirectory(path);
}

void VirtualFS::UnmountAll() {
    std::lock_guard<std::recursive_mutex> guard(m_filesMutex);
    JX_PKG_TRACE(10, u"VirtualFS::UnmountAll", u"-> UnmountAll()\n");
    NoOp();
    UnloadAll();
    m_pPackageMgr = nullptr;
    m_currentPath.clear();
    m_Searches.clear();
    JX_PKG_TRACE(10, u"VirtualFS::UnmountAll", u"<- UnmountAll()\n");
}
