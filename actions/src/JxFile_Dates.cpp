// Date texts of file records: parsing, OLE automation dates and the text of a file time.
#include <cstdio>

#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {
namespace {

constexpr ULONGLONG kTicksPerSecond = 10000000ull;
constexpr long long kSecondsPerDay = 86400;

bool _date_IsLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int _date_DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && _date_IsLeap(year) ? 29 : days[month - 1];
}

// Days from 1.1.1970 to the given day of the proleptic Gregorian calendar.
long long _date_DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void _date_CivilFromDays(long long z, long long& y, unsigned& m, unsigned& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<long long>(yoe) + era * 400 + (m <= 2);
}

// A part of a date text as a 16-bit unsigned number: decimal digits only, at most 65535.
bool _date_ParsePart(std::u16string_view text, WORD& value) {
    if (text.empty() || text.size() > 5)
        return false;
    unsigned number = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            return false;
        number = number * 10 + static_cast<unsigned>(c - u'0');
    }
    if (number > 0xFFFF)
        return false;
    value = static_cast<WORD>(number);
    return true;
}

} // namespace

JxSystemTime JxFile::StringToSystemTime(std::u16string_view text) {
    std::u16string normalized(text);
    for (char16_t& c : normalized) {
        if (c == u' ' || c == u':')
            c = u'.';
    }
    const std::vector<std::u16string> parts = jxtext::Split(normalized, u'.');
    if (parts.size() < 6)
        return {};
    WORD fields[6] = {};
    for (size_t i = 0; i < 6; ++i) {
        // A part that is no 16-bit number makes the whole date invalid (year 0) rather than a
        // half-read date.
        if (!_date_ParsePart(parts[i], fields[i]))
            return {};
    }
    JxSystemTime time{};
    time.wDay = fields[0];
    time.wMonth = fields[1];
    time.wYear = fields[2];
    time.wHour = fields[3];
    time.wMinute = fields[4];
    time.wSecond = fields[5];
    return time;
}

bool JxFile::SystemTimeToOleDate(const JxSystemTime& time, double& date) {
    if (time.wYear < 100 || time.wYear > 9999 || time.wMonth < 1 || time.wMonth > 12 || time.wDay < 1 ||
        time.wDay > _date_DaysInMonth(time.wYear, time.wMonth) || time.wHour > 23 || time.wMinute > 59 ||
        time.wSecond > 59 || time.wMilliseconds > 999)
        return false;
    const long long days =
        _date_DaysFromCivil(time.wYear, time.wMonth, time.wDay) - _date_DaysFromCivil(1899, 12, 30);
    const double seconds =
        time.wHour * 3600.0 + time.wMinute * 60.0 + time.wSecond + time.wMilliseconds / 1000.0;
    // Only the order of two dates matters to the callers, so days before 1899 keep the same
    // increasing scale instead of the automation date's mirrored fraction.
    date = static_cast<double>(days) + seconds / static_cast<double>(kSecondsPerDay);
    return true;
}

std::u16string JxFile::FileTimeToString(const FILETIME& time) {
    const ULONGLONG ticks = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    const long long seconds = static_cast<long long>(ticks / kTicksPerSecond);
    const long long days = seconds / kSecondsPerDay + _date_DaysFromCivil(1601, 1, 1);
    const long long secondOfDay = seconds % kSecondsPerDay;
    long long year = 0;
    unsigned month = 0;
    unsigned day = 0;
    _date_CivilFromDays(days, year, month, day);
    char text[64];
    std::snprintf(text, sizeof text, "%02u.%02u.%04lld %02lld.%02lld.%02lld ", day, month, year,
                  secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60);
    return jxtext::W(text);
}

} // namespace JxSetup::Data
