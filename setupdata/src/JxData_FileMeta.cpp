// The file metadata of the setup's packages, "metainfo.xml": one row per packaged file.
#include "jxsetupdata/JxData.h"

#include "JxData_FileMetaRows.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kContext = u"JxSetup::Data::JxData::LoadFileMetaInformation";
const WCHAR* const kMetaName = u"metainfo.xml";

} // namespace

void JxData::LoadFileMetaInformation() {
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kContext, u"");
    CJxDataLock lock(*this);
    CXMLDOMDocument document;
    if (document.Create()) {
        // A file beside the program wins over the packaged one.
        std::u16string text;
        const std::u16string diskPath = m_appDir + kMetaName;
        if (_disk_FileExists(diskPath))
            GetXMLContentFromFile(text, diskPath, false);
        else
            GetXMLContentFromFile(text, std::u16string(u"\\$CONFIG\\") + kMetaName, true);
        // A missing or broken file keeps the rows there are.
        const CXMLDOMElement root = text.empty() ? CXMLDOMElement() : document.LoadXml(text.c_str());
        if (!root.IsEmpty()) {
            m_FileMetaInformation.clear();
            ForEachSectionRow(root, u"File", [this](const CXMLDOMNode& row) {
                JxFile file;
                file.componentid = row.GetAttribute(u"componentid");
                file.name = row.GetAttribute(u"name");
                file.language = row.GetAttribute(u"language");
                file.lastwritetime = row.GetAttribute(u"lastwritetime");
                file.sha = row.GetAttribute(u"sha");
                file.size = row.GetAttribute(u"size");
                file.version = row.GetAttribute(u"version");
                file.fullsize = row.GetAttribute(u"fullsize");
                m_FileMetaInformation.push_back(std::move(file));
            });
        }
    }
    log->Log(LOG_END, kModule, kContext, u"");
}

} // namespace JxSetup::Data
