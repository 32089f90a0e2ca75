// Text inside the log's XML: CDATA sections and attribute values that any XML reader reads back as
// the text that was logged, so the file stays well-formed whatever a message holds.
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool _xml_IsHigh(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool _xml_IsLow(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Characters that need more than a copy: markup, controls, surrogates and the two non-characters
// XML forbids.
bool _xml_IsSpecial(char16_t c) {
    return c < 0x20 || c == u'&' || c == u'<' || c == u'>' || c == u'"' || c == u']' ||
           (c >= 0xD800 && c <= 0xDFFF) || c >= 0xFFFE;
}

// Appends the run text[from, to) of plain characters.
void _xml_AppendRun(std::u16string& out, std::u16string_view text, size_t from, size_t to) {
    if (to > from)
        out.append(text.data() + from, to - from);
}

// Handles a character that XML 1.0 may not hold at all, or a surrogate; returns the units used.
size_t _xml_AppendUnusual(std::u16string& out, std::u16string_view text, size_t i) {
    const char16_t c = text[i];
    if (_xml_IsHigh(c) && i + 1 < text.size() && _xml_IsLow(text[i + 1])) {
        out.append(text.data() + i, 2);
        return 2;
    }
    // Lone surrogates, U+FFFE/U+FFFF and controls other than tab and LF cannot appear in XML.
    out += (c == u'\t' || c == u'\n') ? c : kReplacement;
    return 1;
}

} // namespace

void JxLog::_xml_AppendCData(std::u16string& out, std::u16string_view text) {
    size_t run = 0;
    size_t i = 0;
    while (i < text.size()) {
        const char16_t c = text[i];
        if (!_xml_IsSpecial(c) || c == u'&' || c == u'<' || c == u'>' || c == u'"') {
            ++i;
            continue;
        }
        _xml_AppendRun(out, text, run, i);
        if (c == u']') {
            if (text.substr(i, 3) == u"]]>") {
                // "]]>" would end the section: the reader joins "]]" and ">" of two sections.
                out += u"]]]]><![CDATA[>";
                i += 3;
            } else {
                out += c;
                ++i;
            }
        } else if (c == u'\r') {
            // A reader turns CR LF into LF inside CDATA; as a reference it survives.
            out += u"]]>&#13;<![CDATA[";
            ++i;
        } else {
            i += _xml_AppendUnusual(out, text, i);
        }
        run = i;
    }
    _xml_AppendRun(out, text, run, i);
}

void JxLog::_xml_AppendAttribute(std::u16string& out, std::u16string_view text) {
    size_t run = 0;
    size_t i = 0;
    while (i < text.size()) {
        const char16_t c = text[i];
        if (!_xml_IsSpecial(c) || c == u']') {
            ++i;
            continue;
        }
        _xml_AppendRun(out, text, run, i);
        switch (c) {
        case u'&':
            out += u"&amp;";
            ++i;
            break;
        case u'<':
            out += u"&lt;";
            ++i;
            break;
        case u'>':
            out += u"&gt;";
            ++i;
            break;
        case u'"':
            out += u"&quot;";
            ++i;
            break;
        // A reader turns tab, LF and CR in attribute values into blanks; references keep them.
        case u'\t':
            out += u"&#9;";
            ++i;
            break;
        case u'\n':
            out += u"&#10;";
            ++i;
            break;
        case u'\r':
            out += u"&#13;";
            ++i;
            break;
        default:
            i += _xml_AppendUnusual(out, text, i);
            break;
        }
        run = i;
    }
    _xml_AppendRun(out, text, run, i);
}

} // namespace JxSetup::Data
