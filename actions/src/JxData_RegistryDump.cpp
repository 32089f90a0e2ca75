// The registry-values dump: the current values of every key the install list writes, as XML.
#include "JxData_Registry.h"

#include "jxbase/reg.h"
#include "jxbase/regkey.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

constexpr WCHAR kGetAll[] = u"JxSetup::Data::JxData::GetAllRegObjectsFromKey";
constexpr WCHAR kDump[] = u"JxSetup::Data::JxData::DumpRegValuesToFile";
constexpr DWORD kRegEnumNameChars = 16383;

// The text with every character that XML 1.0 does not allow anywhere in a document (controls other
// than tab and line ends, U+FFFE, U+FFFF, a half of a surrogate pair) replaced by U+FFFD, so that
// any value still gives a well-formed file.
std::u16string _dump_XmlChars(const std::u16string& text) {
    std::u16string out = text;
    for (size_t at = 0; at < out.size(); ++at) {
        const char16_t c = out[at];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && at + 1 < out.size() && out[at + 1] >= 0xDC00 && out[at + 1] <= 0xDFFF) {
            ++at; // a whole pair
            continue;
        }
        if ((c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE || c == 0xFFFF || high || low)
            out[at] = 0xFFFD;
    }
    return out;
}

// The reference that stands for a character in an attribute value, or nullptr. Tabs and line ends
// are references too: a parser turns them into blanks inside an attribute.
const char16_t* _dump_Reference(char16_t c) {
    static constexpr struct {
        char16_t c;
        const char16_t* reference;
    } kReferences[] = {{u'&', u"&amp;"},   {u'<', u"&lt;"},  {u'>', u"&gt;"},   {u'"', u"&quot;"},
                       {u'\'', u"&apos;"}, {u'\t', u"&#9;"}, {u'\n', u"&#10;"}, {u'\r', u"&#13;"}};
    for (const auto& entry : kReferences)
        if (entry.c == c)
            return entry.reference;
    return nullptr;
}

std::u16string _dump_EscapeAttribute(const std::u16string& raw) {
    std::u16string out;
    out.reserve(raw.size());
    for (char16_t c : _dump_XmlChars(raw)) {
        if (const char16_t* reference = _dump_Reference(c))
            out += reference;
        else
            out.push_back(c);
    }
    return out;
}

// A CDATA section cannot hold "]]>": it is split across two sections.
std::u16string _dump_Cdata(const std::u16string& raw) {
    const std::u16string text = _dump_XmlChars(raw);
    std::u16string out = u"<![CDATA[";
    size_t from = 0;
    for (size_t at = text.find(u"]]>"); at != std::u16string::npos; at = text.find(u"]]>", from)) {
        out.append(text, from, at + 2 - from);
        out += u"]]><![CDATA[";
        from = at + 2;
    }
    out.append(text, from, std::u16string::npos);
    out += u"]]>";
    return out;
}

// Appends UTF-16LE text (no byte-order mark) at the end of the file.
bool _dump_Write(HANDLE file, const std::u16string& text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    if (SetFilePointer(file, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        return false;
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

} // namespace

std::vector<JxRegValue> JxData::GetAllRegObjectsFromKey(const std::u16string& rootText,
                                                        const std::u16string& key, bool is64Bit) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kRegModule, kGetAll, u"Root: %s Key: %s", rootText.c_str(), key.c_str());
    HKEY root = nullptr;
    if (jxtext::EqualsNoCase(rootText, u"HKCR"))
        root = HKEY_CLASSES_ROOT;
    else if (jxtext::EqualsNoCase(rootText, u"HKCU"))
        root = HKEY_CURRENT_USER;
    else if (jxtext::EqualsNoCase(rootText, u"HKLM"))
        root = HKEY_LOCAL_MACHINE;
    else {
        log->Log(LOG_END, kRegModule, kGetAll, u"No valid root setted.");
        return {};
    }
    const REGSAM view = is64Bit ? REGSAM{KEY_WOW64_64KEY} : REGSAM{0};
    CRegKeyEx opened(root, key.c_str(), KEY_READ | view);
    if (opened.Status() != ERROR_SUCCESS) {
        log->Log(LP_WARNING, kRegModule, kGetAll, u"Failed to open key %s: %d", key.c_str(), opened.Status());
        log->Log(LOG_END, kRegModule, kGetAll, u"");
        return {};
    }
    std::vector<JxRegValue> rows;
    std::vector<WCHAR> name(kRegEnumNameChars + 1);
    for (DWORD index = 0;; ++index) {
        DWORD length = kRegEnumNameChars;
        DWORD type = 0;
        if (RegEnumValueW(opened.Key(), index, name.data(), &length, nullptr, &type, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        JxRegValue row;
        row.root = rootText;
        row.key = key;
        row.valuename.assign(name.data(), length);
        row.plattform = is64Bit ? u"x64" : u"x86";
        if (type == REG_DWORD) {
            row.type = u"REG_DWORD";
            row.value = jxtext::ToText(static_cast<unsigned>(
                CReg::GetIntFromRegistry(root, key.c_str(), row.valuename.c_str(), 0, view)));
        } else if (type == REG_SZ) {
            row.type = u"REG_SZ";
            row.value = CReg::GetStringFromRegistry(root, key.c_str(), row.valuename.c_str(), u"", view);
        } else {
            continue;
        }
        rows.push_back(std::move(row));
    }
    log->Log(LOG_END, kRegModule, kGetAll, u"");
    return rows;
}

bool JxData::DumpRegValuesToFile(const std::u16string& path) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kRegModule, kDump, u"%s", path.c_str());
    if (path.empty()) {
        log->Log(LOG_END, kRegModule, kDump, u"No Filename");
        return false;
    }
    _files_PrepareDestinationDir(path, false);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        log->Log(LOG_END, kRegModule, kDump, u"Can't create file.");
        return false;
    }
    bool ok = _dump_Write(file, u"<RegValues>\r\n");

    // Each (root, key, plattform) once, in the order of its first row.
    std::vector<const JxRegValue*> keys;
    for (const JxRegValue& row : m_RegValuesInstall) {
        bool seen = false;
        for (const JxRegValue* known : keys)
            seen = seen || (jxtext::EqualsNoCase(known->root, row.root) &&
                            jxtext::EqualsNoCase(known->key, row.key) &&
                            jxtext::EqualsNoCase(known->plattform, row.plattform));
        if (!seen)
            keys.push_back(&row);
    }
    for (const JxRegValue* triple : keys) {
        const bool is64 = jxtext::FindNoCase(triple->plattform, u"64") != std::u16string::npos;
        for (const JxRegValue& value : GetAllRegObjectsFromKey(triple->root, triple->key, is64)) {
            ok = ok && _dump_Write(file, u"   <RegValue root=\"" + _dump_EscapeAttribute(value.root) +
                                             u"\" key=\"" + _dump_EscapeAttribute(value.key) +
                                             u"\" subkey=\"" + _dump_EscapeAttribute(value.valuename) +
                                             u"\" type=\"" + _dump_EscapeAttribute(value.type) + u"\">" +
                                             _dump_Cdata(value.value) + u"</RegValue>\r\n");
        }
    }
    ok = ok && _dump_Write(file, u"</RegValues>");
    CloseHandle(file);
    if (!ok)
        log->Log(LP_WARNING, kRegModule, kDump, u"Failed to write %s: %d", path.c_str(), GetLastError());
    log->Log(LOG_END, kRegModule, kDump, u"");
    return ok;
}

} // namespace JxSetup::Data
