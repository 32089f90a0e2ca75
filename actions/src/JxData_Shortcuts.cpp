// Shortcuts: the install run starts the setup program once per file row that defines a shortcut, as
// a child with "/_RunCreateShortcut" and the row's index; the child creates that one link in the
// common programs menu or on the common desktop.
#include <optional>

#include "jxbase/guards.h"
#include "jxbase/reg.h"
#include "jxplat/shlobj.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {

constexpr const WCHAR* kModule = u"lib";
constexpr const WCHAR* kCreateContext = u"JxSetup::Data::JxData::CreateShortcuts";
constexpr const WCHAR* kExternContext = u"JxSetup::Data::JxData::ExternCreateShortcut";
constexpr DWORD kChildTimeLimitSeconds = 300;

// The program that creates the shortcuts: the stored maintenance copy when it is complete, the
// packaged program beside a host process that runs the engine as a library, else this program.
std::u16string _sc_ProgramToStart(JxData& data) {
    JxLog* log = data.GetLog();
    std::u16string program = JxFile::CombinePath(data.m_appDir, data.m_ExeFileName);
    const std::u16string stored = JxFile::CombinePath(data.ExpandProperties(u"[CommonAppDataFolder]"),
                                                      u"Tolvane\\Setups", data.GetProductId());
    const std::u16string storedSetup = JxFile::CombinePath(stored, u"setup.exe");
    const std::u16string storedPackage = JxFile::CombinePath(stored, u"data.wpk");
    log->Log(LP_INFO, kModule, kCreateContext, u"Searching temporary stored setup: %s", storedSetup.c_str());
    log->Log(LP_INFO, kModule, kCreateContext, u"Searching temporary stored data.wpk: %s",
             storedPackage.c_str());
    if (JxFile::FileExists(storedSetup) && JxFile::FileExists(storedPackage))
        program = storedSetup;
    if (data.HasProgressCallback())
        program = JxFile::CombinePath(data.m_appDir, u"setup.exe");
    log->Log(LP_INFO, kModule, kCreateContext, u"szAppPath: %s", program.c_str());
    return program;
}

std::u16string _sc_ChildCommandLine(JxData& data, size_t index) {
    std::u16string line = u"/_RunCreateShortcut=\"true\" /_FileIndex=\"" +
                          jxtext::ToText(static_cast<unsigned long long>(index)) + u"\"";
    std::u16string withMount;
    data.AddMountExeArgument(withMount, line);
    line = withMount;
    line += u" /_Language=\"" + data.GetPropertyValue(u"SelectedLanguage") + u"\"";
    line += u" /INSTALLDIR=\"" + data.GetPropertyValue(u"INSTALLDIR") + u"\"";
    line += u" /_DoNotLog=\"true\" /_noInitDlg=\"true\"";
    return line;
}

// The folders the product installs into: every component's expanded destination and INSTALLDIR.
std::vector<std::u16string> _sc_ProductFolders(JxData& data) {
    std::vector<std::u16string> folders;
    const auto add = [&](const std::u16string& folder) {
        if (IsExpandedFolder(folder))
            folders.push_back(folder);
    };
    add(data.ExpandProperties(u"[INSTALLDIR]"));
    for (const JxFeature& feature : data.m_Features)
        for (const JxComponent& component : feature.components)
            add(data.ExpandProperties(component.destinationdir));
    return folders;
}

// The child's own switches: a parent property of such a name, handed over through the temporary
// settings, would override the child's command line.
constexpr const WCHAR* kChildSwitches[] = {u"_RunCreateShortcut", u"_FileIndex", u"_mountExe",
                                           u"_Language",          u"INSTALLDIR", u"_DoNotLog"};

void _sc_RemoveChildSwitchesFromTmpSettings(JxData& data) {
    const std::u16string key = u"JxSetup\\" + std::u16string(data.GetProductId()) + u"\\TmpSettings";
    for (const WCHAR* name : kChildSwitches)
        if (CReg::ValueExists(HKEY_CLASSES_ROOT, key.c_str(), name, 0) == 1)
            CReg::DeleteValueFromRegistry(HKEY_CLASSES_ROOT, key.c_str(), name, 0);
}

bool _sc_DescribeShortcut(JxData& data, const JxFile& row, const JxComponent& component,
                          JxShortcutDescription& description, const WCHAR* context) {
    JxLog* log = data.GetLog();
    description = JxShortcutDescription();
    description.m_strFile = data.ExpandProperties(row.scfile);
    if (description.m_strFile.empty())
        description.m_strFile = JxFile::CombinePath(data.ExpandProperties(component.destinationdir),
                                                    data.ExpandProperties(row.name));
    description.m_strLinkName = data.ExpandProperties(row.scname);
    description.m_strDescription = data.ExpandProperties(row.scdescription);
    description.m_nFolderIndex =
        row.sctarget == u"programs" ? CSIDL_COMMON_PROGRAMS : CSIDL_COMMON_DESKTOPDIRECTORY;
    description.m_strIconPath = data.ExpandProperties(row.sciconpath);
    if (description.m_strIconPath.empty())
        description.m_strIconPath = description.m_strFile;
    description.m_nIconIndex = static_cast<int>(jxtext::TryParseInt(row.sciconindex).value_or(0));
    description.m_strAppID = data.ExpandProperties(row.appid);

    // The link stays inside its shell folder (a program group below it is fine), and it points to a
    // file that the product installed.
    if (!IsPathInsideFolder(description.m_strLinkName)) {
        log->Log(LP_WARNING, kModule, context, u"Shortcut name %s is refused: it leaves the shell folder.",
                 description.m_strLinkName.c_str());
        return false;
    }
    bool inside = false;
    for (const std::u16string& folder : _sc_ProductFolders(data))
        inside = inside || IsFolderBelow(description.m_strFile, folder);
    if (!inside) {
        log->Log(LP_WARNING, kModule, context,
                 u"Shortcut %s is refused: its target %s is not in a folder of the product.",
                 description.m_strLinkName.c_str(), description.m_strFile.c_str());
        return false;
    }
    return true;
}

} // namespace

