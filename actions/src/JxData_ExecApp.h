// Steps shared by the rows that start programs: applications and prerequisites.
#pragma once

#include <string>

#include <windows.h>

namespace JxSetup::Data {

// The "timeout" text as an unsigned 32-bit decimal: std::invalid_argument for anything that is
// not a number, std::out_of_range for a number above 32 bits.
DWORD _exec_ParseTimeout(const std::u16string& text);

} // namespace JxSetup::Data
