// Reconfiguration files: properties and localised texts that an administrator or an earlier run
// leaves beside the setup, in the product's maintenance folder or in a package.
#include "jxsetupdata/JxData.h"

#include "JxData_FileMetaRows.h"
#include "jxbase/secretmask.h"
#include "jxplat/shlobj.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kLoadContext = u"JxSetup::Data::JxData::LoadPropertiesFromReconfig";
const WCHAR* const kMergeContext = u"JxSetup::Data::JxData::MergePropertiesFromReconfig";
const WCHAR* const kReconfigName = u"setup.reconfig";
const WCHAR* const kPackagedReconfig = u"\\$RECONFIG\\reconfig.xml";

bool IsNameChar(char16_t c) {
    return c != u' ' && c != u'\t' && c != u'\r' && c != u'\n' && c != u'=' && c != u'>' && c != u'/';
}

struct CRawAttribute {
    std::u16string_view name;
    size_t valueBegin = 0; // offsets into the whole text
    size_t valueEnd = 0;
};

// The attributes of the start tag at text[begin] ('<'); end receives the offset after its '>'.
std::vector<CRawAttribute> _reconfig_ScanTag(const std::u16string& text, size_t begin, size_t& end) {
    std::vector<CRawAttribute> attributes;
    size_t at = begin + 1;
    while (at < text.size() && IsNameChar(text[at]))
        ++at; // the element name
    while (at < text.size() && text[at] != u'>') {
        if (!IsNameChar(text[at])) {
            ++at;
            continue;
        }
        const size_t nameBegin = at;
        while (at < text.size() && IsNameChar(text[at]))
            ++at;
        CRawAttribute attribute;
        attribute.name = std::u16string_view(text).substr(nameBegin, at - nameBegin);
        while (at < text.size() &&
               (text[at] == u' ' || text[at] == u'\t' || text[at] == u'\r' || text[at] == u'\n'))
            ++at;
        if (at >= text.size() || text[at] != u'=')
            continue;
        ++at;
        while (at < text.size() &&
               (text[at] == u' ' || text[at] == u'\t' || text[at] == u'\r' || text[at] == u'\n'))
            ++at;
        if (at >= text.size() || (text[at] != u'"' && text[at] != u'\''))
            continue;
        const char16_t quote = text[at++];
        attribute.valueBegin = at;
        while (at < text.size() && text[at] != quote)
            ++at;
        attribute.valueEnd = at;
        if (at < text.size())
            ++at;
        attributes.push_back(attribute);
    }
    end = at < text.size() ? at + 1 : at;
    return attributes;
}

// The document text for the log: the value of every element whose name attribute is a protected
// property name is masked, so that secrets never reach the log in clear.
std::u16string _reconfig_MaskProtectedValues(const std::u16string& text) {
    std::u16string out;
    out.reserve(text.size());
    size_t copied = 0;
    size_t at = 0;
    while ((at = text.find(u'<', at)) != std::u16string::npos) {
        if (at + 1 >= text.size() || text[at + 1] == u'!' || text[at + 1] == u'?' || text[at + 1] == u'/') {
            ++at;
            continue;
        }
        size_t end = 0;
        const std::vector<CRawAttribute> attributes = _reconfig_ScanTag(text, at, end);
        bool isProtected = false;
        for (const CRawAttribute& attribute : attributes) {
            if (attribute.name == u"name") {
                const std::u16string name(text, attribute.valueBegin,
                                          attribute.valueEnd - attribute.valueBegin);
                isProtected = isProtected || IsProtectedPropertyName(PropertyCache::StripLockPrefix(name));
            }
        }
        if (isProtected) {
            for (const CRawAttribute& attribute : attributes) {
                if (attribute.name != u"value" || attribute.valueEnd == attribute.valueBegin)
                    continue;
                out.append(text, copied, attribute.valueBegin - copied);
                out.append(kMaskedSecret);
                copied = attribute.valueEnd;
            }
        }
        at = end > at ? end : at + 1;
    }
    out.append(text, copied, std::u16string::npos);
    return out;
}

} // namespace

std::u16string JxData::_settings_CommonAppDataFolder() {
    std::u16string folder = GetPropertyValue(u"CommonAppDataFolder");
    if (!folder.empty())
        return folder;
    // Before the system properties are set: the folder they would set.
    WCHAR path[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)))
        folder = path;
    else
        GetLog()->Log(LP_ERROR, kModule, u"JxSetup::Data::JxData::_settings_CommonAppDataFolder",
                      u"The common application data folder is unknown.");
    return folder;
}

void JxData::LoadPropertiesFromReconfig() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kLoadContext, u"");

    std::u16string text;
    GetXMLContentFromFile(text, std::u16string(u"\\$CONFIG\\") + kReconfigName, true);
    MergePropertiesFromReconfig(text);

    const std::u16string besideModule = m_appDir + kReconfigName;
    if (_disk_FileExists(besideModule)) {
        GetXMLContentFromFile(text, besideModule, false);
        MergePropertiesFromReconfig(text);
    }

    // Without a product id the path would name the folder shared by all products.
    const std::u16string productId = m_ProductInfo.productid;
    const std::u16string commonAppData = _settings_CommonAppDataFolder();
    if (!productId.empty() && !commonAppData.empty()) {
        const std::u16string maintenance =
            JoinWindowsPath({commonAppData, u"Tolvane\\Setups", productId, kReconfigName});
        if (_disk_FileExists(maintenance)) {
            GetXMLContentFromFile(text, maintenance, false);
            MergePropertiesFromReconfig(text);
        }
    }

    if (m_Vfs && m_ReadPackagedFile) {
        std::string probe;
        if (m_ReadPackagedFile(*m_Vfs, kPackagedReconfig, probe) != JxPackagedRead::NotFound) {
            log->Log(LP_INFO, kModule, kLoadContext, u"Reading file: %s", kPackagedReconfig);
            GetXMLContentFromFile(text, kPackagedReconfig, true);
            MergePropertiesFromReconfig(text);
        }
    }
    log->Log(LOG_END, kModule, kLoadContext, u"");
}

void JxData::MergePropertiesFromReconfig(const std::u16string& xml) {
    if (xml.empty())
        return;
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kMergeContext, u"Source %s", _reconfig_MaskProtectedValues(xml).c_str());

    CXMLDOMDocument document;
    CXMLDOMElement root;
    if (document.Create())
        root = document.LoadXml(xml.c_str());
    if (!root.IsEmpty()) {
        ForEachSectionRow(root.GetFirstChildByName(u"Properties"), u"Property",
                          [this](const CXMLDOMNode& row) {
                              SetProperty(row.GetAttribute(u"name"), row.GetAttribute(u"value"), 1);
                          });
        ForEachSectionRow(
            root.GetFirstChildByName(u"SetupStrings"), u"SetupString", [this](const CXMLDOMNode& row) {
                m_Properties.ReplaceOrAddText(row.GetAttribute(u"name"), row.GetAttribute(u"value"),
                                              row.GetAttribute(u"languagecode"));
            });
    }
    log->Log(LOG_END, kModule, kMergeContext, u"");
}

} // namespace JxSetup::Data
