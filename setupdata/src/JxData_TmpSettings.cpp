// The property set handed to a relaunched engine process: HKEY_CLASSES_ROOT
// "JxSetup\<product id>\TmpSettings", written before the relaunch and read (then deleted) by the
// new process.
#include "jxsetupdata/JxData.h"

#include "JxData_SettingsRegistry.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kWriteContext = u"JxSetup::Data::JxData::WriteAllTemporaryStoredProperties";
const WCHAR* const kReadContext = u"JxSetup::Data::JxData::ReadAllTemporaryStoredProperties";

// The relaunched process receives these on its own command line.
bool IsCommandLineSwitch(const std::u16string& name) {
    return jxtext::EqualsNoCase(name, u"_noUAC") || jxtext::EqualsNoCase(name, u"_cuRestart") ||
           jxtext::EqualsNoCase(name, u"_noInitDlg");
}

} // namespace

void JxData::WriteAllTemporaryStoredProperties() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kWriteContext, u"");
    if (_settings_HasProductId(kWriteContext)) {
        CSettingsKey key;
        const LSTATUS created = key.Create(
            HKEY_CLASSES_ROOT, ProductSettingsKey(m_ProductInfo.productid, u"TmpSettings"), KEY_WRITE);
        if (created != ERROR_SUCCESS) {
            log->Log(LP_ERROR, kModule, kWriteContext, u"The key TmpSettings can't be created (error %ld).",
                     created);
        } else {
            // Values as the store holds them: protected ones stay scrambled.
            for (const auto& [name, value] : GetAllProperties()) {
                if (IsCommandLineSwitch(name))
                    continue;
                const LSTATUS written = WriteSettingsString(key.Get(), name, value);
                if (written != ERROR_SUCCESS)
                    log->Log(LP_ERROR, kModule, kWriteContext,
                             u"The property %s can't be stored (error %ld).", name.c_str(), written);
            }
        }
    }
    log->Log(LOG_END, kModule, kWriteContext, u"");
}

void JxData::ReadAllTemporaryStoredProperties() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kReadContext, u"");
    if (!_settings_HasProductId(kReadContext)) {
        log->Log(LOG_END, kModule, kReadContext, u"");
        return;
    }
    {
        CSettingsKey key;
        if (key.Open(HKEY_CLASSES_ROOT, ProductSettingsKey(m_ProductInfo.productid, u"TmpSettings"),
                     KEY_READ) == ERROR_SUCCESS) {
            // Stored as the store held them: scrambling them again would garble protected values.
            for (const std::u16string& name : ReadSettingsValueNames(key.Get()))
                SetProperty(name, ReadSettingsString(key.Get(), name), 0);
            // The restart decisions belong to the process that made them.
            SetProperty(u"_IgnoreReboot", u"", 1);
            SetProperty(u"_PerformRestart", u"", 1);
            SetProperty(u"_PerformRestartConfirmed", u"", 1);
            SetUpdateMode(GetPropertyValue(u"_UPUpdateMode"));
        }
    }
    CReg::DeleteKeyFromRegistry(HKEY_CLASSES_ROOT, ProductSettingsKey(m_ProductInfo.productid).c_str(),
                                u"TmpSettings", 0);
    log->Log(LOG_END, kModule, kReadContext, u"");
}

} // namespace JxSetup::Data
