// The stand-in's windows, graphics and resources: the errors Windows gives, and the blend of
// AlphaBlend with its stretch.
#include <gtest/gtest.h>

#include "jxplat/errhandling.h"
#include "jxplat/resources.h"
#include "jxplat/winbase.h"
#include "jxplat/winerror.h"
#include "jxplat/wingdi.h"
#include "jxtest/machine_root.h"

namespace {

TEST(UserWindows, UnknownClassesHandlesAndResourcesFailAsOnWindows) {
    jxtest::TempMachineRoot root;
    EXPECT_EQ(
        CreateWindowExW(0, u"NoSuchClass", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.lpszClassName = u"JxPlain";
    ASSERT_NE(RegisterClassW(&windowClass), 0);
    EXPECT_EQ(RegisterClassW(&windowClass), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_ALREADY_EXISTS));
    EXPECT_TRUE(GetClassInfoW(nullptr, u"JXPLAIN", &windowClass)); // names ignore case

    HWND window =
        CreateWindowExW(0, u"JxPlain", u"title", WS_POPUP, 1, 2, 30, 40, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    WCHAR text[4] = {};
    EXPECT_EQ(GetWindowTextW(window, text, 4), 3); // cut to the buffer
    EXPECT_EQ(std::u16string(text), u"tit");
    ASSERT_TRUE(DestroyWindow(window));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(ShowWindow(window, SW_SHOW));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));

    EXPECT_EQ(CreateDialogParamW(nullptr, MAKEINTRESOURCEW(999), nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(999), u"PNG"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    HMODULE user32 = LoadLibraryW(u"USER32.DLL");
    EXPECT_NE(GetProcAddress(user32, "UpdateLayeredWindow"), nullptr);
    EXPECT_EQ(GetProcAddress(user32, "updatelayeredwindow"), nullptr); // export names keep their case
}

TEST(UserWindows, AlphaBlendStretchesToTheNearestPixelAndBlendsPremultiplied) {
    jxtest::TempMachineRoot root;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 2, 1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* sourceBits = nullptr;
    HBITMAP source = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &sourceBits, nullptr, 0);
    ASSERT_NE(source, nullptr);
    const BYTE pixels[8] = {0, 0, 128, 128, 10, 20, 30, 255}; // half red (premultiplied), opaque
    std::copy(pixels, pixels + 8, static_cast<BYTE*>(sourceBits));
    info.bmiHeader.biWidth = 4;
    info.bmiHeader.biHeight = -1; // top-down
    void* targetBits = nullptr;
    HBITMAP target = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &targetBits, nullptr, 0);
    HDC from = CreateCompatibleDC(nullptr);
    HDC to = CreateCompatibleDC(nullptr);
    SelectObject(from, source);
    SelectObject(to, target);
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    RECT all{0, 0, 4, 1};
    FillRect(to, &all, white);
    ASSERT_TRUE(
        AlphaBlend(to, 0, 0, 4, 1, from, 0, 0, 2, 1, BLENDFUNCTION{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA}));
    const BYTE* out = static_cast<const BYTE*>(targetBits);
    // Columns 0 and 1 take source pixel 0: white under half red; 2 and 3 take the opaque pixel.
    const BYTE expected[16] = {127, 127, 255, 128, 127, 127, 255, 128, 10, 20, 30, 255, 10, 20, 30, 255};
    EXPECT_EQ(std::vector<BYTE>(out, out + 16), std::vector<BYTE>(expected, expected + 16));
    // A source rectangle outside the bitmap is refused.
    EXPECT_FALSE(
        AlphaBlend(to, 0, 0, 4, 1, from, 1, 0, 2, 1, BLENDFUNCTION{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA}));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    DeleteDC(from);
    DeleteDC(to);
    DeleteObject(white);
    DeleteObject(source);
    DeleteObject(target);
}

} // namespace
