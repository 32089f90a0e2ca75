// The few classes of the compiler's framework (its class library) that the engine's start dialog
// uses: a window object, a modeless dialog made from a template, and the paint device context.
// The message map of a class is its OnWndMsg: it handles a message by returning TRUE.
#pragma once

#include "jxplat/wingdi.h"

HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    virtual BOOL DestroyWindow();
    void GetWindowRect(LPRECT rect) const { ::GetWindowRect(m_hWnd, rect); }
    void GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) {
        ::MoveWindow(m_hWnd, x, y, width, height, repaint);
    }
    void Invalidate() { ::InvalidateRect(m_hWnd, nullptr, TRUE); }

    virtual void BeginModalState() { ::EnableWindow(m_hWnd, FALSE); }
    virtual void EndModalState() { ::EnableWindow(m_hWnd, TRUE); }

    HWND m_hWnd = nullptr;

protected:
    // The message map: TRUE when the class handled the message (its result in *result).
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) { return FALSE; }
    // Called after the window's last message; the object no longer has a window.
    virtual void PostNcDestroy() {}

    friend INT_PTR CALLBACK _AfxDialogProc(HWND, UINT, WPARAM, LPARAM);
};

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr) : m_nIDHelp(templateId), m_pParentWnd(parent) {}

    // Creates the modeless dialog's window from the template; TRUE when it exists.
    virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
    virtual BOOL OnInitDialog() { return TRUE; }

protected:
    UINT m_nIDHelp;
    CWnd* m_pParentWnd;
};

// The device context of a WM_PAINT: BeginPaint on construction, EndPaint on destruction.
class CPaintDC {
public:
    explicit CPaintDC(CWnd* window);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    operator HDC() const { return m_hDC; }
    void FillSolidRect(LPCRECT rect, COLORREF color);
    int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
    COLORREF SetBkColor(COLORREF color) { return ::SetBkColor(m_hDC, color); }

    HDC m_hDC = nullptr;
    PAINTSTRUCT m_ps{};

private:
    HWND m_hWnd;
};
