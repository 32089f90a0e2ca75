// XML reconfiguration: installed configuration files carry placeholders (a property name between
// two section signs, "§INSTALLDIR§") that are replaced with property values after the copy, by
// plain text replacement. A file is rewritten only when it was read whole as UTF-8 and its text
// changed, and then through a temporary file, so it is never shortened or emptied.
#include <map>

#include "JxData_Files.h"
#include "jxbase/wow64guard.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kReconfigXml = u"JxSetup::Data::JxData::reconfigXml";
constexpr char16_t kSectionSign = u'\u00A7';

// The text between two section signs names a property only when it looks like a name: not empty,
// no blank, no brackets of a reference and no markup. A document that uses the sign as an ordinary
// character ("§ 5 and § 6") keeps its text between the signs.
bool _reconfig_IsPlaceholderName(std::u16string_view name) {
    if (name.empty())
        return false;
    for (char16_t c : name) {
        const bool blank =
            c <= u' ' || c == u'\u00A0' || c == u'\u3000' || (c >= u'\u2000' && c <= u'\u200B');
        if (blank || c == u'[' || c == u']' || c == u'<' || c == u'>')
            return false;
    }
    return true;
}

} // namespace

bool JxData::ReadUtf8TextFile(const std::u16string& path, std::u16string& text) {
    text.clear();
    std::string bytes;
    if (!_disk_ReadFile(path, bytes))
        return false;
    std::u16string decoded = jxtext::Utf8ToUtf16(bytes);
    // The decoder replaces what is not UTF-8; a text that does not give the same bytes back was not.
    if (jxtext::Utf16ToUtf8(decoded) != bytes)
        return false;
    text = std::move(decoded);
    return true;
}

bool JxData::WriteUtf8TextFile(const std::u16string& path, const std::u16string& text) {
    return _disk_ReplaceFile(path, jxtext::Utf16ToUtf8(text));
}

std::u16string JxData::ReplaceReconfigPlaceholders(const std::u16string& text) {
    // Placeholder -> value, ordered by the placeholder's text.
    std::map<std::u16string, std::u16string> values;
    size_t open = text.find(kSectionSign);
    while (open != std::u16string::npos) {
        const size_t close = text.find(kSectionSign, open + 1);
        if (close == std::u16string::npos)
            break; // a last sign without its pair stays
        const std::u16string name = text.substr(open + 1, close - open - 1);
        if (!_reconfig_IsPlaceholderName(name)) {
            open = close; // the closing sign may open the next placeholder
            continue;
        }
        std::u16string value = ExpandProperties(u"[" + name + u"]");
        // Paths keep their backslashes in formats that read "\" as an escape character.
        std::u16string doubled;
        doubled.reserve(value.size());
        for (char16_t c : value) {
            doubled.push_back(c);
            if (c == u'\\')
                doubled.push_back(u'\\');
        }
        values[text.substr(open, close - open + 1)] = std::move(doubled);
        open = text.find(kSectionSign, close + 1);
    }
    std::u16string result = text;
    for (const auto& [placeholder, value] : values) {
        for (size_t at = result.find(placeholder); at != std::u16string::npos;
             at = result.find(placeholder, at + value.size()))
            result.replace(at, placeholder.size(), value);
    }
    return result;
}

void JxData::reconfigXml(const JxSequenceAction& action) {
    (void)action;
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kFilesModule, kReconfigXml, u"");
    for (const JxFile& row : m_Files) {
        if (!_files_IsTrue(row.reconfigxml) || !GetConditionResult(row.reconfigxmlcondition))
            continue;
        JxFeature feature;
        GetFeature(feature, row.featurename);
        const JxComponent component = GetComponentOfFeature(row.componentid, feature);
        if (_files_IsTrue(component.extractaswpk)) {
            log->Log(LP_INFO, kFilesModule, kReconfigXml, u"Skip action of component: %s",
                     component.id.c_str());
            continue;
        }
        const std::u16string folder = ExpandProperties(component.destinationdir);
        const std::u16string name = ExpandProperties(row.name);
        // The file is rewritten in place: only a file inside the component's own folder.
        if (!IsExpandedFolder(folder) || !IsPathInsideFolder(name)) {
            log->Log(LP_WARNING, kFilesModule, kReconfigXml,
                     u"File %s in folder %s refused: not a file inside a resolved folder.", name.c_str(),
                     folder.c_str());
            continue;
        }
        const std::u16string path = JxFile::CombinePath(folder, name);
        CWow64FsRedirectionGuard redirection(_files_IsTrue(row.is64bit));
        if (!_files_Exists(path) || _files_IsFolder(path))
            continue;
        std::u16string text;
        if (!ReadUtf8TextFile(path, text)) {
            log->Log(LP_WARNING, kFilesModule, kReconfigXml,
                     u"File %s could not be read as UTF-8 text; it is left as it is.", path.c_str());
            continue;
        }
        const std::u16string replaced = ReplaceReconfigPlaceholders(text);
        if (replaced == text)
            continue;
        if (!WriteUtf8TextFile(path, replaced))
            log->Log(LP_WARNING, kFilesModule, kReconfigXml,
                     u"File %s could not be rewritten (error %lu); it is left as it was.", path.c_str(),
                     GetLastError());
        else
            log->Log(LP_INFO, kFilesModule, kReconfigXml, u"File %s reconfigured.", path.c_str());
    }
    log->Log(LOG_END, kFilesModule, kReconfigXml, u"");
}

} // namespace JxSetup::Data
