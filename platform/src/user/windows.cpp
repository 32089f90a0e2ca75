// Windows and window classes: creation, destruction, visibility, position, text and window
// procedures. Messages go straight to the window procedure.
#include <algorithm>

#include "jxplat/errhandling.h"
#include "jxplat/text.h"
#include "jxplat/winerror.h"
#include "user/window_state.h"

namespace jxplat {

CUserState& UserState() {
    static auto* state = new CUserState;
    return *state;
}

uintptr_t NewUserHandle() {
    CUserState& state = UserState();
    std::lock_guard<std::recursive_mutex> guard(state.lock);
    const uintptr_t handle = state.nextHandle;
    state.nextHandle += 4;
    return handle;
}

std::shared_ptr<CWindow> FindWindowObject(HWND window) {
    CUserState& state = UserState();
    std::lock_guard<std::recursive_mutex> guard(state.lock);
    auto found = state.windows.find(window);
    if (found == state.windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return found->second;
}

void PaintWindowNow(HWND window) {
    std::shared_ptr<CWindow> w = FindWindowObject(window);
    if (!w || (w->style & WS_VISIBLE) == 0 || (w->exStyle & WS_EX_LAYERED) != 0 || w->painting)
        return;
    SendMessageW(window, WM_PAINT, 0, 0);
}

std::vector<WindowInfo> ListWindows() {
    CUserState& state = UserState();
    std::lock_guard<std::recursive_mutex> guard(state.lock);
    std::map<uint64_t, WindowInfo> ordered;
    for (const auto& [handle, w] : state.windows)
        ordered[w->order] = WindowInfo{handle,
                                       w->className,
                                       w->title,
                                       w->rect,
                                       (w->style & WS_VISIBLE) != 0,
                                       (w->exStyle & WS_EX_LAYERED) != 0};
    std::vector<WindowInfo> out;
    for (auto& [order, info] : ordered)
        out.push_back(info);
    return out;
}

} // namespace jxplat

using namespace jxplat;

ATOM RegisterClassW(const WNDCLASSW* windowClass) {
    if (!windowClass || !windowClass->lpszClassName || !windowClass->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    CUserState& state = UserState();
    std::lock_guard<std::recursive_mutex> guard(state.lock);
    const std::u16string folded = jxtext::Fold(windowClass->lpszClassName);
    if (state.classes.count(folded)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    state.classNames[folded] = windowClass->lpszClassName;
    WNDCLASSW kept = *windowClass;
    kept.lpszClassName = state.classNames[folded].c_str();
    kept.lpszMenuName = nullptr;
    state.classes[folded] = kept;
    return static_cast<ATOM>(0xC000 + state.classes.size());
}

BOOL GetClassInfoW(HINSTANCE, LPCWSTR className, LPWNDCLASSW windowClass) {
    CUserState& state = UserState();
    std::lock_guard<std::recursive_mutex> guard(state.lock);
    auto found = className ? state.classes.find(jxtext::Fold(className)) : state.classes.end();
    if (found == state.classes.end()) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (windowClass)
        *windowClass = found->second;
    return TRUE;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU, HINSTANCE, LPVOID) {
    auto window = std::make_shared<CWindow>();
    {
        CUserState& state = UserState();
        std::lock_guard<std::recursive_mutex> guard(state.lock);
        auto found = className ? state.classes.find(jxtext::Fold(className)) : state.classes.end();
        if (found == state.classes.end()) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if (parent && !state.windows.count(parent)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        window->handle = reinterpret_cast<HWND>(NewUserHandle());
        window->className = found->second.lpszClassName;
        window->procedure = found->second.lpfnWndProc;
        window->title = windowName ? windowName : u"";
        window->style = style & ~WS_VISIBLE;
        window->exStyle = exStyle;
        window->owner = parent;
        window->rect = RECT{x, y, x + (width > 0 ? width : 0), y + (height > 0 ? height : 0)};
        window->order = state.nextOrder++;
        window->surface.Allocate(window->rect.right - x, window->rect.bottom - y, false);
        state.windows[window->handle] = window;
    }
    if (style & WS_VISIBLE)
        ShowWindow(window->handle, SW_SHOW);
    return window->handle;
}

BOOL DestroyWindow(HWND window) {
    std::shared_ptr<CWindow> w = FindWindowObject(window);
    if (!w)
        return FALSE;
    // Owned windows go first, then the window itself.
    std::vector<HWND> owned;
    {
        CUserState& state = UserState();
        std::lock_guard<std::recursive_mutex> guard(state.lock);
        for (const auto& [handle, other] : state.windows)
            if (other->owner == window)
                owned.push_back(handle);
    }
    for (HWND handle : owned)
        DestroyWindow(handle);
    SendMessageW(window, WM_DESTROY, 0, 0);
    SendMessageW(window, WM_NCDESTROY, 0, 0);
    {
        CUserState& state = UserState();
        std::lock_guard<std::recursive_mutex> guard(state.lock);
        state.windows.erase(window);
    }
    // The picture of the screen keeps what was last shown.
    return TRUE;
}

BOOL IsWindow(HWND window) {
    CUserState& state = UserState();
    std::lock_guard<std::recursive_mutex> guard(state.lock);
    return state.windows.count(window) ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND window) {
    std::shared_ptr<CWindow> w = FindWindowObject(window);
    return w && (w->style & WS_VISIBLE) != 0 ? TRUE : FALSE;
}

BOOL ShowWindow(HWND window, int command) {
    std::shared_ptr<CWindow> w = FindWindowObject(window);
    if (!w)
        return FALSE;
    const bool wasVisible = (w->style & WS_VISIBLE) != 0;
    if (command == SW_HIDE) {
        w->style &= ~WS_VISIBLE; // the picture of the screen keeps what was last shown
    } else if (!wasVisible) {
        w->style |= WS_VISIBLE;
        if (w->exStyle & WS_EX_LAYERED)
            RecordScreen();
        else
            PaintWindowNow(window);
    }
    return wasVisible ? TRUE : FALSE;
}

BOOL EnableWindow(HWND window, BOOL enable) {
    std::shared_ptr<CWindow> w = FindWindowObject(window);
    if (!w)
        return FALSE;
    const bool wasDisabled = (w->style & WS_DISABLED) != 0;
    if (enable)
        w->style &= ~WS_DISABLED;
    else
        w->style |= WS_DISABLED;
    return wasDisabled ? TRUE : FALSE;
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
    std::shared_ptr<CWindow> w = FindWindowObject(window);
    if (!w || !rect)
        return FALSE;
    *rect = w->rect;
    return TRUE;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
    std::shared_ptr<CWindow> w = FindWindowObject(window);
    if (!w || !rect)
        return FALSE;
    // A popup window without border or caption: its client area is the whole window.
    *rect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
    return SetWindowPos(window, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0u : SWP_NOREDRAW));
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    std::shared_ptr<CWindow> w = FindWindowObject(window);
    if (!w)
        return FALSE;
    WINDOWPOS position{window, insertAfter, x, y, cx, cy, flags};
    SendMessageW(window, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&position));
    if (!IsWindow(window))
        return FALSE;
    const RECT before = w->rect;
    const int width = before.right - before.left;
    const int height = before.bottom - before.top;
    RECT after = before;
    if ((position.flags & SWP_NOMOVE) == 0)
        after = RECT{position.x, position.y, position.x + width, position.y + height};
    if ((position.flags & SWP_NOSIZE) == 0) {
        after.right = after.left + (position.cx > 0 ? position.cx : 0);
        after.bottom = after.top + (position.cy > 0 ? position.cy : 0);
    }
    const bool resized = after.right - after.left != width || after.bottom - after.top != height;
    const bool moved = after.left != before.left || after.top != before.top;
    w->rect = after;
    if (resized && (w->exStyle & WS_EX_LAYERED) == 0)
        w->surface.Allocate(after.right - after.left, after.bottom - after.top, false);
    if ((position.flags & SWP_NOZORDER) == 0) {
        CUserState& state = UserState();
        std::lock_guard<std::recursive_mutex> guard(state.lock);
        w->order = state.nextOrder++;
    }
    if (position.flags & SWP_HIDEWINDOW)
        w->style &= ~WS_VISIBLE;
    const bool shown = (position.flags & SWP_SHOWWINDOW) != 0 && (w->style & WS_VISIBLE) == 0;
    if (shown)
        w->style |= WS_VISIBLE;
    SendMessageW(window, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&position));
    if ((resized || shown) && (position.flags & SWP_NOREDRAW) == 0)
        PaintWindowNow(window);
    if ((resized || moved || shown) && (w->style & WS_VISIBLE))
        RecordScreen();
    return TRUE;
}

namespace {

struct CDeferBatch {
    std::vector<WINDOWPOS> positions;
};

} // namespace

HDWP BeginDeferWindowPos(int count) {
    if (count < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* batch = new CDeferBatch;
    batch->positions.reserve(size_t(count));
    return reinterpret_cast<HDWP>(batch);
}

HDWP DeferWindowPos(HDWP batch, HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    if (!batch)
        return nullptr;
    if (!IsWindow(window)) {
        delete reinterpret_cast<CDeferBatch*>(batch);
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    reinterpret_cast<CDeferBatch*>(batch)->positions.push_back(
        WINDOWPOS{window, insertAfter, x, y, cx, cy, flags});
    return batch;
}

BOOL EndDeferWindowPos(HDWP batch) {
    if (!batch)
        return FALSE;
    std::unique_ptr<CDeferBatch> owned(reinterpret_cast<CDeferBatch*>(batch));
    BOOL result = TRUE;
    for (const WINDOWPOS& p : owned->positions)
        if (!SetWindowPos(p.hwnd, p.hwndInsertAfter, p.x, p.y, p.cx, p.cy, p.flags))
            result = FALSE;
    return result;
}

int GetWindowTextW(HWND window, LPWSTR text, int maxCount) {
    if (!IsWindow(window) || !text || maxCount <= 0) {
        SetLastError(IsWindow(window) ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(
        SendMessageW(window, WM_GETTEXT, WPARAM(maxCount), reinterpret_cast<LPARAM>(text)));
}

BOOL SetWindowTextW(HWND window, LPCWSTR text) {
    if (!IsWindow(window))
        return FALSE;
    return SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<CWindow> w = FindWindowObject(window);
    if (!w)
        return RecordForeignWindowMessage(window, message, wParam, lParam);
    if (!w->procedure)
        return 0;
    return w->procedure(window, message, wParam, lParam);
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<CWindow> w = FindWindowObject(window);
    if (!w)
        return 0;
    switch (message) {
    case WM_SETTEXT:
        w->title = lParam ? reinterpret_cast<LPCWSTR>(lParam) : u"";
        return TRUE;
    case WM_GETTEXT: {
        if (wParam == 0 || !lParam)
            return 0;
        auto* buffer = reinterpret_cast<LPWSTR>(lParam);
        const size_t copied = std::min(w->title.size(), size_t(wParam) - 1);
        w->title.copy(buffer, copied);
        buffer[copied] = 0;
        return LRESULT(copied);
    }
    case WM_GETTEXTLENGTH:
        return LRESULT(w->title.size());
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    default:
        return 0;
    }
}

LRESULT CallWindowProcW(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return procedure ? procedure(window, message, wParam, lParam) : 0;
}

LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
    std::shared_ptr<CWindow> w = FindWindowObject(window);
    if (!w)
        return 0;
    LONG_PTR previous = 0;
    switch (index) {
    case GWLP_WNDPROC:
        previous = reinterpret_cast<LONG_PTR>(w->procedure);
        w->procedure = reinterpret_cast<WNDPROC>(value);
        break;
    case GWLP_USERDATA:
        previous = w->userData;
        w->userData = value;
        break;
    case GWL_STYLE:
        previous = LONG_PTR(w->style);
        w->style = DWORD(value);
        break;
    case GWL_EXSTYLE:
        previous = LONG_PTR(w->exStyle);
        w->exStyle = DWORD(value);
        break;
    default:
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    SetLastError(ERROR_SUCCESS);
    return previous;
}

LONG_PTR GetWindowLongPtrW(HWND window, int index) {
    std::shared_ptr<CWindow> w = FindWindowObject(window);
    if (!w)
        return 0;
    switch (index) {
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->procedure);
    case GWLP_USERDATA:
        return w->userData;
    case GWL_STYLE:
        return LONG_PTR(w->style);
    case GWL_EXSTYLE:
        return LONG_PTR(w->exStyle);
    default:
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
}

BOOL InvalidateRect(HWND window, LPCRECT, BOOL) {
    if (!IsWindow(window))
        return FALSE;
    PaintWindowNow(window);
    return TRUE;
}

BOOL UpdateWindow(HWND window) {
    // Every invalidation is painted at once, so nothing waits for a paint here.
    return IsWindow(window);
}

int GetSystemMetrics(int index) {
    if (index == SM_CXSCREEN)
        return kScreenWidth;
    if (index == SM_CYSCREEN)
        return kScreenHeight;
    return 0;
}
