// The formatter with the Windows wide printf semantics (_vsnwprintf of the Windows C runtime):
// %s is a UTF-16 string, %S/%hs a narrow one (UTF-8 here), %c a UTF-16 unit, `l` on integers is
// 32-bit (LLP64), %I64/%ll 64-bit, %I/%z pointer-sized, %p upper-case hex of the pointer's width,
// %n writes nothing. The format is walked here; the host's snprintf only formats single floats.
//
// Choices where the Windows runtime leaves room:
//  - the '0' flag pads every conversion with zeros when not left-aligned, strings and characters
//    too (as the Windows runtime does, unlike glibc); a precision on integers cancels it;
//  - the precision of a narrow string counts bytes and never cuts a UTF-8 sequence in two; the
//    width counts the UTF-16 units written;
//  - %a without a precision prints 13 hex digits (all of a double's), as the Windows runtime does;
//  - an unknown conversion, or a format that ends inside a conversion, is copied as it is;
//  - widths and precisions are capped at 1 << 20 so that a bad format cannot exhaust memory.
#include "jxplat/text.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace jxtext {

namespace {

constexpr int kMaxField = 1 << 20;

struct Spec {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool alt = false;
    bool zero = false;
    int width = 0;
    int precision = -1; // -1: none
};

enum class Size { None, HH, H, L, LL, LongDouble, I32, I64, Ptr, W };

// Pads the field that starts at start (prefixLen units of sign or "0x" first) to the width.
void FinishField(std::u16string& out, size_t start, size_t prefixLen, const Spec& spec) {
    const size_t len = out.size() - start;
    const auto width = static_cast<size_t>(spec.width);
    if (width <= len) {
        return;
    }
    const size_t pad = width - len;
    if (spec.left) {
        out.append(pad, u' ');
    } else if (spec.zero) {
        out.insert(start + prefixLen, pad, u'0');
    } else {
        out.insert(start, pad, u' ');
    }
}

void AppendInteger(std::u16string& out, Spec spec, uint64_t magnitude, bool negative, bool isSigned,
                   unsigned radix, bool upper) {
    char prefix[2];
    size_t prefixLen = 0;
    if (isSigned) {
        if (negative) {
            prefix[prefixLen++] = '-';
        } else if (spec.plus) {
            prefix[prefixLen++] = '+';
        } else if (spec.space) {
            prefix[prefixLen++] = ' ';
        }
    }
    if (radix == 16 && spec.alt && magnitude != 0) {
        prefix[prefixLen++] = '0';
        prefix[prefixLen++] = upper ? 'X' : 'x';
    }
    int precision = 1;
    if (spec.precision >= 0) {
        precision = spec.precision;
        spec.zero = false;
    }
    char digits[64];
    size_t count = 0; // digits[64 - count .. 64) hold the digits
    const char* alphabet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    for (uint64_t v = magnitude; v != 0; v /= radix) {
        digits[sizeof digits - ++count] = alphabet[v % radix];
    }
    size_t zeros = static_cast<size_t>(precision) > count ? static_cast<size_t>(precision) - count : 0;
    if (radix == 8 && spec.alt && zeros == 0 && (count == 0 || digits[sizeof digits - count] != '0')) {
        zeros = 1;
    }
    const size_t start = out.size();
    out.append(prefix, prefix + prefixLen);
    out.append(zeros, u'0');
    out.append(digits + sizeof digits - count, digits + sizeof digits);
    FinishField(out, start, prefixLen, spec);
}

template <class T> void AppendFloat(std::u16string& out, const Spec& spec, char16_t conversion, T value) {
    char format[16];
    size_t f = 0;
    format[f++] = '%';
    if (spec.left) {
        format[f++] = '-';
    }
    if (spec.plus) {
        format[f++] = '+';
    }
    if (spec.space) {
        format[f++] = ' ';
    }
    if (spec.alt) {
        format[f++] = '#';
    }
    if (spec.zero) {
        format[f++] = '0';
    }
    format[f++] = '*';
    format[f++] = '.';
    format[f++] = '*';
    if constexpr (std::is_same_v<T, long double>) {
        format[f++] = 'L';
    }
    format[f++] = static_cast<char>(conversion);
    format[f] = 0;

    int precision = spec.precision;
    if (precision < 0) {
        precision = (conversion == u'a' || conversion == u'A') ? 13 : 6;
    }
    char small[128];
    int written = std::snprintf(small, sizeof small, format, spec.width, precision, value);
    if (written < 0) {
        return;
    }
    if (static_cast<size_t>(written) < sizeof small) {
        out.append(small, small + written);
        return;
    }
    std::string large(static_cast<size_t>(written) + 1, '\0');
    written = std::snprintf(large.data(), large.size(), format, spec.width, precision, value);
    if (written > 0) {
        out.append(large.data(), large.data() + written);
    }
}

// Length of a UTF-8 string under a byte precision, never ending inside a sequence.
size_t NarrowLength(const char* text, int precision) {
    if (precision < 0) {
        return std::strlen(text);
    }
    const auto limit = static_cast<size_t>(precision);
    const void* nul = std::memchr(text, 0, limit); // reads no further than the precision allows
    if (nul != nullptr) {
        return static_cast<size_t>(static_cast<const char*>(nul) - text);
    }
    // Cut at the precision: drop a last sequence that the cut left incomplete.
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    size_t lead = limit;
    while (lead > 0 && limit - lead < 4 && (s[lead - 1] & 0xC0) == 0x80) {
        --lead;
    }
    if (lead > 0 && s[lead - 1] >= 0xC2 && s[lead - 1] <= 0xF4) {
        const size_t need = s[lead - 1] >= 0xF0 ? 4 : s[lead - 1] >= 0xE0 ? 3 : 2;
        if (limit - (lead - 1) < need) {
            return lead - 1;
        }
    }
    return limit;
}

} // namespace

