// The product name when the definition has no text for it in the current language: the name of
// this product in the requirements' product list. A customized installed product keeps its name.
#include "jxsetupdata/JxData.h"

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kContext = u"JxSetup::Data::JxData::FixPRODUCTNAME";
const WCHAR* const kMissingName = u"REP_PRODUCTNAME";

// The name is missing when it reads as the text's name: bare, or as the reference "@REP_PRODUCTNAME"
// that an expansion leaves when the language has no such text.
bool _name_IsMissing(const std::u16string& value) {
    const std::u16string_view name = !value.empty() && value[0] == u'@' ? std::u16string_view(value).substr(1)
                                                                        : std::u16string_view(value);
    return jxtext::EqualsNoCase(name, kMissingName);
}

} // namespace

void JxData::FixPRODUCTNAME() {
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kContext, u"");
    CJxDataLock lock(*this);

    const std::u16string productName = ExpandProperties(u"[PRODUCTNAME]");
    if (_name_IsMissing(productName)) {
        log->Log(LP_WARNING, kModule, kContext, u"Error while getting value of [PRODUCTNAME]");
        const std::u16string language = m_Properties.GetLanguage();
        for (const JxProductCode& product : m_Requirements.m_ProductCodes) {
            if (!jxtext::EqualsNoCase(product.guid, m_ProductInfo.productid))
                continue;
            log->Log(HP_INFO, kModule, kContext, u"Using [PRODUCTNAME]'s fallback value %s",
                     product.name.c_str());
            m_Properties.AddText(kMissingName, product.name, language);
        }
        if (_name_IsMissing(GetPropertyValue(u"_ATPRODUCTNAME")))
            SetProperty(u"_ATPRODUCTNAME", ExpandProperties(u"[PRODUCTNAME]"), 1);
    } else if (jxtext::EqualsNoCase(GetPropertyValue(u"_InstalledProductIsCustomized"), u"true") &&
               !GetPropertyValue(u"_ATPRODUCTNAME").empty()) {
        log->Log(LP_INFO, kModule, kContext, u"Installed product is customized. Using old productname");
        SetProperty(u"PRODUCTNAME", GetPropertyValue(u"_ATPRODUCTNAME"), 1);
    }

    log->Log(LOG_END, kModule, kContext, u"");
}

} // namespace JxSetup::Data
