// The machine's languages (GetUserDefaultLangID and its kin), from the machine description's
// language: one language identifier serves the user and the system, for texts and for formats.
#pragma once

#include "jxplat/wintypes.h"

LANGID GetUserDefaultLangID();
LANGID GetSystemDefaultLangID();
LANGID GetUserDefaultUILanguage();
LANGID GetSystemDefaultUILanguage();

// Code pages of the text conversions. The ANSI code page (of the system and of every thread) is
// Windows-1252, the one of the languages the machine description offers.
#define CP_ACP 0
#define CP_THREAD_ACP 3
#define CP_UTF8 65001

// UTF-16 to a code page, with the Win32 contract: a length of -1 converts up to and with the
// terminating zero; an output size of 0 answers the bytes needed; a character the code page lacks
// becomes the default character ("?" unless given) and sets *usedDefaultChar. 0 with
// ERROR_INSUFFICIENT_BUFFER when the output is too small, ERROR_INVALID_PARAMETER for a null
// input or an unknown code page. Flags are not evaluated.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideText, int wideLength, LPSTR multiByteText,
                        int multiByteSize, LPCSTR defaultChar, LPBOOL usedDefaultChar);
