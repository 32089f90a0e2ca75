// Builds PE images and version resources with the documented layouts, independent of the reader
// under test.
#include "jxtest/pe_builder.h"

#include <map>

namespace jxtest {
namespace {

constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kResourceRva = 0x1000;

void Put16(std::string& out, uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}
void Put32(std::string& out, uint32_t value) {
    Put16(out, static_cast<uint16_t>(value));
    Put16(out, static_cast<uint16_t>(value >> 16));
}
void Put64(std::string& out, uint64_t value) {
    Put32(out, static_cast<uint32_t>(value));
    Put32(out, static_cast<uint32_t>(value >> 32));
}
void Set16(std::string& out, size_t at, uint16_t value) {
    out[at] = static_cast<char>(value & 0xFF);
    out[at + 1] = static_cast<char>(value >> 8);
}
void Set32(std::string& out, size_t at, uint32_t value) {
    Set16(out, at, static_cast<uint16_t>(value));
    Set16(out, at + 2, static_cast<uint16_t>(value >> 16));
}
void PadTo(std::string& out, size_t alignment) {
    while (out.size() % alignment != 0)
        out += '\0';
}
uint32_t AlignUp(uint32_t value, uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

// One version block: header, key, value, children; its length excludes padding after the last child.
std::string Block(std::u16string_view key, uint16_t type, const std::string& value, uint16_t valueLength,
                  const std::vector<std::string>& children) {
    std::string out;
    Put16(out, 0); // length, set below
    Put16(out, valueLength);
    Put16(out, type);
    for (char16_t c : key)
        Put16(out, c);
    Put16(out, 0);
    PadTo(out, 4);
    out += value;
    for (const std::string& child : children) {
        PadTo(out, 4);
        out += child;
    }
    Set16(out, 0, static_cast<uint16_t>(out.size()));
    return out;
}

std::string FixedFileInfo(uint64_t fileVersion, uint64_t productVersion) {
    std::string out;
    Put32(out, 0xFEEF04BD); // signature
    Put32(out, 0x00010000); // structure version
    Put32(out, static_cast<uint32_t>(fileVersion >> 32));
    Put32(out, static_cast<uint32_t>(fileVersion));
    Put32(out, static_cast<uint32_t>(productVersion >> 32));
    Put32(out, static_cast<uint32_t>(productVersion));
    Put32(out, 0x3F);       // flags mask
    Put32(out, 0);          // flags
    Put32(out, 0x00040004); // NT, Windows32
    Put32(out, 1);          // application
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    return out;
}

// The resource section: the three directory levels (type, name, language), the data entries, then
// the data, each 4-byte aligned.
std::string ResourceSection(const std::vector<PeResource>& resources) {
    std::map<uint16_t, std::map<uint16_t, std::map<uint16_t, const std::string*>>> tree;
    for (const PeResource& resource : resources)
        tree[resource.type][resource.id][resource.language] = &resource.data;

    auto directorySize = [](size_t entries) { return 16 + 8 * entries; };
    size_t size = directorySize(tree.size());
    for (const auto& [type, names] : tree) {
        size += directorySize(names.size());
        for (const auto& [id, languages] : names)
            size += directorySize(languages.size());
    }
    const size_t dataEntries = size;
    size += 16 * resources.size();

    std::string out(size, '\0');
    size_t nextDirectory = directorySize(tree.size());
    size_t nextDataEntry = dataEntries;
    auto writeDirectoryHeader = [&](size_t at, size_t idEntries) {
        Set16(out, at + 14, static_cast<uint16_t>(idEntries));
    };

    writeDirectoryHeader(0, tree.size());
    size_t typeSlot = 16;
    for (const auto& [type, names] : tree) {
        const size_t namesAt = nextDirectory;
        nextDirectory += directorySize(names.size());
        Set32(out, typeSlot, type);
        Set32(out, typeSlot + 4, 0x80000000u | static_cast<uint32_t>(namesAt));
        typeSlot += 8;
        writeDirectoryHeader(namesAt, names.size());
        size_t nameSlot = namesAt + 16;
        for (const auto& [id, languages] : names) {
            const size_t languagesAt = nextDirectory;
            nextDirectory += directorySize(languages.size());
            Set32(out, nameSlot, id);
            Set32(out, nameSlot + 4, 0x80000000u | static_cast<uint32_t>(languagesAt));
            nameSlot += 8;
            writeDirectoryHeader(languagesAt, languages.size());
            size_t languageSlot = languagesAt + 16;
            for (const auto& [language, data] : languages) {
                Set32(out, languageSlot, language);
                Set32(out, languageSlot + 4, static_cast<uint32_t>(nextDataEntry));
                languageSlot += 8;
                PadTo(out, 4);
                Set32(out, nextDataEntry, kResourceRva + static_cast<uint32_t>(out.size()));
                Set32(out, nextDataEntry + 4, static_cast<uint32_t>(data->size()));
                Set32(out, nextDataEntry + 8, 1200); // code page: UTF-16
                nextDataEntry += 16;
                out += *data;
            }
        }
    }
    return out;
}

} // namespace

std::string BuildVersionResource(const VersionInfo& info) {
    std::vector<std::string> children;
    if (!info.stringTables.empty()) {
        std::vector<std::string> tables;
        for (const VersionStringTable& table : info.stringTables) {
            std::vector<std::string> strings;
            for (const auto& [name, text] : table.strings) {
                std::string value;
                for (char16_t c : text)
                    Put16(value, c);
                Put16(value, 0);
                strings.push_back(Block(name, 1, value, static_cast<uint16_t>(text.size() + 1), {}));
            }
            tables.push_back(Block(table.key, 1, "", 0, strings));
        }
        children.push_back(Block(u"StringFileInfo", 1, "", 0, tables));
    }
    if (!info.translations.empty()) {
        std::string pairs;
        for (const auto& [language, codePage] : info.translations) {
            Put16(pairs, language);
            Put16(pairs, codePage);
        }
        std::string var = Block(u"Translation", 0, pairs, static_cast<uint16_t>(pairs.size()), {});
        children.push_back(Block(u"VarFileInfo", 1, "", 0, {var}));
    }
    std::string fixed = info.fixed ? FixedFileInfo(info.fixed->first, info.fixed->second) : std::string();
    return Block(u"VS_VERSION_INFO", 0, fixed, static_cast<uint16_t>(fixed.size()), children);
}

std::string BuildPeImage(const std::vector<PeResource>& resources, bool pe32Plus) {
    const std::string section = resources.empty() ? std::string() : ResourceSection(resources);
    const uint16_t sectionCount = resources.empty() ? 0 : 1;
    const uint32_t rawSize = AlignUp(static_cast<uint32_t>(section.size()), kFileAlignment);
    const uint32_t headersSize = kFileAlignment;
    const uint32_t imageSize =
        kSectionAlignment + AlignUp(static_cast<uint32_t>(section.size()), kSectionAlignment);

    std::string out;
    // DOS header: "MZ", the rest zero but the offset of the NT headers.
    out += "MZ";
    out.resize(0x3C, '\0');
    Put32(out, 0x40);
    // NT headers: signature, file header, optional header.
    out += std::string("PE\0\0", 4);
    Put16(out, pe32Plus ? 0x8664 : 0x014C);
    Put16(out, sectionCount);
    Put32(out, 0); // time stamp
    Put32(out, 0); // symbol table
    Put32(out, 0); // symbols
    Put16(out, pe32Plus ? 240 : 224);
    Put16(out, pe32Plus ? 0x0022 : 0x0102); // executable, large-address aware / 32-bit machine
    Put16(out, pe32Plus ? 0x20B : 0x10B);
    out += '\x0E'; // linker version
    out += '\0';
    Put32(out, 0);            // size of code
    Put32(out, rawSize);      // size of initialized data
    Put32(out, 0);            // size of uninitialized data
    Put32(out, 0);            // entry point
    Put32(out, kResourceRva); // base of code
    if (pe32Plus) {
        Put64(out, 0x140000000ull);
    } else {
        Put32(out, kResourceRva); // base of data
        Put32(out, 0x400000);
    }
    Put32(out, kSectionAlignment);
    Put32(out, kFileAlignment);
    Put16(out, 6); // operating system version
    Put16(out, 0);
    Put16(out, 0); // image version
    Put16(out, 0);
    Put16(out, 6); // subsystem version
    Put16(out, 0);
    Put32(out, 0); // Win32 version value
    Put32(out, imageSize);
    Put32(out, headersSize);
    Put32(out, 0);                // checksum
    Put16(out, 2);                // GUI subsystem
    Put16(out, 0x8140);           // DLL characteristics: terminal-server aware, NX, dynamic base
    for (int i = 0; i < 4; ++i) { // stack and heap, reserve and commit
        if (pe32Plus)
            Put64(out, 0x100000);
        else
            Put32(out, 0x100000);
    }
    Put32(out, 0);  // loader flags
    Put32(out, 16); // data directories
    for (int i = 0; i < 16; ++i) {
        const bool resourceEntry = i == 2 && !resources.empty();
        Put32(out, resourceEntry ? kResourceRva : 0);
        Put32(out, resourceEntry ? static_cast<uint32_t>(section.size()) : 0);
    }
    if (sectionCount) {
        out += std::string(".rsrc\0\0\0", 8);
        Put32(out, static_cast<uint32_t>(section.size())); // virtual size
        Put32(out, kResourceRva);
        Put32(out, rawSize);
        Put32(out, headersSize); // raw data offset
        Put32(out, 0);
        Put32(out, 0);
        Put16(out, 0);
        Put16(out, 0);
        Put32(out, 0x40000040); // initialized data, readable
    }
    out.resize(headersSize, '\0');
    out += section;
    out.resize(headersSize + rawSize, '\0');
    return out;
}

std::string BuildVersionedPe(uint64_t fileVersion, uint64_t productVersion, bool pe32Plus) {
    VersionInfo info;
    info.fixed = std::make_pair(fileVersion, productVersion);
    return BuildPeImage({PeResource{16, 1, 0x0409, BuildVersionResource(info)}}, pe32Plus);
}

size_t FindUtf16(const std::string& bytes, std::u16string_view text) {
    std::string needle;
    for (char16_t c : text)
        Put16(needle, c);
    return bytes.find(needle);
}

} // namespace jxtest
