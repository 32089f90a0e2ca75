// The one version value of the engine: four 16-bit parts packed into an unsigned 64-bit number
// (major << 48 | minor << 32 | build << 16 | revision), the layout of the version pairs of the
// fixed file information, so that a larger number is a newer version. 0 (0.0.0.0) is no version.
#pragma once

#include <compare>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

class FileVer64 {
public:
    FileVer64() = default;
    explicit FileVer64(ULONGLONG value) : m_value(value) {}
    FileVer64(WORD major, WORD minor, WORD build, WORD revision);

    // The file version (fileVersion true) or the product version of a program file: the fixed
    // file information of its version resource, else the first "FileVersion" / "ProductVersion"
    // text of its translations that parses. The value is 0 unless a version was found; true when
    // one was (a fixed file information of 0.0.0.0 counts as found).
    bool ReadFromFile(LPCWSTR path, bool fileVersion);
    // The four parts of a version text (see ParseVersionParts); true when the value is not 0. The
    // value is set either way.
    bool Parse(std::u16string_view text);
    // "major.minor.build.revision" in decimal.
    std::u16string ToString() const;

    ULONGLONG GetValue() const { return m_value; }
    void SetValue(ULONGLONG value) { m_value = value; }
    WORD Major() const { return static_cast<WORD>(m_value >> 48); }
    WORD Minor() const { return static_cast<WORD>(m_value >> 32); }
    WORD Build() const { return static_cast<WORD>(m_value >> 16); }
    WORD Revision() const { return static_cast<WORD>(m_value); }

    friend auto operator<=>(const FileVer64&, const FileVer64&) = default;

private:
    bool _Read_FromStrings(const BYTE* info, bool fileVersion);

    ULONGLONG m_value = 0;
};

// The name the file operations know it by.
using CFileVersion = FileVer64;

// Reads up to count numbers from a version text; all of them are 0 first. Commas count as points
// and blanks are dropped; the text starts at its first digit and ends before the first character
// that is neither a digit nor a point; an empty part ends the parse ("1..2" gives 1). A part's
// digits accumulate modulo 2^32. False when the text holds no digit.
bool ParseVersionParts(std::u16string_view text, DWORD* numbers, size_t count);

// Splits a strict version text at its points into 16-bit numbers, in order. False at the first part
// that is empty, not all decimal digits or above 65535; parts holds those read before it.
bool SplitVersionNumbers(std::u16string_view text, std::vector<WORD>& parts);
