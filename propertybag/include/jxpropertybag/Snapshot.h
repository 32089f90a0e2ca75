// The readers of snapshot records (CMHPropertyBag::LoadSnapshot): each takes
// the cursor and the count of bytes left, advances both, and fails when the
// bytes it needs are not there.
#pragma once

#include <string>

#include <windows.h>

class CMHPropertyBag;

// A u16 count of UTF-16 characters and the characters.
bool ReadCountedString(const BYTE*& cursor, size_t& left, std::u16string& text);
// A u32 type code and its payload. A blob's u64 size must fit 32 bits; the 4
// bytes after the size are padding and skipped. Type 9 (an object) is refused.
bool ReadTypedValue(const BYTE*& cursor, size_t& left, VARIANT& value);
// A u32 count, then each item's name and typed value, stored in the bag's
// cache.
bool ReadSnapshotItems(CMHPropertyBag& bag, const BYTE*& cursor, size_t& left);
