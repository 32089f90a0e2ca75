// Extracting packaged files and folders to the disk.
#include "JxData_Packages.h"
#include "jxbase/win32errortext.h"
#include "jxvfs/InternalPackageObjBase.h"
#include "jxvfs/VirtualFS.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

// Creates the folder and its parents; true when it exists afterwards.
bool PrepareFolder(const std::u16string& folder) {
    std::u16string path;
    for (size_t at = 0; at <= folder.size(); ++at) {
        if (at < folder.size() && folder[at] != u'\\' && folder[at] != u'/') {
            path += folder[at];
            continue;
        }
        if (!path.empty() && path.back() != u':' &&
            GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            CreateDirectoryW(path.c_str(), nullptr);
        if (at < folder.size())
            path += u'\\';
    }
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

void JxData::ExtractAll() {
    if (!m_Vfs)
        return;
    const std::u16string folder = ExpandProperties(u"[ExtractTo]");
    GetLog()->Log(LP_INFO, kModule, u"JxSetup::Data::JxData::ExtractAll", u"Extracting all files to %s.",
                  folder.c_str());
    ExtractDir(u"", folder, true);
}

void JxData::ExtractDir(const std::u16string& vfsFolder, const std::u16string& diskFolder,
                        bool keepStructure) {
    const WCHAR* context = u"JxSetup::Data::JxData::ExtractDir";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"VFS path %s, destination path %s", vfsFolder.c_str(),
                  diskFolder.c_str());
    if (!m_Vfs)
        return;
    const std::u16string pattern = vfsFolder.empty() ? u"\\*" : u"\\" + vfsFolder + u"\\*";
    // The VFS folder begins with "\" in the recursion: it goes below the disk folder, not to its root.
    const std::u16string destination = keepStructure ? _pkg_Join(diskFolder, vfsFolder) : diskFolder;
    InternalPackageObjBase* entry = nullptr;
    HANDLE search = m_Vfs->FindFirstFile(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!entry)
            continue;
        const std::u16string name = entry->GetName();
        if (entry->IsDirectory()) {
            if (!keepStructure)
                continue;
            GetLog()->Log(LP_INFO, kModule, context, u"Entry %s is directory.", name.c_str());
            ExtractDir(vfsFolder + u"\\" + name, diskFolder, true);
        } else if (entry->IsFile()) {
            const std::u16string target = _pkg_Join(destination, name);
            GetLog()->Log(LP_INFO, kModule, context, u"Extracting file %s to %s", name.c_str(),
                          target.c_str());
            if (!PrepareFolder(destination) || m_Vfs->ExtractFile(entry, destination, kVfsIntoFolder) != 0)
                GetLog()->Log(LP_ERROR, kModule, context, u"Extracting file %s to %s failed", name.c_str(),
                              target.c_str());
        }
    } while (m_Vfs->FindNextFile(search, &entry));
    m_Vfs->FindClose(search);
}

bool JxData::ExtractFileTo(const std::u16string& vfsPath, const std::u16string& diskPath) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::ExtractFileTo";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"%s - %s", vfsPath.c_str(), diskPath.c_str());
    bool done = false;
    if (!m_Vfs) {
        GetLog()->Log(LP_ERROR, kModule, context, u"VFS not mounted.");
    } else if (!IsFileMountedInVfs(vfsPath)) {
        GetLog()->Log(LP_WARNING, kModule, context, u"File %s not found in vfs.", vfsPath.c_str());
    } else if (m_Vfs->CopyFile(vfsPath, diskPath, 0) != 0) {
        const DWORD error = GetLastError();
        GetLog()->Log(LP_ERROR, kModule, context, u"Error while copying file %s to %s: %s", vfsPath.c_str(),
                      diskPath.c_str(), CWin32ErrorText(error, CWin32ErrorText::PrefixCode).c_str());
    } else {
        done = true;
    }
    GetLog()->Log(LOG_END, kModule, context, u"%s", done ? u"true" : u"false");
    return done;
}

} // namespace JxSetup::Data
