// The drop shadow of the start dialog: a layered window below-and-around its target, drawn from a
// small template in nine pieces, moved together with the target in one deferred batch.
#include "jxengine/startdlg/CShadowWindow.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include "jxplat/text.h"
#include "jxplat/winbase.h"

namespace JxSetup::Data {
namespace {

// Process-wide and unlocked: every window of the start dialog lives on the main thread.
std::map<HWND, CShadowWindow*>& _shadow_Windows() {
    static auto* map = new std::map<HWND, CShadowWindow*>;
    return *map;
}

std::map<HWND, CShadowWindow*>& _shadow_Targets() {
    static auto* map = new std::map<HWND, CShadowWindow*>;
    return *map;
}

std::map<HWND, WNDPROC>& _shadow_TargetProcedures() {
    static auto* map = new std::map<HWND, WNDPROC>;
    return *map;
}

template <typename Map> typename Map::mapped_type _shadow_Find(Map& map, HWND window) {
    auto found = map.find(window);
    return found == map.end() ? nullptr : found->second;
}

} // namespace

CShadowWindow::CShadowWindow(HINSTANCE instance, int size, int spread, int offset, double falloffOffset)
    : m_nSize(size), m_nSpread(spread), m_nOffset(offset), m_dFalloffOffset(falloffOffset) {
    char name[64];
    std::snprintf(name, sizeof(name), "_TOLVANE_SHADOW_CLASS_%.16llx_",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(instance)));
    const std::u16string wide = jxtext::Utf8ToUtf16(name);
    wide.copy(m_szClassName, sizeof(m_szClassName) / sizeof(WCHAR) - 1);
    WNDCLASSW windowClass{};
    if (!GetClassInfoW(instance, m_szClassName, &windowClass)) {
        windowClass = WNDCLASSW{};
        windowClass.lpfnWndProc = ShadowWndProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = m_szClassName;
        RegisterClassW(&windowClass);
    }
    m_hUser32 = LoadLibraryW(u"User32.dll");
    if (m_hUser32)
        m_pUpdateLayeredWindow =
            reinterpret_cast<UpdateLayeredWindowFn>(GetProcAddress(m_hUser32, "UpdateLayeredWindow"));
}

CShadowWindow::~CShadowWindow() {
    // A target still attached gets its own window procedure back.
    if (m_hTarget && _shadow_Find(_shadow_Targets(), m_hTarget) == this) {
        if (WNDPROC previous = _shadow_Find(_shadow_TargetProcedures(), m_hTarget))
            SetWindowLongPtrW(m_hTarget, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        _shadow_Targets().erase(m_hTarget);
        _shadow_TargetProcedures().erase(m_hTarget);
    }
    if (m_hWnd)
        DestroyWindow(m_hWnd);
    if (m_hUser32)
        FreeLibrary(m_hUser32);
}

bool CShadowWindow::Create(HWND owner, DWORD extendedStyle, bool show) {
    if (!m_pUpdateLayeredWindow)
        return false;
    m_Template.Create(4 * m_nSize, 4 * m_nSize, FALSE);
    m_Template.MakeShadow(0xFF000000u, m_nSize, m_dFalloffOffset);
    m_hWnd = CreateWindowExW(extendedStyle | WS_EX_LAYERED | WS_EX_TRANSPARENT, m_szClassName, u"",
                             WS_POPUP | WS_DISABLED, 0, 0, 0, 0, owner, nullptr, nullptr, nullptr);
    if (!m_hWnd)
        return false;
    m_hOwner = owner;
    _shadow_Windows()[m_hWnd] = this;
    if (show)
        ShowWindow(m_hWnd, SW_SHOWNOACTIVATE);
    return true;
}

// Makes the template transparent where the target covers it, with rounded corners.
void CShadowWindow::_shadow_CutOutTarget() {
    const int W = m_Template.GetWidth();
    const int H = m_Template.GetHeight();
    BYTE* bits = m_Template.GetBits();
    if (!bits)
        return;
    const int r = m_nCornerRadius;
    const int firstRow = m_nOffset + m_nSpread / 2;
    const int rows = H - m_nSpread;
    const int left = m_nSpread / 2 - m_nOffset;
    const int right = W - m_nOffset - m_nSpread / 2;
    for (int i = 0; i < rows; ++i) {
        const int row = firstRow + i;
        if (row < 0 || row >= H)
            continue;
        const int fromEnd = std::min(i, rows - 1 - i);
        const int narrow =
            fromEnd < r ? r - int(std::floor(std::sqrt(double(r * r - (r - fromEnd) * (r - fromEnd))))) : 0;
        for (int x = std::max(0, left + narrow); x < std::min(W, right - narrow); ++x)
            std::memset(bits + (size_t(row) * size_t(W) + size_t(x)) * 4, 0, 4);
    }
    if (m_nTopCut > 0)
        for (int row = std::max(0, H - m_nTopCut); row < H; ++row)
            std::memset(bits + size_t(row) * size_t(W) * 4, 0, size_t(W) * 4);
}

void CShadowWindow::Attach(HWND target) {
    if (!m_hWnd || m_hTarget || !m_pUpdateLayeredWindow)
        return;
    m_hTarget = target;
    if (target == m_hOwner)
        _shadow_CutOutTarget();
    WCHAR title[256] = {};
    GetWindowTextW(target, title, 256);
    SetWindowTextW(target, title);
    Update();
    _shadow_Targets()[target] = this;
    _shadow_TargetProcedures()[target] = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(target, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ShadowTargetProc)));
}