void AppendFormatV(std::u16string& out, const char16_t* format, va_list args) {
    if (format == nullptr) {
        return;
    }
    va_list ap;
    va_copy(ap, args);
    const char16_t* p = format;
    while (*p != 0) {
        const char16_t* literal = p;
        while (*p != 0 && *p != u'%') {
            ++p;
        }
        if (p != literal) {
            out.append(literal, static_cast<size_t>(p - literal));
        }
        if (*p == 0) {
            break;
        }
        const char16_t* specStart = p++;
        Spec spec;

        for (bool more = true; more;) {
            switch (*p) {
            case u'-':
                spec.left = true;
                ++p;
                break;
            case u'+':
                spec.plus = true;
                ++p;
                break;
            case u' ':
                spec.space = true;
                ++p;
                break;
            case u'#':
                spec.alt = true;
                ++p;
                break;
            case u'0':
                spec.zero = true;
                ++p;
                break;
            default:
                more = false;
                break;
            }
        }
        if (*p == u'*') {
            ++p;
            const int w = va_arg(ap, int);
            if (w < 0) {
                spec.left = true;
                spec.width = w == INT_MIN ? kMaxField : (-w < kMaxField ? -w : kMaxField);
            } else {
                spec.width = w < kMaxField ? w : kMaxField;
            }
        } else {
            for (; *p >= u'0' && *p <= u'9'; ++p) {
                spec.width = spec.width * 10 + (*p - u'0');
                if (spec.width > kMaxField) {
                    spec.width = kMaxField;
                }
            }
        }
        if (*p == u'.') {
            ++p;
            spec.precision = 0;
            if (*p == u'*') {
                ++p;
                const int pr = va_arg(ap, int);
                spec.precision = pr < 0 ? -1 : (pr < kMaxField ? pr : kMaxField);
            } else {
                for (; *p >= u'0' && *p <= u'9'; ++p) {
                    spec.precision = spec.precision * 10 + (*p - u'0');
                    if (spec.precision > kMaxField) {
                        spec.precision = kMaxField;
                    }
                }
            }
        }

        Size size = Size::None;
        switch (*p) {
        case u'h':
            size = p[1] == u'h' ? Size::HH : Size::H;
            p += size == Size::HH ? 2 : 1;
            break;
        case u'l':
            size = p[1] == u'l' ? Size::LL : Size::L;
            p += size == Size::LL ? 2 : 1;
            break;
        case u'L':
            size = Size::LongDouble;
            ++p;
            break;
        case u'w':
            size = Size::W;
            ++p;
            break;
        case u'j':
            size = Size::I64;
            ++p;
            break;
        case u'z':
        case u't':
            size = Size::Ptr;
            ++p;
            break;
        case u'I':
            if (p[1] == u'6' && p[2] == u'4') {
                size = Size::I64;
                p += 3;
            } else if (p[1] == u'3' && p[2] == u'2') {
                size = Size::I32;
                p += 3;
            } else {
                size = Size::Ptr;
                ++p;
            }
            break;
        default:
            break;
        }

        const char16_t conversion = *p;
        if (conversion == 0) {
            out.append(specStart, static_cast<size_t>(p - specStart)); // the format ends inside a conversion
            break;
        }
        ++p;
        switch (conversion) {
        case u'%':
            out.push_back(u'%');
            break;

        case u'd':
        case u'i': {
            int64_t v;
            switch (size) {
            case Size::HH:
                v = static_cast<signed char>(va_arg(ap, int));
                break;
            case Size::H:
                v = static_cast<short>(va_arg(ap, int));
                break;
            case Size::LL:
            case Size::I64:
            case Size::LongDouble:
                v = va_arg(ap, long long);
                break;
            case Size::Ptr:
                v = va_arg(ap, ptrdiff_t);
                break;
            default:
                v = va_arg(ap, int);
                break;
            }
            const bool negative = v < 0;
            const uint64_t magnitude =
                negative ? static_cast<uint64_t>(0) - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
            AppendInteger(out, spec, magnitude, negative, true, 10, false);
            break;
        }

        case u'u':
        case u'o':
        case u'x':
        case u'X': {
            uint64_t v;
            switch (size) {
            case Size::HH:
                v = static_cast<unsigned char>(va_arg(ap, unsigned));
                break;
            case Size::H:
                v = static_cast<unsigned short>(va_arg(ap, unsigned));
                break;
            case Size::LL:
            case Size::I64:
            case Size::LongDouble:
                v = va_arg(ap, unsigned long long);
                break;
            case Size::Ptr:
                v = va_arg(ap, size_t);
                break;
            default:
                v = va_arg(ap, unsigned);
                break;
            }
            const unsigned radix = conversion == u'u' ? 10 : conversion == u'o' ? 8 : 16;
            AppendInteger(out, spec, v, false, false, radix, conversion == u'X');
            break;
        }

        case u'p': {
            const auto v = reinterpret_cast<uintptr_t>(va_arg(ap, void*));
            spec.precision = static_cast<int>(2 * sizeof(void*));
            AppendInteger(out, spec, v, false, false, 16, true);
            break;
        }

        case u's':
        case u'S':
        case u'c':
        case u'C': {
            bool wide;
            if (size == Size::H || size == Size::HH) {
                wide = false;
            } else if (size == Size::L || size == Size::W) {
                wide = true;
            } else {
                wide = conversion == u's' || conversion == u'c';
            }
            const size_t start = out.size();
            if (conversion == u'c' || conversion == u'C') {
                const int c = va_arg(ap, int);
                if (wide) {
                    out.push_back(static_cast<char16_t>(c));
                } else {
                    const auto b = static_cast<unsigned char>(c);
                    out.push_back(b < 0x80 ? static_cast<char16_t>(b) : static_cast<char16_t>(0xFFFD));
                }
            } else if (wide) {
                const char16_t* s = va_arg(ap, const char16_t*);
                if (s == nullptr) {
                    s = u"(null)";
                }
                size_t len = 0;
                if (spec.precision < 0) {
                    len = std::char_traits<char16_t>::length(s);
                } else {
                    while (len < static_cast<size_t>(spec.precision) && s[len] != 0) {
                        ++len;
                    }
                }
                out.append(s, len);
            } else {
                const char* s = va_arg(ap, const char*);
                if (s == nullptr) {
                    s = "(null)";
                }
                AppendUtf8ToUtf16(out, std::string_view(s, NarrowLength(s, spec.precision)));
            }
            FinishField(out, start, 0, spec);
            break;
        }

        case u'n':
            (void)va_arg(ap, void*);
            break; // refused: never written through

        case u'e':
        case u'E':
        case u'f':
        case u'F':
        case u'g':
        case u'G':
        case u'a':
        case u'A':
            if (size == Size::LongDouble) {
                AppendFloat(out, spec, conversion, va_arg(ap, long double));
            } else {
                AppendFloat(out, spec, conversion, va_arg(ap, double));
            }
            break;

        default:
            out.append(specStart, static_cast<size_t>(p - specStart));
            break; // unknown: as it is
        }
    }
    va_end(ap);
}

void AppendFormat(std::u16string& out, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    AppendFormatV(out, format, args);
    va_end(args);
}

std::u16string FormatV(const char16_t* format, va_list args) {
    std::u16string out;
    AppendFormatV(out, format, args);
    return out;
}

std::u16string Format(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string out;
    AppendFormatV(out, format, args);
    va_end(args);
    return out;
}

size_t FormatToBuffer(char16_t* buffer, size_t count, const char16_t* format, va_list args) {
    if (buffer == nullptr || count == 0) {
        return 0;
    }
    // A local text, not a per-thread one: traces also run from destructors of static objects at
    // exit, after the thread's own objects are gone.
    std::u16string scratch;
    AppendFormatV(scratch, format, args);
    const size_t n = scratch.size() < count - 1 ? scratch.size() : count - 1;
    std::char_traits<char16_t>::copy(buffer, scratch.data(), n);
    buffer[n] = 0;
    return n;
}

} // namespace jxtext
