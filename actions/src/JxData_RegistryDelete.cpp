// Removing the definition's registry rows: DeleteRegValues, DeleteRegValuesOnUpdate and
// DeleteRegistyObject.
#include "JxData_Registry.h"

#include "jxbase/reg.h"
#include "jxbase/regkey.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

constexpr WCHAR kDeleteValues[] = u"JxSetup::Data::JxData::DeleteRegValues";
constexpr WCHAR kDeleteOnUpdate[] = u"JxSetup::Data::JxData::DeleteRegValuesOnUpdate";
constexpr WCHAR kDelete[] = u"JxSetup::Data::JxData::DeleteRegistyObject";
constexpr DWORD kRegEnumNameChars = 16383;

// Removes root\key with every sub-key: the leaf is deleted from its parent (a key without "\"
// is a top-level key of the root).
void _reg_DeleteKeyTree(JxLog* log, HKEY root, const std::u16string& key, REGSAM access) {
    const size_t slash = key.rfind(u'\\');
    const std::u16string parent = slash == std::u16string::npos ? std::u16string() : key.substr(0, slash);
    const std::u16string leaf = slash == std::u16string::npos ? key : key.substr(slash + 1);
    CRegKeyEx parentKey(root, parent.c_str(), access);
    if (parentKey.Status() != ERROR_SUCCESS) {
        log->Log(LP_WARNING, kRegModule, kDelete, u"Opening regkey %s failed.", parent.c_str());
        return;
    }
    if (parentKey.RecurseDeleteKey(leaf.c_str()) == ERROR_SUCCESS)
        log->Log(LP_INFO, kRegModule, kDelete, u"Deleting SubKey %s succeeded.", leaf.c_str());
    else
        log->Log(LP_WARNING, kRegModule, kDelete, u"Deleting SubKey %s failed.", leaf.c_str());
    parentKey.Close();
}

std::u16string _reg_ReplaceAll(std::u16string text, std::u16string_view token, const std::u16string& by) {
    for (size_t at = text.find(token); at != std::u16string::npos; at = text.find(token, at + by.size()))
        text.replace(at, token.size(), by);
    return text;
}

} // namespace

void JxData::DeleteRegValues(const JxSequenceAction& action) {
    CJxDataLock lock(*this);
    GetLog()->Log(LOG_BEGIN, kRegModule, kDeleteValues, u"");
    // Counting the steps leaves the machine as it is: no hive is loaded then.
    const bool loadHives = !IsCountingProcessSteps();
    if (loadHives)
        LoadUserProfiles();
    const std::vector<JxRegValue> rows = m_RegValuesUninstall;
    for (const JxRegValue& row : rows) {
        JxActivationPermissions permissions;
        permissions.m_bEnableFeature = row.enablefeature;
        permissions.m_bDisableFeature = row.disablefeature;
        if (_reg_IsComponentProcessed(*this, row, action, permissions, true, kDeleteValues))
            DeleteRegistyObject(row, false);
    }
    if (loadHives)
        UnloadUserProfiles();
    GetLog()->Log(LOG_END, kRegModule, kDeleteValues, u"");
}

void JxData::DeleteRegValuesOnUpdate() {
    CJxDataLock lock(*this);
    GetLog()->Log(LOG_BEGIN, kRegModule, kDeleteOnUpdate, u"");
    const std::vector<JxRegValue> rows = m_RegValuesDeleteOnUpdate;
    for (const JxRegValue& row : rows)
        DeleteRegistyObject(row, true);
    GetLog()->Log(LOG_END, kRegModule, kDeleteOnUpdate, u"");
}

void JxData::DeleteRegistyObject(const JxRegValue& row, bool force) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kRegModule, kDelete, u"Root: %s Key: %s Subkey: %s", row.root.c_str(),
             row.key.c_str(), row.valuename.c_str());
    const bool passes = row.mode.find(u'u') != std::u16string::npos &&
                        (row.deinstallcondition.empty() || GetConditionResult(row.deinstallcondition));
    if (!passes && !force) {
        log->Log(LOG_END, kRegModule, kDelete, u"");
        return;
    }
    // Without a key the row would name the root itself (or a value directly in it); an unknown root
    // is no reason to act on HKEY_LOCAL_MACHINE.
    const std::u16string fault = GetRegistryRowFault(row, false);
    if (!fault.empty()) {
        log->Log(LP_WARNING, kRegModule, kDelete, u"Registry row %s is refused: %s. Nothing removed.",
                 DescribeRegistryRow(row).c_str(), fault.c_str());
        log->Log(LOG_END, kRegModule, kDelete, u"");
        return;
    }
    const HKEY root = GetRegistryRootFromName(row.root);
    const REGSAM access = _reg_WriteAccess(row);

    if (!row.valuename.empty()) {
        // "$SSID$" is replaced only for whole keys; a value row keeps the token as written.
        CReg::DeleteValueFromRegistry(root, row.key.c_str(), row.valuename.c_str(), _reg_View(access));
    } else if (root == HKEY_USERS) {
        // Every loaded hive: logged-on users, hives loaded by LoadUserProfiles, system accounts.
        HKEY users = nullptr;
        if (RegOpenKeyExW(HKEY_USERS, u"", 0, KEY_READ, &users) == ERROR_SUCCESS) {
            std::vector<WCHAR> name(kRegEnumNameChars + 1);
            for (DWORD index = 0;; ++index) {
                DWORD length = kRegEnumNameChars;
                if (RegEnumKeyExW(users, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
                    ERROR_SUCCESS)
                    break;
                const std::u16string sid(name.data(), length);
                _reg_DeleteKeyTree(log, root, _reg_ReplaceAll(row.key, u"$SSID$", sid), access);
            }
            RegCloseKey(users);
        }
    } else {
        _reg_DeleteKeyTree(log, root, row.key, access);
    }
    log->Log(LOG_END, kRegModule, kDelete, u"");
}

} // namespace JxSetup::Data
