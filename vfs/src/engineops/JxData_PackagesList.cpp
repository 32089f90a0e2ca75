// Lists of packaged files and the presence test of a packaged path.
#include "JxData_Packages.h"
#include "jxvfs/InternalPackageObjBase.h"
#include "jxvfs/VirtualFS.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

} // namespace

void JxData::GetFileListFromVFSPattern(std::vector<std::u16string>& out, const std::u16string& pattern) {
    CJxDataLock lock(*this);
    out.clear();
    if (!m_Vfs)
        return;
    InternalPackageObjBase* entry = nullptr;
    HANDLE search = m_Vfs->FindFirstFile(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (entry && entry->IsFile())
            out.push_back(entry->GetName());
    } while (m_Vfs->FindNextFile(search, &entry));
    m_Vfs->FindClose(search);
}

void JxData::GetFileListFromVFSDir(std::vector<std::u16string>& out, const std::u16string& folder) {
    GetFileListFromVFSPattern(out, u"\\" + folder + u"\\*");
}

void JxData::GetFullPathFileListFromVFSDir(std::vector<std::u16string>& out, const std::u16string& pattern) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::GetFullPathFileListFromVFSDir";
    out.clear();
    if (!m_Vfs) {
        GetLog()->Log(LP_ERROR, kModule, context, u"VFS is not initialized.");
        return;
    }
    InternalPackageObjBase* entry = nullptr;
    HANDLE search = m_Vfs->FindFirstFile(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        GetLog()->Log(LP_ERROR, kModule, context, u"File not found in vfs: %s", pattern.c_str());
        return;
    }
    do {
        if (!entry)
            continue;
        const std::u16string path = entry->GetFullPath();
        if (m_Vfs->GetFile(path))
            out.push_back(path);
        else if (!entry->IsDirectory())
            GetLog()->Log(LP_ERROR, kModule, context, u"Can't find file object in vfs: %s", path.c_str());
    } while (m_Vfs->FindNextFile(search, &entry));
    m_Vfs->FindClose(search);
}

bool JxData::IsFileMountedInVfs(const std::u16string& path) {
    CJxDataLock lock(*this);
    bool found = false;
    if (m_Vfs) {
        InternalPackageObjBase* entry = nullptr;
        HANDLE search = m_Vfs->FindFirstFile(path, &entry);
        if (search != INVALID_HANDLE_VALUE) {
            found = true;
            m_Vfs->FindClose(search);
        }
    }
    GetLog()->Log(LOG_END, kModule, u"JxSetup::Data::JxData::IsFileMountedInVfs", u"%s",
                  found ? u"true" : u"false");
    return found;
}

} // namespace JxSetup::Data
