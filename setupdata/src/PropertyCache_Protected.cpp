// Protected properties ("__" names): their values are held scrambled and read back in clear only
// while a text is expanded.
#include "jxsetupdata/PropertyCache.h"

#include "jxbase/scrambler.h"
#include "jxbase/secretmask.h"

namespace JxSetup::Data {

bool IsProtectedPropertyName(const std::u16string& name) {
    // "§__K" is as protected as "__K": the lock prefix is not part of the name.
    return IsProtectedName(name);
}

std::u16string ScrambleProtectedValue(const std::u16string& name, const std::u16string& value, int flag) {
    if (!flag || !IsProtectedPropertyName(name))
        return value;
    return ScrambleValue(value, kScrambleKeyHead);
}

std::u16string PropertyCache::DescrambleValue(const std::u16string& name, const std::u16string& value) {
    if (name.empty() || value.empty() || !IsProtectedPropertyName(name))
        return value;
    return UnscrambleValue(value, kScrambleKeyHead);
}

} // namespace JxSetup::Data
