// The install action of a customization: its files copied, its registry values written, its
// programs and the extra setups the user selected run, its temporary files removed again. The
// file is input from outside the product: names and folders pass the path guards first.
#include "jxbase/guards.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"
#include "jxvfs/VirtualFS.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

bool _custom_IsTrue(const std::u16string& text) {
    return jxtext::EqualsNoCase(text, u"true");
}

bool _custom_Is64(const std::u16string& platform) {
    return jxtext::FindNoCase(platform, u"x64") != std::u16string::npos;
}

} // namespace

// The target of a file row: its expanded destination joined with its name, or "" (logged) when
// the name is not a single name or the destination is not a resolved folder.
std::u16string JxData::_custom_FileTarget(const WCHAR* context, const JxCustomFile& row) {
    const std::u16string destination = ExpandProperties(row.destination);
    if (!IsSinglePathSegment(row.name) || !IsExpandedFolder(destination)) {
        GetLog()->Log(LP_ERROR, kModule, context,
                      u"The customized file %s to %s is refused: not a valid path.", row.name.c_str(),
                      destination.c_str());
        return u"";
    }
    return JxFile::CombinePath(destination, row.name);
}

bool JxData::Install_Customized_Files() {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::Install_Customized_Files";
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    for (const JxCustomFile& row : m_Customization.files) {
        const std::u16string target = _custom_FileTarget(context, row);
        if (target.empty())
            continue;
        log->Log(LP_INFO, kModule, context, u"Preparing to copy file %s to %s", row.name.c_str(),
                 target.c_str());
        JxFile::PrepareDestinationDirectory(ExpandProperties(row.destination));
        const std::u16string language = _custom_IsTrue(row.resource) ? GetCurrentLanguage() : u"";
        std::u16string source;
        bool copied = false;
        if (m_Customization.fromPackages) {
            log->Log(LP_INFO, kModule, context, u"Copy file using VFS");
            source = JxFile::CombinePath(JxFile::CombinePath(u"\\$CUSTOMIZE", language), row.name);
            if (!m_Vfs)
                continue;
            const int result = m_Vfs->CopyFile(source, target, 0);
            if (result == 0) {
                log->Log(LP_INFO, kModule, context, u"File %s copied successfully.", row.name.c_str());
                copied = true;
            } else if (result != -9) {
                log->Log(LP_ERROR, kModule, context, u"Error while copying file %s with errorcode %d",
                         target.c_str(), result);
                continue;
            }
        } else {
            source = JxFile::CombinePath(
                JxFile::CombinePath(JxFile::CombinePath(m_appDir, u"$CUSTOMIZE"), language), row.name);
            log->Log(LP_INFO, kModule, context, u"Copying file from %s", source.c_str());
            if (!JxFile::FileExists(source)) {
                log->Log(LP_ERROR, kModule, context, u"File not exist!");
                continue;
            }
            if (CopyFileW(source.c_str(), target.c_str(), FALSE)) {
                log->Log(LP_INFO, kModule, context, u"File %s copied successfully", row.name.c_str());
                copied = true;
            }
        }
        if (!copied)
            _custom_CopyAtReboot(context, source, target);
    }
    log->Log(LOG_END, kModule, context, u"true");
    return true;
}

// A target that could not be replaced now: the file goes to a free name beside it and is moved
// onto the target at the next restart.
void JxData::_custom_CopyAtReboot(const WCHAR* context, const std::u16string& source,
                                  const std::u16string& target) {
    JxLog* log = GetLog();
    std::u16string temporary = target + u".mvex";
    for (int counter = 1; JxFile::FileExists(temporary); ++counter)
        temporary += jxtext::ToText(counter);
    log->Log(LP_WARNING, kModule, context,
             u"Failed. File must be copied after reboot. Copying file %s to %s.", source.c_str(),
             temporary.c_str());
    if (m_Customization.fromPackages) {
        const int result = m_Vfs ? m_Vfs->CopyFile(source, temporary, 0) : -1;
        if (result != 0) {
            log->Log(LP_ERROR, kModule, context, u"Error while copying file %s with errorcode %d\n",
                     temporary.c_str(), result);
            return;
        }
    } else if (!CopyFileW(source.c_str(), temporary.c_str(), FALSE)) {
        log->Log(LP_ERROR, kModule, context, u"Failed to copy file to %s", temporary.c_str());
        return;
    }
    if (MoveFileExW(temporary.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT)) {
        log->Log(LP_INFO, kModule, context, u"Successfully scheduled file copy action using MoveFileEx.");
        SetRestart(true);
    } else {
        log->Log(LP_ERROR, kModule, context, u"Failed to copy file using MoveFileEx with error code %d",
                 GetLastError());
    }
}

