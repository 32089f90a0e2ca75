// Holder of the loaded GUI module: loads "\$SETUP\GUI\gui.dll" through the engine's virtual file
// system, asks its export "CreateExternalGUIObject" for the GUI object and drives it. Deleting the
// holder does not unload the module: Unload does, and every caller of Unload calls the data
// object's UnbindGui right after it.
#pragma once

#include <string>

#include <windows.h>

#include "jxsetupdata/IJxExternalGUI.h"

class VirtualFS;

namespace JxSetup::Data {
class JxData;
class IJxUiSequencer;
} // namespace JxSetup::Data

// The factory found in the loaded module (one per process).
extern CreateExternalGUIObjectFn g_pfnCreateExternalGUIObject;

class JxSetupGUI {
public:
    static constexpr const WCHAR* kModulePath = u"\\$SETUP\\GUI\\gui.dll";

    // Loads the module and creates the GUI object; without an owner nothing is loaded.
    JxSetupGUI(VirtualFS* owner, bool loadOverride);
    ~JxSetupGUI() = default;
    JxSetupGUI(const JxSetupGUI&) = delete;
    JxSetupGUI& operator=(const JxSetupGUI&) = delete;

    IJxExternalGUI* GetGuiObject() const { return m_pGui; }
    bool IsModuleLoaded() const { return m_hModule != nullptr; }

    // Binds the data object and its page sequencer and initialises the GUI object; false without
    // a GUI object, without a usable page sequence, or when the GUI object refuses.
    bool Initialize(JxSetup::Data::JxData* data);
    bool InitializeUi();
    // The configuration pages; true when they ended with "#start".
    bool DoConfiguration();
    int RunPageSequence(const std::u16string& page);
    void PropagateToInstallProgressPage();
    void SetCancelDisabled(bool disabled);
    // Runs the post-install pages after a normal end, then finishes and closes the GUI object.
    void Finish(int code);
    int RunPostInstallSequence();
    bool IsCancelRequested();
    int RunSelftest(int flag);
    void Show();
    void Hide();
    HWND GetWindowHandle();
    void Close();
    // Releases the GUI object and frees the module.
    void Unload();

private:
    VirtualFS* m_pOwner = nullptr;
    HMODULE m_hModule = nullptr;
    bool m_bFromPackage = false;
    bool m_bLoadOverride = false;
    IJxExternalGUI* m_pGui = nullptr; // owned by the module
    JxSetup::Data::JxData* m_pData = nullptr;
    JxSetup::Data::IJxUiSequencer* m_pSequencer = nullptr;
};
