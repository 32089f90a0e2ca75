// The start dialog on the stand-in's windows: the picture the user sees (image over white, the
// soft shadow around it) recorded as screen.png and compared pixel for pixel with the same
// picture computed here a second time, from the image as libpng reads it; and the shadow's
// behaviour when the dialog paints again, moves, changes size or goes away.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "jxengine/resources.h"
#include "jxengine/startdlg/CJxInitDlg.h"
#include "jxplat/winbase.h"
#include "jxtest/machine_root.h"
#include "jxtest/png_files.h"

namespace JxSetup::Data {
extern const unsigned char kStartImagePng[];
extern const size_t kStartImagePngSize;
} // namespace JxSetup::Data

using JxSetup::Data::CAlphaBitmap;
using JxSetup::Data::CJxInitDlg;
using JxSetup::Data::CShadowWindow;

namespace {

int Scale(int value, int factor) {
    return (value * factor + 127) / 255;
}

class StartDialog : public ::testing::Test {
protected:
    void SetUp() override { JxSetup::Data::RegisterProgramResources(); }
    void TearDown() override { JxSetup::Data::RegisterProgramResources(); }

    static std::vector<jxplat::WindowInfo> Shadows() {
        std::vector<jxplat::WindowInfo> out;
        for (const auto& w : jxplat::ListWindows())
            if (w.className.rfind(u"_TOLVANE_SHADOW_CLASS_", 0) == 0)
                out.push_back(w);
        return out;
    }
    jxtest::PngImage Screen() const {
        const std::string bytes = jxtest::ReadHostFile(m_Root.Path() + "/screen.png");
        return jxtest::ReadPngRgba(jxtest::PngBytes(bytes.begin(), bytes.end()));
    }

