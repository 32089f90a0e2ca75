#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/text.h"
#include "jxtest/machine_root.h"

namespace {

constexpr DWORD kAlloc = FORMAT_MESSAGE_ALLOCATE_BUFFER;
constexpr DWORD kIgnore = FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr DWORD kSystem = FORMAT_MESSAGE_FROM_SYSTEM;
constexpr DWORD kModule = FORMAT_MESSAGE_FROM_HMODULE;

// The allocated text, or nothing with the last error in `error`.
std::optional<std::u16string> Format(DWORD flags, LPCVOID source, DWORD code, DWORD language, DWORD* error,
                                     va_list* arguments = nullptr) {
    LPWSTR text = nullptr;
    SetLastError(0);
    DWORD length =
        FormatMessageW(flags | kAlloc, source, code, language, reinterpret_cast<LPWSTR>(&text), 0, arguments);
    *error = GetLastError();
    if (length == 0)
        return std::nullopt;
    std::u16string result(text);
    EXPECT_EQ(length, result.size());
    EXPECT_EQ(LocalFree(text), nullptr);
    return result;
}

} // namespace

TEST(KernelFormatMessage, LooksUpSystemAndWinInetTexts) {
    jxtest::TempMachineRoot root;
    HMODULE wininet = LoadLibraryW(u"WinInet.dll");
    ASSERT_NE(wininet, nullptr);
    const char16_t* accessDenied = u"Access is denied.\r\n";
    struct Row {
        const char* what;
        DWORD flags;
        HMODULE module;
        DWORD code;
        DWORD language;
        const char16_t* text; // null: fails with `error`
        DWORD error;
    } rows[] = {
        {"english", kSystem | kIgnore, nullptr, 2, 1033, u"The system cannot find the file specified.\r\n",
         0},
        {"neutral", kSystem | kIgnore, nullptr, 5, 0, accessDenied, 0},
        {"user default", kSystem | kIgnore, nullptr, 5, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
         accessDenied, 0},
        {"other language", kSystem | kIgnore, nullptr, 5, 1031, nullptr, ERROR_MUI_FILE_NOT_FOUND},
        {"win32 hresult", kSystem | kIgnore, nullptr, 0x80070005, 1033, accessDenied, 0},
        {"com hresult", kSystem | kIgnore, nullptr, 0x80004005, 1033, u"Unspecified error\r\n", 0},
        {"unknown", kSystem | kIgnore, nullptr, 0xDEAD, 1033, nullptr, ERROR_MR_MID_NOT_FOUND},
        {"inserts kept", kSystem | kIgnore, nullptr, 193, 0, u"%1 is not a valid Win32 application.\r\n", 0},
        {"inserts without arguments", kSystem, nullptr, 193, 0, nullptr, ERROR_INVALID_PARAMETER},
        {"wininet code from system", kSystem | kIgnore, nullptr, 12029, 1033, nullptr,
         ERROR_MR_MID_NOT_FOUND},
        {"wininet code from module", kModule | kSystem | kIgnore, wininet, 12029, 1033,
         u"A connection with the server could not be established\r\n", 0},
        {"system code through module", kModule | kSystem | kIgnore, wininet, 5, 0, accessDenied, 0},
        {"system code from module only", kModule | kIgnore, wininet, 5, 0, nullptr, ERROR_MR_MID_NOT_FOUND},
        {"module without messages", kModule | kIgnore, GetModuleHandleW(nullptr), 5, 0, nullptr,
         ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"no source", kIgnore, nullptr, 5, 0, nullptr, ERROR_INVALID_PARAMETER},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        DWORD error = 0;
        auto text = Format(row.flags, row.module, row.code, row.language, &error);
        if (row.text) {
            ASSERT_TRUE(text.has_value()) << "error " << error;
            EXPECT_EQ(jxtext::N(*text), jxtext::N(row.text));
        } else {
            EXPECT_FALSE(text.has_value());
            EXPECT_EQ(error, row.error);
        }
    }
    FreeLibrary(wininet);
}

TEST(KernelFormatMessage, WritesIntoTheCallersBufferWhenItIsLargeEnough) {
    const std::u16string expected = u"Access is denied.\r\n";
    std::u16string buffer(64, u'#');
    DWORD size = static_cast<DWORD>(expected.size() + 1);
    EXPECT_EQ(FormatMessageW(kSystem | kIgnore, nullptr, 5, 0, buffer.data(), size, nullptr),
              expected.size());
    EXPECT_EQ(std::u16string(buffer.c_str()), expected);

    SetLastError(0);
    EXPECT_EQ(FormatMessageW(kSystem | kIgnore, nullptr, 5, 0, buffer.data(), size - 1, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(KernelFormatMessage, ExpandsInsertsFromAnArgumentArray) {
    DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(u"C:\\x.exe"), 42};
    auto* list = reinterpret_cast<va_list*>(arguments);
    DWORD error = 0;
    EXPECT_EQ(Format(kSystem | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, 193, 0, &error, list),
              u"C:\\x.exe is not a valid Win32 application.\r\n");
    EXPECT_EQ(Format(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, u"%2!d! in %1%% %n%tx%0tail",
                     0, 0, &error, list),
              u"42 in C:\\x.exe% \r\n\tx");
}

// Every code that winerror.h names has a text in the table that serves it.
TEST(KernelFormatMessage, EveryDefinedCodeHasAText) {
    jxtest::TempMachineRoot root;
    std::string header = __FILE__;
    header = header.substr(0, header.rfind('/')) + "/../include/jxplat/winerror.h";
    std::ifstream in(header);
    ASSERT_TRUE(in) << header;
    HMODULE wininet = LoadLibraryW(u"WinInet.dll");
    std::regex define(R"(#define\s+(\w+)\s+(?:\(\(HRESULT\))?(0x[0-9A-Fa-f]+|\d+)L?\)?\s*$)");
    std::string line;
    int checked = 0;
    while (std::getline(in, line)) {
        std::smatch match;
        if (!std::regex_match(line, match, define))
            continue;
        DWORD code = static_cast<DWORD>(std::stoul(match[2].str(), nullptr, 0));
        DWORD flags = kSystem | kIgnore | ((code >= 12000 && code <= 12175) ? kModule : 0);
        DWORD error = 0;
        auto text = Format(flags, wininet, code, 1033, &error);
        ASSERT_TRUE(text.has_value()) << match[1] << " " << code;
        EXPECT_GE(text->size(), 3u);
        EXPECT_EQ(text->substr(text->size() - 2), u"\r\n") << match[1];
        ++checked;
    }
    EXPECT_GT(checked, 0);
    FreeLibrary(wininet);
}
