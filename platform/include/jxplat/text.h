// The text toolkit shared by every module: UTF-16 text as Windows keeps it, UTF-8 at the
// boundaries, the case folding Windows uses when it compares "ignoring case", number parsing
// and printing, and a formatter with the Windows wide printf semantics.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jxtext {

// UTF-8 <-> UTF-16. Invalid input (broken sequences, lone surrogates) becomes U+FFFD; never throws.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view text);
// Convenience for literals and host strings in tests and tools.
inline std::u16string W(std::string_view utf8) {
    return Utf8ToUtf16(utf8);
}
inline std::string N(std::u16string_view text) {
    return Utf16ToUtf8(text);
}

// Appending forms of the conversions (no temporary string), for the formatter and log writers.
void AppendUtf8ToUtf16(std::u16string& out, std::string_view utf8);
void AppendUtf16ToUtf8(std::string& out, std::u16string_view text);

// The ANSI code page of the stand-in machine (Windows-1252; its language is 1033). The five bytes
// the code page leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters
// of the same number, both ways, as the system conversion makes them. A character the code page
// cannot hold becomes `fallback`; `usedFallback`, when given, tells whether that happened.
std::u16string AnsiToUtf16(std::string_view bytes);
std::string Utf16ToAnsi(std::u16string_view text, char fallback = '?', bool* usedFallback = nullptr);

// Length of a zero-terminated UTF-16 string (0 for null).
size_t Length(const char16_t* text);

// Case folding: the simple upper-case mapping Windows applies for case-insensitive compares
// (CompareStringOrdinal with bIgnoreCase, registry and file names).
char16_t FoldChar(char16_t c);
char16_t ToUpperChar(char16_t c);
char16_t ToLowerChar(char16_t c);
std::u16string Fold(std::u16string_view text);
std::u16string ToUpper(std::u16string_view text);
std::u16string ToLower(std::u16string_view text);
// <0, 0, >0 comparing the folded texts code unit by code unit.
int CompareNoCase(std::u16string_view a, std::u16string_view b);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix);
bool EndsWithNoCase(std::u16string_view text, std::u16string_view suffix);
// Position of needle in text ignoring case, or npos.
size_t FindNoCase(std::u16string_view text, std::u16string_view needle, size_t from = 0);

// Number parsing as the C runtime's wcstol/wcstoul do (leading blanks, sign, base 0 = auto
// with "0x"/"0" prefixes). Returns the value and sets *end to the count of code units used
// (0 when no digits were found). Values outside the range saturate as wcstol does.
long long ParseInt64(std::u16string_view text, int base = 10, size_t* used = nullptr);
unsigned long long ParseUInt64(std::u16string_view text, int base = 10, size_t* used = nullptr);
int32_t ParseInt32(std::u16string_view text, int base = 10, size_t* used = nullptr); // _wtoi-like saturation
uint32_t ParseUInt32(std::u16string_view text, int base = 10, size_t* used = nullptr); // wcstoul on 32 bits
// Strict parse of a whole text (optional blanks around, optional sign): nothing when it is not a number.
std::optional<long long> TryParseInt(std::u16string_view text, int base = 10);

std::u16string ToText(long long value);
std::u16string ToText(unsigned long long value);
inline std::u16string ToText(int value) {
    return ToText(static_cast<long long>(value));
}
inline std::u16string ToText(unsigned value) {
    return ToText(static_cast<unsigned long long>(value));
}

// Formatter with the Windows wide printf semantics (_vsnwprintf):
//   %s %ls %ws  UTF-16 string (const char16_t*; null prints "(null)")
//   %S %hs      narrow string (const char*, taken as UTF-8)
//   %c %C %hc %lc  character (int: UTF-16 unit / narrow char)
//   %d %i %u %x %X %o  32-bit integers (also with h, l: long is 32-bit as on Windows)
//   %I64d %I64u %I64x %lld %llu %llx  64-bit integers; %I %Id %Iu %zu %zd pointer-sized
//   %p  pointer, %f %e %E %g %G %a  doubles, %%  percent, %n is refused (prints nothing)
//   flags - + blank # 0, width and precision, also as *.
// As the Windows runtime does, '0' pads strings and characters with zeros too, and %a prints all 13
// hex digits of a double. A narrow string's precision counts bytes and never cuts a UTF-8 sequence.
// An unknown conversion is copied as it is. Widths and precisions are capped at 1 << 20.
std::u16string FormatV(const char16_t* format, va_list args);
std::u16string Format(const char16_t* format, ...);
// Formats into buffer of count code units (count >= 1), always zero-terminated, cutting a longer
// result. Returns the number of code units written (without the terminator).
size_t FormatToBuffer(char16_t* buffer, size_t count, const char16_t* format, va_list args);
// Appends the formatted text to out (a log writer can reuse one buffer for every line).
void AppendFormatV(std::u16string& out, const char16_t* format, va_list args);
void AppendFormat(std::u16string& out, const char16_t* format, ...);

// Windows wildcard match of a whole name: "*" any run of characters, "?" one character, the others
// compared ignoring case.
bool MatchesWildcard(std::u16string_view name, std::u16string_view pattern);

// Split and join helpers used across modules.
std::vector<std::u16string> Split(std::u16string_view text, char16_t separator);
std::u16string Trim(std::u16string_view text, std::u16string_view set = u" \t\r\n");

} // namespace jxtext
