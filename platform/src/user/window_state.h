// The stand-in's windows and graphics objects, shared by the window, dialog, graphics and screen
// parts. The user interface runs on one thread; the lock guards the tables, never a call into a
// window procedure.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "jxplat/wingdi.h"

namespace jxplat {

// 32-bit pixels (B, G, R, A bytes) in rows; a bottom-up surface keeps its last row first in memory.
struct CSurface {
    int width = 0;
    int height = 0;
    bool bottomUp = false;
    std::vector<BYTE> ownBits; // when the surface owns its memory
    BYTE* bits = nullptr;

    BYTE* Pixel(int x, int y) {
        const int row = bottomUp ? height - 1 - y : y;
        return bits + (size_t(row) * size_t(width) + size_t(x)) * 4;
    }
    void Allocate(int w, int h, bool upsideDown) {
        width = w;
        height = h;
        bottomUp = upsideDown;
        ownBits.assign(size_t(w) * size_t(h) * 4, 0);
        bits = ownBits.data();
    }
};

struct CWindow {
    HWND handle = nullptr;
    std::u16string className;
    std::u16string title;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND owner = nullptr;
    RECT rect{};
    WNDPROC procedure = nullptr;
    DLGPROC dialogProcedure = nullptr;
    LONG_PTR userData = 0;
    uint64_t order = 0;    // place in the Z order: higher is nearer the viewer
    CSurface surface;      // what the window shows (a layered window: its last UpdateLayeredWindow)
    bool hasLayer = false; // a layered window that got its picture
    BYTE layerAlpha = 255; // the constant alpha of a layered window
    bool painting = false;
};

struct CGdiObject {
    enum Kind { Bitmap, Brush } kind = Bitmap;
    CSurface surface;   // a bitmap
    COLORREF color = 0; // a brush
};

struct CDeviceContext {
    HWND window = nullptr;      // a window's DC, or null for a memory DC
    HGDIOBJ selected = nullptr; // a memory DC's bitmap
    int backgroundMode = OPAQUE;
    COLORREF backgroundColor = RGB(255, 255, 255);
};

struct CUserState {
    std::recursive_mutex lock;
    std::map<HWND, std::shared_ptr<CWindow>> windows;
    std::map<std::u16string, WNDCLASSW> classes; // by folded name
    std::map<std::u16string, std::u16string> classNames;
    std::map<HDC, std::shared_ptr<CDeviceContext>> dcs;
    std::map<HGDIOBJ, std::shared_ptr<CGdiObject>> objects;
    uintptr_t nextHandle = 0x10010;
    uint64_t nextOrder = 1;
};

// value × factor / 255, rounded to the nearest integer: the blending step of AlphaBlend and of
// the screen's composition.
inline int ScaleByte(int value, int factor) {
    return (value * factor + 127) / 255;
}

CUserState& UserState();
uintptr_t NewUserHandle();
std::shared_ptr<CWindow> FindWindowObject(HWND window);
// The surface a DC draws on, or null (the lock is held by the caller).
CSurface* DcSurface(HDC dc);
// Sends WM_PAINT to a visible window that is not layered.
void PaintWindowNow(HWND window);
// A message to a window that is not the process's own: recorded in windowmessages.jsonl, answered 0.
LRESULT RecordForeignWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Writes the picture of the visible windows to the machine root (screen.png).
void RecordScreen();

} // namespace jxplat
