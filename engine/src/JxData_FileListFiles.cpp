// The files that describe a setup's files for later runs and for the preparation of updates: the
// target state, a plain file list, the download list of a retail update, the product's languages,
// two one-line pages; and the reader of such a list. All lie in the program's folder.
#include "jxbase/xml/xmldom.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kDeclaration = u"<?xml version=\"1.0\" encoding=\"utf-16\" standalone=\"yes\"?>";

std::u16string _lists_Escape(const std::u16string& raw) {
    std::u16string out;
    out.reserve(raw.size());
    for (char16_t c : raw) {
        switch (c) {
        case u'&':
            out += u"&amp;";
            break;
        case u'<':
            out += u"&lt;";
            break;
        case u'>':
            out += u"&gt;";
            break;
        case u'"':
            out += u"&quot;";
            break;
        case u'\'':
            out += u"&apos;";
            break;
        case u'\t':
            out += u"&#9;";
            break;
        case u'\n':
            out += u"&#10;";
            break;
        case u'\r':
            out += u"&#13;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

// One attribute, always written.
std::u16string _lists_Attribute(const WCHAR* name, const std::u16string& value) {
    return std::u16string(u" ") + name + u"=\"" + _lists_Escape(value) + u"\"";
}

// One attribute written only when its value is not empty.
std::u16string _lists_Optional(const WCHAR* name, const std::u16string& value) {
    return value.empty() ? std::u16string() : _lists_Attribute(name, value);
}

// The declaration, the root on a new line, each entry on a new line indented by four blanks and the
// closing root tag on a new line.
std::u16string _lists_Compose(const std::u16string& rootOpen, const std::u16string& rootName,
                              const std::vector<std::u16string>& entries) {
    std::u16string text = std::u16string(kDeclaration) + u"\r\n" + rootOpen;
    for (const std::u16string& entry : entries)
        text += u"\r\n    " + entry;
    text += u"\r\n</" + rootName + u">";
    return text;
}

// The text of an 8-bit page in the ANSI code page (Windows-1252 here: ASCII and Latin-1 stand as
// they are, anything else becomes "?"); a target that cannot be created gets nothing.
void _lists_WritePage(const std::u16string& path, const std::u16string& text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (char16_t c : text)
        bytes.push_back(c < 0x80 || (c >= 0xA0 && c <= 0xFF) ? static_cast<char>(c) : '?');
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    FlushFileBuffers(file);
    CloseHandle(file);
}

} // namespace

// Parses the composed text with the XML document and saves it to the program's folder.
bool JxData::_lists_SaveComposed(const WCHAR* context, const std::u16string& name,
                                 const std::u16string& text) {
    if (m_appDir.empty()) {
        GetLog()->Log(LP_ERROR, kModule, context, u"AppDir is empty.");
        return false;
    }
    const std::u16string path = JxFile::CombinePath(m_appDir, name);
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool saved = false;
    {
        CXMLDOMDocument document;
        saved = document.Create() && !document.LoadXml(text.c_str()).IsEmpty() && document.Save(path.c_str());
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    if (!saved)
        GetLog()->Log(LP_ERROR, kModule, context, u"Failed to write file %s", path.c_str());
    return saved;
}

bool JxData::WriteTargetStateXml(const std::u16string& name, const std::vector<JxFile>& files) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::WriteTargetStateXml";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"%s", name.c_str());
    std::vector<std::u16string> entries;
    for (const JxFile& file : files)
        entries.push_back(
            u"<File" + _lists_Attribute(u"componentid", file.componentid) +
            _lists_Attribute(u"name", file.name) + _lists_Attribute(u"language", file.language) +
            _lists_Attribute(u"version", file.version) + _lists_Optional(u"sha", file.sha) + u"/>");
    const bool saved = _lists_SaveComposed(context, name, _lists_Compose(u"<Files>", u"Files", entries));
    GetLog()->Log(LOG_END, kModule, context, u"%s", saved ? u"true" : u"false");
    return saved;
}

bool JxData::WriteFileListToXml(const std::u16string& name, const std::vector<JxFile>& files) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::WriteFileListToXml";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"%s", name.c_str());
    std::vector<std::u16string> entries;
    for (const JxFile& file : files)
        entries.push_back(u"<File" + _lists_Attribute(u"name", file.name) +
                          _lists_Attribute(u"size", file.size) + _lists_Optional(u"sha", file.sha) + u"/>");
    const bool saved = _lists_SaveComposed(context, name, _lists_Compose(u"<Files>", u"Files", entries));
    GetLog()->Log(LOG_END, kModule, context, u"%s", saved ? u"true" : u"false");
    return saved;
}

bool JxData::WriteRetailUpdateFileListToXml(const std::u16string& name,
                                            const std::vector<JxFile>& packageFiles,
                                            std::vector<JxFile>& downloads) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::WriteRetailUpdateFileListToXml";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"%s", name.c_str());
    _addRetailUpdateFiles(packageFiles, downloads);
    CheckInstallConditions();
    const bool requirementsMet = !m_SequenceData.m_bFailure;
    std::vector<std::u16string> entries;
    for (const JxFile& file : downloads) {
        const bool component = !file.name.empty() && file.name.front() == u'{' && file.name.size() >= 6 &&
                               jxtext::EqualsNoCase(file.name.substr(file.name.size() - 5), u"}.wpk");
        if (!requirementsMet && component) {
            GetLog()->Log(LP_INFO, kModule, context,
                          u"System requirements not met. Don't add file to download list: %s",
                          file.name.c_str());
            continue;
        }
        entries.push_back(u"<Updatefile" + _lists_Attribute(u"name", file.name) +
                          _lists_Attribute(u"length", file.size) + _lists_Optional(u"sha", file.sha) +
                          _lists_Optional(u"crc", file.crc) + u"/>");
    }
    const bool saved = _lists_SaveComposed(
        context, name, _lists_Compose(u"<Updatefiles run=\"setup.exe\">", u"Updatefiles", entries));
    GetLog()->Log(LOG_END, kModule, context, u"%s", saved ? u"true" : u"false");
    return saved;
}

