// Version resources of PE files: finding them, copying them, the values inside, the errors of files
// without one, and damaged images.
#include <cstring>
#include <fstream>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"
#include "jxtest/pe_builder.h"

namespace {

constexpr uint64_t kFile = 0x0001000200030004ull;    // 1.2.3.4
constexpr uint64_t kProduct = 0x000A0000F0000005ull; // 10.0.61440.5

class VersionResourceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(CreateDirectoryW(u"C:\\work", nullptr)); }

    static void WriteImage(const std::u16string& path, const std::string& bytes) {
        std::ofstream out(jxplat::WindowsToHostPath(path), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out.good());
    }

    // The version resource of the file, copied into a buffer of exactly the size asked for (so that
    // the address sanitizer sees any read past it); empty when there is none.
    static std::vector<BYTE> Copy(const std::u16string& path) {
        DWORD handle = 7;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
        EXPECT_EQ(handle, 0u);
        if (size == 0)
            return {};
        std::vector<BYTE> data(size);
        EXPECT_TRUE(GetFileVersionInfoW(path.c_str(), handle, size, data.data()));
        return data;
    }

    static std::u16string Text(const std::vector<BYTE>& info, const char16_t* name) {
        LPVOID value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(info.data(), name, &value, &length))
            return u"<none>";
        std::u16string text(length, u'\0');
        std::memcpy(text.data(), value, length * 2);
        return text; // with its terminator, as counted
    }

    jxtest::TempMachineRoot m_root;
};

TEST_F(VersionResourceTest, FixedFileInfoOfPe32AndPe32Plus) {
    for (bool pe32Plus : {false, true}) {
        SCOPED_TRACE(pe32Plus ? "PE32+" : "PE32");
        WriteImage(u"C:\\work\\app.exe", jxtest::BuildVersionedPe(kFile, kProduct, pe32Plus));
        std::vector<BYTE> info = Copy(u"C:\\work\\app.exe");
        ASSERT_FALSE(info.empty());

        LPVOID value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), u"\\", &value, &length));
        ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
        VS_FIXEDFILEINFO fixed;
        std::memcpy(&fixed, value, sizeof fixed);
        EXPECT_EQ(fixed.dwSignature, VS_FFI_SIGNATURE);
        EXPECT_EQ(fixed.dwFileVersionMS, 0x00010002u);
        EXPECT_EQ(fixed.dwFileVersionLS, 0x00030004u);
        EXPECT_EQ(fixed.dwProductVersionMS, 0x000A0000u);
        EXPECT_EQ(fixed.dwProductVersionLS, 0xF0000005u);
    }
}

