// The debugger output. Without a debugger, the stand-in appends each string to the machine
// root's trace.log (UTF-8) and hands it to a capture a test may install.
#pragma once

#include <functional>
#include <string_view>

#include "jxplat/wintypes.h"

void OutputDebugStringW(LPCWSTR text);
void OutputDebugStringA(LPCSTR text);
BOOL IsDebuggerPresent();

namespace jxplat {
// Installs (or with an empty function removes) a capture of every debugger string of this process.
void SetDebugOutputCapture(std::function<void(std::u16string_view)> capture);
} // namespace jxplat
