// The framework's window and dialog objects: a process-wide map joins each window to its object,
// and the dialog procedure hands the messages to the object's message map.
#include <map>
#include <mutex>

#include "jxplat/afxwin.h"
#include "jxplat/winbase.h"

namespace {

std::map<HWND, CWnd*>& WindowMap() {
    static auto* map = new std::map<HWND, CWnd*>;
    return *map;
}

std::mutex& MapLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

CWnd* FindObject(HWND window) {
    std::lock_guard<std::mutex> guard(MapLock());
    auto found = WindowMap().find(window);
    return found == WindowMap().end() ? nullptr : found->second;
}

} // namespace

HINSTANCE AfxGetInstanceHandle() {
    return GetModuleHandleW(nullptr);
}

HINSTANCE AfxGetResourceHandle() {
    return GetModuleHandleW(nullptr);
}

INT_PTR CALLBACK _AfxDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        dialog->m_hWnd = window;
        {
            std::lock_guard<std::mutex> guard(MapLock());
            WindowMap()[window] = dialog;
        }
        return dialog->OnInitDialog();
    }
    CWnd* object = FindObject(window);
    if (!object)
        return FALSE;
    LRESULT result = 0;
    const BOOL handled = object->OnWndMsg(message, wParam, lParam, &result);
    if (message == WM_NCDESTROY) {
        {
            std::lock_guard<std::mutex> guard(MapLock());
            WindowMap().erase(window);
        }
        object->m_hWnd = nullptr;
        object->PostNcDestroy();
    }
    return handled;
}

CWnd::~CWnd() {
    if (m_hWnd && IsWindow(m_hWnd))
        DestroyWindow();
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    m_nIDHelp = templateId;
    if (parent)
        m_pParentWnd = parent;
    HWND window = CreateDialogParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(templateId),
                                     m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr, _AfxDialogProc,
                                     reinterpret_cast<LPARAM>(this));
    return window ? TRUE : FALSE;
}

CPaintDC::CPaintDC(CWnd* window) : m_hWnd(window->m_hWnd) {
    m_hDC = BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC() {
    EndPaint(m_hWnd, &m_ps);
}

void CPaintDC::FillSolidRect(LPCRECT rect, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(m_hDC, rect, brush);
    DeleteObject(brush);
}
