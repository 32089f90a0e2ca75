#include <gtest/gtest.h>

#include "jxbase/textconv.h"
#include "jxbase/win32errortext.h"
#include "jxtest/machine_root.h"

TEST(Win32ErrorText, BuildsTheTextOfTheCodeWithTheOptions) {
    jxtest::TempMachineRoot root;
    struct Row {
        DWORD code;
        DWORD options;
        std::u16string expected;
    } rows[] = {
        {2, 3, u"(2) The system cannot find the file specified.  "},
        {2, 0, u"The system cannot find the file specified.  "},
        {2, 5, u"(2) The system cannot find the file specified.\r\n"},
        {0x80070005, 3, u"(2147942405) Access is denied.  "},
        {12029, 3, u"(12029) A connection with the server could not be established  "},
        {12000, 3, u"12000"},
        {0xDEAD, 3, u"57005"},
        {0xFFFFFFFF, 1, u"4294967295"},
    };
    for (const Row& row : rows) {
        CWin32ErrorText text(row.code, row.options);
        EXPECT_EQ(WideToUtf8(text.Text()), WideToUtf8(row.expected)) << row.code << " " << row.options;
        EXPECT_EQ(text.Code(), row.code);
        EXPECT_EQ(CWin32ErrorText::CWin32ErrorTextFromCode(row.code, row.options).Text(), row.expected);
    }
    // The WinInet module was loaded for the lookup only.
    EXPECT_EQ(GetModuleHandleW(u"WinInet.dll"), nullptr);
}

TEST(Win32ErrorText, TakesTheLastErrorAndLeavesIt) {
    jxtest::TempMachineRoot root;
    SetLastError(ERROR_ACCESS_DENIED);
    CWin32ErrorText text(CWin32ErrorText::PrefixCode | CWin32ErrorText::KeepTabs);
    EXPECT_EQ(text.Text(), u"(5) Access is denied.  ");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    SetLastError(12029);
    CWin32ErrorText inet(3);
    EXPECT_EQ(inet.Code(), 12029u);
    EXPECT_EQ(GetLastError(), 12029u);
}
