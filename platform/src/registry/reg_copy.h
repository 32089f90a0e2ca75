// Handing names and data to the caller's buffers with the Windows size rules.
#pragma once

#include <string_view>

#include "registry/reg_types.h"

namespace jxplat::registry {

// Copies a name and its terminator into buffer (*count characters, terminator included).
// Too small: ERROR_MORE_DATA, *count unchanged. Else *count becomes the length without the
// terminator.
LSTATUS RegCopyName(std::u16string_view name, LPWSTR buffer, LPDWORD count);

// Reports a value's type and data. data null: *size gets the size. Too small: ERROR_MORE_DATA
// with the size needed in *size. Data is handed over as stored, string terminators included
// only when they were stored.
LSTATUS RegCopyData(const CRegValue& value, LPDWORD type, LPBYTE data, LPDWORD size);

} // namespace jxplat::registry
