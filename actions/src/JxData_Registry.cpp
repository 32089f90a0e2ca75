// Writing the definition's registry rows: AddRegValues and WriteRegistryObject.
#include "JxData_Registry.h"

#include "jxbase/secretmask.h"
#include "jxbase/reg.h"
#include "jxbase/win32errortext.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

constexpr WCHAR kAdd[] = u"JxSetup::Data::JxData::AddRegValues";
constexpr WCHAR kWrite[] = u"JxSetup::Data::JxData::WriteRegistryObject";

bool _reg_OverwriteDecision(const JxData& data, const JxRegValue& row) {
    if (data.m_UpdateMode == 1)
        return jxtext::EqualsNoCase(row.overwriteonupdate, u"true");
    if (data.m_UpdateMode == 2)
        return jxtext::EqualsNoCase(row.overwriteonupgrade, u"true");
    return true;
}

} // namespace

REGSAM _reg_WriteAccess(const JxRegValue& row) {
    return _reg_Is64(row) ? REGSAM{KEY_ALL_ACCESS | KEY_WOW64_64KEY} : REGSAM{KEY_ALL_ACCESS};
}

bool _reg_Is64(const JxRegValue& row) {
    return row.plattform.find(u"x64") != std::u16string::npos;
}

bool _reg_IsComponentProcessed(JxData& data, const JxRegValue& row, const JxSequenceAction& action,
                               JxActivationPermissions permissions, bool skipExtractAsWpk,
                               const WCHAR* context) {
    JxFeature feature;
    data.GetFeature(feature, row.featurename);
    const JxComponent component = data.GetComponentOfFeature(row.componentid, feature);
    if (skipExtractAsWpk && jxtext::EqualsNoCase(component.extractaswpk, u"true")) {
        data.GetLog()->Log(LP_INFO, kRegModule, context, u"Skip action of component: %s",
                           row.componentid.c_str());
        return false;
    }
    return data.IsComponentToBeProcessed(component, feature, action, permissions);
}

void JxData::AddRegValues(const JxSequenceAction& action) {
    CJxDataLock lock(*this);
    GetLog()->Log(LOG_BEGIN, kRegModule, kAdd, u"");
    const std::vector<JxRegValue> rows = m_RegValuesInstall;
    for (const JxRegValue& row : rows) {
        JxActivationPermissions permissions;
        permissions.m_bEnableFeature = row.enablefeature;
        permissions.m_bDisableFeature = row.disablefeature;
        if (_reg_IsComponentProcessed(*this, row, action, permissions, true, kAdd) &&
            !WriteRegistryObject(row, false)) {
            // A row the registry refused is the action's failure: the run ends with its failure path.
            m_SequenceData.FailAction(action.m_Name, u"Registry row " + DescribeRegistryRow(row) +
                                                         u" could not be written.");
            break;
        }
    }
    GetLog()->Log(LOG_END, kRegModule, kAdd, u"");
}

