// Values kept in a form that is not readable at a glance: RC4 with a fixed key over the UTF-8
// bytes, then Base64. It protects against casual reading only.
#pragma once

#include <string>
#include <string_view>

#include <windows.h>

// The first four bytes of the fixed key, little-endian. Both operations take the key head as an
// argument that replaces those bytes; every caller passes this value.
constexpr DWORD kScrambleKeyHead = 0x620B9F3D;

// Base64 of the enciphered UTF-8 bytes of the text (up to its first zero character) followed by
// one zero byte that is not enciphered; ASCII only, 4 * ceil((n + 1) / 3) characters.
std::u16string ScrambleValue(std::u16string_view text, DWORD keyHead);

// The text back. Characters outside the Base64 alphabet (blanks, line breaks, "=", anything above
// 0x7F) are skipped wherever they stand. The result ends at the first zero byte deciphered; the
// empty text when nothing decodes.
std::u16string UnscrambleValue(std::u16string_view scrambled, DWORD keyHead);
