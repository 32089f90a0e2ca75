// The graphics calls of the stand-in: device contexts of windows and of memory, 32-bit DIB
// sections, solid fills and alpha blending. Pixels are B, G, R, A bytes, as in a Windows DIB.
#pragma once

#include "jxplat/winuser_windows.h"

struct HBITMAP__;
typedef HBITMAP__* HBITMAP;
typedef void* HGDIOBJ;

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER, *LPBITMAPINFOHEADER;

typedef struct tagRGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO, *LPBITMAPINFO;

typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP, *LPBITMAP;

#define BI_RGB 0
#define DIB_RGB_COLORS 0
#define TRANSPARENT 1
#define OPAQUE 2
#define WHITE_BRUSH 0
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)((c) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))
#define CLR_INVALID 0xFFFFFFFFu

HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
HGDIOBJ GetStockObject(int index);
int GetObjectW(HGDIOBJ object, int size, LPVOID buffer);
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset);
HBRUSH CreateSolidBrush(COLORREF color);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
int SetBkMode(HDC dc, int mode);
COLORREF SetBkColor(HDC dc, COLORREF color);
BOOL GdiFlush();
// Stretches the source rectangle onto the destination one (nearest source pixel) and blends it:
// with AC_SRC_ALPHA the source is premultiplied and each destination byte becomes
// s × C / 255 + d × (255 − a × C / 255) / 255 (C the constant alpha, a the source alpha, each
// product rounded to the nearest integer); without it, s × C / 255 + d × (255 − C) / 255.
BOOL AlphaBlend(HDC destination, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                int sourceWidth, int sourceHeight, BLENDFUNCTION blend);
