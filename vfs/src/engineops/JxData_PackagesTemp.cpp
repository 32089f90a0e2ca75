// Package files written while their ".wpk" was locked wait beside it as ".wpk.jxtmp"; they are
// moved into place when newer than the package, and deleted otherwise.
#include "JxData_Packages.h"
#include "jxplat/text.h"
#include "jxvfs/VirtualFS.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const std::u16string kTempSuffix = u".wpk.jxtmp";

bool LastWriteTime(const std::u16string& path, FILETIME& time) {
    WIN32_FIND_DATAW data = {};
    HANDLE search = FindFirstFileW(path.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    time = data.ftLastWriteTime;
    return true;
}

ULONGLONG Ticks(const FILETIME& time) {
    return (ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

} // namespace

void JxData::MovePreviouslyLockedWPKs(const std::u16string& folder) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::MovePreviouslyLockedWPKs";
    for (const CPkgDiskFile& file : _pkg_ListFiles(ExpandProperties(folder), u"*" + kTempSuffix)) {
        GetLog()->Log(LP_INFO, kModule, context, u"Move file %s", file.path.c_str());
        const std::u16string target = file.path.substr(0, file.path.size() - kTempSuffix.size()) + u".wpk";
        // By date: the waiting copy replaces a missing or older package.
        FILETIME present = {};
        if (!LastWriteTime(target, present) || Ticks(file.lastWrite) > Ticks(present)) {
            if (_pkg_MoveReplacing(file.path, target))
                GetLog()->Log(LP_INFO, kModule, context, u"File moved to %s", target.c_str());
            else
                GetLog()->Log(LP_WARNING, kModule, context,
                              u"Failed to move file to %s. Destination is locked.", target.c_str());
        } else {
            GetLog()->Log(LP_INFO, kModule, context, u"Delete temp file %s", file.path.c_str());
            DeleteFileW(file.path.c_str());
        }
    }
}

void JxData::AddTmpWPKDir(const std::u16string& path) {
    const size_t cut = path.find_last_of(u"\\/");
    const std::u16string folder = cut == std::u16string::npos ? std::u16string() : path.substr(0, cut);
    if (m_TempPackageDirs.insert(folder).second)
        GetLog()->Log(LP_INFO, kModule, u"JxSetup::Data::JxData::AddTmpWPKDir", u"Adding tmp wpk dir: %s",
                      folder.c_str());
}

void JxData::MoveTempWks() {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::MoveTempWks";
    if (m_Vfs) {
        GetLog()->Log(LP_INFO, kModule, context, u"Unmounting VFS.");
        try {
            m_Vfs->UnmountAll();
        } catch (...) {
            GetLog()->Log(LP_ERROR, kModule, context, u"Unmounting VFS failed.");
        }
    }
    for (const std::u16string& folder : m_TempPackageDirs)
        MovePreviouslyLockedWPKs(folder);
}

} // namespace JxSetup::Data
