// The current language of the run: chosen from an explicit language, the installed product's
// language or the user's Windows language, and the language lists read by the GUI and the files.
#include "jxsetupdata/JxData.h"

#include "jxbase/reg.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

bool _lang_IsOneOf(const std::vector<std::u16string>& languages, const std::u16string& language) {
    for (const std::u16string& entry : languages)
        if (jxtext::EqualsNoCase(entry, language))
            return true;
    return false;
}

} // namespace

void JxData::SetCurrentLanguage(const std::u16string& language) {
    const WCHAR* context = u"JxSetup::Data::JxData::SetCurrentLanguage";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"%s", language.c_str());

    std::vector<std::u16string> languages;
    GetProductLanguages(languages);
    if (!language.empty()) {
        // The given text itself, not the product's spelling of it.
        m_Properties.SetLanguage(_lang_IsOneOf(languages, language) ? language : languages.front());
    } else if (!_lang_FromInstalledProduct(languages) && !_lang_FromWindowsLanguage(languages)) {
        m_Properties.SetLanguage(languages.front());
        SetProperty(u"SelectedLanguage", languages.front(), 1);
    }

    if (ExpandProperties(u"[_ATPRODUCTNAME]").empty())
        SetProperty(u"_ATPRODUCTNAME", ExpandProperties(u"[PRODUCTNAME]"), 1);
    log->Log(LOG_END, kModule, context, u"%s", m_Properties.GetLanguage().c_str());
}

bool JxData::_lang_FromInstalledProduct(const std::vector<std::u16string>& languages) {
    if (languages.size() < 2 || m_Requirements.m_InstalledLanguageKey.empty())
        return false;
    const std::u16string installed =
        CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, m_Requirements.m_InstalledLanguageKey.c_str(),
                                    m_Requirements.m_InstalledLanguageSubKey.c_str(), u"", 0);
    if (installed.empty())
        return false;
    for (const JxTextPair& row : m_Requirements.m_LanguageCodes) {
        if (!jxtext::EqualsNoCase(row.first, installed))
            continue;
        m_Properties.SetLanguage(row.second);
        if (_lang_IsOneOf(languages, row.second))
            return true;
        // The installed product speaks a language this setup does not have.
        SetProperty(u"_SetUpdateLang", u"true", 1);
        return false;
    }
    return false;
}

bool JxData::_lang_FromWindowsLanguage(const std::vector<std::u16string>& languages) {
    const std::u16string langId = IntToWString(GetUserDefaultLangID());
    for (const std::u16string& language : languages) {
        const std::u16string codes = ExpandPropertiesForLanguage(u"[LANGUAGECODES]", language);
        // Containment, as the definitions were written for it: "10310" selects 1031 too.
        if (jxtext::FindNoCase(codes, langId) == std::u16string::npos)
            continue;
        m_Properties.SetLanguage(language);
        SetProperty(u"SelectedLanguage", language, 1);
        GetLog()->Log(LP_INFO, kModule, u"JxSetup::Data::JxData::SetCurrentLanguage",
                      u"OS language matched (%s). Setting current language to %s.", codes.c_str(),
                      language.c_str());
        return true;
    }
    return false;
}

void JxData::ApplyProductLanguage() {
    CJxDataLock lock(*this);
    m_Properties.SetLanguage(m_ProductInfo.languages);
    SetProperty(u"SelectedLanguage", m_Properties.GetLanguage(), 1);
}

std::u16string JxData::GetCurrentLanguage() {
    return m_Properties.GetLanguage();
}

void JxData::GetProductLanguages(std::vector<std::u16string>& out) {
    out = jxtext::Split(m_ProductInfo.languages, u',');
}

void JxData::GetInstalledLanguageIsoCodes(std::vector<std::u16string>& out) {
    out.clear();
    for (const JxTextPair& row : m_Requirements.m_LanguageCodes)
        out.push_back(row.second);
}

} // namespace JxSetup::Data
