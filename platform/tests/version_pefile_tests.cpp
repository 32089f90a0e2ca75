// The test images and their version resources, read by an independent PE reader (Debian's
// python3-pefile, for the system Python) and by the stand-in: both must see the same values.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"
#include "jxtest/pe_builder.h"
#include "jxtest/run_program.h"

namespace {

bool HavePefile() {
    return jxtest::CommandOutput("/usr/bin/python3 -c 'import pefile; print(1)' 2>/dev/null") == "1\n";
}

// pefile's view: the four version words of the fixed information, then the FileVersion text.
const char* kScript = R"PY(
import sys, pefile
pe = pefile.PE(sys.argv[1])
f = pe.VS_FIXEDFILEINFO[0]
print(f.FileVersionMS, f.FileVersionLS, f.ProductVersionMS, f.ProductVersionLS)
for info in pe.FileInfo[0]:
    if info.Key == b'StringFileInfo':
        for table in info.StringTable:
            print(table.LangID.decode(), table.entries[b'FileVersion'].decode())
)PY";

TEST(VersionPefile, SameValuesAsAnIndependentReader) {
    if (!HavePefile())
        GTEST_SKIP() << "python3-pefile is not installed";
    jxtest::TempMachineRoot root;
    ASSERT_TRUE(CreateDirectoryW(u"C:\\work", nullptr));
    const std::string script = jxplat::MachinePath("version.py");
    std::ofstream(script) << kScript;

    jxtest::VersionInfo version;
    version.fixed = std::pair{0x0001000200030004ull, 0x0005000600070008ull};
    version.stringTables = {{u"040904B0", {{u"FileVersion", u"1, 2, 3, 4"}}}};
    version.translations = {{0x0409, 0x04B0}};
    for (bool pe32Plus : {false, true}) {
        SCOPED_TRACE(pe32Plus ? "PE32+" : "PE32");
        const std::string host = jxplat::WindowsToHostPath(u"C:\\work\\app.exe");
        const std::string image =
            jxtest::BuildPeImage({{16, 1, 0x0409, jxtest::BuildVersionResource(version)}}, pe32Plus);
        std::ofstream(host, std::ios::binary | std::ios::trunc).write(image.data(), image.size());

        const DWORD size = GetFileVersionInfoSizeW(u"C:\\work\\app.exe", nullptr);
        ASSERT_GT(size, 0u);
        std::vector<BYTE> info(size);
        ASSERT_TRUE(GetFileVersionInfoW(u"C:\\work\\app.exe", 0, size, info.data()));
        LPVOID value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), u"\\", &value, &length));
        VS_FIXEDFILEINFO fixed;
        std::memcpy(&fixed, value, sizeof fixed);
        ASSERT_TRUE(VerQueryValueW(info.data(), u"\\StringFileInfo\\040904B0\\FileVersion", &value, &length));
        const std::u16string text(static_cast<const char16_t*>(value), length - 1);

        const std::string ours = jxtext::N(
            jxtext::Format(u"%u %u %u %u\n040904B0 %s\n", fixed.dwFileVersionMS, fixed.dwFileVersionLS,
                           fixed.dwProductVersionMS, fixed.dwProductVersionLS, text.c_str()));
        EXPECT_EQ(jxtest::CommandOutput("/usr/bin/python3 '" + script + "' '" + host + "' 2>&1"), ours);
        EXPECT_EQ(ours, "65538 196612 327686 458760\n040904B0 1, 2, 3, 4\n");
    }
}

} // namespace
