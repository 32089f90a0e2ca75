// The machine's languages (GetUserDefaultLangID and its kin), from the machine description's
// language: one language identifier serves the user and the system, for texts and for formats.
#pragma once

#include "jxplat/wintypes.h"

LANGID GetUserDefaultLangID();
LANGID GetSystemDefaultLangID();
LANGID GetUserDefaultUILanguage();
LANGID GetSystemDefaultUILanguage();