bool JxData::Delete_Customized_Temporary_Files() {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::Delete_Customized_Temporary_Files";
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    for (const JxCustomFile& row : m_Customization.files) {
        if (!_custom_IsTrue(row.usetemporary))
            continue;
        const std::u16string target = _custom_FileTarget(context, row);
        if (target.empty())
            continue;
        log->Log(LP_INFO, kModule, context, u"Deleting file %s", row.name.c_str());
        if (DeleteFileW(target.c_str()))
            log->Log(LP_INFO, kModule, context, u"File deleted successfully.");
        else
            log->Log(LP_WARNING, kModule, context, u"Failed to delete file.");
    }
    log->Log(LOG_END, kModule, context, u"true");
    return true;
}

bool JxData::Install_Customized_Regkeys() {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::Install_Customized_Regkeys";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"");
    for (const JxCustomRegKey& row : m_Customization.registry) {
        JxRegValue value;
        value.root = row.root;
        value.key = row.key;
        value.valuename = row.valuename;
        value.type = row.type;
        value.value = row.value;
        value.plattform = row.platform;
        value.mode = u"i";
        value.overwriteonupdate = u"true";
        value.overwriteonupgrade = u"true";
        WriteRegistryObject(value, true);
    }
    GetLog()->Log(LOG_END, kModule, context, u"true");
    return true;
}

bool JxData::Execute_Customized_Apps() {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::Execute_Customized_Apps";
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    bool result = true;
    for (const JxCustomApp& row : m_Customization.applications) {
        DWORD timeout = kExecNoTimeLimit;
        if (!row.timeout.empty()) {
            const std::optional<long long> seconds = jxtext::TryParseInt(row.timeout);
            if (!seconds || *seconds < 0 || *seconds > 0x7FFFFFFF) {
                log->Log(LP_ERROR, kModule, context, u"Wrong time out format! %s", row.timeout.c_str());
                result = false;
                break;
            }
            timeout = static_cast<DWORD>(*seconds);
        }
        ExecAppWait(ExpandProperties(row.app), ExpandProperties(row.arg), false, _custom_IsTrue(row.hide),
                    _custom_IsTrue(row.wait), _custom_Is64(row.platform), timeout);
    }
    log->Log(LOG_END, kModule, context, u"%s", result ? u"true" : u"false");
    return result;
}

bool JxData::Install_Customized_ThirdPartyApps() {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::Install_Customized_ThirdPartyApps";
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    bool result = true;
    const std::u16string language = GetCurrentLanguage();
    for (const JxCustomSetup& row : m_Customization.setups) {
        if (!row.selected)
            continue;
        if (!IsSinglePathSegment(row.app)) {
            log->Log(LP_ERROR, kModule, context, u"The extra setup %s is refused: not a valid file name.",
                     row.app.c_str());
            result = false;
            continue;
        }
        const std::u16string arguments = ExpandProperties(row.arg);
        if (m_Customization.fromPackages) {
            if (!m_Vfs) {
                log->Log(LP_ERROR, kModule, context, u"App %s not found in VFS.", row.app.c_str());
                result = false;
                continue;
            }
            VFS_PREPARED_FILE* prepared = m_Vfs->PrepareForExecution(
                JxFile::CombinePath(JxFile::CombinePath(u"\\$CUSTOMIZE", language), row.app), nullptr, true);
            if (!prepared)
                continue;
            ExecAppWait(u"", u"\"" + prepared->diskPath + u"\" " + arguments, false, false, true, false,
                        kExecNoTimeLimit);
            m_Vfs->CleanupAfterExecution(prepared);
        } else {
            ExecAppWait(
                JxFile::CombinePath(
                    JxFile::CombinePath(JxFile::CombinePath(m_appDir, u"$CUSTOMIZE"), language), row.app),
                arguments, false, false, true, false, kExecNoTimeLimit);
        }
    }
    log->Log(LOG_END, kModule, context, u"%s", result ? u"true" : u"false");
    return result;
}

} // namespace JxSetup::Data
