// Dialogs from the program's templates: the dialog class, CreateDialogParamW and DefDlgProcW.
#include <map>

#include "jxplat/errhandling.h"
#include "jxplat/winerror.h"
#include "user/window_state.h"

namespace jxplat {
namespace {

const char16_t kDialogClass[] = u"#32770";

std::map<UINT, DialogResource>& _dlg_Templates() {
    static auto* templates = new std::map<UINT, DialogResource>;
    return *templates;
}

void _dlg_RegisterClass() {
    WNDCLASSW existing{};
    if (GetClassInfoW(nullptr, kDialogClass, &existing))
        return;
    WNDCLASSW dialogClass{};
    dialogClass.lpfnWndProc = DefDlgProcW;
    dialogClass.lpszClassName = kDialogClass;
    RegisterClassW(&dialogClass);
}

} // namespace

void RegisterDialogResources(const DialogResource* table, size_t count) {
    CUserState& state = UserState();
    std::lock_guard<std::recursive_mutex> guard(state.lock);
    for (size_t i = 0; i < count; ++i)
        _dlg_Templates()[table[i].id] = table[i];
}

} // namespace jxplat

using namespace jxplat;

HWND CreateDialogParamW(HINSTANCE, LPCWSTR templateName, HWND parent, DLGPROC dialogProc, LPARAM initParam) {
    DialogResource resource{};
    {
        CUserState& state = UserState();
        std::lock_guard<std::recursive_mutex> guard(state.lock);
        // Templates are found by number (MAKEINTRESOURCEW).
        const uintptr_t id = reinterpret_cast<uintptr_t>(templateName);
        auto found = id < 0x10000 ? _dlg_Templates().find(UINT(id)) : _dlg_Templates().end();
        if (found == _dlg_Templates().end()) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
        }
        resource = found->second;
    }
    _dlg_RegisterClass();
    const int width = resource.cx * 6 / 4;
    const int height = resource.cy * 13 / 8;
    int x = 0;
    int y = 0;
    if (resource.style & DS_CENTER) {
        x = (kScreenWidth - width) / 2;
        y = (kScreenHeight - height) / 2;
    }
    HWND window = CreateWindowExW(resource.exStyle, kDialogClass, u"", resource.style & ~WS_VISIBLE, x, y,
                                  width, height, parent, nullptr, nullptr, nullptr);
    if (!window)
        return nullptr;
    if (std::shared_ptr<CWindow> w = FindWindowObject(window))
        w->dialogProcedure = dialogProc;
    SendMessageW(window, WM_INITDIALOG, 0, initParam);
    // The dialog manager shows a WS_VISIBLE dialog once it is initialised.
    if (IsWindow(window) && (resource.style & WS_VISIBLE))
        ShowWindow(window, SW_SHOW);
    return window;
}

LRESULT DefDlgProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<CWindow> w = FindWindowObject(window);
    if (!w)
        return 0;
    if (w->dialogProcedure) {
        const INT_PTR handled = w->dialogProcedure(window, message, wParam, lParam);
        if (message == WM_INITDIALOG)
            return handled;
        if (handled)
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