bool JxData::WriteSettingsToXml(const std::u16string& name) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::WriteSettingsToXml";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"%s", name.c_str());
    if (m_appDir.empty()) {
        GetLog()->Log(LP_ERROR, kModule, context, u"AppDir is empty.");
        GetLog()->Log(LOG_END, kModule, context, u"false");
        return false;
    }
    if (m_ProductInfo.languages.empty()) {
        GetLog()->Log(LOG_END, kModule, context, u"true");
        return true;
    }
    const std::u16string path = m_appDir + name;
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool saved = false;
    {
        CXMLDOMDocument document;
        if (document.Create()) {
            CXMLDOMElement settings = document.CreateElement(u"Settings");
            document.AppendChild(settings);
            CXMLDOMElement languages = document.CreateElement(u"Languages");
            settings.AppendChild(languages);
            for (const std::u16string& code : jxtext::Split(m_ProductInfo.languages, u',')) {
                CXMLDOMElement language = document.CreateElement(u"Language");
                language.SetAttribute(u"iso", code.c_str());
                languages.AppendChild(language);
            }
            CXMLDOMDocument::FormatOptions options;
            options.standalone = true;
            options.indent = true;
            options.escapeOutput = true;
            options.encoding = u"UTF-8";
            saved = document.Reformat(options) && document.Save(path.c_str());
            if (!saved)
                GetLog()->Log(LP_ERROR, kModule, context, u"Failed to write file %s", path.c_str());
        }
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    GetLog()->Log(LOG_END, kModule, context, u"%s", saved ? u"true" : u"false");
    return saved;
}

