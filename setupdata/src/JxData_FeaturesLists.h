// The three membership tests of feature lists ("$A$,$B$"). Each operation uses a fixed one, so the
// differences between them (case, whole token or any occurrence) are deliberate.
#pragma once

#include <string>

#include "jxplat/text.h"

namespace JxSetup::Data {

// The token of a feature in a list: "$" + name + "$".
inline std::u16string _features_Token(const std::u16string& name) {
    return u"$" + name + u"$";
}

// The list split at every "," holds the token, case-sensitive.
inline bool _features_HoldsToken(const std::u16string& list, const std::u16string& token) {
    for (const std::u16string& piece : jxtext::Split(list, u','))
        if (piece == token)
            return true;
    return false;
}

// The same, ignoring case.
inline bool _features_HoldsTokenNoCase(const std::u16string& list, const std::u16string& token) {
    for (const std::u16string& piece : jxtext::Split(list, u','))
        if (jxtext::EqualsNoCase(piece, token))
            return true;
    return false;
}

// The token occurs anywhere in the list text, ignoring case.
inline bool _features_Contains(const std::u16string& list, const std::u16string& token) {
    return jxtext::FindNoCase(list, token) != std::u16string::npos;
}

} // namespace JxSetup::Data
