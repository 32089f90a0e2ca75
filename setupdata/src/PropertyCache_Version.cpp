// Version values: "%a.b.c.d" is held as the decimal text of its 64-bit version number, so that
// conditions compare versions as integers.
#include "jxsetupdata/PropertyCache.h"

#include <cstdint>

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

// The four 16-bit parts of a version text packed into one number, major part most significant;
// 0 when the text holds no digit. Commas count as points and blanks are ignored; the text starts
// at its first digit and ends at the first character that is neither a digit nor a point; an
// empty part ends the parse (the remaining parts stay 0); larger parts are cut to 16 bits.
// This is how the base library's file version reads text; the store keeps its own copy because
// only digits and separators ever reach it.
uint64_t PackVersionText(const std::u16string& text) {
    std::u16string clean;
    for (char16_t c : text) {
        if (c == u' ')
            continue;
        clean += c == u',' ? u'.' : c;
    }
    const size_t first = clean.find_first_of(u"0123456789");
    if (first == std::u16string::npos)
        return 0;
    size_t end = first;
    while (end < clean.size() && (clean[end] == u'.' || (clean[end] >= u'0' && clean[end] <= u'9')))
        ++end;
    std::u16string rest = clean.substr(first, end - first) + u'.';
    uint64_t value = 0;
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        uint64_t number = 0;
        if (pos < rest.size() && rest[pos] != u'.') {
            const size_t point = rest.find(u'.', pos);
            number = jxtext::ParseUInt32(rest.substr(pos, point - pos)) & 0xFFFF;
            pos = point + 1;
        } else {
            pos = rest.size(); // an empty part: the others stay 0
        }
        value = value << 16 | number;
    }
    return value;
}

} // namespace

bool PropertyCache::IsVersionNumber(const std::u16string& text) const {
    size_t pieces = 1;
    for (char16_t c : text) {
        if (c == u'.' || c == u',')
            ++pieces;
        else if (c < u'0' || c > u'9')
            return false;
    }
    return pieces == 4;
}

void PropertyCache::NormalizeValue(std::u16string& out, const std::u16string& name,
                                   const std::u16string& value) const {
    out = value;
    if (name.empty() || IsProtectedPropertyName(name))
        return;
    if (value.empty() || value[0] != u'%')
        return;
    const std::u16string version = value.substr(1);
    if (!IsVersionNumber(version))
        return;
    out = jxtext::ToText(static_cast<unsigned long long>(PackVersionText(version)));
}

} // namespace JxSetup::Data
