// Versions read from the version resources of program files in a machine root.
#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include "jxbase/FileVer64.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"
#include "jxtest/pe_builder.h"

namespace {

using jxtest::VersionInfo;

constexpr uint64_t kFile = 0x0001000200030004ull;    // 1.2.3.4
constexpr uint64_t kProduct = 0x0005000600070008ull; // 5.6.7.8

std::string Image(const VersionInfo& info) {
    return jxtest::BuildPeImage({{16, 1, 0x0409, jxtest::BuildVersionResource(info)}});
}

// Only string tables: the reader must fall back to them.
VersionInfo Strings(std::vector<jxtest::VersionStringTable> tables,
                    std::vector<std::pair<uint16_t, uint16_t>> pairs) {
    VersionInfo info;
    info.stringTables = std::move(tables);
    info.translations = std::move(pairs);
    return info;
}

TEST(FileVer64Read, Table) {
    jxtest::TempMachineRoot root;
    ASSERT_TRUE(CreateDirectoryW(u"C:\\work", nullptr));

    VersionInfo fixedAndStrings =
        Strings({{u"040904B0", {{u"FileVersion", u"9.9.9.9"}}}}, {{0x0409, 0x04B0}});
    fixedAndStrings.fixed = std::pair{kFile, kProduct};
    VersionInfo zero;
    zero.fixed = std::pair{0ull, 0ull};
    const auto english = std::pair<uint16_t, uint16_t>{0x0409, 0x04B0};
    const auto german = std::pair<uint16_t, uint16_t>{0x0407, 0x04E4};

    const struct {
        const char* name;
        std::string image;
        bool fileVersion;
        bool result;
        const char16_t* version;
    } cases[] = {
        {"fixed file version", jxtest::BuildVersionedPe(kFile, kProduct), true, true, u"1.2.3.4"},
        {"fixed product version", jxtest::BuildVersionedPe(kFile, kProduct), false, true, u"5.6.7.8"},
        {"fixed of a PE32+", jxtest::BuildVersionedPe(kFile, kProduct, true), true, true, u"1.2.3.4"},
        {"fixed wins over strings", Image(fixedAndStrings), true, true, u"1.2.3.4"},
        {"fixed 0.0.0.0 is found", Image(zero), true, true, u"0.0.0.0"},
        {"file version text",
         Image(Strings({{u"040904B0", {{u"FileVersion", u"2, 0, 1, 5"}, {u"ProductVersion", u"3.1"}}}},
                       {english})),
         true, true, u"2.0.1.5"},
        {"product version text",
         Image(Strings({{u"040904B0", {{u"FileVersion", u"2, 0, 1, 5"}, {u"ProductVersion", u"3.1"}}}},
                       {english})),
         false, true, u"3.1.0.0"},
        {"next translation when the text has no digit",
         Image(Strings(
             {{u"040704E4", {{u"FileVersion", u"n/a"}}}, {u"040904B0", {{u"FileVersion", u"4.5.6.7"}}}},
             {german, english})),
         true, true, u"4.5.6.7"},
        {"next translation when its table is missing",
         Image(Strings({{u"040904B0", {{u"FileVersion", u"4.5"}}}}, {german, english})), true, true,
         u"4.5.0.0"},
        {"a text of 0 ends the search",
         Image(Strings({{u"040704E4", {{u"FileVersion", u"0.0"}}}, {u"040904B0", {{u"FileVersion", u"4.5"}}}},
                       {german, english})),
         true, false, u"0.0.0.0"},
        {"strings without translations", Image(Strings({{u"040904B0", {{u"FileVersion", u"4.5"}}}}, {})),
         true, false, u"0.0.0.0"},
        {"translation without its name",
         Image(Strings({{u"040904B0", {{u"FileVersion", u"4.5"}}}}, {english})), false, false, u"0.0.0.0"},
        {"no resource section", jxtest::BuildPeImage({}), true, false, u"0.0.0.0"},
        {"not a program", "plain text", true, false, u"0.0.0.0"},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::u16string path = u"C:\\work\\f" + jxtext::ToText(++index) + u".exe";
        std::ofstream(jxplat::WindowsToHostPath(path), std::ios::binary)
            .write(c.image.data(), c.image.size());
        FileVer64 version(~0ull); // reset before the read
        EXPECT_EQ(version.ReadFromFile(path.c_str(), c.fileVersion), c.result);
        EXPECT_EQ(version.ToString(), c.version);
    }

    FileVer64 missing(~0ull);
    EXPECT_FALSE(missing.ReadFromFile(u"C:\\work\\missing.exe", true));
    EXPECT_EQ(missing.GetValue(), 0u);
    EXPECT_FALSE(missing.ReadFromFile(nullptr, true));
}

} // namespace
