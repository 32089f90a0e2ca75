// Layered windows (UpdateLayeredWindow) and what GetProcAddress finds in the built-in "User32.dll".
#include <cstring>

#include "jxplat/errhandling.h"
#include "jxplat/winerror.h"
#include "kernel/modules.h"
#include "user/window_state.h"

namespace jxplat {

FARPROC FindUser32Export(const char* name) {
    if (std::strcmp(name, "UpdateLayeredWindow") == 0)
        return reinterpret_cast<FARPROC>(&UpdateLayeredWindow);
    return nullptr;
}

} // namespace jxplat

using namespace jxplat;

BOOL UpdateLayeredWindow(HWND window, HDC, POINT* position, SIZE* size, HDC sourceDc, POINT* sourcePoint,
                         COLORREF, BLENDFUNCTION* blend, DWORD flags) {
    std::shared_ptr<CWindow> w = FindWindowObject(window);
    if (!w)
        return FALSE;
    if ((w->exStyle & WS_EX_LAYERED) == 0 || (flags & ~(ULW_COLORKEY | ULW_ALPHA | ULW_OPAQUE)) != 0 ||
        (size && (size->cx < 0 || size->cy < 0))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // A move or a new size goes through the window's own position handling, as on Windows.
    if (position || size) {
        const UINT moveFlags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW | (position ? 0u : SWP_NOMOVE) |
                               (size ? 0u : SWP_NOSIZE);
        SetWindowPos(window, nullptr, position ? position->x : 0, position ? position->y : 0,
                     size ? size->cx : 0, size ? size->cy : 0, moveFlags);
    }
    {
        CUserState& state = UserState();
        std::lock_guard<std::recursive_mutex> guard(state.lock);
        if (blend && (flags & ULW_ALPHA))
            w->layerAlpha = blend->SourceConstantAlpha;
        if (sourceDc) {
            CSurface* from = DcSurface(sourceDc);
            const int width = w->rect.right - w->rect.left;
            const int height = w->rect.bottom - w->rect.top;
            const int sx = sourcePoint ? sourcePoint->x : 0;
            const int sy = sourcePoint ? sourcePoint->y : 0;
            if (!from || sx < 0 || sy < 0 || sx + width > from->width || sy + height > from->height) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
            w->surface.Allocate(width, height, false);
            for (int y = 0; y < height; ++y)
                std::memcpy(w->surface.Pixel(0, y), from->Pixel(sx, sy + y), size_t(width) * 4);
            w->hasLayer = true;
        }
    }
    RecordScreen();
    return TRUE;
}
