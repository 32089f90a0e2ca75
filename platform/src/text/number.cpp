// Number parsing and printing as the Windows C runtime's wcstol/wcstoul/_wcstoi64 do.
#include "jxplat/text.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace jxtext {

namespace {

inline bool IsBlank(char16_t c) {
    return c == u' ' || (c >= 0x09 && c <= 0x0D);
}

inline int DigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'z') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'Z') {
        return c - u'A' + 10;
    }
    return 99;
}

// What wcstoul sees before it applies its type's range: the sign, the magnitude (or that it
// exceeds 64 bits), and how many code units the number used (0: no number, nothing used).
struct Scan {
    bool negative = false;
    bool overflow = false;
    uint64_t magnitude = 0;
    size_t used = 0;
};

Scan ScanNumber(std::u16string_view text, int base) {
    Scan r;
    if (base != 0 && (base < 2 || base > 36)) {
        return r;
    }
    const size_t n = text.size();
    size_t i = 0;
    while (i < n && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    const bool hexPrefix = i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X');
    if (base == 0) {
        base = hexPrefix ? 16 : (i < n && text[i] == u'0') ? 8 : 10;
    }
    if (base == 16 && hexPrefix) {
        // As the Windows runtime does, "0x" without hex digits after it is no number at all.
        i += 2;
    }
    const size_t digitsStart = i;
    const uint64_t limit = std::numeric_limits<uint64_t>::max();
    for (; i < n; ++i) {
        const int d = DigitValue(text[i]);
        if (d >= base) {
            break;
        }
        if (!r.overflow) {
            if (r.magnitude > (limit - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base)) {
                r.overflow = true;
            } else {
                r.magnitude = r.magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
            }
        }
    }
    if (i == digitsStart) {
        return Scan{};
    }
    r.negative = negative;
    r.used = i;
    return r;
}

// Signed result in [min, max] with wcstol's saturation.
long long Saturated(const Scan& s, long long min, long long max) {
    if (s.negative) {
        const uint64_t bound = static_cast<uint64_t>(0) - static_cast<uint64_t>(min); // |min|
        if (s.overflow || s.magnitude >= bound) {
            return min;
        }
        return -static_cast<long long>(s.magnitude);
    }
    if (s.overflow || s.magnitude > static_cast<uint64_t>(max)) {
        return max;
    }
    return static_cast<long long>(s.magnitude);
}

// Unsigned result in [0, max] as wcstoul does: out of range is max whatever the sign,
// otherwise a minus sign negates in the unsigned type.
unsigned long long Wrapped(const Scan& s, unsigned long long max) {
    if (s.overflow || s.magnitude > max) {
        return max;
    }
    return s.negative ? (static_cast<unsigned long long>(0) - s.magnitude) & max : s.magnitude;
}

template <class T> T Finish(const Scan& s, size_t* used, T value) {
    if (used != nullptr) {
        *used = s.used;
    }
    return value;
}

} // namespace

long long ParseInt64(std::u16string_view text, int base, size_t* used) {
    const Scan s = ScanNumber(text, base);
    return Finish(s, used,
                  Saturated(s, std::numeric_limits<long long>::min(), std::numeric_limits<long long>::max()));
}

unsigned long long ParseUInt64(std::u16string_view text, int base, size_t* used) {
    const Scan s = ScanNumber(text, base);
    return Finish(s, used, Wrapped(s, std::numeric_limits<unsigned long long>::max()));
}

int32_t ParseInt32(std::u16string_view text, int base, size_t* used) {
    const Scan s = ScanNumber(text, base);
    return Finish(s, used, static_cast<int32_t>(Saturated(s, INT32_MIN, INT32_MAX)));
}

uint32_t ParseUInt32(std::u16string_view text, int base, size_t* used) {
    const Scan s = ScanNumber(text, base);
    return Finish(s, used, static_cast<uint32_t>(Wrapped(s, UINT32_MAX)));
}

std::optional<long long> TryParseInt(std::u16string_view text, int base) {
    const Scan s = ScanNumber(text, base);
    if (s.used == 0 || s.overflow) {
        return std::nullopt;
    }
    for (size_t i = s.used; i < text.size(); ++i) {
        if (!IsBlank(text[i])) {
            return std::nullopt;
        }
    }
    const uint64_t maxMagnitude =
        static_cast<uint64_t>(std::numeric_limits<long long>::max()) + (s.negative ? 1 : 0);
    if (s.magnitude > maxMagnitude) {
        return std::nullopt;
    }
    return s.negative ? static_cast<long long>(static_cast<uint64_t>(0) - s.magnitude)
                      : static_cast<long long>(s.magnitude);
}

namespace {
template <class T> std::u16string DecimalText(T value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::u16string(buffer, result.ptr);
}
} // namespace

std::u16string ToText(long long value) {
    return DecimalText(value);
}
std::u16string ToText(unsigned long long value) {
    return DecimalText(value);
}

} // namespace jxtext
