// Maintenance copies, the package store's part: which packages belong in the maintenance folder,
// writing one mounted package as its own ".wpk" file, and the engine's runtime files beside them.
#include "jxplat/shlobj.h"

#include "JxData_Packages.h"
#include "jxplat/text.h"
#include "jxvfs/PackageMgr.h"
#include "jxvfs/VirtualFS.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

// Tells whether every package of a repack was written whole: Repack itself answers only whether
// its target could be opened.
class CMaintRepackOutcome : public RepackCallbackDelegate {
public:
    int OnRepackProgress(DWORD phase, DWORD first, DWORD, DWORD_PTR third) override {
        if (phase == 0)
            m_found = static_cast<DWORD>(third);
        else if (phase == 3 && first == 0)
            m_complete = false;
        return 1;
    }
    bool IsComplete() const { return m_complete && m_found > 0; }

private:
    DWORD m_found = 0;
    bool m_complete = true;
};

// Writes the package alone into the file; false (with the partial file removed) when it could not
// be written whole.
bool _maint_WritePackage(const std::u16string& name, const std::u16string& path) {
    CMaintRepackOutcome outcome;
    if (PackageMgr::Instance()->Repack({REPACK_ENTRY(name)}, path, 0, &outcome) != 1)
        return false;
    if (outcome.IsComplete())
        return true;
    DeleteFileW(path.c_str());
    return false;
}

} // namespace

bool JxData::IsComponentExtractable(const std::u16string& name) {
    const WCHAR* context = u"JxSetup::Data::JxData::IsComponentExtractable";
    CJxDataLock lock(*this);
    GetLog()->Log(LOG_BEGIN, kModule, context, u"%s", name.c_str());
    bool result = false;
    if (!name.empty() && name[0] == u'$') {
        result = true;
    } else if (!name.empty() && name[0] == u'{') {
        const JxComponent component = GetComponent(name);
        if (jxtext::EqualsNoCase(component.id, u"Invalid") ||
            jxtext::EqualsNoCase(component.dontstoreindatawpk, u"true"))
            result = false;
        else if (jxtext::EqualsNoCase(component.excludefromupdate, u"true"))
            result = jxtext::EqualsNoCase(component.installifexist, u"true");
        else
            result = true;
    }
    GetLog()->Log(LOG_END, kModule, context, u"%s", result ? u"true" : u"false");
    return result;
}

void JxData::ExtractWPK(const std::u16string& name, const std::u16string& folder) {
    const WCHAR* context = u"JxSetup::Data::JxData::ExtractWPK";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"Component: %s - DstPath: %s", name.c_str(), folder.c_str());
    const std::u16string destination = ExpandProperties(folder);
    const std::u16string target = _pkg_Join(destination, name + u".wpk");
    const std::u16string temporary = _pkg_Join(destination, name + u".wpk.jxtmp");
    if (m_MountedPackageFiles.count(jxtext::ToLower(target))) {
        // The file this run reads the package from is never overwritten.
        log->Log(LP_INFO, kModule, context, u"WPK %s already mounted. Do not extract.", target.c_str());
    } else if (name.empty() || !PackageMgr::Instance()->FindPackage(name)) {
        log->Log(LP_WARNING, kModule, context, u"Package %s is not mounted.", name.c_str());
    } else {
        SHCreateDirectoryExW(nullptr, destination.c_str(), nullptr);
        // A temporary file left by an earlier run would be kept by the repack (which then writes
        // beside it) and moved into place instead of the fresh copy: it goes first.
        const bool stale = _pkg_FileExists(temporary) && !DeleteFileW(temporary.c_str());
        if (stale || !_maint_WritePackage(name, temporary)) {
            log->Log(LP_WARNING, kModule, context, u"Failed to write file %s.", temporary.c_str());
        } else {
            log->Log(LP_INFO, kModule, context, u"File %s successfully written.", temporary.c_str());
            if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
                log->Log(LP_INFO, kModule, context, u"File %s moved to %s", temporary.c_str(),
                         target.c_str());
            } else {
                // The target is in use: the copy waits beside it until the end of the run or the
                // next run that mounts packages from this folder.
                log->Log(LP_WARNING, kModule, context, u"Failed to move file %s to %s", temporary.c_str(),
                         target.c_str());
                AddTmpWPKDir(temporary);
            }
        }
    }
    log->Log(LOG_END, kModule, context, u"");
}

void JxData::ExtractRuntimeFiles(const std::u16string& folder) {
    const WCHAR* context = u"JxSetup::Data::JxData::ExtractRuntimeFiles";
    CJxDataLock lock(*this);
    if (!m_Vfs)
        return;
    const std::u16string destination = ExpandProperties(folder);
    SHCreateDirectoryExW(nullptr, destination.c_str(), nullptr);
    std::vector<std::pair<std::u16string, std::u16string>> copies = {
        {u"\\$SETUP\\JxSetup.exe", u"setup.exe"},
        {u"\\$SETUP\\JxSetupRT.dll", u"JxSetupRT.dll"},
    };
    if (jxtext::EqualsNoCase(GetInstallMode(), u"Install"))
        copies.emplace_back(u"\\$CONFIG\\setup.reconfig", u"setup.reconfig");
    for (const auto& [source, file] : copies) {
        const std::u16string target = _pkg_Join(destination, file);
        // Every failure counts: a missing source and a target that cannot be written alike.
        if (m_Vfs->CopyFile(source, target, 0) != 0)
            GetLog()->Log(LP_WARNING, kModule, context, u"Failed to copy %s", target.c_str());
    }
}

} // namespace JxSetup::Data
