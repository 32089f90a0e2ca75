// The product family of the setup, "requirements.xml": product types and levels, the installed
// language, earlier or related product codes and system requirements.
#include "jxsetupdata/JxData.h"

#include <limits>

#include "JxData_FileMetaRows.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kContext = u"JxSetup::Data::JxData::LoadRequirements";
const WCHAR* const kRequirementsName = u"requirements.xml";

// A whole text of an optional sign and decimal digits within 32 bits; empty counts as 0. Any other
// text is 0 with a WARNING line.
int32_t _req_ToInteger(JxLog* log, const std::u16string& text, const WCHAR* attribute,
                       const std::u16string& row) {
    if (text.empty())
        return 0;
    size_t at = text[0] == u'+' || text[0] == u'-' ? 1 : 0;
    bool valid = at < text.size();
    long long value = 0;
    for (; valid && at < text.size(); ++at) {
        if (text[at] < u'0' || text[at] > u'9') {
            valid = false;
            break;
        }
        value = value * 10 + (text[at] - u'0');
        if (value > static_cast<long long>(std::numeric_limits<int32_t>::max()) + 1)
            valid = false;
    }
    if (valid && text[0] == u'-')
        value = -value;
    if (!valid || value > std::numeric_limits<int32_t>::max() ||
        value < std::numeric_limits<int32_t>::min()) {
        log->Log(LP_WARNING, kModule, kContext, u"The %s \"%s\" of %s is not an integer: 0 is used.",
                 attribute, text.c_str(), row.c_str());
        return 0;
    }
    return static_cast<int32_t>(value);
}

} // namespace

void JxData::LoadRequirements() {
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kContext, u"");
    CJxDataLock lock(*this);
    CXMLDOMDocument document;
    if (!document.Create()) {
        log->Log(LOG_END, kModule, kContext, u"");
        return;
    }
    m_Requirements = JxRequirements();
    m_SxsRequirements = JxRequirements();

    std::u16string text;
    const std::u16string diskPath = m_appDir + kRequirementsName;
    if (_disk_FileExists(diskPath))
        GetXMLContentFromFile(text, diskPath, false);
    else
        GetXMLContentFromFile(text, std::u16string(u"\\$UNINSTALL\\") + kRequirementsName, true);
    const CXMLDOMElement root = text.empty() ? CXMLDOMElement() : document.LoadXml(text.c_str());
    if (root.IsEmpty()) {
        log->Log(LOG_END, kModule, kContext, u"");
        return;
    }

    ForEachSectionRow(root.GetFirstChildByName(u"ProductTypes"), u"ProductType", [&](const CXMLDOMNode& row) {
        JxProductType type;
        type.name = row.GetAttribute(u"name");
        type.level = _req_ToInteger(log, row.GetAttribute(u"level"), u"level", type.name);
        m_Requirements.m_ProductTypes.push_back(std::move(type));
    });

    const CXMLDOMNode language = root.GetFirstChildByName(u"InstalledLanguage");
    if (!language.IsEmpty()) {
        m_Requirements.m_InstalledLanguageRoot = language.GetAttribute(u"root");
        m_Requirements.m_InstalledLanguageKey = language.GetAttribute(u"key");
        m_Requirements.m_InstalledLanguageSubKey = language.GetAttribute(u"subkey");
        ForEachSectionRow(language, u"LanguageCode", [&](const CXMLDOMNode& row) {
            m_Requirements.m_LanguageCodes.push_back({row.GetAttribute(u"short"), row.GetAttribute(u"iso")});
        });
    }

    ForEachSectionRow(root.GetFirstChildByName(u"ProductCodes"), u"ProductCode", [&](const CXMLDOMNode& row) {
        JxProductCode code;
        code.guid = row.GetAttribute(u"guid");
        code.name = row.GetAttribute(u"name");
        code.noupgrade = row.GetAttribute(u"noupgrade");
        code.producttype = row.GetAttribute(u"producttype");
        code.skip = row.GetAttribute(u"skip");
        code.minupgradeversion = row.GetAttribute(u"minupgradeversion");
        code.installdirhk = row.GetAttribute(u"installdirhk");
        code.installdirkey = row.GetAttribute(u"installdirkey");
        code.installdirsubkey = row.GetAttribute(u"installdirsubkey");
        code.installdirparent = row.GetAttribute(u"installdirparent");
        code.servicename = row.GetAttribute(u"servicename");
        code.versionfile = row.GetAttribute(u"versionfile");
        code.versionxpath = row.GetAttribute(u"versionxpath");
        code.maintenanceroot = row.GetAttribute(u"maintenanceroot");
        code.maintenancekey = row.GetAttribute(u"maintenancekey");
        code.maintenancevaluename = row.GetAttribute(u"maintenancevaluename");
        code.maintenancedefault = row.GetAttribute(u"maintenancedefault");
        code.sxssharecounter = row.GetAttribute(u"sxssharecounter");
        code.version = _req_ToInteger(log, row.GetAttribute(u"version"), u"version", code.guid);
        // Without any location the product lives where the maker's products keep their root path.
        if (code.installdirhk.empty() && code.installdirkey.empty() && code.installdirsubkey.empty() &&
            code.installdirparent.empty()) {
            code.installdirhk = u"HKLM";
            code.installdirkey = u"SOFTWARE\\TOLVANE";
            code.installdirsubkey = u"RootPath";
            code.installdirparent = u"0";
        }
        if (!code.sxssharecounter.empty())
            m_SxsRequirements.m_ProductCodes.push_back(code);
        if (!jxtext::EqualsNoCase(code.skip, u"true"))
            m_Requirements.m_ProductCodes.push_back(std::move(code));
    });

    // The section's name is spelled so in the file format.
    ForEachSectionRow(root.GetFirstChildByName(u"SystenRequirements"), u"SystemRequirement",
                      [&](const CXMLDOMNode& row) {
                          m_Requirements.m_SystemRequirements.push_back(
                              {row.GetAttribute(u"condition"), row.GetAttribute(u"message")});
                      });
    log->Log(LOG_END, kModule, kContext, u"");
}

} // namespace JxSetup::Data
