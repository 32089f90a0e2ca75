// The GUI object of a GUI module, as the engine calls it: the module's export
// "CreateExternalGUIObject" (no arguments) returns one, the engine drives it by position (see
// JxModuleAbi.h) and gives it up with Release. The operations marked "not called" only keep their
// places. There is no virtual destructor: the object dies through Release in its own module.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

#include "jxsetupdata/JxModuleAbi.h"

class VirtualFS;

namespace JxSetup::Data {
class IJxSetupData;
class JxFile;
} // namespace JxSetup::Data

// Codes of Finish and the restart choice of Close.
enum JxGuiFinishCode : int { kGuiFinishNormal = 0, kGuiFinishError = 2, kGuiFinishCancel = 3 };
enum JxGuiRestartChoice : int { kGuiRestartRequired = 1, kGuiRestartNotRequired = 2 };
// The control flag that the action handlers clear while cancelling is disabled.
constexpr DWORD kGuiControlCancel = 128;

class IJxExternalGUI {
public:
    virtual void NotCalled1() = 0;                                // 1
    virtual int GetState() = 0;                                   // 2
    virtual void Finish(int code) = 0;                            // 3
    virtual void Close(int code, int restartChoice) = 0;          // 4
    virtual bool GetBoolProperty(const std::u16string& name) = 0; // 5
    virtual void Release() = 0;                                   // 6
    virtual JxSetup::Data::IJxSetupData* GetDataObject() = 0;     // 7
    virtual HWND GetWindowHandle() = 0;                           // 8
    virtual void CloseWindow() = 0;                               // 9
    virtual void ShowInstallProgressPage() = 0;                   // 10
    // Nonzero on success; the data object and file system outlive the GUI object.
    virtual int Initialize(JxSetup::Data::IJxSetupData* data, VirtualFS* vfs, bool loadOverride) = 0; // 11
    virtual int InitializeUi() = 0;                                                                   // 12
    virtual int RunSelftest(int flag) = 0;                                                            // 13
    virtual void SetCancelDisabled(int disabled) = 0;                                                 // 14
    virtual void NotCalled15() = 0;                                                                   // 15
    virtual void SetControlFlags(DWORD clear, DWORD set) = 0;                                         // 16
    virtual void NotCalled17() = 0;                                                                   // 17
    virtual void NotCalled18() = 0;                                                                   // 18
    virtual int GetBusyState() = 0;                                                                   // 19
    virtual void Show(int show) = 0;                                                                  // 20
    virtual void PreparePostInstall() = 0;                                                            // 21
    virtual int IsCancelRequested() = 0;                                                              // 22
    virtual void NotCalled23() = 0;                                                                   // 23
    virtual void NotCalled24() = 0;                                                                   // 24
    // Position -1: the text only.
    virtual void SetProgress(int position, const std::u16string& text) = 0; // 25
    virtual void SetProgressRange(int maximum) = 0;                         // 26
    virtual void PrepareMessageBox(int value) = 0;                          // 27
    // The answer: 1 for OK or Yes, else the button (IDCANCEL 2, IDABORT 3, IDRETRY 4, IDIGNORE 5, IDNO 7).
    virtual int MessageBox(const std::u16string& caption, const std::u16string& text, UINT type) = 0; // 28
    virtual int MessageBoxWithButtons(const std::u16string& caption, const std::u16string& text, UINT type,
                                      const std::u16string& first, const std::u16string& second) = 0; // 29
    virtual void NotCalled30() = 0;                                                                   // 30
    virtual void NotCalled31() = 0;                                                                   // 31
    virtual void SetWatchProcessList(const std::vector<const JxSetup::Data::JxFile*>& files) = 0;     // 32
    virtual int RunProcessWatch() = 0;                                                                // 33
    // A stage result of the page sequencer: 5 start the installation, 6 abort, other: not started.
    virtual int RunPageSequence(const std::u16string& page) = 0; // 34

protected:
    ~IJxExternalGUI() = default;
};

// The one export of a GUI module.
using CreateExternalGUIObjectFn = IJxExternalGUI* (*)();
