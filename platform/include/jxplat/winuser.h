// Message boxes, window messages and string resources. There is no screen: a message box is
// recorded in the machine root (messageboxes.jsonl) and answered from machine.json's answers or with
// its default button; a message sent to a window is recorded (windowmessages.jsonl) and answered 0.
#pragma once

#include <string>
#include <vector>

#include "jxplat/wintypes.h"

#define MB_OK 0x0u
#define MB_OKCANCEL 0x1u
#define MB_ABORTRETRYIGNORE 0x2u
#define MB_YESNOCANCEL 0x3u
#define MB_YESNO 0x4u
#define MB_RETRYCANCEL 0x5u
#define MB_CANCELTRYCONTINUE 0x6u
#define MB_ICONHAND 0x10u
#define MB_ICONERROR 0x10u
#define MB_ICONQUESTION 0x20u
#define MB_ICONEXCLAMATION 0x30u
#define MB_ICONWARNING 0x30u
#define MB_ICONASTERISK 0x40u
#define MB_ICONINFORMATION 0x40u
#define MB_DEFBUTTON1 0x0u
#define MB_DEFBUTTON2 0x100u
#define MB_DEFBUTTON3 0x200u
#define MB_DEFBUTTON4 0x300u
#define MB_SYSTEMMODAL 0x1000u
#define MB_TASKMODAL 0x2000u
#define MB_SETFOREGROUND 0x10000u
#define MB_TOPMOST 0x40000u

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDTRYAGAIN 10
#define IDCONTINUE 11

typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
// No window of this machine answers: the message is recorded and the result is 0.
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax);

namespace jxplat {

struct StringResource {
    UINT id;
    const char16_t* text;
};
// The program's string table (its resources); the program registers it before it runs.
void RegisterStringResources(const StringResource* table, size_t count);

struct RecordedMessageBox {
    std::u16string caption;
    std::u16string text;
    UINT type = 0;
    int answer = 0;
};
// The message boxes recorded in the current machine root, oldest first.
std::vector<RecordedMessageBox> ReadRecordedMessageBoxes();

struct RecordedWindowMessage {
    ULONG_PTR window = 0; // the handle's value
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};
// The window messages recorded in the current machine root, oldest first.
std::vector<RecordedWindowMessage> ReadRecordedWindowMessages();

} // namespace jxplat
#include "jxplat/winuser_windows.h"
