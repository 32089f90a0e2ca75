// DeleteUpdateFolder: the end of a run removes what it no longer needs: downloaded packages in the
// configured update folder, the packages and folders of a product this upgrade replaced and, after
// an uninstallation, the product's maintenance folder. Only the files of each folder go (never
// its subfolders, never the folder itself), and only in folders of this product below
// "[CommonAppDataFolder]\Tolvane\Setups" or in the configured update folder.
#include <string>

#include "JxData_RemoveFiles.h"
#include "jxbase/guards.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"
#include "jxvfs/VirtualFS.h"

namespace JxSetup::Data {
namespace {

constexpr const WCHAR* kUpdateFolder = u"JxSetup::Data::JxData::DeleteUpdateFolder";
constexpr int kUpdateModeUpgrade = 2;

// "\\" separators, none repeated (after a share's leading pair) or trailing.
std::u16string _updfld_Normal(const std::u16string& text) {
    std::u16string path;
    for (char16_t c : text) {
        if (c == u'/')
            c = u'\\';
        if (c != u'\\' || path.size() < 2 || path.back() != u'\\')
            path.push_back(c);
    }
    while (!path.empty() && path.back() == u'\\')
        path.pop_back();
    return path;
}

// The folders below the setups folder that hold every product's update and uninstaller folders.
bool _updfld_IsSharedFolder(const std::u16string& setups, const std::u16string& folder) {
    const std::u16string base = _updfld_Normal(setups);
    const std::u16string path = _updfld_Normal(folder);
    if (path.size() <= base.size() + 1)
        return false;
    const std::u16string below = path.substr(base.size() + 1);
    return jxtext::EqualsNoCase(below, u"CommonUpdate") || jxtext::EqualsNoCase(below, u"Uninstaller") ||
           jxtext::EqualsNoCase(below, u"CommonUpdate\\Uninstaller");
}

void _updfld_Delete(const std::u16string& folder, const std::u16string& mask) {
    bool rebootNeeded = false; // what is locked goes at the next reboot; no restart is asked for
    _remove_DeleteFiles(folder, mask, kUpdateFolder, rebootNeeded);
}

void _updfld_Refuse(JxLog* log, const WCHAR* what, const std::u16string& folder) {
    log->Log(LP_WARNING, kRemoveModule, kUpdateFolder, u"Invalid folder \"%s\" (%s): nothing deleted.",
             folder.c_str(), what);
}

} // namespace

void JxData::DeleteUpdateFolder() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kRemoveModule, kUpdateFolder, u"");
    if (HasGui() && m_UserCancelled) {
        log->Log(LOG_END, kRemoveModule, kUpdateFolder, u"Setup canceled.");
        return;
    }
    // No package file may stay open while the files are deleted.
    if (m_Vfs) {
        log->Log(LP_INFO, kRemoveModule, kUpdateFolder, u"Unmounting VFS.");
        try {
            m_Vfs->UnmountAll();
        } catch (...) {
            log->Log(LP_ERROR, kRemoveModule, kUpdateFolder, u"Unmounting VFS failed.");
        }
    }

    const std::u16string updateFolder = ExpandProperties(u"[DELETE_UPDATEFOLDER]");
    if (!updateFolder.empty()) {
        if (IsResolvedFolder(updateFolder)) {
            log->Log(LP_INFO, kRemoveModule, kUpdateFolder,
                     u"Deleting files using pattern {*}.wpk, and *.kpwin %s.", updateFolder.c_str());
            _updfld_Delete(updateFolder, u"{*}.wpk");
            _updfld_Delete(updateFolder, u"*.kpw");
        } else {
            _updfld_Refuse(log, u"DELETE_UPDATEFOLDER", updateFolder);
        }
    }

    const std::u16string commonAppData = ExpandProperties(u"[CommonAppDataFolder]");
    const std::u16string setups = JxFile::CombinePath(commonAppData, u"Tolvane\\Setups");
    const std::u16string productId = GetProductId();
    const std::u16string maintenance = JxFile::CombinePath(setups, productId);
    const bool upgrade = m_UpdateMode == kUpdateModeUpgrade;

    const std::u16string oldPackages = ExpandProperties(u"[_DELETE_OLD_WPK]");
    if (!oldPackages.empty() && upgrade) {
        // Only an older product's folder below the setups folder; the maintenance folder of this
        // product already holds the new copy.
        if (IsFolderBelowWithoutLinks(oldPackages, setups) && !_updfld_IsSharedFolder(setups, oldPackages) &&
            !(IsGuidFormId(productId) &&
              jxtext::EqualsNoCase(_updfld_Normal(oldPackages), _updfld_Normal(maintenance)))) {
            log->Log(LP_INFO, kRemoveModule, kUpdateFolder, u"Upgrade detected. Deleting all files in %s.",
                     oldPackages.c_str());
            _updfld_Delete(oldPackages, u"*.*");
        } else {
            _updfld_Refuse(log, u"_DELETE_OLD_WPK", oldPackages);
        }
    }

    if (jxtext::EqualsNoCase(GetInstallMode(), u"Uninstall")) {
        // After a failed, cancelled or never-started uninstallation the maintenance folder stays
        // for another try.
        const JxSequenceData& state = m_SequenceData;
        if (!state.m_bSequenceStarted || state.m_bFailure || m_UserCancelled) {
            log->Log(LP_WARNING, kRemoveModule, kUpdateFolder,
                     u"Uninstall did not complete. The maintenance folder %s is kept.", maintenance.c_str());
        } else if (!IsGuidFormId(productId) || !IsFolderBelowWithoutLinks(maintenance, setups)) {
            _updfld_Refuse(log, u"maintenance folder", maintenance);
        } else {
            log->Log(LP_INFO, kRemoveModule, kUpdateFolder,
                     u"Uninstall mode detected. Deleting all files in %s.", maintenance.c_str());
            _updfld_Delete(maintenance, u"*.*");
        }
    }

    const std::u16string code = ExpandProperties(u"[_InstalledProductCode]");
    if (upgrade && !code.empty() && !jxtext::EqualsNoCase(productId, code)) {
        for (const std::u16string& folder :
             {JxFile::CombinePath(setups, code), JxFile::CombinePath(setups, u"CommonUpdate", code),
              JxFile::CombinePath(setups, u"CommonUpdate\\Uninstaller", code)}) {
            if (!IsGuidFormId(code) || !IsFolderBelowWithoutLinks(folder, setups)) {
                _updfld_Refuse(log, u"_InstalledProductCode", folder);
                continue;
            }
            log->Log(LP_INFO, kRemoveModule, kUpdateFolder, u"Deleting all files in %s", folder.c_str());
            _updfld_Delete(folder, u"*.*");
        }
    }
    log->Log(LOG_END, kRemoveModule, kUpdateFolder, u"");
}

} // namespace JxSetup::Data
