// Windows, window classes, messages, dialogs and layered windows of the stand-in. There is no
// screen and no message loop: messages are sent straight to window procedures, a window that
// becomes visible or is invalidated is painted at once, and the picture of the visible windows is
// recorded in the machine root as "screen.png" (see platform/MACHINE.md).
#pragma once

#include <string>
#include <vector>

#include "jxplat/wintypes.h"

typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef WORD ATOM;
struct HDWP__;
typedef HDWP__* HDWP;
struct HDC__;
typedef HDC__* HDC;
struct HBRUSH__;
typedef HBRUSH__* HBRUSH;
struct HICON__;
typedef HICON__* HICON;
typedef HICON HCURSOR;
struct HMENU__;
typedef HMENU__* HMENU;
typedef DWORD COLORREF;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;
typedef const RECT* LPCRECT;

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *LPPOINT;

typedef struct tagSIZE {
    LONG cx;
    LONG cy;
} SIZE, *LPSIZE;

typedef struct tagWNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
} WNDCLASSW, *LPWNDCLASSW;

typedef struct tagWINDOWPOS {
    HWND hwnd;
    HWND hwndInsertAfter;
    int x;
    int y;
    int cx;
    int cy;
    UINT flags;
} WINDOWPOS, *LPWINDOWPOS;

typedef struct tagPAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
} PAINTSTRUCT, *LPPAINTSTRUCT;

typedef struct _BLENDFUNCTION {
    BYTE BlendOp;
    BYTE BlendFlags;
    BYTE SourceConstantAlpha;
    BYTE AlphaFormat;
} BLENDFUNCTION, *PBLENDFUNCTION;

#define WS_POPUP 0x80000000u
#define WS_VISIBLE 0x10000000u
#define WS_DISABLED 0x08000000u
#define WS_EX_TOPMOST 0x00000008u
#define WS_EX_TRANSPARENT 0x00000020u
#define WS_EX_TOOLWINDOW 0x00000080u
#define WS_EX_LAYERED 0x00080000u
#define DS_SETFONT 0x40u
#define DS_CENTER 0x0800u
#define DS_FIXEDSYS 0x0008u

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_SHOWNA 8

#define SWP_NOSIZE 0x0001u
#define SWP_NOMOVE 0x0002u
#define SWP_NOZORDER 0x0004u
#define SWP_NOREDRAW 0x0008u
#define SWP_NOACTIVATE 0x0010u
#define SWP_SHOWWINDOW 0x0040u
#define SWP_HIDEWINDOW 0x0080u
#define HWND_TOP ((HWND)0)

#define WM_CREATE 0x0001u
#define WM_DESTROY 0x0002u
#define WM_SETTEXT 0x000Cu
#define WM_GETTEXT 0x000Du
#define WM_GETTEXTLENGTH 0x000Eu
#define WM_PAINT 0x000Fu
#define WM_WINDOWPOSCHANGING 0x0046u
#define WM_WINDOWPOSCHANGED 0x0047u
#define WM_NCDESTROY 0x0082u
#define WM_INITDIALOG 0x0110u

#define GWLP_WNDPROC (-4)
#define GWLP_USERDATA (-21)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)

#define SM_CXSCREEN 0
#define SM_CYSCREEN 1

#define ULW_COLORKEY 0x1u
#define ULW_ALPHA 0x2u
#define ULW_OPAQUE 0x4u
#define AC_SRC_OVER 0x00
#define AC_SRC_ALPHA 0x01

#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_CLASS_DOES_NOT_EXIST 1411L
#define ERROR_INVALID_INDEX 1413L

ATOM RegisterClassW(const WNDCLASSW* windowClass);
BOOL GetClassInfoW(HINSTANCE instance, LPCWSTR className, LPWNDCLASSW windowClass);
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
BOOL IsWindowVisible(HWND window);
BOOL ShowWindow(HWND window, int command);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL GetWindowRect(HWND window, LPRECT rect);
BOOL GetClientRect(HWND window, LPRECT rect);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
HDWP BeginDeferWindowPos(int count);
HDWP DeferWindowPos(HDWP batch, HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL EndDeferWindowPos(HDWP batch);
int GetWindowTextW(HWND window, LPWSTR text, int maxCount);
BOOL SetWindowTextW(HWND window, LPCWSTR text);
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CallWindowProcW(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtrW(HWND window, int index);
HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC dialogProc,
                        LPARAM initParam);
LRESULT DefDlgProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL InvalidateRect(HWND window, LPCRECT rect, BOOL erase);
BOOL UpdateWindow(HWND window);
HDC BeginPaint(HWND window, LPPAINTSTRUCT paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
int GetSystemMetrics(int index);
// Found through GetProcAddress in the built-in "User32.dll", as callers of old Windows versions do.
BOOL UpdateLayeredWindow(HWND window, HDC screenDc, POINT* position, SIZE* size, HDC sourceDc,
                         POINT* sourcePoint, COLORREF key, BLENDFUNCTION* blend, DWORD flags);

namespace jxplat {

// A dialog resource of the program: its styles and its size in dialog units. The font is the
// dialog's ("MS Shell Dlg", 8 point): a dialog unit is 6/4 pixels across and 13/8 pixels down.
struct DialogResource {
    UINT id;
    DWORD style;
    DWORD exStyle;
    short cx;
    short cy;
};
// The program's dialog templates (its resources); the program registers them before it runs.
void RegisterDialogResources(const DialogResource* table, size_t count);

// The screen of the stand-in: its size in pixels.
constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;

struct WindowInfo {
    HWND handle = nullptr;
    std::u16string className;
    std::u16string title;
    RECT rect{};
    bool visible = false;
    bool layered = false;
};
// The windows of this process, bottom of the Z order first.
std::vector<WindowInfo> ListWindows();

} // namespace jxplat
