// Reading the common-update information, the redirection list and "SetupInformation.xml", and the
// content-store URLs derived from them.
#include <limits>

#include "jxbase/xml/xmldom.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxLog.h"
#include "jxweb/JxWebCommonUpdateInfo.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

// The document element of the text, or an empty node when the text does not load.
CXMLDOMElement _info_Load(CXMLDOMDocument& document, const std::u16string& xml) {
    if (xml.empty() || !document.Create())
        return CXMLDOMElement();
    return document.LoadXml(xml.c_str());
}

// A decimal number of the whole text within [minimum, maximum]; otherwise 0 with the warning. A
// negative size would wrap the unsigned download total.
int32_t _info_Number(const std::u16string& text, long long minimum, const WCHAR* context,
                     const WCHAR* warning) {
    const std::optional<long long> value = jxtext::TryParseInt(text);
    if (!value || *value < minimum || *value > std::numeric_limits<int32_t>::max()) {
        Instance()->Log(LP_WARNING, kModule, context, u"%s", warning);
        return 0;
    }
    return static_cast<int32_t>(*value);
}

// The SHA text of a content-store file: the first two characters as its folder.
std::u16string _info_StoreUrl(const std::u16string& store, std::u16string name) {
    name = jxtext::ToLower(name);
    std::u16string url = store;
    if (url.back() != u'/')
        url += u'/';
    return url + name.substr(0, 2) + u"/" + name;
}

} // namespace

CommonUpdateType ParseCommonUpdateType(const std::u16string& text) {
    if (jxtext::EqualsNoCase(text, u"uninstall"))
        return CommonUpdateUninstall;
    if (jxtext::EqualsNoCase(text, u"signature"))
        return CommonUpdateSignature;
    if (jxtext::EqualsNoCase(text, u"software"))
        return CommonUpdateSoftware;
    return CommonUpdateUnknown;
}

bool ComInitGuard::Initialize(DWORD model) {
    Uninitialize();
    const HRESULT hr = CoInitializeEx(nullptr, model);
    m_Initialized = hr == S_OK || hr == S_FALSE;
    return m_Initialized;
}

void ComInitGuard::Uninitialize() {
    if (m_Initialized)
        CoUninitialize();
    m_Initialized = false;
}

JxWebCommonUpdateInfo JxWebCommonUpdateInfo::ParseFromXMLString(const std::u16string& xml) {
    JxWebCommonUpdateInfo info;
    if (xml.empty())
        return info;
    ComInitGuard com;
    if (!com.Initialize(COINIT_APARTMENTTHREADED))
        com.Initialize(COINIT_MULTITHREADED);
    CXMLDOMDocument document;
    const CXMLDOMElement root = _info_Load(document, xml);
    if (!root)
        return info;
    Instance()->Log(LP_INFO, kModule, u"JxSetup::Data::JxWebCommonUpdateInfo::ParseFromXMLString", u"%s",
                    xml.c_str());
    info.m_Version = root.GetAttribute(u"version");
    info.m_UninstallerUrl = root.GetAttribute(u"uninstallerurl");
    info.m_RedirectionUrl = root.GetAttribute(u"redirection");
    info.m_ContentStoreUrl = root.GetAttribute(u"akamaiuri");
    return info;
}

bool JxWebCommonUpdateInfo::IsValid() const {
    return !m_Version.empty() && (!m_UninstallerUrl.empty() || !m_RedirectionUrl.empty());
}

std::u16string JxWebCommonUpdateInfo::GetCdnFileUrl(const std::u16string& sha) const {
    if (m_ContentStoreUrl.empty() || sha.empty())
        return {};
    return _info_StoreUrl(m_ContentStoreUrl, jxtext::EndsWithNoCase(sha, u".bin") ? sha : sha + u".bin");
}

std::vector<JxWebCommonUpdateItem> JxWebCommonUpdateItem::ParseItemsFromXMLString(const std::u16string& xml) {
    std::vector<JxWebCommonUpdateItem> items;
    if (xml.empty())
        return items;
    ComInitGuard com;
    com.Initialize(COINIT_MULTITHREADED);
    CXMLDOMDocument document;
    const CXMLDOMElement root = _info_Load(document, xml);
    // Elements only: a comment, a processing instruction or blank text is no item.
    for (CXMLDOMNode node = root.GetFirstChild(); node; node = node.GetNextSibling()) {
        if (node.GetNodeType() != NODE_ELEMENT)
            continue;
        JxWebCommonUpdateItem item;
        item.m_Version = node.GetAttribute(u"version");
        item.m_Type = ParseCommonUpdateType(node.GetAttribute(u"type"));
        item.m_PackageCode = node.GetAttribute(u"packagecode");
        item.m_Url = node.GetAttribute(u"url");
        items.push_back(item);
    }
    return items;
}

