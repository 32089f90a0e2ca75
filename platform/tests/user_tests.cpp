#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/text.h"
#include "jxtest/machine_root.h"

TEST(MessageBox, IsRecordedAndAnsweredWithTheDefaultOrTheConfiguredButton) {
    jxplat::MachineDescription d;
    d.messageBoxAnswers.push_back({"Retry the download", "", IDCANCEL});
    jxtest::TempMachineRoot root(d);

    EXPECT_EQ(MessageBoxW(nullptr, u"Done.", u"Setup", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, u"Restart now?", u"Setup", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(MessageBoxW(nullptr, u"Restart now?", u"Setup", MB_YESNOCANCEL), IDYES);
    EXPECT_EQ(MessageBoxW(nullptr, u"Retry the download?", u"Setup", MB_RETRYCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBoxW(nullptr, u"No caption", nullptr, MB_ICONERROR), IDOK);

    auto boxes = jxplat::ReadRecordedMessageBoxes();
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_EQ(boxes[1].text, u"Restart now?");
    EXPECT_EQ(boxes[1].type, MB_YESNO | MB_DEFBUTTON2);
    EXPECT_EQ(boxes[1].answer, IDNO);
    EXPECT_EQ(boxes[4].caption, u"Error");
}

TEST(StringResources, LoadStringCopiesCutsAndReportsMissingIds) {
    static const jxplat::StringResource table[] = {{42, u"Setup error"}};
    jxplat::RegisterStringResources(table, 1);
    WCHAR buffer[32];
    EXPECT_EQ(LoadStringW(nullptr, 42, buffer, 32), 11);
    EXPECT_EQ(std::u16string(buffer), u"Setup error");
    EXPECT_EQ(LoadStringW(nullptr, 42, buffer, 6), 5);
    EXPECT_EQ(std::u16string(buffer), u"Setup");
    const WCHAR* direct = nullptr;
    EXPECT_EQ(LoadStringW(nullptr, 42, reinterpret_cast<LPWSTR>(&direct), 0), 11);
    EXPECT_EQ(direct, table[0].text);
    EXPECT_EQ(LoadStringW(nullptr, 43, buffer, 32), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST(DebugOutput, GoesToTheCaptureAndTheMachineTrace) {
    jxtest::TempMachineRoot root;
    std::u16string captured;
    jxplat::SetDebugOutputCapture([&](std::u16string_view text) { captured += text; });
    OutputDebugStringW(u"(1) Qrv: line\n");
    jxplat::SetDebugOutputCapture(nullptr);
    OutputDebugStringW(u"second ä\n");
    EXPECT_EQ(captured, u"(1) Qrv: line\n");
    EXPECT_EQ(jxtest::ReadHostFile(root.Path() + "/trace.log"), "(1) Qrv: line\nsecond ä\n");
}
