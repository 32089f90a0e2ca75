// Extracting packaged files and folders to the disk.
#include "JxData_Packages.h"
#include "jxbase/guards.h"
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

// Extracts the VFS folder below the disk folder; false when an entry was not extracted. A packaged
// name is one entry of its folder: a name that would lead out of the disk folder is refused.
bool _pkg_ExtractTree(JxData& data, const std::u16string& vfsFolder, const std::u16string& diskFolder,
                      bool keepStructure) {
    const WCHAR* context = u"JxSetup::Data::JxData::ExtractDir";
    JxLog* log = data.GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"VFS path %s, destination path %s", vfsFolder.c_str(),
             diskFolder.c_str());
    if (!data.m_Vfs)
        return false;
    const std::u16string pattern = vfsFolder.empty() ? u"\\*" : u"\\" + vfsFolder + u"\\*";
    // The VFS folder begins with "\" in the recursion: it goes below the disk folder, not to its root.
    const std::u16string destination = keepStructure ? _pkg_Join(diskFolder, vfsFolder) : diskFolder;
    InternalPackageObjBase* entry = nullptr;
    HANDLE search = data.m_Vfs->FindFirstFile(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return true;
    bool extracted = true;
    do {
        if (!entry)
            continue;
        const std::u16string name = entry->GetName();
        if ((entry->IsDirectory() && !keepStructure) || (!entry->IsDirectory() && !entry->IsFile()))
            continue;
        if (!IsSinglePathSegment(name)) {
            log->Log(LP_ERROR, kModule, context,
                     u"The packaged name %s would leave the folder %s. Not extracted.", name.c_str(),
                     destination.c_str());
            extracted = false;
        } else if (entry->IsDirectory()) {
            log->Log(LP_INFO, kModule, context, u"Entry %s is directory.", name.c_str());
            extracted = _pkg_ExtractTree(data, vfsFolder + u"\\" + name, diskFolder, true) && extracted;
        } else {
            const std::u16string target = _pkg_Join(destination, name);
            log->Log(LP_INFO, kModule, context, u"Extracting file %s to %s", name.c_str(), target.c_str());
            if (!PrepareFolder(destination) ||
                data.m_Vfs->ExtractFile(entry, destination, kVfsIntoFolder) != 0) {
                log->Log(LP_ERROR, kModule, context, u"Extracting file %s to %s failed", name.c_str(),
                         target.c_str());
                extracted = false;
            }
        }
    } while (data.m_Vfs->FindNextFile(search, &entry));
    data.m_Vfs->FindClose(search);
    return extracted;
}

} // namespace

bool JxData::ExtractAll() {
    const WCHAR* context = u"JxSetup::Data::JxData::ExtractAll";
    if (!m_Vfs) {
        GetLog()->Log(LP_ERROR, kModule, context, u"VFS is not mounted!");
        return false;
    }
    const std::u16string folder = ExpandProperties(u"[ExtractTo]");
    GetLog()->Log(LP_INFO, kModule, context, u"Extracting all files to %s.", folder.c_str());
    if (!IsExpandedFolder(folder)) {
        GetLog()->Log(LP_ERROR, kModule, context, u"%s is not a fully resolved folder. Nothing is extracted.",
                      folder.c_str());
        return false;
    }
    return _pkg_ExtractTree(*this, u"", folder, true);
}

void JxData::ExtractDir(const std::u16string& vfsFolder, const std::u16string& diskFolder,
                        bool keepStructure) {
    _pkg_ExtractTree(*this, vfsFolder, diskFolder, keepStructure);
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