bool JxData::WriteUpfilesHtm(const std::u16string& name, const std::vector<JxFile>& files) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::WriteUpfilesHtm";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"%s", name.c_str());
    if (m_appDir.empty()) {
        GetLog()->Log(LP_ERROR, kModule, context, u"AppDir is empty.");
        GetLog()->Log(LOG_END, kModule, context, u"false");
        return false;
    }
    std::u16string text = u"<html><h1><body>";
    for (const JxFile& file : files) {
        const std::u16string path = JxFile::CombinePath(m_appDir, file.name);
        const std::u16string checksum = JxFile::FileExists(path) ? JxFile::CalcChecksum(path) : u"";
        text += u"\r\n<p>F=\"" + file.name + u"||" + file.size + u"|" + checksum + u"\"";
    }
    text += u"\r\n</h1></body></html>";
    _lists_WritePage(JxFile::CombinePath(m_appDir, name), text);
    GetLog()->Log(LOG_END, kModule, context, u"true");
    return true;
}

bool JxData::WriteUpVersionHtm(const std::u16string& name, const std::u16string& versionXml) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::WriteUpVersionHtm";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"");
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        CXMLDOMDocument document;
        std::u16string content;
        // Without a document there is nothing to read the version from: nothing is written.
        if (!document.Create()) {
            GetLog()->Log(LP_ERROR, kModule, context, u"Failed to init XML: %d", GetLastError());
        } else if (GetXMLContentFromFile(content, versionXml, true)) {
            const CXMLDOMElement root = document.LoadXml(content.c_str());
            const CXMLDOMNode versionNode = root ? root.GetFirstChildByName(u"Version") : CXMLDOMNode();
            const CXMLDOMNode createdNode = root ? root.GetFirstChildByName(u"Created") : CXMLDOMNode();
            const std::u16string version = versionNode ? versionNode.GetText() : u"";
            const std::u16string created = createdNode ? createdNode.GetText() : u"";
            if (!version.empty() && created.size() > 8 && !m_appDir.empty())
                _lists_WritePage(JxFile::CombinePath(m_appDir, name),
                                 u"<html><h1><body>V=\"" + version + u"_(" + created.substr(6, 2) + u"." +
                                     created.substr(4, 2) + u"." + created.substr(0, 4) +
                                     u")\"</h1></body></html>");
        }
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    GetLog()->Log(LOG_END, kModule, context, u"true");
    return true;
}

bool JxData::LoadFileListFromXml(const std::u16string& name, std::vector<JxFile>& files,
                                 const std::u16string& prefix) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::LoadFileListFromXml";
    GetLog()->Log(LOG_BEGIN, kModule, context, u"%s", name.c_str());
    std::u16string content;
    const std::u16string path = JxFile::CombinePath(m_appDir, name);
    if (!m_appDir.empty() && JxFile::FileExists(path))
        GetXMLContentFromFile(content, path, false);
    else
        GetXMLContentFromFile(content, prefix + name, true);
    CXMLDOMDocument document;
    CXMLDOMElement root;
    if (!content.empty() && document.Create())
        root = document.LoadXml(content.c_str());
    if (!root) {
        // A list that does not parse whole (damaged, cut short) is not taken in part.
        GetLog()->Log(LP_WARNING, kModule, context, u"No valid file list in %s.", name.c_str());
        GetLog()->Log(LOG_END, kModule, context, u"false");
        return false;
    }
    std::vector<JxFile> read;
    for (CXMLDOMNode node = root.GetFirstChild(); node; node = node.GetNextSibling()) {
        if (node.GetNodeType() != NODE_ELEMENT)
            continue;
        JxFile file;
        file.componentid = node.GetAttribute(u"componentid");
        file.name = node.GetAttribute(u"name");
        file.language = node.GetAttribute(u"language");
        file.lastwritetime = node.GetAttribute(u"lastwritetime");
        file.size = node.GetAttribute(u"fullsize");
        if (file.size.empty())
            file.size = node.GetAttribute(u"size");
        if (file.size.empty())
            file.size = node.GetAttribute(u"length");
        file.sha = node.GetAttribute(u"sha");
        file.crc = node.GetAttribute(u"crc");
        file.version = node.GetAttribute(u"version");
        read.push_back(std::move(file));
    }
    // The list read replaces the caller's list; the file metadata of the setup stays as it is.
    files = std::move(read);
    GetLog()->Log(LOG_END, kModule, context, u"true");
    return true;
}

} // namespace JxSetup::Data