TEST_F(VersionResourceTest, StringsAndTranslations) {
    jxtest::VersionInfo version;
    version.stringTables = {{u"040904B0", {{u"FileVersion", u"2, 0, 1, 5"}, {u"ProductName", u"Jx"}}},
                            {u"04070000", {{u"FileVersion", u"3.0"}}}};
    version.translations = {{0x0409, 0x04B0}, {0x0407, 0x0000}};
    WriteImage(u"C:\\work\\app.dll",
               jxtest::BuildPeImage({{16, 1, 0x0409, jxtest::BuildVersionResource(version)}}));
    std::vector<BYTE> info = Copy(u"C:\\work\\app.dll");
    ASSERT_FALSE(info.empty());

    LPVOID value = reinterpret_cast<LPVOID>(1);
    UINT length = 99;
    EXPECT_FALSE(VerQueryValueW(info.data(), u"\\", &value, &length)) << "the root has no fixed information";
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(length, 0u);

    ASSERT_TRUE(VerQueryValueW(info.data(), u"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 8u);
    const BYTE* pairs = static_cast<const BYTE*>(value);
    EXPECT_EQ(std::vector<BYTE>(pairs, pairs + 8),
              (std::vector<BYTE>{0x09, 0x04, 0xB0, 0x04, 0x07, 0x04, 0, 0}));

    EXPECT_EQ(Text(info, u"\\StringFileInfo\\040904B0\\FileVersion"), std::u16string(u"2, 0, 1, 5\0", 11));
    EXPECT_EQ(Text(info, u"\\stringfileinfo\\040904b0\\PRODUCTNAME"), std::u16string(u"Jx\0", 3));
    EXPECT_EQ(Text(info, u"\\StringFileInfo\\04070000\\FileVersion"), std::u16string(u"3.0\0", 4));
    EXPECT_EQ(Text(info, u"\\StringFileInfo\\04070000\\ProductName"), u"<none>");
    EXPECT_EQ(Text(info, u"\\StringFileInfo\\040904B0"), u"<none>") << "a block without a value";
    EXPECT_EQ(Text(info, u"\\Nothing"), u"<none>");

    SetLastError(0);
    EXPECT_FALSE(VerQueryValueW(nullptr, u"\\", &value, &length));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(VersionResourceTest, FilesWithoutVersionResource) {
    ASSERT_TRUE(CreateDirectoryW(u"C:\\work\\folder.exe", nullptr));
    WriteImage(u"C:\\work\\plain.exe", jxtest::BuildPeImage({}));
    WriteImage(u"C:\\work\\manifest.exe", jxtest::BuildPeImage({{24, 1, 0x0409, "<assembly/>"}}));
    WriteImage(u"C:\\work\\otherid.exe",
               jxtest::BuildPeImage(
                   {{16, 2, 0x0409, jxtest::BuildVersionResource({std::pair{kFile, kFile}, {}, {}})}}));
    WriteImage(u"C:\\work\\script.exe", "#!/bin/sh\nexit 0\n");
    WriteImage(u"C:\\work\\empty.exe", "");

    const struct {
        const char16_t* path;
        DWORD error;
    } cases[] = {
        {u"C:\\work\\plain.exe", ERROR_RESOURCE_DATA_NOT_FOUND},
        {u"C:\\work\\manifest.exe", ERROR_RESOURCE_TYPE_NOT_FOUND},
        {u"C:\\work\\otherid.exe", ERROR_RESOURCE_NAME_NOT_FOUND},
        {u"C:\\work\\script.exe", ERROR_BAD_EXE_FORMAT},
        {u"C:\\work\\empty.exe", ERROR_BAD_EXE_FORMAT},
        {u"C:\\work\\missing.exe", ERROR_FILE_NOT_FOUND},
        {u"C:\\work\\no\\missing.exe", ERROR_PATH_NOT_FOUND},
        {u"C:\\work\\folder.exe", ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(jxtext::N(c.path));
        SetLastError(0);
        EXPECT_EQ(GetFileVersionInfoSizeW(c.path, nullptr), 0u);
        EXPECT_EQ(GetLastError(), c.error);
        BYTE buffer[64];
        SetLastError(0);
        EXPECT_FALSE(GetFileVersionInfoW(c.path, 0, sizeof buffer, buffer));
        EXPECT_EQ(GetLastError(), c.error);
    }
}

TEST_F(VersionResourceTest, ShortBufferGetsACopyWhoseBlocksEndInsideIt) {
    jxtest::VersionInfo version;
    version.fixed = std::pair{kFile, kProduct};
    version.stringTables = {{u"040904B0", {{u"FileVersion", u"1.2.3.4"}}}};
    version.translations = {{0x0409, 0x04B0}};
    WriteImage(u"C:\\work\\app.exe",
               jxtest::BuildPeImage({{16, 1, 0x0409, jxtest::BuildVersionResource(version)}}));
    const DWORD size = GetFileVersionInfoSizeW(u"C:\\work\\app.exe", nullptr);
    ASSERT_GT(size, 120u);

    std::vector<BYTE> cut(120); // the fixed information fits, the strings do not
    ASSERT_TRUE(GetFileVersionInfoW(u"C:\\work\\app.exe", 0, static_cast<DWORD>(cut.size()), cut.data()));
    EXPECT_LE(cut[0] | (cut[1] << 8), 120);
    LPVOID value = nullptr;
    UINT length = 0;
    EXPECT_TRUE(VerQueryValueW(cut.data(), u"\\", &value, &length));
    EXPECT_FALSE(VerQueryValueW(cut.data(), u"\\StringFileInfo\\040904B0\\FileVersion", &value, &length));
    EXPECT_FALSE(VerQueryValueW(cut.data(), u"\\VarFileInfo\\Translation", &value, &length));

    BYTE tiny[4];
    SetLastError(0);
    EXPECT_FALSE(GetFileVersionInfoW(u"C:\\work\\app.exe", 0, sizeof tiny, tiny));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

// A zero block length would loop for ever; a key without terminator would run past the block.
TEST_F(VersionResourceTest, BrokenBlocksEndTheWalk) {
    jxtest::VersionInfo version;
    version.stringTables = {{u"040904B0", {{u"CompanyName", u"Jx"}, {u"FileVersion", u"1.2.3.4"}}}};
    version.translations = {{0x0409, 0x04B0}};
    const std::string resource = jxtest::BuildVersionResource(version);
    const size_t key = jxtest::FindUtf16(resource, u"CompanyName");
    ASSERT_NE(key, std::string::npos);

    std::string zeroLength = resource;
    zeroLength[key - 6] = zeroLength[key - 5] = '\0';
    std::string unterminated = resource;
    unterminated[key - 6] = 8; // the block ends inside its key
    unterminated[key - 5] = 0;
    for (const std::string& broken : {zeroLength, unterminated}) {
        WriteImage(u"C:\\work\\app.exe", jxtest::BuildPeImage({{16, 1, 0x0409, broken}}));
        std::vector<BYTE> info = Copy(u"C:\\work\\app.exe");
        ASSERT_FALSE(info.empty());
        EXPECT_EQ(Text(info, u"\\StringFileInfo\\040904B0\\FileVersion"), u"<none>");
        LPVOID value = nullptr;
        UINT length = 0;
        EXPECT_TRUE(VerQueryValueW(info.data(), u"\\VarFileInfo\\Translation", &value, &length))
            << "siblings of the broken table still read";
    }
}

// Every cut of a good image and every byte of it overwritten: the calls fail or answer within the
// file, and never read outside the file or the copy (the sanitizers watch).
TEST_F(VersionResourceTest, DamagedImagesNeverReadOutside) {
    jxtest::VersionInfo version;
    version.fixed = std::pair{kFile, kProduct};
    version.stringTables = {{u"040904B0", {{u"FileVersion", u"1.2.3.4"}}}};
    version.translations = {{0x0409, 0x04B0}};
    const std::string good =
        jxtest::BuildPeImage({{24, 1, 0, "<a/>"}, {16, 1, 0x0409, jxtest::BuildVersionResource(version)}});

    auto probe = [&](const std::u16string& path, size_t fileSize) {
        std::vector<BYTE> info = Copy(path);
        ASSERT_LE(info.size(), fileSize);
        if (info.empty())
            return;
        LPVOID value = nullptr;
        UINT length = 0;
        const std::pair<const char16_t*, UINT> queries[] = {
            {u"\\", 1}, {u"\\VarFileInfo\\Translation", 1}, {u"\\StringFileInfo\\040904B0\\FileVersion", 2}};
        for (const auto& [name, unit] : queries) {
            if (VerQueryValueW(info.data(), name, &value, &length)) {
                const BYTE* at = static_cast<const BYTE*>(value);
                ASSERT_GE(at, info.data());
                ASSERT_LE(at + size_t{length} * unit, info.data() + info.size());
            }
        }
    };
    for (size_t size = 0; size < good.size(); size += 7) {
        const std::u16string path = u"C:\\work\\cut" + jxtext::ToText(static_cast<unsigned long long>(size));
        WriteImage(path, good.substr(0, size));
        probe(path, size);
    }
    // Damage is written in place and undone: rewriting whole files is slow on some host file systems.
    WriteImage(u"C:\\work\\app.exe", good);
    std::fstream file(jxplat::WindowsToHostPath(u"C:\\work\\app.exe"),
                      std::ios::in | std::ios::out | std::ios::binary);
    const size_t used = good.find_last_not_of('\0') + 1; // the zero padding after it changes nothing
    for (size_t at = 0; at < used; ++at) {
        for (char byte : {'\x00', '\x7F', '\xFF', good[at]}) {
            file.seekp(static_cast<std::streamoff>(at));
            file.put(byte);
            file.flush();
            if (byte != good[at])
                probe(u"C:\\work\\app.exe", good.size());
        }
    }
}

} // namespace