void JxData::CreateShortcuts(const JxSequenceAction& action) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kCreateContext, u"");
    const std::u16string program = _sc_ProgramToStart(*this);
    // The child indexes the same rows: it loads the definition that the stored setup carries.
    const std::vector<JxFile> rows = m_Files;
    for (size_t index = 0; index < rows.size(); ++index) {
        const JxFile& row = rows[index];
        if (row.scname.empty())
            continue;
        JxFeature feature;
        GetFeature(feature, row.featurename);
        const JxComponent component = GetComponentOfFeature(row.componentid, feature);
        if (jxtext::EqualsNoCase(component.extractaswpk, u"true")) {
            log->Log(LP_INFO, kModule, kCreateContext, u"Skip action of component: %s", component.id.c_str());
            continue;
        }
        if (!IsComponentToBeProcessed(component, feature, action, JxActivationPermissions{}) ||
            !FileExists(program))
            continue;
        JxShortcutDescription description;
        if (!_sc_DescribeShortcut(*this, row, component, description, kCreateContext))
            continue;
        const std::u16string commandLine = _sc_ChildCommandLine(*this, index);
        log->Log(LP_INFO, kModule, kCreateContext,
                 u"Running external app to create shortcut. Parent ProcessID = %d",
                 static_cast<int>(GetCurrentProcessId()));
        WriteAllTemporaryStoredProperties();
        _sc_RemoveChildSwitchesFromTmpSettings(*this);
        // The child's result is not the run's: a missing shortcut does not fail the installation.
        ExecAppWait(program, commandLine, false, true, true, false, kChildTimeLimitSeconds);
    }
    log->Log(LOG_END, kModule, kCreateContext, u"");
}

bool JxData::ExternCreateShortcut() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kExternContext, u"");
    const std::u16string indexText = ExpandProperties(u"[_FileIndex]");
    const std::u16string language = ExpandProperties(u"[_Language]");
    if (jxtext::EqualsNoCase(indexText, u"_FileIndex")) {
        log->Log(LOG_END, kModule, kExternContext, u"szIndex %s", indexText.c_str());
        return true;
    }
    if (jxtext::EqualsNoCase(language, u"_Language")) {
        log->Log(LOG_END, kModule, kExternContext, u"End: szLanguage %s\n", language.c_str());
        return true;
    }
    // An index that is no row of the list creates nothing and removes nothing; the support run
    // ends with its failure.
    const std::optional<long long> index = jxtext::TryParseInt(indexText);
    if (!index || *index < 0 || static_cast<unsigned long long>(*index) >= m_Files.size()) {
        log->Log(LP_ERROR, kModule, kExternContext, u"The file index \"%s\" names no file row (%d rows).",
                 indexText.c_str(), static_cast<int>(m_Files.size()));
        log->Log(LOG_END, kModule, kExternContext, u"false");
        return false;
    }
    SetCurrentLanguage(language);
    FixPRODUCTNAME();
    const JxFile row = m_Files[static_cast<size_t>(*index)];
    JxFeature feature;
    GetFeature(feature, row.featurename);
    const JxComponent component = GetComponentOfFeature(row.componentid, feature);
    JxShortcutDescription description;
    if (!_sc_DescribeShortcut(*this, row, component, description, kExternContext)) {
        log->Log(LOG_END, kModule, kExternContext, u"false");
        return false;
    }
    JxFile::DeleteShortcuts(description.m_nFolderIndex, description.m_strFile);
    log->Log(LP_INFO, kModule, kExternContext, u"Deleting shortcut %s of file %s succeeded.",
             description.m_strLinkName.c_str(), description.m_strFile.c_str());
    const std::u16string linkName = description.m_strLinkName;
    const std::u16string target = description.m_strFile;
    // A child that made no link did not do its job: its run ends with 1.
    const bool created = JxFile::CreateShortcut(description);
    if (created)
        log->Log(LP_INFO, kModule, kExternContext, u"Creating shortcut %s of file %s succeeded.",
                 linkName.c_str(), target.c_str());
    else
        log->Log(LP_WARNING, kModule, kExternContext, u"Creating shortcut %s of file %s failed.",
                 linkName.c_str(), target.c_str());
    log->Log(LOG_END, kModule, kExternContext, u"");
    return created;
}

} // namespace JxSetup::Data
