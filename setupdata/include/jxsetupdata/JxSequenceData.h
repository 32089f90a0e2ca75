// Run state of the install sequence and its actions; copied whole where callers take a snapshot.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jxsetupdata/JxRecords.h"

namespace JxSetup::Data {

// Bits of an action's flag word, in the order of the flags of JxSequenceAction.
enum : uint32_t {
    JX_SEQ_INSTALL = 0x001,
    JX_SEQ_MAINTENANCE = 0x002,
    JX_SEQ_UNINSTALL = 0x004,
    JX_SEQ_UPDATE = 0x008,
    JX_SEQ_UPGRADE = 0x010,
    JX_SEQ_ENABLE_FEATURE = 0x020,
    JX_SEQ_DISABLE_FEATURE = 0x040,
    JX_SEQ_COUNTS_OWN_STEPS = 0x080,
    JX_SEQ_SKIPPABLE_ON_RESUME = 0x100,
};

// One step of the install sequence. Copied by value: into the list, into its handler and into the
// workers that count progress steps or read the definition row of a custom action.
struct JxSequenceAction {
    JxSequenceAction() = default;
    // All fields default, then the name and text are set and the flag word is decoded bit by bit.
    JxSequenceAction(const std::u16string& name, const std::u16string& displayText, uint32_t flags);

    // The flag word the nine flags make up.
    uint32_t GetFlags() const;

    std::u16string m_Name;        // compared exactly when the resume point is looked up
    std::u16string m_DisplayText; // shown with the progress of the action
    JxSequenceEntry m_Entry;      // the definition row of a custom action; empty otherwise
    bool m_bExecuteOnInstall = false;
    bool m_bExecuteOnMaintenance = false;
    bool m_bExecuteOnUninstall = false;
    bool m_bExecuteOnUpdate = false;  // read per component (IsComponentToBeProcessed)
    bool m_bExecuteOnUpgrade = false; // read per component
    bool m_bEnableFeature = false;
    bool m_bDisableFeature = false;
    bool m_bCountsOwnSteps = false;    // the counting pass calls the handler; the run loop does not count it
    bool m_bSkippableOnResume = false; // skipped until a restarted run reaches its resume action
    // The handler, bound to the data object and to a copy of the action as it stood when bound.
    std::function<void()> m_Handler;
};

// Which activation decisions a caller of IsComponentToBeProcessed permits.
struct JxActivationPermissions {
    bool m_bEnableFeature = false;
    bool m_bDisableFeature = false;
};

struct JxSequenceData {
    bool m_bFailure = false; // the run stops before the next action; m_Error describes it
    bool m_bWarning = false; // a failure that does not stop the run; m_Warning describes it
    bool m_bInstallModeInstall = false;
    bool m_bInstallModeMaintenance = false;
    bool m_bInstallModeUninstall = false;
    bool m_bUpdate = false;  // Maintenance run with update mode UPDATE
    bool m_bUpgrade = false; // Maintenance run with update mode UPGRADE
    bool m_bEnableFeatureMode = false;
    bool m_bDisableFeatureMode = false;
    std::u16string m_EnableList;  // "$A$,$B$": the activatable features activated when the sequence started
    std::u16string m_DisableList; // the activatable features not activated then
    bool m_bUseUI = false;        // progress goes to a GUI or a callback; cancel polling
    bool m_bPrerequisiteReboot = false;
    bool m_bResuming = false; // skipping towards the resume action
    bool m_bRebootRequired = false;
    std::u16string m_LastState; // "_SeqLastState": the name of the resume action
    std::u16string m_DefaultPrepareText;
    std::u16string m_DefaultActionText;
    std::u16string m_DefaultDownloadText;
    std::vector<JxSequenceAction> m_Actions;
    JxRestartRequest m_RestartRequest;
    JxErrorInfo m_Error;
    JxErrorInfo m_Warning;
    bool m_bSequenceStarted = false;
    bool m_bSkipFinish = false;
    bool m_bRollback = false; // the copied files are to be rolled back

    // "$" + name + "$" occurs in the list, ignoring case; an empty list holds nothing.
    bool IsInEnableList(const std::u16string& featureName) const;
    bool IsInDisableList(const std::u16string& featureName) const;
    // The action failed: the run stops before the next action. The first failure's record stays.
    void FailAction(const std::u16string& actionName, const std::u16string& description);
};

} // namespace JxSetup::Data
