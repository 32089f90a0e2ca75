// A 32-bit bitmap with alpha (a bottom-up DIB section, B, G, R, A bytes per pixel): the start
// dialog's image and the shadow's template.
#pragma once

#include "jxplat/resources.h"
#include "jxplat/wingdi.h"

namespace JxSetup::Data {

class CAlphaBitmap {
public:
    CAlphaBitmap() = default;
    ~CAlphaBitmap() { Release(); }
    CAlphaBitmap(const CAlphaBitmap&) = delete;
    CAlphaBitmap& operator=(const CAlphaBitmap&) = delete;

    // Replaces the bitmap by a new one of the size, every byte 0.
    int Create(int width, int height, int premultiplied);
    // Decodes a PNG resource of the module into the bitmap; premultiplies it when asked.
    int LoadPngResource(HMODULE module, LPCWSTR type, UINT id, int premultiply);
    // Blends the whole bitmap, stretched, onto the rectangle.
    int Draw(HDC dc, const RECT& rect, BYTE constantAlpha);
    // Blends the bitmap onto the rectangle in nine pieces: the corners unscaled, the edges and the
    // centre stretched. Always 0.
    int Draw9Grid(HDC dc, const RECT& rect, int left, int top, int right, int bottom, BYTE constantAlpha);
    // A soft rectangular shadow of the colour (0xAARRGGBB) that fades out over the outer `size` pixels.
    void MakeShadow(DWORD color, int size, double falloffOffset);
    void Premultiply();
    int GetWidth() const;
    int GetHeight() const;
    int GetInfo(BITMAP* info) const;
    void Release();

    HBITMAP GetHandle() const { return m_hBitmap; }
    BYTE* GetBits() const;
    bool IsPremultiplied() const { return m_bPremultiplied != 0; }

private:
    HBITMAP m_hBitmap = nullptr;
    int m_bPremultiplied = 0;
};

} // namespace JxSetup::Data
