// The 32-bit alpha bitmap of the start dialog: creation, loading a PNG resource, premultiplying,
// blending and the shadow template.
#include "jxengine/startdlg/CAlphaBitmap.h"

#include <cmath>
#include <cstring>

#include "jxengine/png/LwPngDecoder.h"

namespace JxSetup::Data {

int CAlphaBitmap::Create(int width, int height, int premultiplied) {
    Release();
    m_bPremultiplied = premultiplied;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // positive: bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_hBitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!m_hBitmap || !bits) {
        Release();
        return FALSE;
    }
    std::memset(bits, 0, size_t(width) * size_t(height) * 4);
    return TRUE;
}

int CAlphaBitmap::LoadPngResource(HMODULE module, LPCWSTR type, UINT id, int premultiply) {
    Release();
    m_bPremultiplied = FALSE;
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    const DWORD size = resource ? SizeofResource(module, resource) : 0;
    HGLOBAL loaded = size ? LoadResource(module, resource) : nullptr;
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (!data)
        return FALSE;
    int result = FALSE;
    {
        LwRawPngDecoder decoder;
        if (decoder.Decode(data, size) == 1 && decoder.GetOutputWidth() >= 1 &&
            decoder.GetOutputHeight() > 0 && !decoder.GetPixels().empty()) {
            const int width = decoder.GetOutputWidth();
            const int height = decoder.GetOutputHeight();
            if (Create(width, height, FALSE)) {
                const BYTE* from = decoder.GetPixels().data();
                BYTE* bits = GetBits();
                // Image row 0 is the last row in memory; R, G, B, A become B, G, R, A.
                for (int y = 0; y < height; ++y) {
                    BYTE* row = bits + size_t(height - 1 - y) * size_t(width) * 4;
                    for (int x = 0; x < width; ++x, from += 4, row += 4) {
                        row[0] = from[2];
                        row[1] = from[1];
                        row[2] = from[0];
                        row[3] = from[3];
                    }
                }
                if (premultiply)
                    Premultiply();
                result = TRUE;
            }
        }
    }
    FreeResource(loaded);
    return result;
}

void CAlphaBitmap::Premultiply() {
    BITMAP info{};
    if (m_bPremultiplied || !GetInfo(&info) || info.bmBitsPixel != 32)
        return;
    BYTE* p = static_cast<BYTE*>(info.bmBits);
    for (size_t i = 0, n = size_t(info.bmWidth) * size_t(info.bmHeight); i < n; ++i, p += 4) {
        const int a = p[3];
        if (a == 0) {
            p[0] = p[1] = p[2] = 0;
            continue;
        }
        for (int k = 0; k < 3; ++k)
            p[k] = BYTE(p[k] * (a + 1) >> 8);
    }
    m_bPremultiplied = TRUE;
}

int CAlphaBitmap::Draw(HDC dc, const RECT& rect, BYTE constantAlpha) {
    if (!m_hBitmap)
        return FALSE;
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, m_hBitmap);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, constantAlpha, AC_SRC_ALPHA};
    const BOOL result = AlphaBlend(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                                   memory, 0, 0, GetWidth(), GetHeight(), blend);
    SelectObject(memory, previous);
    DeleteDC(memory);
    return result;
}

int CAlphaBitmap::Draw9Grid(HDC dc, const RECT& rect, int l, int t, int r, int b, BYTE constantAlpha) {
    if (!m_hBitmap)
        return 0;
    const int W = GetWidth();
    const int H = GetHeight();
    const int x = rect.left;
    const int y = rect.top;
    const int w = rect.right - rect.left;
    const int h = rect.bottom - rect.top;
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, m_hBitmap);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, constantAlpha, AC_SRC_ALPHA};
    // Corners, unscaled.
    AlphaBlend(dc, x, y, l, t, memory, 0, 0, l, t, blend);
    AlphaBlend(dc, x, y + h - b, l, b, memory, 0, H - b, l, b, blend);
    AlphaBlend(dc, x + w - r, y, r, t, memory, W - r, 0, r, t, blend);
    AlphaBlend(dc, x + w - r, y + h - b, r, b, memory, W - r, H - b, r, b, blend);
    // Edges and centre, stretched.
    AlphaBlend(dc, x, y + t, l, h - t - b, memory, 0, t, l, H - t - b, blend);
    AlphaBlend(dc, x + l, y, w - l - r, t, memory, l, 0, W - l - r, t, blend);
    AlphaBlend(dc, x + w - r, y + t, r, h - t - b, memory, W - r, t, r, H - t - b, blend);
    AlphaBlend(dc, x + l, y + h - b, w - l - r, b, memory, l, H - b, W - l - r, b, blend);
    AlphaBlend(dc, x + l, y + t, w - l - r, h - t - b, memory, l, t, W - l - r, H - t - b, blend);
    SelectObject(memory, previous);
    DeleteDC(memory);
    return 0;
}

void CAlphaBitmap::MakeShadow(DWORD color, int s, double f) {
    BITMAP info{};
    if (!GetInfo(&info) || s <= 0)
        return;
    const int W = info.bmWidth;
    const int H = info.bmHeight;
    const double k = std::log(0.05) / (double(s) * double(s));
    const double A = double((color >> 24) & 0xFF);
    BYTE* bits = static_cast<BYTE*>(info.bmBits);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int dx = x < s ? s - x : x >= W - s ? x - (W - s) + 1 : 0;
            const int dy = y < s ? s - y : y >= H - s ? y - (H - s) + 1 : 0;
            const double d = std::sqrt(double(dx) * dx + double(dy) * dy);
            const double a =
                std::sin((s - std::min(d, double(s))) * 1.57 / s) * A * std::exp((d + f) * (d + f) * k);
            BYTE* p = bits + (size_t(y) * size_t(W) + size_t(x)) * 4;
            p[0] = BYTE(color & 0xFF);
            p[1] = BYTE((color >> 8) & 0xFF);
            p[2] = BYTE((color >> 16) & 0xFF);
            p[3] = BYTE(int(a + 0.5) & 0xFF);
        }
    m_bPremultiplied = FALSE;
    Premultiply();
}

int CAlphaBitmap::GetWidth() const {
    BITMAP info{};
    return GetInfo(&info) ? info.bmWidth : -1;
}

int CAlphaBitmap::GetHeight() const {
    BITMAP info{};
    return GetInfo(&info) ? info.bmHeight : -1;
}

int CAlphaBitmap::GetInfo(BITMAP* info) const {
    return m_hBitmap && GetObjectW(m_hBitmap, sizeof(BITMAP), info) == sizeof(BITMAP);
}

BYTE* CAlphaBitmap::GetBits() const {
    BITMAP info{};
    return GetInfo(&info) ? static_cast<BYTE*>(info.bmBits) : nullptr;
}

void CAlphaBitmap::Release() {
    if (m_hBitmap)
        DeleteObject(m_hBitmap);
    m_hBitmap = nullptr;
}

} // namespace JxSetup::Data