void CShadowWindow::SetOpacity(int value) {
    if (!m_hWnd || !m_hTarget || !m_pUpdateLayeredWindow)
        return;
    const int n = int(255.0 * std::pow(value / 255.0, 1.2) + 0.5);
    m_nAlpha = BYTE(n * 224 / 255);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, m_nAlpha, AC_SRC_ALPHA};
    m_pUpdateLayeredWindow(m_hWnd, nullptr, nullptr, nullptr, nullptr, nullptr, 0, &blend, ULW_ALPHA);
}

POINT CShadowWindow::_shadow_Position(int x, int y) const {
    return POINT{x + m_nOffset - m_nSpread / 2, y + m_nOffset - m_nSpread / 2};
}

void CShadowWindow::Update() {
    if (!m_pUpdateLayeredWindow || !m_hWnd)
        return;
    RECT rect{};
    GetWindowRect(m_hTarget, &rect);
    rect.left += m_Insets.left;
    rect.top += m_Insets.top;
    rect.right -= m_Insets.right;
    rect.bottom -= m_Insets.bottom;
    m_nTargetWidth = rect.right - rect.left;
    m_nTargetHeight = rect.bottom - rect.top;
    POINT position = _shadow_Position(rect.left, rect.top);
    SIZE size{m_nTargetWidth + m_nSpread, m_nTargetHeight + m_nSpread};
    m_nX = position.x;
    m_nY = position.y;
    CAlphaBitmap picture;
    if (!picture.Create(size.cx, size.cy, TRUE))
        return;
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(memory, picture.GetHandle());
    const int margin = m_nCornerRadius + m_nSize;
    m_Template.Draw9Grid(memory, RECT{0, 0, size.cx, size.cy}, margin, margin, margin, margin, 255);
    if (m_ClearRect.left || m_ClearRect.top || m_ClearRect.right || m_ClearRect.bottom) {
        BYTE* bits = picture.GetBits();
        for (int y = std::max<int>(0, m_ClearRect.top); y < std::min<int>(size.cy, m_ClearRect.bottom); ++y)
            for (int x = std::max<int>(0, m_ClearRect.left); x < std::min<int>(size.cx, m_ClearRect.right);
                 ++x)
                std::memset(bits + (size_t(size.cy - 1 - y) * size_t(size.cx) + size_t(x)) * 4, 0, 4);
    }
    POINT source{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, m_nAlpha, AC_SRC_ALPHA};
    ++m_nOwnMoves;
    m_pUpdateLayeredWindow(m_hWnd, nullptr, &position, &size, memory, &source, 0, &blend, ULW_ALPHA);
    --m_nOwnMoves;
    SelectObject(memory, previous);
    DeleteDC(memory);
}

