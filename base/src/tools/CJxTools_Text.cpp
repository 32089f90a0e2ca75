// The packed form of a product code and lower-casing.
#include "jxbase/CJxTools.h"

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

constexpr size_t kBracedGuidLength = 38;

bool _tools_IsHex(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// "{" 8-4-4-4-12 hexadecimal digits "}".
bool _tools_IsBracedGuid(const std::u16string& code) {
    if (code.size() != kBracedGuidLength || code.front() != u'{' || code.back() != u'}')
        return false;
    for (size_t i = 1; i + 1 < code.size(); ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? code[i] != u'-' : !_tools_IsHex(code[i]))
            return false;
    }
    return true;
}

} // namespace

std::u16string CJxTools::GetPackedProductCode(const std::u16string& productCode) {
    // Only a whole GUID is packed: a shorter text would be read past its end.
    if (!_tools_IsBracedGuid(productCode))
        return {};
    static constexpr int kOrder[] = {8,  7,  6,  5,  4,  3,  2,  1,  13, 12, 11, 10, 18, 17, 16, 15,
                                     21, 20, 23, 22, 26, 25, 28, 27, 30, 29, 32, 31, 34, 33, 36, 35};
    std::u16string packed;
    packed.reserve(std::size(kOrder));
    for (int position : kOrder)
        packed.push_back(productCode[position]);
    return packed;
}

std::u16string CJxTools::ToLower(std::u16string text) {
    for (char16_t& c : text)
        c = jxtext::ToLowerChar(c);
    return text;
}

} // namespace JxSetup::Data