void JxWebSetupInformation::ParseFromXMLString(const std::u16string& xml) {
    if (xml.empty())
        return;
    ComInitGuard com;
    com.Initialize(COINIT_MULTITHREADED);
    CXMLDOMDocument document;
    const CXMLDOMElement root = _info_Load(document, xml);
    if (!root)
        return;
    m_Version = root.GetAttribute(u"version");
    for (CXMLDOMNode file = root.GetFirstChildByName(u"SetupFile"); file;
         file = file.GetNextSiblingByName(u"SetupFile"))
        m_SetupFiles.push_back(JxWebSetupInformationSetupFile::ParseSetupFileFromXMLNode(file));
}

std::u16string JxWebSetupInformation::GetXmlUrl() const {
    return m_BaseUrl.empty() ? std::u16string() : m_BaseUrl + u"SetupInformation.xml";
}

std::u16string JxWebSetupInformation::GetShaUrl() const {
    return m_BaseUrl.empty() ? std::u16string() : m_BaseUrl + u"SetupInformation.sha";
}

JxWebSetupInformationSetupFile
JxWebSetupInformationSetupFile::ParseSetupFileFromXMLNode(const CXMLDOMNode& element) {
    JxWebSetupInformationSetupFile file;
    file.m_Name = element.GetAttribute(u"name");
    file.m_Sha = element.GetAttribute(u"sha");
    file.m_ProductTypes = element.GetAttribute(u"producttype");
    file.m_Size = _info_Number(element.GetAttribute(u"size"), 0,
                               u"JxSetup::Data::JxWebSetupInformationSetupFile::ParseSetupFileFromXMLNode",
                               u"Failed to parse file size.");
    for (CXMLDOMNode node = element.GetFirstChildByName(u"Feature"); node;
         node = node.GetNextSiblingByName(u"Feature"))
        file.m_Features.push_back(JxWebSetupInformationIFeature::ParseFeatureFromXMLNode(node));
    for (CXMLDOMNode node = element.GetFirstChildByName(u"ComponentFile"); node;
         node = node.GetNextSiblingByName(u"ComponentFile"))
        file.m_ComponentFiles.push_back(
            JxWebSetupInformationComponentFile::ParseComponentFileFromXMLNode(node));
    return file;
}

JxWebSetupInformationIFeature
JxWebSetupInformationIFeature::ParseFeatureFromXMLNode(const CXMLDOMNode& element) {
    JxWebSetupInformationIFeature feature;
    feature.m_Name = element.GetAttribute(u"name");
    feature.m_DependsOn = element.GetAttribute(u"dependson");
    feature.m_ProductTypes = element.GetAttribute(u"producttype");
    feature.m_Generation =
        _info_Number(element.GetAttribute(u"generation"), std::numeric_limits<int32_t>::min(),
                     u"JxSetup::Data::JxWebSetupInformationIFeature::ParseFeatureFromXMLNode",
                     u"Failed to parse generation.");
    return feature;
}

JxWebSetupInformationComponentFile
JxWebSetupInformationComponentFile::ParseComponentFileFromXMLNode(const CXMLDOMNode& element) {
    JxWebSetupInformationComponentFile file;
    file.m_Id = element.GetAttribute(u"id");
    file.m_FileName = element.GetAttribute(u"filename");
    file.m_Language = element.GetAttribute(u"language");
    file.m_Sha = element.GetAttribute(u"sha");
    return file;
}

std::u16string GetDownloadEntryUrl(const JxWebDownloadEntry& entry, const std::u16string& contentStoreUrl) {
    if (contentStoreUrl.empty())
        return entry.m_BaseUrl + entry.m_FileName;
    return _info_StoreUrl(contentStoreUrl, entry.m_Sha + u".bin");
}

} // namespace JxSetup::Data
