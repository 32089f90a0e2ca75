// A layered window that lays a soft drop shadow around another window and follows it when it
// moves or changes size.
#pragma once

#include "jxengine/startdlg/CAlphaBitmap.h"

namespace JxSetup::Data {

class CShadowWindow {
public:
    CShadowWindow(HINSTANCE instance, int size, int spread, int offset, double falloffOffset);
    ~CShadowWindow();
    CShadowWindow(const CShadowWindow&) = delete;
    CShadowWindow& operator=(const CShadowWindow&) = delete;

    bool Create(HWND owner, DWORD extendedStyle, bool show);
    void Attach(HWND target);
    void SetCornerRadius(int radius) { m_nCornerRadius = radius; }
    void SetOpacity(int value);
    void Update();

    HWND GetWindow() const { return m_hWnd; }
    HWND GetTarget() const { return m_hTarget; }
    BYTE GetConstantAlpha() const { return m_nAlpha; }
    const CAlphaBitmap& GetTemplate() const { return m_Template; }

    static LRESULT CALLBACK ShadowWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ShadowTargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    typedef BOOL(WINAPI* UpdateLayeredWindowFn)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF,
                                                BLENDFUNCTION*, DWORD);

    void _shadow_CutOutTarget();
    POINT _shadow_Position(int x, int y) const;

    HWND m_hWnd = nullptr;
    bool m_bSelfDelete = false;
    WCHAR m_szClassName[64] = {};
    HWND m_hOwner = nullptr;
    HWND m_hTarget = nullptr;
    BYTE m_nAlpha = 0;
    bool m_bRepositioning = false;
    int m_nTargetWidth = 0;
    int m_nTargetHeight = 0;
    int m_nX = 0;
    int m_nY = 0;
    int m_nOwnMoves = 0;
    int m_nTopCut = -1;
    RECT m_Insets{};
    RECT m_ClearRect{};
    int m_nCornerRadius = 0;
    int m_nSize;
    int m_nSpread;
    int m_nOffset;
    double m_dFalloffOffset;
    CAlphaBitmap m_Template;
    HMODULE m_hUser32 = nullptr;
    UpdateLayeredWindowFn m_pUpdateLayeredWindow = nullptr;
};

} // namespace JxSetup::Data
