// Properties set from the definition's property actions and registry rows, and the languages to
// install.
#include "jxsetupdata/JxData.h"

#include "jxbase/reg.h"
#include "jxbase/secretmask.h"
#include "jxplat/text.h"
#include "jxplat/tlhelp32.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kSequenceContext = u"JxSetup::Data::JxData::SetPropertiesSequence";
const WCHAR* const kLanguagesContext = u"JxSetup::Data::JxData::SetInstallableLanguages";

// ExpandEnvironmentStringsW into a buffer of this many characters.
constexpr DWORD kExpandLimit = 260;

// Whether a process of this executable file name (ignoring case) runs on the machine.
bool IsProcessRunning(const std::u16string& exeName) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
         more = Process32NextW(snapshot, &entry))
        found = jxtext::EqualsNoCase(entry.szExeFile, exeName);
    CloseHandle(snapshot);
    return found;
}

} // namespace

void JxData::SetInstallableLanguages() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kLanguagesContext, u"");
    const std::u16string languages = GetPropertyValue(u"_InstallLanguages");
    if (!languages.empty()) {
        m_ProductInfo.languages = languages;
        SetProperty(u"Languages", languages, 1);
    }
    log->Log(LOG_END, kModule, kLanguagesContext, u"");
}

void JxData::SetPropertiesSequence() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kSequenceContext, u"");

    // The add-ons may need the support files beside them while they run.
    std::vector<std::u16string> supportFiles;
    ExtractSupportFiles(supportFiles);
    for (const JxSequenceEntry& row : m_PropertyActions) {
        // Rows of the shutdown and the start-up run elsewhere.
        if (jxtext::EqualsNoCase(row.shutdownaction, u"true") ||
            jxtext::EqualsNoCase(row.startupaction, u"true"))
            continue;
        const std::u16string argument = ExpandProperties(row.argument);
        log->Log(LP_INFO, kModule, kSequenceContext, u"Executing property action %s, %s, %s",
                 row.modulename.c_str(), row.functionname.c_str(), MaskProtectedArguments(argument).c_str());
        // Sets the properties the add-on answers; its result is its own.
        ExecuteAddOn(row.modulename, row.functionname, row.argument);
    }
    DeleteSupportFiles(supportFiles);

    for (const JxRegValue& row : m_RegValuesSetProperty) {
        if (row.setproperty.empty())
            continue;
        const HKEY root = GetRegistryRootFromName(row.root);
        log->Log(LP_INFO, kModule, kSequenceContext, u"Reading RegValue: %s => %s => %s (%s)",
                 row.key.c_str(), row.valuename.c_str(), row.type.c_str(), row.plattform.c_str());
        REGSAM view = 0;
        if (jxtext::FindNoCase(row.plattform, u"x64") != std::u16string::npos) {
            log->Log(LP_INFO, kModule, kSequenceContext, u"Using 64 bit...");
            view = KEY_WOW64_64KEY;
        }
        if (jxtext::EqualsNoCase(row.type, u"REG_SZ")) {
            SetProperty(row.setproperty,
                        CReg::GetStringFromRegistry(root, row.key.c_str(), row.valuename.c_str(), u"", view),
                        1);
        } else if (jxtext::EqualsNoCase(row.type, u"REG_EXPAND_SZ")) {
            const std::u16string raw =
                CReg::GetStringFromRegistry(root, row.key.c_str(), row.valuename.c_str(), u"", view);
            log->Log(LP_INFO, kModule, kSequenceContext, u"REG_EXPAND_SZ: %s", raw.c_str());
            WCHAR expanded[kExpandLimit] = {};
            const DWORD needed = ExpandEnvironmentStringsW(raw.c_str(), expanded, kExpandLimit);
            // A result that does not fit answers the size it would need.
            if (needed == 0 || needed > kExpandLimit) {
                log->Log(LP_WARNING, kModule, kSequenceContext, u"Error while expanding string.");
                continue;
            }
            log->Log(LP_INFO, kModule, kSequenceContext, u"Expanded string: %s", expanded);
            SetProperty(row.setproperty, expanded, 1);
        } else if (jxtext::EqualsNoCase(row.type, u"REG_DWORD")) {
            const DWORD value =
                CReg::GetIntFromRegistry(root, row.key.c_str(), row.valuename.c_str(), 0, view);
            SetProperty(row.setproperty, jxtext::ToText(static_cast<unsigned>(value)), 1);
        } else if (jxtext::EqualsNoCase(row.type, u"Key")) {
            SetProperty(row.setproperty, CReg::IsValidPath(root, row.key.c_str(), view) ? row.key : u"", 1);
        }
    }

    for (const JxFile& file : m_Files) {
        if (!jxtext::EqualsNoCase(file.start, u"true"))
            continue;
        const std::u16string name = ExpandProperties(file.name);
        if (IsProcessRunning(name))
            log->Log(LP_INFO, kModule, kSequenceContext, u"File %s was launched at begin of setup.",
                     name.c_str());
        else
            log->Log(LP_INFO, kModule, kSequenceContext, u"File %s wasn't launched at begin of setup.",
                     name.c_str());
    }
    log->Log(LOG_END, kModule, kSequenceContext, u"");
}

} // namespace JxSetup::Data
