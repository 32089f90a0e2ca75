// UTF-8 <-> UTF-16 at the edges of the program (HTTP bodies, protobuf messages, zip entry names,
// the command channel), and the trimming helper of the HTTP layer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// UTF-16 text of UTF-8 bytes; the whole length is converted, embedded zero bytes included.
// Malformed sequences become U+FFFD.
std::u16string Utf8ToWide(std::string_view bytes);
std::u16string Utf8ToWide(const char* bytes, size_t length);

// UTF-8 bytes of a UTF-16 text; the whole length is converted, embedded zeros included.
std::string WideToUtf8(std::u16string_view text);

// UTF-8 bytes of the text up to its first zero character (the command channel's conversion, which
// its envelope class offers as MmsCmd::WideToUtf8). Lone surrogates become U+FFFD, so the conversion
// itself cannot fail here and nothing is thrown.
std::string MmsCmdWideToUtf8(std::u16string_view text);

// Removes every character of `set` from both ends of the text, in place. A text made only of
// such characters becomes empty.
std::u16string& TrimString(std::u16string& text, std::u16string_view set);
