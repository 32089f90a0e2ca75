// Package files written while their ".wpk" was locked wait beside it as ".wpk.jxtmp"; they are
// moved into place when newer than the package, and deleted otherwise. Partial files of a run that
// ended while writing one are never whole packages: they go.
#include "JxData_Packages.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"
#include "jxvfs/VirtualFS.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const std::u16string& kTempSuffix = kWaitingPackageSuffix;

} // namespace

void JxData::MovePreviouslyLockedWPKs(const std::u16string& folder) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::MovePreviouslyLockedWPKs";
    for (const CPkgDiskFile& file : _pkg_ListFiles(ExpandProperties(folder), u"*" + kPartialPackageSuffix)) {
        GetLog()->Log(LP_INFO, kModule, context, u"Delete partial file %s", file.path.c_str());
        DeleteFileW(file.path.c_str());
    }
    for (const CPkgDiskFile& file : _pkg_ListFiles(ExpandProperties(folder), u"*" + kTempSuffix)) {
        GetLog()->Log(LP_INFO, kModule, context, u"Move file %s", file.path.c_str());
        std::u16string waitingPath = file.path;
        std::u16string target = file.path.substr(0, file.path.size() - kTempSuffix.size()) + u".wpk";
        // The waiting copy replaces a missing or older package; when the dates cannot be compared,
        // differing checksums decide.
        JxFile waiting;
        JxFile present;
        CollectFileInformation(waiting, waitingPath, false);
        CollectFileInformation(present, target, false);
        waiting.copymode = u"bydate";
        present.copymode = u"bydate";
        waiting.sha = JxFile::CalcSHA256(waitingPath);
        if (waiting.IsFileDifferentTo(present)) {
            // A rename: a run ended half-way leaves either package whole, never a cut one.
            if (MoveFileExW(waitingPath.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
                GetLog()->Log(LP_INFO, kModule, context, u"File moved to %s", target.c_str());
            else
                GetLog()->Log(LP_WARNING, kModule, context,
                              u"Failed to move file to %s. Destination is locked.", target.c_str());
        } else {
            GetLog()->Log(LP_INFO, kModule, context, u"Delete temp file %s", waitingPath.c_str());
            DeleteFileW(waitingPath.c_str());
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
