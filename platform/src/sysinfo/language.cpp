// The language identifiers of the machine: every one is the machine description's language.
#include "jxplat/machine.h"
#include "jxplat/winnls.h"

namespace {

LANGID _lang_Machine() {
    return static_cast<LANGID>(jxplat::Machine().language);
}

} // namespace

LANGID GetUserDefaultLangID() {
    return _lang_Machine();
}

LANGID GetSystemDefaultLangID() {
    return _lang_Machine();
}

LANGID GetUserDefaultUILanguage() {
    return _lang_Machine();
}

LANGID GetSystemDefaultUILanguage() {
    return _lang_Machine();
}