LRESULT CALLBACK CShadowWindow::ShadowWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CShadowWindow* shadow = _shadow_Find(_shadow_Windows(), window);
    if (message == WM_WINDOWPOSCHANGING && shadow && shadow->m_nOwnMoves == 0) {
        // Nobody else moves or sizes the shadow.
        reinterpret_cast<WINDOWPOS*>(lParam)->flags |= SWP_NOSIZE | SWP_NOMOVE;
    } else if (message == WM_NCDESTROY) {
        _shadow_Windows().erase(window);
        if (shadow)
            shadow->m_hWnd = nullptr;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK CShadowWindow::ShadowTargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC previous = _shadow_Find(_shadow_TargetProcedures(), window);
    if (!previous)
        return 0;
    CShadowWindow* shadow = _shadow_Find(_shadow_Targets(), window);
    switch (message) {
    case WM_SETTEXT:
        if (shadow && shadow->m_hWnd)
            SendMessageW(shadow->m_hWnd, WM_SETTEXT, wParam, lParam);
        break;
    case WM_WINDOWPOSCHANGING: {
        auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
        const bool movesOnly =
            shadow && (position->flags & SWP_NOMOVE) == 0 &&
            ((position->flags & SWP_NOSIZE) != 0 ||
             (position->cx == shadow->m_nTargetWidth && position->cy == shadow->m_nTargetHeight));
        if (movesOnly && shadow->m_hWnd && !shadow->m_bRepositioning) {
            ++shadow->m_nOwnMoves;
            shadow->m_bRepositioning = true;
            const POINT to = shadow->_shadow_Position(position->x, position->y);
            const UINT flags = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
            HDWP batch = BeginDeferWindowPos(2);
            batch = DeferWindowPos(batch, window, position->hwndInsertAfter, position->x, position->y,
                                   position->cx, position->cy, position->flags);
            batch = DeferWindowPos(batch, shadow->m_hWnd, nullptr, to.x, to.y, 0, 0, flags);
            EndDeferWindowPos(batch);
            SetWindowPos(shadow->m_hWnd, nullptr, to.x, to.y, 0, 0, flags);
            shadow->m_bRepositioning = false;
            --shadow->m_nOwnMoves;
            return 0;
        }
        break;
    }
    case WM_NCDESTROY:
        _shadow_Targets().erase(window);
        _shadow_TargetProcedures().erase(window);
        if (shadow) {
            shadow->m_hTarget = nullptr;
            if (shadow->m_hWnd)
                DestroyWindow(shadow->m_hWnd);
            if (shadow->m_bSelfDelete)
                delete shadow; // frees User32.dll and the template with it
        }
        return CallWindowProcW(previous, window, message, wParam, lParam);
    default:
        break;
    }
    const LRESULT result = CallWindowProcW(previous, window, message, wParam, lParam);
    if (message == WM_WINDOWPOSCHANGED && shadow && shadow->m_hWnd) {
        const auto* position = reinterpret_cast<const WINDOWPOS*>(lParam);
        if ((position->flags & SWP_NOSIZE) == 0) {
            shadow->Update();
        } else if ((position->flags & SWP_NOMOVE) == 0) {
            RECT rect{};
            GetWindowRect(window, &rect);
            const POINT to =
                shadow->_shadow_Position(rect.left + shadow->m_Insets.left, rect.top + shadow->m_Insets.top);
            if (to.x != shadow->m_nX || to.y != shadow->m_nY) {
                shadow->m_nX = to.x;
                shadow->m_nY = to.y;
                ++shadow->m_nOwnMoves;
                SetWindowPos(shadow->m_hWnd, nullptr, to.x, to.y, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
                --shadow->m_nOwnMoves;
            }
        }
    }
    return result;
}

} // namespace JxSetup::Data
