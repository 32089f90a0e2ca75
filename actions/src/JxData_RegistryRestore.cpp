// Keeping values across an update: SearchRestoreRegValues saves the values of the restore list
// before the new values are written, RestoreRegValues writes them back afterwards, and
// RestoreSavedRegValuesIfPending writes them back when the run ended in between.
#include "JxData_Registry.h"

#include "jxbase/secretmask.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

constexpr WCHAR kSearch[] = u"JxSetup::Data::JxData::SearchRestoreRegValues";
constexpr WCHAR kRestore[] = u"JxSetup::Data::JxData::RestoreRegValues";
constexpr WCHAR kPending[] = u"JxSetup::Data::JxData::RestoreSavedRegValuesIfPending";

bool _reg_IsDword(const JxRegValue& row) {
    return jxtext::EqualsNoCase(row.type, u"REG_DWORD");
}

bool _reg_IsString(const JxRegValue& row) {
    return jxtext::EqualsNoCase(row.type, u"REG_SZ");
}

// The row that writes a saved value back: where and what, nothing else.
JxRegValue _reg_RestoreRow(const JxRegValue& saved) {
    JxRegValue row;
    row.root = saved.root;
    row.key = saved.key;
    row.valuename = saved.valuename;
    row.plattform = saved.plattform;
    row.type = saved.type;
    row.value = _reg_IsDword(saved) ? jxtext::ToText(static_cast<unsigned>(saved.m_NumericValue))
                                    : saved.m_StringValue;
    return row;
}

} // namespace

// The install mode says "Maintenance" or "Update"; "Update" is never set as an install mode (an
// update is a maintenance run with an update mode), so in effect this is "Maintenance" only.
bool _reg_IsRestoreMode(JxData& data) {
    const std::u16string mode = data.GetInstallMode();
    return jxtext::EqualsNoCase(mode, u"Maintenance") || jxtext::EqualsNoCase(mode, u"Update");
}

void JxData::SearchRestoreRegValues(const JxSequenceAction& action) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kRegModule, kSearch, u"");
    if (!_reg_IsRestoreMode(*this)) {
        log->Log(LOG_END, kRegModule, kSearch, u"");
        return;
    }
    for (JxRegValue& row : m_RegValuesRestore) {
        row.m_Found = 0;
        row.m_StringValue.clear();
        row.m_NumericValue = 0;
        if (!_reg_IsComponentProcessed(*this, row, action, JxActivationPermissions(), false, kSearch))
            continue;
        if (!_reg_IsDword(row) && !_reg_IsString(row)) {
            // Only texts and numbers can be saved; anything else would come back empty.
            log->Log(LP_WARNING, kRegModule, kSearch,
                     u"Type %s can't be restored. Root: %s Key: %s Subkey: %s", row.type.c_str(),
                     row.root.c_str(), row.key.c_str(), row.valuename.c_str());
            continue;
        }
        const HKEY root = GetRegistryRootFromName(row.root);
        // Without "x64" the row is read where it is tested and written: the default view.
        const REGSAM view = _reg_Is64(row) ? REGSAM{KEY_WOW64_64KEY} : REGSAM{0};
        if (!CReg::ValueExists(root, row.key.c_str(), row.valuename.c_str(), view))
            continue;
        row.m_Found = 1;
        if (_reg_IsDword(row))
            row.m_NumericValue = static_cast<int32_t>(
                CReg::GetIntFromRegistry(root, row.key.c_str(), row.valuename.c_str(), 0, view));
        else
            row.m_StringValue =
                CReg::GetStringFromRegistry(root, row.key.c_str(), row.valuename.c_str(), u"", view);
        m_RegValuesRestorePending = true;
        log->Log(LP_INFO, kRegModule, kSearch,
                 u"Found existing value. Root: %s Key: %s Subkey: %s StringValue: %s NumericValue: %d",
                 row.root.c_str(), row.key.c_str(), row.valuename.c_str(),
                 MaskProtectedArguments(row.m_StringValue).c_str(), row.m_NumericValue);
    }
    log->Log(LOG_END, kRegModule, kSearch, u"");
}

void JxData::RestoreRegValues(const JxSequenceAction& action) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kRegModule, kRestore, u"");
    if (!_reg_IsRestoreMode(*this)) {
        log->Log(LOG_END, kRegModule, kRestore, u"Not in Maintenance, Update or Upgrade mode");
        return;
    }
    m_RegValuesRestorePending = false;
    const std::vector<JxRegValue> rows = m_RegValuesRestore;
    for (const JxRegValue& row : rows) {
        if (!_reg_IsComponentProcessed(*this, row, action, JxActivationPermissions(), false, kRestore))
            continue;
        if (!row.installcondition.empty() && !GetConditionResult(row.installcondition))
            continue;
        if (row.m_Found)
            WriteRegistryObject(_reg_RestoreRow(row), true);
    }
    log->Log(LOG_END, kRegModule, kRestore, u"");
}

void JxData::RestoreSavedRegValuesIfPending() {
    CJxDataLock lock(*this);
    if (!m_RegValuesRestorePending)
        return;
    m_RegValuesRestorePending = false;
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kRegModule, kPending, u"");
    log->Log(LP_WARNING, kRegModule, kPending,
             u"The run ended before the saved registry values were restored.");
    const std::vector<JxRegValue> rows = m_RegValuesRestore;
    for (const JxRegValue& row : rows) {
        if (!row.m_Found)
            continue;
        if (!row.installcondition.empty() && !GetConditionResult(row.installcondition))
            continue;
        WriteRegistryObject(_reg_RestoreRow(row), true);
    }
    log->Log(LOG_END, kRegModule, kPending, u"");
}

} // namespace JxSetup::Data
