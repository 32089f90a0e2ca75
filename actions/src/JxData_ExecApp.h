// Steps shared by the rows that start programs: applications and prerequisites.
#pragma once

#include <optional>
#include <string>

#include <windows.h>

namespace JxSetup::Data {

// The "timeout" text as an unsigned 32-bit decimal; nothing for an empty text, a text that is not
// a number and a number above 32 bits.
std::optional<DWORD> _exec_ParseTimeout(const std::u16string& text);

} // namespace JxSetup::Data
