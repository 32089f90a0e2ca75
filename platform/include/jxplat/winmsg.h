// Thread message queues: PostThreadMessageW, PeekMessageW, TranslateMessage, DispatchMessageW.
// The stand-in has no windows: a message is only ever a thread message, and DispatchMessageW hands
// it to the capture a test may install (Windows would call the window procedure of msg.hwnd).
#pragma once

#include <functional>

#include "jxplat/winuser_windows.h" // WPARAM, LPARAM, LRESULT and POINT

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG;

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define WM_NULL 0x0000
#define WM_USER 0x0400
#define WM_APP 0x8000

BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
// hwnd must be null (the thread's messages); the filter range 0, 0 takes every message.
BOOL PeekMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMessage);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);

namespace jxplat {
// Installs (or with an empty function removes) a capture of every dispatched message of the process.
void SetDispatchCapture(std::function<void(const MSG&)> capture);
} // namespace jxplat
