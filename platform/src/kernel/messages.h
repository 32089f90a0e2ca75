// The stand-in's English message tables: the system's and the WinInet module's.
#pragma once

#include "jxplat/wintypes.h"

namespace jxplat {

// Text of a system message (Win32 codes, socket codes, HRESULTs), each ending in "\r\n"; null when
// the system has none. An HRESULT of the Win32 facility (0x8007xxxx) has the Win32 code's text.
const char16_t* FindSystemMessage(DWORD code);
// Text of a WinInet message (12001..12175), or null.
const char16_t* FindWinInetMessage(DWORD code);

} // namespace jxplat
