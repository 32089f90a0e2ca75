// Device contexts, DIB sections, brushes, solid fills and alpha blending over the stand-in's
// windows and bitmaps.
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "jxplat/errhandling.h"
#include "jxplat/winerror.h"
#include "user/window_state.h"

namespace jxplat {
namespace {

// The stock objects: a memory DC starts with a 1 × 1 bitmap selected, and the white brush.
HGDIOBJ const kStockBitmap = reinterpret_cast<HGDIOBJ>(uintptr_t{0x0185000F});
HGDIOBJ const kWhiteBrush = reinterpret_cast<HGDIOBJ>(uintptr_t{0x01900010});

// The biggest DIB section: 2^28 pixels, so that its byte size never overflows.
constexpr int64_t kMaxBitmapPixels = int64_t(1) << 28;

HDC _gdi_NewDc(HWND window) {
    CUserState& state = UserState();
    std::lock_guard<std::recursive_mutex> guard(state.lock);
    auto dc = std::make_shared<CDeviceContext>();
    dc->window = window;
    dc->selected = window ? nullptr : kStockBitmap;
    HDC handle = reinterpret_cast<HDC>(NewUserHandle());
    state.dcs[handle] = dc;
    return handle;
}

std::shared_ptr<CDeviceContext> _gdi_Dc(HDC dc) {
    CUserState& state = UserState();
    std::lock_guard<std::recursive_mutex> guard(state.lock);
    auto found = state.dcs.find(dc);
    if (found == state.dcs.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return found->second;
}

} // namespace

CSurface* DcSurface(HDC dc) {
    CUserState& state = UserState();
    auto found = state.dcs.find(dc);
    if (found == state.dcs.end())
        return nullptr;
    CDeviceContext& context = *found->second;
    if (context.window) {
        auto window = state.windows.find(context.window);
        return window == state.windows.end() ? nullptr : &window->second->surface;
    }
    auto object = state.objects.find(context.selected);
    if (object == state.objects.end() || object->second->kind != CGdiObject::Bitmap)
        return nullptr;
    return &object->second->surface;
}

} // namespace jxplat

using namespace jxplat;

HDC CreateCompatibleDC(HDC) {
    return _gdi_NewDc(nullptr);
}

BOOL DeleteDC(HDC dc) {
    CUserState& state = UserState();
    std::lock_guard<std::recursive_mutex> guard(state.lock);
    return state.dcs.erase(dc) ? TRUE : FALSE;
}

HDC GetDC(HWND window) {
    if (!window || !IsWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return _gdi_NewDc(window);
}

int ReleaseDC(HWND, HDC dc) {
    return DeleteDC(dc);
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    std::shared_ptr<CDeviceContext> context = _gdi_Dc(dc);
    if (!context)
        return nullptr;
    CUserState& state = UserState();
    std::lock_guard<std::recursive_mutex> guard(state.lock);
    if (object == kStockBitmap || object == kWhiteBrush)
        return object == kStockBitmap ? std::exchange(context->selected, object) : kWhiteBrush;
    auto found = state.objects.find(object);
    if (found == state.objects.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // Only a memory DC takes a bitmap; a brush is used by the fill calls directly.
    if (found->second->kind != CGdiObject::Bitmap)
        return kWhiteBrush;
    if (context->window)
        return nullptr;
    return std::exchange(context->selected, object);
}

BOOL DeleteObject(HGDIOBJ object) {
    if (object == kStockBitmap || object == kWhiteBrush)
        return TRUE;
    CUserState& state = UserState();
    std::lock_guard<std::recursive_mutex> guard(state.lock);
    // A bitmap selected into a DC cannot be deleted.
    for (const auto& [handle, dc] : state.dcs)
        if (dc->selected == object)
            return FALSE;
    return state.objects.erase(object) ? TRUE : FALSE;
}

HGDIOBJ GetStockObject(int index) {
    return index == WHITE_BRUSH ? kWhiteBrush : nullptr;
}

int GetObjectW(HGDIOBJ object, int size, LPVOID buffer) {
    CUserState& state = UserState();
    std::lock_guard<std::recursive_mutex> guard(state.lock);
    auto found = state.objects.find(object);
    if (found == state.objects.end() || found->second->kind != CGdiObject::Bitmap)
        return 0;
    if (!buffer)
        return sizeof(BITMAP);
    if (size < int(sizeof(BITMAP)))
        return 0;
    const CSurface& s = found->second->surface;
    BITMAP bitmap{0, s.width, s.height, s.width * 4, 1, 32, s.bits};
    *static_cast<BITMAP*>(buffer) = bitmap;
    return sizeof(BITMAP);
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD) {
    // The stand-in makes 32-bit BI_RGB sections in its own memory, the only kind its callers use.
    if (bits)
        *bits = nullptr;
    if (!info || usage != DIB_RGB_COLORS || section || info->bmiHeader.biSize < sizeof(BITMAPINFOHEADER) ||
        info->bmiHeader.biPlanes != 1 || info->bmiHeader.biBitCount != 32 ||
        info->bmiHeader.biCompression != BI_RGB || info->bmiHeader.biWidth <= 0 ||
        info->bmiHeader.biHeight == 0 ||
        int64_t(info->bmiHeader.biWidth) * std::llabs(info->bmiHeader.biHeight) > kMaxBitmapPixels) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto object = std::make_shared<CGdiObject>();
    const LONG height = info->bmiHeader.biHeight;
    object->surface.Allocate(info->bmiHeader.biWidth, height > 0 ? height : -height, height > 0);
    CUserState& state = UserState();
    std::lock_guard<std::recursive_mutex> guard(state.lock);
    HGDIOBJ handle = reinterpret_cast<HGDIOBJ>(NewUserHandle());
    if (bits)
        *bits = object->surface.bits;
    state.objects[handle] = object;
    return static_cast<HBITMAP>(handle);
}

HBRUSH CreateSolidBrush(COLORREF color) {
    auto object = std::make_shared<CGdiObject>();
    object->kind = CGdiObject::Brush;
    object->color = color;
    CUserState& state = UserState();
    std::lock_guard<std::recursive_mutex> guard(state.lock);
    HGDIOBJ handle = reinterpret_cast<HGDIOBJ>(NewUserHandle());
    state.objects[handle] = object;
    return static_cast<HBRUSH>(handle);
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    CUserState& state = UserState();
    std::lock_guard<std::recursive_mutex> guard(state.lock);
    CSurface* surface = DcSurface(dc);
    COLORREF color = RGB(255, 255, 255);
    if (brush != kWhiteBrush) {
        auto found = state.objects.find(brush);
        if (found == state.objects.end() || found->second->kind != CGdiObject::Brush)
            return 0;
        color = found->second->color;
    }
    if (!surface || !rect)
        return 0;
    // GDI fills leave the alpha byte 0.
    for (LONG y = std::max<LONG>(rect->top, 0); y < std::min<LONG>(rect->bottom, surface->height); ++y)
        for (LONG x = std::max<LONG>(rect->left, 0); x < std::min<LONG>(rect->right, surface->width); ++x) {
            BYTE* p = surface->Pixel(x, y);
            p[0] = GetBValue(color);
            p[1] = GetGValue(color);
            p[2] = GetRValue(color);
            p[3] = 0;
        }
    return 1;
}

int SetBkMode(HDC dc, int mode) {
    std::shared_ptr<CDeviceContext> context = _gdi_Dc(dc);
    if (!context || (mode != OPAQUE && mode != TRANSPARENT))
        return 0;
    return std::exchange(context->backgroundMode, mode);
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
    std::shared_ptr<CDeviceContext> context = _gdi_Dc(dc);
    if (!context)
        return CLR_INVALID;
    return std::exchange(context->backgroundColor, color);
}

BOOL GdiFlush() {
    return TRUE;
}

BOOL AlphaBlend(HDC destination, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                int sourceWidth, int sourceHeight, BLENDFUNCTION blend) {
    CUserState& state = UserState();
    std::lock_guard<std::recursive_mutex> guard(state.lock);
    CSurface* to = DcSurface(destination);
    CSurface* from = DcSurface(source);
    if (!to || !from || width <= 0 || height <= 0 || sourceWidth <= 0 || sourceHeight <= 0 || sourceX < 0 ||
        sourceY < 0 || sourceX + sourceWidth > from->width || sourceY + sourceHeight > from->height ||
        blend.BlendOp != AC_SRC_OVER || blend.BlendFlags != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int constant = blend.SourceConstantAlpha;
    const bool perPixel = (blend.AlphaFormat & AC_SRC_ALPHA) != 0;
    for (int dy = 0; dy < height; ++dy) {
        const int ty = y + dy;
        if (ty < 0 || ty >= to->height)
            continue;
        const int sy = sourceY + int(int64_t(dy) * sourceHeight / height);
        for (int dx = 0; dx < width; ++dx) {
            const int tx = x + dx;
            if (tx < 0 || tx >= to->width)
                continue;
            const int sx = sourceX + int(int64_t(dx) * sourceWidth / width);
            const BYTE* s = from->Pixel(sx, sy);
            BYTE* d = to->Pixel(tx, ty);
            if (perPixel) {
                const int alpha = ScaleByte(s[3], constant);
                for (int k = 0; k < 4; ++k)
                    d[k] = BYTE(std::min(255, ScaleByte(s[k], constant) + ScaleByte(d[k], 255 - alpha)));
            } else {
                for (int k = 0; k < 4; ++k)
                    d[k] = BYTE(ScaleByte(s[k], constant) + ScaleByte(d[k], 255 - constant));
            }
        }
    }
    return TRUE;
}

HDC BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    std::shared_ptr<CWindow> w = FindWindowObject(window);
    if (!w || !paint)
        return nullptr;
    w->painting = true;
    *paint = PAINTSTRUCT{};
    paint->hdc = _gdi_NewDc(window);
    GetClientRect(window, &paint->rcPaint);
    return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
    if (paint)
        DeleteDC(paint->hdc);
    std::shared_ptr<CWindow> w = FindWindowObject(window);
    if (!w)
        return TRUE;
    w->painting = false;
    RecordScreen();
    return TRUE;
}
