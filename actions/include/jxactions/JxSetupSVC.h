// The setup's own small service "SetupSVC.exe" of the $SETUP package: installed (copied to its
// folder and registered by running it with "/service") when the packaged program differs from the
// installed one, and removed again (stopped, deleted, its file deleted). The setup never starts it.
// An object lives for one action, on the caller's stack; the caller holds the setup-data lock.
#pragma once

#include <string>

#include "jxsetupdata/JxRecords.h"

namespace JxSetup::Data {

class JxData;

class JxSetupSVC {
public:
    JxSetupSVC(const JxSetupSVCData& description, JxData* owner);
    virtual ~JxSetupSVC() = default;
    JxSetupSVC(const JxSetupSVC&) = delete;
    JxSetupSVC& operator=(const JxSetupSVC&) = delete;

    // The package path; with a complete description the expanded texts and the target path.
    virtual void initSetupSVCPaths();
    virtual bool isSetupSVCInstalled();
    virtual bool installSetupSVC();
    virtual bool uninstallSetupSVC();
    // Automatic start; the service is not started.
    virtual bool activateSetupSVC();
    virtual bool scheduleSetupRestart();
    virtual bool checkInstallRequirements();
    virtual bool checkUninstallRequirements();
    virtual bool copySetupSVC();
    virtual bool registerSetupSVC();
    virtual bool deleteSetupSVC();
    virtual bool unregisterSetupSVC();

    const std::u16string& TargetPath() const { return m_TargetPath; }

private:
    bool _svc_IsRegistered() const;
    void _svc_Begin(const WCHAR* operation, const std::u16string& text) const;
    bool _svc_End(const WCHAR* operation, bool result) const;

    JxSetupSVCData m_Description;
    JxData* m_Owner; // not owned
    std::u16string m_PackagePath;
    std::u16string m_TargetPath;
};

} // namespace JxSetup::Data
