// Version values from and to text.
#include "jxbase/FileVer64.h"

#include "jxplat/text.h"

namespace {

bool _IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

} // namespace

FileVer64::FileVer64(WORD major, WORD minor, WORD build, WORD revision)
    : m_value((static_cast<ULONGLONG>(major) << 48) | (static_cast<ULONGLONG>(minor) << 32) |
              (static_cast<ULONGLONG>(build) << 16) | revision) {}

bool ParseVersionParts(std::u16string_view text, DWORD* numbers, size_t count) {
    for (size_t i = 0; i < count; ++i)
        numbers[i] = 0;

    std::u16string clean;
    clean.reserve(text.size() + 1);
    for (char16_t c : text) {
        if (c == u' ' || c == u'\t')
            continue;
        clean += c == u',' ? u'.' : c;
    }
    const size_t first = clean.find_first_of(u"0123456789");
    if (first == std::u16string::npos)
        return false;
    size_t last = first;
    while (last < clean.size() && (_IsDigit(clean[last]) || clean[last] == u'.'))
        ++last;
    clean = clean.substr(first, last - first) + u'.';

    size_t at = 0;
    for (size_t i = 0; i < count && at < clean.size() && clean[at] != u'.'; ++i) {
        DWORD value = 0; // unsigned: an overlong run wraps instead of overflowing
        for (; clean[at] != u'.'; ++at)
            value = value * 10 + static_cast<DWORD>(clean[at] - u'0');
        numbers[i] = value;
        ++at; // past the point
    }
    return true;
}

bool FileVer64::Parse(std::u16string_view text) {
    DWORD parts[4];
    if (!ParseVersionParts(text, parts, 4)) {
        m_value = 0;
        return false;
    }
    *this = FileVer64(static_cast<WORD>(parts[0]), static_cast<WORD>(parts[1]), static_cast<WORD>(parts[2]),
                      static_cast<WORD>(parts[3]));
    return m_value != 0;
}

std::u16string FileVer64::ToString() const {
    return jxtext::Format(u"%u.%u.%u.%u", static_cast<unsigned>(Major()), static_cast<unsigned>(Minor()),
                          static_cast<unsigned>(Build()), static_cast<unsigned>(Revision()));
}

bool SplitVersionNumbers(std::u16string_view text, std::vector<WORD>& parts) {
    parts.clear();
    for (const std::u16string& part : jxtext::Split(text, u'.')) {
        if (part.empty())
            return false;
        DWORD value = 0;
        for (char16_t c : part) {
            if (!_IsDigit(c))
                return false;
            value = value * 10 + static_cast<DWORD>(c - u'0');
            if (value > 0xFFFF) // stops before the sum can wrap
                return false;
        }
        parts.push_back(static_cast<WORD>(value));
    }
    return true;
}
