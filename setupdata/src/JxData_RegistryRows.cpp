// The checks a registry row of the definition passes before it is written or removed: a row that
// names no key, an unknown root, an unknown type or a DWORD that is no number is refused, never
// taken for something it does not say.
#include "jxsetupdata/JxRecords.h"

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

bool _regrow_IsKnownRoot(const std::u16string& root) {
    for (const WCHAR* known : {u"HKLM", u"HKCU", u"HKCR", u"HKUS"})
        if (jxtext::EqualsNoCase(root, known))
            return true;
    return false;
}

bool _regrow_IsWrittenType(const std::u16string& type) {
    return type == u"Key" || type == u"REG_SZ" || type == u"REG_DWORD" || type == u"REG_MULTI_SZ";
}

// A key of nothing but separators and blanks names the hive's root as an empty one does.
bool _regrow_IsEmptyKey(const std::u16string& key) {
    return key.find_first_not_of(u"\\/ ") == std::u16string::npos;
}

} // namespace

bool ParseRegistryDword(std::u16string_view text, DWORD& value) {
    if (text.empty() || text.size() > 10)
        return false;
    unsigned long long number = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            return false;
        number = number * 10 + static_cast<unsigned>(c - u'0');
    }
    if (number > 0xFFFFFFFFull)
        return false;
    value = static_cast<DWORD>(number);
    return true;
}

std::u16string GetRegistryRowFault(const JxRegValue& row, bool written) {
    if (!_regrow_IsKnownRoot(row.root))
        return u"unknown root \"" + row.root + u"\"";
    if (_regrow_IsEmptyKey(row.key))
        return u"empty key";
    if (!written)
        return {};
    if (!_regrow_IsWrittenType(row.type))
        return u"unknown type \"" + row.type + u"\"";
    DWORD number = 0;
    if (row.type == u"REG_DWORD" && row.value.find(u'[') == std::u16string::npos &&
        !IsRegistryCounterRow(row) && !ParseRegistryDword(row.value, number))
        return u"value \"" + row.value + u"\" is not a DWORD number";
    return {};
}

bool IsRegistryCounterRow(const JxRegValue& row) {
    return row.type == u"REG_DWORD" && row.increment == u"true" && row.value.empty();
}

std::u16string DescribeRegistryRow(const JxRegValue& row) {
    return row.root + u"\\" + row.key + u" value \"" + row.valuename + u"\"";
}

} // namespace JxSetup::Data