bool JxData::WriteRegistryObject(const JxRegValue& row, bool force) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kRegModule, kWrite, u"Root: %s Key: %s Subkey: %s Type: %s Value: %s",
             row.root.c_str(), row.key.c_str(), row.valuename.c_str(), row.type.c_str(), row.value.c_str());
    // Rows the engine builds itself pass the checks of the definition's rows too.
    const std::u16string fault = GetRegistryRowFault(row, true);
    if (!fault.empty()) {
        log->Log(LP_WARNING, kRegModule, kWrite, u"Registry row %s is refused: %s.",
                 DescribeRegistryRow(row).c_str(), fault.c_str());
        log->Log(LOG_END, kRegModule, kWrite, u"");
        return true;
    }
    bool overwrite = _reg_OverwriteDecision(*this, row);
    const HKEY root = GetRegistryRootFromName(row.root);
    const REGSAM access = _reg_WriteAccess(row);
    const REGSAM view = _reg_View(access);
    if (_reg_Is64(row))
        log->Log(LP_INFO, kRegModule, kWrite, u"Using 64 bit...");

    const bool passes = row.mode.find(u'i') != std::u16string::npos &&
                        (row.installcondition.empty() || GetConditionResult(row.installcondition));
    if (!passes && !force) {
        log->Log(LOG_END, kRegModule, kWrite, u"");
        return true;
    }
    if (force)
        overwrite = true;

    const WCHAR* key = row.key.c_str();
    const WCHAR* name = row.valuename.c_str();
    bool keep = false;
    LONG status = ERROR_SUCCESS;
    if (!overwrite) {
        if (jxtext::EqualsNoCase(row.type, u"Key")) {
            HKEY opened = nullptr;
            if (RegOpenKeyExW(root, key, 0, access, &opened) == ERROR_SUCCESS) {
                RegCloseKey(opened);
                log->Log(LOG_END, kRegModule, kWrite, u"Key already exist");
                keep = true;
            }
        } else if (CReg::ValueExists(root, key, name, view)) {
            log->Log(LOG_END, kRegModule, kWrite, u"Value already exist");
            keep = true;
        }
    }

    if (!keep && IsRegistryCounterRow(row)) {
        log->Log(LOG_END, kRegModule, kWrite, u"Counter %s is kept by the settings.",
                 DescribeRegistryRow(row).c_str());
        keep = true;
    }
    if (!keep) {
        DWORD number = 0;
        if (row.type == u"REG_DWORD" && !ParseRegistryDword(ExpandProperties(row.value), number)) {
            // Never a made-up 0 in its place: the row is refused, the value stays as it is.
            log->Log(LP_WARNING, kRegModule, kWrite,
                     u"Failed to cast to numeric value: %s. Registry row %s is refused.",
                     MaskProtectedArguments(ExpandProperties(row.value)).c_str(),
                     DescribeRegistryRow(row).c_str());
            log->Log(LOG_END, kRegModule, kWrite, u"");
            return true;
        }
        if (row.type == u"REG_DWORD") {
            status = CReg::PutIntToRegistry(root, key, name, number, view);
            const DWORD stored = CReg::GetIntFromRegistry(root, key, name, 0, view);
            if (status == ERROR_SUCCESS && stored != number)
                log->Log(LP_ERROR, kRegModule, kWrite,
                         u"Failed to create reg value of type DWORD. Configured value: %d. Stored value: %d",
                         number, stored);
        } else if (row.type == u"REG_SZ") {
            const std::u16string text = ExpandProperties(row.value);
            status = CReg::PutStringToRegistry(root, key, name, text, CRegStringType::Sz, view);
            const std::u16string stored = CReg::GetStringFromRegistry(root, key, name, u"", view);
            if (status == ERROR_SUCCESS && !jxtext::EqualsNoCase(stored, text))
                log->Log(LP_ERROR, kRegModule, kWrite,
                         u"Failed to create reg value of type string. Configured value: %s. Stored value: %s",
                         MaskProtectedArguments(text).c_str(), MaskProtectedArguments(stored).c_str());
        } else if (row.type == u"REG_MULTI_SZ") {
            // The whole expanded text is one string of the list, separators and all.
            const std::u16string text = ExpandProperties(row.value);
            if (!CReg::PutMultiStringToRegistryVec(root, key, name, {text}, view))
                status = static_cast<LONG>(GetLastError());
        } else if (row.type == u"Key") {
            HKEY created = nullptr;
            status = RegCreateKeyExW(root, key, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                     &created, nullptr);
            if (status == ERROR_SUCCESS)
                RegCloseKey(created);
        }
        if (status != ERROR_SUCCESS) {
            log->Log(LP_ERROR, kRegModule, kWrite, u"Registry row %s could not be written: %s",
                     DescribeRegistryRow(row).c_str(),
                     CWin32ErrorText(static_cast<DWORD>(status), CWin32ErrorText::PrefixCode).c_str());
            log->Log(LOG_END, kRegModule, kWrite, u"");
            return false;
        }
    }

    PatchRegkeyAcl(root, row.key, access);
    if (!keep)
        log->Log(LOG_END, kRegModule, kWrite, u"");
    return true;
}

} // namespace JxSetup::Data
