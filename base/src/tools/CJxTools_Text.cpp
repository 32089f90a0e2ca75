// The packed form of a product code and lower-casing.
#include "jxbase/CJxTools.h"

#include "jxbase/guards.h"
#include "jxplat/text.h"

namespace JxSetup::Data {

std::u16string CJxTools::GetPackedProductCode(const std::u16string& productCode) {
    // Only a whole GUID is packed: a shorter text would be read past its end.
    if (!IsGuidFormId(productCode))
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
