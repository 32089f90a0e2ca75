// Small PE images built byte by byte for the tests: a PE32 (or PE32+) program whose only section is
// ".rsrc" holding the given resources, and the version resource (VS_VERSIONINFO) to put in it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace jxtest {

struct PeResource {
    uint16_t type = 16; // RT_VERSION
    uint16_t id = 1;
    uint16_t language = 0x0409;
    std::string data;
};

// An image with these resources; without any it has no resource section and no resource directory.
std::string BuildPeImage(const std::vector<PeResource>& resources, bool pe32Plus = false);

struct VersionStringTable {
    std::u16string key; // language and code page as 8 hexadecimal digits: "040904B0"
    std::vector<std::pair<std::u16string, std::u16string>> strings;
};

struct VersionInfo {
    // The fixed file information; none leaves the root block without a value.
    std::optional<std::pair<uint64_t, uint64_t>> fixed; // file version, product version
    std::vector<VersionStringTable> stringTables;
    std::vector<std::pair<uint16_t, uint16_t>> translations; // language, code page
};

// The bytes of a VS_VERSIONINFO resource.
std::string BuildVersionResource(const VersionInfo& info);

// Shorthand: a program whose version resource holds only the fixed file information.
std::string BuildVersionedPe(uint64_t fileVersion, uint64_t productVersion, bool pe32Plus = false);

// The offset of the first UTF-16 occurrence of text in bytes, or npos.
size_t FindUtf16(const std::string& bytes, std::u16string_view text);

} // namespace jxtest