    jxtest::TempMachineRoot m_Root;
};

// The shadow's template as the shadow computes it: 4s × 4s, alpha by distance from the inner
// square, premultiplied black, with the dialog's area cut out (rows counted from the top here).
std::vector<int> ShadowTemplateAlpha(int s, double f, int spread, int offset, int radius) {
    const int n = 4 * s;
    const double k = std::log(0.05) / (double(s) * s);
    std::vector<int> alpha(size_t(n) * n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const int dx = x < s ? s - x : x >= n - s ? x - (n - s) + 1 : 0;
            const int dy = y < s ? s - y : y >= n - s ? y - (n - s) + 1 : 0;
            const double d = std::sqrt(double(dx) * dx + double(dy) * dy);
            const double a =
                std::sin((s - std::min(d, double(s))) * 1.57 / s) * 255 * std::exp((d + f) * (d + f) * k);
            alpha[size_t(y) * n + x] = int(a + 0.5) & 0xFF;
        }
    // The cut, in memory rows of the bottom-up template (memory row m is row n − 1 − m from the top).
    const int rows = n - spread;
    for (int i = 0; i < rows; ++i) {
        const int memoryRow = offset + spread / 2 + i;
        const int fromEnd = std::min(i, rows - 1 - i);
        const int narrow =
            fromEnd < radius
                ? radius - int(std::floor(
                               std::sqrt(double(radius * radius - (radius - fromEnd) * (radius - fromEnd)))))
                : 0;
        for (int x = spread / 2 - offset + narrow; x < n - offset - spread / 2 - narrow; ++x)
            alpha[size_t(n - 1 - memoryRow) * n + x] = 0;
    }
    return alpha;
}

// The source of a destination pixel of a nine-piece stretch: corners as they are, the middle
// stretched to the nearest source pixel.
int NineGridSource(int at, int length, int sourceLength, int margin) {
    if (at < margin)
        return at;
    if (at >= length - margin)
        return at - (length - margin) + (sourceLength - margin);
    return margin + (at - margin) * (sourceLength - 2 * margin) / (length - 2 * margin);
}

TEST_F(StartDialog, RecordsTheImageOverWhiteWithItsShadowAsTheFormulasGiveThem) {
    CJxInitDlg dialog;
    ASSERT_TRUE(dialog.Create(CJxInitDlg::IDD, nullptr));
    EXPECT_TRUE(dialog.ShowWindow(SW_SHOW)); // the template is visible already

    // The image as libpng reads it, premultiplied, blended over the white dialog.
    const jxtest::PngImage image = jxtest::ReadPngRgba(jxtest::PngBytes(
        JxSetup::Data::kStartImagePng, JxSetup::Data::kStartImagePng + JxSetup::Data::kStartImagePngSize));
    ASSERT_EQ(image.width, 230);
    ASSERT_EQ(image.height, 230);
    // The template (152 × 128 units: 228 × 208 pixels) centred on the 1920 × 1080 screen, then made
    // as large as the image around the same centre.
    RECT rect{};
    GetWindowRect(dialog.m_hWnd, &rect);
    const int left = 846 + 114 - 115;
    const int top = 436 + 104 - 115;
    EXPECT_EQ(rect.left, left);
    EXPECT_EQ(rect.top, top);
    EXPECT_EQ(rect.right - rect.left, 230);
    EXPECT_EQ(rect.bottom - rect.top, 230);

    // The shadow: size 28, spread 46, offset 2, falloff 4, corner radius 1; 276 × 276 at
    // (left − 21, top − 21), constant alpha 112 (opacity 144).
    const int s = 28, spread = 46, offset = 2, margin = 1 + s, n = 4 * s;
    const std::vector<int> shadowAlpha = ShadowTemplateAlpha(s, 4.0, spread, offset, 1);
    const int shadowSize = 230 + spread;
    const int shadowLeft = left + offset - spread / 2;
    const int shadowTop = top + offset - spread / 2;
    const int constant = 112;

    const jxtest::PngImage screen = Screen();
    ASSERT_EQ(screen.width, shadowSize);
    ASSERT_EQ(screen.height, shadowSize);
    for (int y = 0; y < shadowSize; ++y)
        for (int x = 0; x < shadowSize; ++x) {
            int rgba[4] = {0, 0, 0, 0}; // premultiplied, over a transparent desktop
            const int ix = shadowLeft + x - left;
            const int iy = shadowTop + y - top;
            if (ix >= 0 && ix < 230 && iy >= 0 && iy < 230) {
                const uint8_t* p = image.rgba.data() + (size_t(iy) * 230 + size_t(ix)) * 4;
                const int a = p[3];
                for (int k = 0; k < 3; ++k) {
                    const int premultiplied = a == 0 ? 0 : p[k] * (a + 1) >> 8;
                    rgba[k] = premultiplied + Scale(255, 255 - a);
                }
                rgba[3] = 255;
            }
            const int sa = shadowAlpha[size_t(NineGridSource(y, shadowSize, n, margin)) * n +
                                       size_t(NineGridSource(x, shadowSize, n, margin))];
            const int covered = Scale(sa, constant);
            for (int k = 0; k < 4; ++k)
                rgba[k] = std::min(255, (k == 3 ? covered : 0) + Scale(rgba[k], 255 - covered));
            const uint8_t* got = screen.rgba.data() + (size_t(y) * shadowSize + size_t(x)) * 4;
            const int a = rgba[3];
            for (int k = 0; k < 4; ++k) {
                const int expected = k == 3 ? a : a == 0 ? 0 : std::min(255, (rgba[k] * 255 + a / 2) / a);
                ASSERT_EQ(int(got[k]), expected) << "pixel " << x << "," << y << " byte " << k;
            }
        }
    // Inside the dialog the picture is opaque; the shadow is strongest right at its edge.
    EXPECT_EQ(screen.rgba[(size_t(115) * shadowSize + 115) * 4 + 3], 255);
    EXPECT_GT(screen.rgba[(size_t(140) * shadowSize + 18) * 4 + 3], 0);
    EXPECT_EQ(screen.rgba[3], 0);
}

TEST_F(StartDialog, OpacityAndShadowTemplateValues) {
    CAlphaBitmap shadow;
    ASSERT_TRUE(shadow.Create(112, 112, FALSE));
    shadow.MakeShadow(0xFF000000u, 28, 4.0);
    const BYTE* bits = shadow.GetBits();
    for (int y = 28; y < 84; ++y)
        for (int x = 28; x < 84; ++x)
            ASSERT_EQ(bits[(size_t(y) * 112 + size_t(x)) * 4 + 3], 240) << x << "," << y;
    for (int i = 0; i < 112; ++i) {
        EXPECT_EQ(bits[size_t(i) * 4 + 3], 0);
        EXPECT_EQ(bits[(size_t(i) * 112 + 111) * 4 + 3], 0);
    }
    EXPECT_TRUE(shadow.IsPremultiplied());

    WNDCLASSW targetClass{};
    targetClass.lpfnWndProc = DefWindowProcW;
    targetClass.lpszClassName = u"JxTestTarget";
    RegisterClassW(&targetClass);
    HWND target = CreateWindowExW(0, u"JxTestTarget", u"target", WS_POPUP | WS_VISIBLE, 10, 10, 50, 40,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(target, nullptr);
    {
        CShadowWindow window(GetModuleHandleW(nullptr), 28, 46, 2, 4.0);
        ASSERT_TRUE(window.Create(target, 0, true));
        window.Attach(target);
        const std::pair<int, int> opacities[] = {{255, 224}, {0, 0}, {144, 112}};
        for (const auto& [value, alpha] : opacities) {
            window.SetOpacity(value);
            EXPECT_EQ(window.GetConstantAlpha(), alpha) << value;
        }
    }
    // The shadow object gave the target its own procedure back and took its window with it.
    EXPECT_TRUE(Shadows().empty());
    EXPECT_TRUE(SetWindowTextW(target, u"still here"));
    DestroyWindow(target);
}

TEST_F(StartDialog, PremultiplyingTwiceChangesNothing) {
    CAlphaBitmap bitmap;
    ASSERT_TRUE(bitmap.Create(2, 1, FALSE));
    BYTE* bits = bitmap.GetBits();
    const BYTE pixels[8] = {200, 100, 50, 128, 9, 9, 9, 0};
    std::copy(pixels, pixels + 8, bits);
    bitmap.Premultiply();
    const std::vector<BYTE> once(bits, bits + 8);
    EXPECT_EQ(once, (std::vector<BYTE>{100, 50, 25, 128, 0, 0, 0, 0}));
    bitmap.Premultiply();
    EXPECT_EQ(std::vector<BYTE>(bits, bits + 8), once);
}

TEST_F(StartDialog, ShadowFollowsTheDialogAndGoesWithIt) {
    auto dialog = std::make_unique<CJxInitDlg>();
    ASSERT_TRUE(dialog->Create(CJxInitDlg::IDD, nullptr));
    ASSERT_EQ(Shadows().size(), 1u);
    // A second paint draws the image again but makes no second shadow.
    SendMessageW(dialog->m_hWnd, WM_PAINT, 0, 0);
    ASSERT_EQ(Shadows().size(), 1u);

    // Moving: the shadow moves along in the same batch.
    ASSERT_TRUE(
        SetWindowPos(dialog->m_hWnd, nullptr, 100, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
    RECT shadow = Shadows().front().rect;
    EXPECT_EQ(shadow.left, 79);
    EXPECT_EQ(shadow.top, 29);
    EXPECT_EQ(shadow.right - shadow.left, 276);
    // Nobody else moves the shadow.
    EXPECT_TRUE(SetWindowPos(Shadows().front().handle, nullptr, 0, 0, 10, 10, SWP_NOZORDER));
    EXPECT_EQ(Shadows().front().rect.left, 79);
    EXPECT_EQ(Shadows().front().rect.right - Shadows().front().rect.left, 276);
    // A new size draws the shadow anew at the new size.
    ASSERT_TRUE(
        SetWindowPos(dialog->m_hWnd, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
    shadow = Shadows().front().rect;
    EXPECT_EQ(shadow.right - shadow.left, 346);
    EXPECT_EQ(shadow.bottom - shadow.top, 246);
    EXPECT_EQ(Screen().width, 346);
    // The title set on the dialog reaches the shadow.
    SetWindowTextW(dialog->m_hWnd, u"Setup");
    EXPECT_EQ(Shadows().front().title, u"Setup");

    const HWND window = dialog->m_hWnd;
    ASSERT_TRUE(dialog->DestroyWindow());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(Shadows().empty());
    EXPECT_EQ(dialog->m_hWnd, nullptr);
    dialog.reset();
    EXPECT_TRUE(jxplat::ListWindows().empty());
}

TEST_F(StartDialog, UndecodableImageLeavesTheTemplateSizeWhiteWithAShadow) {
    static const BYTE broken[] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    const jxplat::DataResource image[] = {{u"PNG", CJxInitDlg::kImageId, broken, sizeof(broken)}};
    jxplat::RegisterDataResources(image, 1);
    CJxInitDlg dialog;
    ASSERT_TRUE(dialog.Create(CJxInitDlg::IDD, nullptr));
    RECT rect{};
    GetWindowRect(dialog.m_hWnd, &rect);
    EXPECT_EQ(rect.left, 846);
    EXPECT_EQ(rect.top, 436);
    EXPECT_EQ(rect.right - rect.left, 228);
    EXPECT_EQ(rect.bottom - rect.top, 208);
    ASSERT_EQ(Shadows().size(), 1u);
    const jxtest::PngImage screen = Screen();
    ASSERT_EQ(screen.width, 228 + 46);
    const uint8_t* middle = screen.rgba.data() + (size_t(23 + 100) * size_t(screen.width) + 23 + 100) * 4;
    EXPECT_EQ(std::vector<int>(middle, middle + 4), (std::vector<int>{255, 255, 255, 255}));
}

} // namespace
