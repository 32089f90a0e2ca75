// The thread's ANSI code page of the stand-in machine: Windows-1252 (the machine's language is
// 1033). Package names are ANSI text; the self-check's dump is written in it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace jxpkg {

std::u16string AnsiToWide(std::string_view bytes);
// Characters the code page cannot hold become `fallback`.
std::string WideToAnsi(std::u16string_view text, char fallback = ' ');

} // namespace jxpkg
