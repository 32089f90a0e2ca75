// Maintenance copies: after an installation the engine keeps itself and its packages in the
// product's maintenance folder, so that later runs start without the installation medium. The
// customization of the installed product moves along to the new folder on an upgrade.
#include <string>
#include <vector>

#include "jxbase/files.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"
#include "jxvfs/PackageMgr.h"

namespace JxSetup::Data {
namespace {

constexpr const char16_t* kModule = u"lib";

bool _maint_FolderExists(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

void JxData::ExtractMaintenanceFiles(const std::u16string& folder, const JxSequenceAction& action) {
    constexpr const char16_t* context = u"JxSetup::Data::JxData::ExtractMaintenanceFiles";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"%s", folder.c_str());
    // A maintenance run that is no update keeps the copy it was started from.
    if (jxtext::EqualsNoCase(GetInstallMode(), u"Maintenance") && m_UpdateMode != 1 && m_UpdateMode != 2) {
        log->Log(LP_INFO, kModule, context, u"Skipping action. InstallMode is Maintenance.");
        log->Log(LOG_END, kModule, context, u"");
        return;
    }
    const std::u16string destination = ExpandProperties(folder);
    log->Log(LP_INFO, kModule, context, u"Working dir: %s", m_appDir.c_str());
    log->Log(LP_INFO, kModule, context, u"Destination dir: %s", destination.c_str());
    if (IsSameFileSystemObject(m_appDir, destination)) {
        log->Log(LP_INFO, kModule, context, u"Skipping action. Execution and extraction paths are the same.");
        log->Log(LOG_END, kModule, context, u"");
        return;
    }
    if (!m_Vfs) {
        log->Log(LP_ERROR, kModule, context, u"VFS not initialized.");
        // Nothing to copy from: the later runs would find no maintenance copy.
        if (!IsCountingProcessSteps())
            m_SequenceData.FailAction(action.m_Name, u"VFS not initialized.");
        log->Log(LOG_END, kModule, context, u"");
        return;
    }
    std::vector<std::u16string> names;
    for (const auto& package : PackageMgr::Instance()->GetPackages())
        names.push_back(package->GetName());
    // Rows without conditions, forced: the question only advances (or, while steps are counted,
    // counts) one progress step per package.
    JxComponent component;
    component.forced = true;
    JxFeature feature;
    feature.forced = true;
    // A maintenance copy that cannot be written whole is the action's failure: later runs would
    // start from it.
    bool written = true;
    for (const std::u16string& name : names) {
        if (written && IsComponentToBeProcessed(component, feature, action, JxActivationPermissions{}) &&
            !name.empty() && IsComponentExtractable(name))
            written = ExtractWPK(name, destination);
    }
    // Counting changes nothing on the disk.
    if (written && !IsCountingProcessSteps()) {
        written = ExtractRuntimeFiles(destination);
        ApplyCustomizationOnUpgrade(destination);
    }
    if (!written)
        m_SequenceData.FailAction(action.m_Name,
                                  u"The maintenance copy in " + destination + u" could not be written.");
    log->Log(LOG_END, kModule, context, u"");
}

void JxData::ApplyCustomizationOnUpgrade(const std::u16string& folder) {
    constexpr const char16_t* context = u"JxSetup::Data::JxData::ApplyCustomizationOnUpgrade";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"%s", folder.c_str());
    const std::u16string code = ExpandProperties(u"[_InstalledProductCode]");
    if (code.empty()) {
        log->Log(LOG_END, kModule, context, u"No installed product found.");
        return;
    }
    const std::u16string destination = ExpandProperties(folder);
    const std::u16string installed =
        JxFile::CombinePath(ExpandProperties(u"[CommonAppDataFolder]"), u"Tolvane\\Setups", code);
    if (!_maint_FolderExists(installed)) {
        log->Log(LOG_END, kModule, context, u"");
        return;
    }
    if (IsSameFileSystemObject(installed, destination)) {
        log->Log(LOG_END, kModule, context,
                 u"It is not necessary to copy customization information from installed product storage.");
        return;
    }
    const std::u16string from = JxFile::CombinePath(installed, u"$CUSTOMIZE.wpk");
    const std::u16string to = JxFile::CombinePath(destination, u"$CUSTOMIZE.wpk");
    if (CopyFileW(from.c_str(), to.c_str(), FALSE))
        log->Log(LP_INFO, kModule, context, u"File %s copied to %s.", from.c_str(), to.c_str());
    else
        log->Log(LP_WARNING, kModule, context, u"Failed to copy file %s to %s.", from.c_str(), to.c_str());
    JxFile::CopyDir(JxFile::CombinePath(installed, u"$CUSTOMIZE"),
                    JxFile::CombinePath(destination, u"$CUSTOMIZE"), true);
    log->Log(LOG_END, kModule, context, u"");
}

} // namespace JxSetup::Data
