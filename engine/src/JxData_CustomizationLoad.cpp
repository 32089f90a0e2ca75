// Loading a setup's customization ("customize.xml" in a "$CUSTOMIZE" folder beside the program, or
// in the packages) and applying its properties and texts right after the setup definition.
#include "jxbase/xml/xmldom.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

// The rows of a section: from its first child named like a row on, every following sibling.
template <class Row, class Fill>
void _custom_ReadSection(const CXMLDOMElement& root, const WCHAR* section, const WCHAR* rowName,
                         std::vector<Row>& out, Fill fill) {
    const CXMLDOMNode node = root.GetFirstChildByName(section);
    if (!node)
        return;
    for (CXMLDOMNode row = node.GetFirstChildByName(rowName); row; row = row.GetNextSibling()) {
        if (row.GetNodeType() != NODE_ELEMENT)
            continue;
        Row record;
        fill(row, record);
        out.push_back(std::move(record));
    }
}

} // namespace

std::map<std::u16string, std::u16string, JxNoCaseLess> ParseCustomSetupOptions(const std::u16string& text) {
    std::map<std::u16string, std::u16string, JxNoCaseLess> options;
    std::u16string name, value;
    bool quoted = false, inValue = false;
    const auto insert = [&] {
        options.emplace(name, value); // the first of equal names stays
        name.clear();
        value.clear();
        inValue = false;
    };
    for (char16_t c : text) {
        std::u16string& target = inValue ? value : name;
        if (c == u'\'') {
            quoted = !quoted;
        } else if (quoted) {
            target.push_back(c);
        } else if (c == u' ' || c == u'\t') {
            continue;
        } else if (c == u'=' && !inValue) {
            inValue = true;
        } else if (c == u';' && !name.empty()) {
            insert();
        } else {
            target.push_back(c);
        }
    }
    if (!name.empty())
        insert();
    return options;
}

bool JxData::Load_Customized_Config() {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::Load_Customized_Config";
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    const bool fromPackages = m_Customization.fromPackages;
    m_Customization = JxCustomizationData();
    m_Customization.fromPackages = fromPackages;
    bool loaded = false;
    CXMLDOMDocument document;
    if (!document.Create()) {
        log->Log(LP_ERROR, kModule, context, u"Can't initialize MSXML.");
    } else {
        const std::u16string diskFile = JxFile::CombinePath(m_appDir, u"$CUSTOMIZE\\customize.xml");
        std::u16string content;
        if (!m_appDir.empty() && JxFile::FileExists(diskFile)) {
            m_Customization.fromPackages = false;
            GetXMLContentFromFile(content, diskFile, false);
        } else {
            m_Customization.fromPackages = true;
            GetXMLContentFromFile(content, u"\\$CUSTOMIZE\\customize.xml", true);
        }
        CXMLDOMElement root;
        if (content.empty()) {
            log->Log(LP_INFO, kModule, context, u"No customizing configuration found.");
        } else if (!(root = document.LoadXml(content.c_str()))) {
            const CXMLDOMParseError error = document.GetParseError();
            if (error.GetErrorCode() != 0)
                log->Log(LP_ERROR, kModule, context, u"Error %08X at line: %li (c: %li): %s",
                         static_cast<unsigned>(error.GetErrorCode()), error.GetLine(), error.GetLinePos(),
                         error.GetReason().c_str());
            else
                log->Log(LP_ERROR, kModule, context, u"Error loading XML.");
        } else {
            JxCustomizationData& data = m_Customization;
            _custom_ReadSection(
                root, u"Properties", u"Property", data.properties,
                [](const CXMLDOMNode& n, JxCustomProperty& r) {
                    r = {n.GetAttribute(u"name"), n.GetAttribute(u"value"), n.GetAttribute(u"localizable")};
                });
            _custom_ReadSection(
                root, u"Strings", u"String", data.strings, [](const CXMLDOMNode& n, JxCustomString& r) {
                    r = {n.GetAttribute(u"name"), n.GetAttribute(u"language"), n.GetAttribute(u"value")};
                });
            _custom_ReadSection(root, u"Files", u"File", data.files,
                                [](const CXMLDOMNode& n, JxCustomFile& r) {
                                    r = {n.GetAttribute(u"name"), n.GetAttribute(u"resource"),
                                         n.GetAttribute(u"destination"), n.GetAttribute(u"usetemporary")};
                                });
            _custom_ReadSection(
                root, u"Registry", u"Regkey", data.registry, [](const CXMLDOMNode& n, JxCustomRegKey& r) {
                    r = {n.GetAttribute(u"root"),  n.GetAttribute(u"key"),  n.GetAttribute(u"valuename"),
                         n.GetAttribute(u"value"), n.GetAttribute(u"type"), n.GetAttribute(u"platform")};
                });
            _custom_ReadSection(root, u"ExecuteApps", u"ExecuteApp", data.applications,
                                [](const CXMLDOMNode& n, JxCustomApp& r) {
                                    r = {n.GetAttribute(u"app"),     n.GetAttribute(u"arg"),
                                         n.GetAttribute(u"hide"),    n.GetAttribute(u"wait"),
                                         n.GetAttribute(u"timeout"), n.GetAttribute(u"platform")};
                                });
            _custom_ReadSection(root, u"ThirdPartySetups", u"ThirdPartySetup", data.setups,
                                [](const CXMLDOMNode& n, JxCustomSetup& r) {
                                    r.app = n.GetAttribute(u"app");
                                    r.arg = n.GetAttribute(u"arg");
                                    r.name = n.GetAttribute(u"name");
                                    r.description = n.GetAttribute(u"description");
                                    r.details = n.GetAttribute(u"details");
                                    r.icon = n.GetAttribute(u"icon");
                                    r.hover = n.GetAttribute(u"hover");
                                    r.options = n.GetAttribute(u"options");
                                    r.condition = n.GetAttribute(u"condition");
                                    r.optionMap = ParseCustomSetupOptions(r.options);
                                });
            SetProperty(u"_USECUSTOMIZATION", u"true", 1);
            loaded = true;
        }
    }
    log->Log(LOG_END, kModule, context, u"%s", loaded ? u"true" : u"false");
    return loaded;
}

bool JxData::Configure_Customized_Properties() {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::Configure_Customized_Properties";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"");
    for (const JxCustomProperty& row : m_Customization.properties) {
        SetProperty(row.name, row.value, 1);
        if (row.name == u"PRODUCTNAME")
            SetProperty(u"_ATPRODUCTNAME", row.value, 1);
    }
    GetLog()->Log(LOG_END, kModule, context, u"true");
    return true;
}

bool JxData::Configure_Customized_Strings() {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::Configure_Customized_Strings";
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    std::vector<std::pair<std::u16string, std::u16string>> keys;
    for (const JxCustomString& row : m_Customization.strings)
        keys.emplace_back(row.name, row.language);
    for (const auto& [name, language] : m_Properties.RemoveTexts(keys))
        log->Log(LP_INFO, kModule, context, u"Deleting string %s of language %s", name.c_str(),
                 language.c_str());
    for (const JxCustomString& row : m_Customization.strings) {
        log->Log(LP_INFO, kModule, context, u"Inserting string %s of language %s with value %s",
                 row.name.c_str(), row.language.c_str(), row.value.c_str());
        m_Properties.AddText(row.name, row.value, row.language);
    }
    log->Log(LOG_END, kModule, context, u"true");
    return true;
}

JxCustomizationData* JxData::GetCustomizationData() {
    return &m_Customization;
}

} // namespace JxSetup::Data
