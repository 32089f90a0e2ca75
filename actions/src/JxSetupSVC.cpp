// The setup service: installed when the packaged program differs from the installed one, removed
// on uninstallation. Every failure is logged and ends the operation with false; the actions of
// the sequence ignore the result.
#include "jxactions/JxSetupSVC.h"

#include "jxactions/JxEmptyFolders.h"
#include "jxactions/JxServiceControl.h"
#include "jxbase/ServiceController.h"
#include "jxbase/files.h"
#include "jxbase/guards.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {

namespace {
constexpr const WCHAR* kModule = u"lib";
constexpr const WCHAR* kPackagePath = u"\\$SETUP\\SetupSVC.exe";
} // namespace

JxSetupSVC::JxSetupSVC(const JxSetupSVCData& description, JxData* owner)
    : m_Description(description), m_Owner(owner) {}

void JxSetupSVC::_svc_Begin(const WCHAR* operation, const std::u16string& text) const {
    if (m_Owner)
        m_Owner->GetLog()->Log(LOG_BEGIN, kModule,
                               (std::u16string(u"JxSetup::Data::JxSetupSVC::") + operation).c_str(), u"%s",
                               text.c_str());
}

bool JxSetupSVC::_svc_End(const WCHAR* operation, bool result) const {
    if (m_Owner)
        m_Owner->GetLog()->Log(LOG_END, kModule,
                               (std::u16string(u"JxSetup::Data::JxSetupSVC::") + operation).c_str(), u"%s",
                               result ? u"true" : u"false");
    return result;
}

bool JxSetupSVC::_svc_IsRegistered() const {
    return m_Owner && !m_Description.setupsvcname.empty() &&
           ServiceController::IsRegistered(m_Description.setupsvcname.c_str(), nullptr);
}

void JxSetupSVC::initSetupSVCPaths() {
    m_PackagePath = kPackagePath;
    if (!m_Owner || !m_Description.IsComplete())
        return;
    m_Description.setupsvcfile = m_Owner->ExpandProperties(m_Description.setupsvcfile);
    m_Description.setupsvcdir = m_Owner->ExpandProperties(m_Description.setupsvcdir);
    m_Description.setupsvcname = m_Owner->ExpandProperties(m_Description.setupsvcname);
    // The program is copied into and deleted from this place: a folder of the machine and one name.
    if (!IsLocalFolder(m_Description.setupsvcdir) || !IsExpandedFolder(m_Description.setupsvcdir) ||
        !IsSinglePathSegment(m_Description.setupsvcfile)) {
        m_Owner->GetLog()->Log(LP_WARNING, kModule, u"JxSetup::Data::JxSetupSVC::initSetupSVCPaths",
                               u"The folder or file of the setup service is not usable: %s, %s",
                               m_Description.setupsvcdir.c_str(), m_Description.setupsvcfile.c_str());
        return;
    }
    m_TargetPath = JxFile::CombinePath(m_Description.setupsvcdir, m_Description.setupsvcfile);
}

bool JxSetupSVC::isSetupSVCInstalled() {
    _svc_Begin(u"isSetupSVCInstalled", m_Description.setupsvcname);
    return _svc_End(u"isSetupSVCInstalled", _svc_IsRegistered());
}

bool JxSetupSVC::installSetupSVC() {
    _svc_Begin(u"installSetupSVC", m_Description.setupsvcname);
    return _svc_End(u"installSetupSVC", checkInstallRequirements() && copySetupSVC() && registerSetupSVC());
}

bool JxSetupSVC::uninstallSetupSVC() {
    _svc_Begin(u"uninstallSetupSVC", m_Description.setupsvcname);
    return _svc_End(u"uninstallSetupSVC",
                    checkUninstallRequirements() && unregisterSetupSVC() && deleteSetupSVC());
}

bool JxSetupSVC::activateSetupSVC() {
    const WCHAR* context = u"JxSetup::Data::JxSetupSVC::activateSetupSVC";
    _svc_Begin(u"activateSetupSVC", m_Description.setupsvcname);
    if (!m_Owner || !m_Description.IsComplete()) {
        if (m_Owner)
            m_Owner->GetLog()->Log(LP_INFO, kModule, context, u"No valid information found.");
        return _svc_End(u"activateSetupSVC", false);
    }
    if (!_svc_IsRegistered()) {
        m_Owner->GetLog()->Log(LP_INFO, kModule, context, u"Service %s is not installed.",
                               m_Description.setupsvcname.c_str());
        return _svc_End(u"activateSetupSVC", false);
    }
    if (!m_Owner->ConfigureServiceStartType(m_Description.setupsvcname, nullptr, SERVICE_AUTO_START)) {
        m_Owner->GetLog()->Log(LP_INFO, kModule, context, u"Failed to activate service %s",
                               m_Description.setupsvcname.c_str());
        return _svc_End(u"activateSetupSVC", false);
    }
    return _svc_End(u"activateSetupSVC", true);
}

bool JxSetupSVC::scheduleSetupRestart() {
    _svc_Begin(u"scheduleSetupRestart", m_Description.setupsvcname);
    return _svc_End(u"scheduleSetupRestart", true);
}

bool JxSetupSVC::checkInstallRequirements() {
    const WCHAR* context = u"JxSetup::Data::JxSetupSVC::checkInstallRequirements";
    _svc_Begin(u"checkInstallRequirements", m_Description.setupsvcname);
    if (!m_Owner) {
        Instance()->Log(LP_ERROR, kModule, context, u"No owner set.");
        return _svc_End(u"checkInstallRequirements", false);
    }
    JxLog* log = m_Owner->GetLog();
    if (!m_Description.IsComplete() || m_TargetPath.empty()) {
        log->Log(LP_INFO, kModule, context, u"No valid SetupSVC info found.");
        return _svc_End(u"checkInstallRequirements", false);
    }
    if (jxtext::EqualsNoCase(m_Owner->ExpandProperties(u"[_IsDLLMode]"), u"true")) {
        log->Log(LP_INFO, kModule, context, u"DLL Mode detected.");
        return _svc_End(u"checkInstallRequirements", false);
    }
    JxFile packaged;
    std::u16string packagePath = m_PackagePath;
    m_Owner->CollectFileInformationFromVFS(packaged, packagePath);
    if (!packaged.m_bInPackage) {
        log->Log(LP_INFO, kModule, context, u"File not found in VFS: %s", m_PackagePath.c_str());
        return _svc_End(u"checkInstallRequirements", false);
    }
    if (!_svc_IsRegistered())
        return _svc_End(u"checkInstallRequirements", true);
    log->Log(LP_INFO, kModule, context, u"SetupSVC already installed.");
    JxFile installed;
    std::u16string targetPath = m_TargetPath;
    m_Owner->CollectFileInformation(installed, targetPath, false);
    if (!packaged.IsFileDifferentTo(installed)) {
        log->Log(LP_INFO, kModule, context, u"Installed SetupSVC is up to date.");
        return _svc_End(u"checkInstallRequirements", false);
    }
    log->Log(LP_INFO, kModule, context, u"Installed SetupSVC is out of date.");
    return _svc_End(u"checkInstallRequirements", true);
}

bool JxSetupSVC::checkUninstallRequirements() {
    const WCHAR* context = u"JxSetup::Data::JxSetupSVC::checkUninstallRequirements";
    _svc_Begin(u"checkUninstallRequirements", m_Description.setupsvcname);
    if (!m_Owner) {
        Instance()->Log(LP_ERROR, kModule, context, u"No owner set.");
        return _svc_End(u"checkUninstallRequirements", false);
    }
    if (!m_Description.IsComplete() || m_TargetPath.empty()) {
        m_Owner->GetLog()->Log(LP_INFO, kModule, context, u"No valid SetupSVC info found.");
        return _svc_End(u"checkUninstallRequirements", false);
    }
    if (_svc_IsRegistered())
        return _svc_End(u"checkUninstallRequirements", true);
    m_Owner->GetLog()->Log(LP_INFO, kModule, context, u"SetupSVC is not installed.");
    return _svc_End(u"checkUninstallRequirements", false);
}

bool JxSetupSVC::copySetupSVC() {
    _svc_Begin(u"copySetupSVC", m_TargetPath);
    JxFile::PrepareDestinationDirectory(m_Description.setupsvcdir);
    if (!m_Owner->ExtractFileTo(m_PackagePath, m_TargetPath)) {
        m_Owner->GetLog()->Log(LP_INFO, kModule, u"JxSetup::Data::JxSetupSVC::copySetupSVC",
                               u"Failed to copy file %s to %s", m_PackagePath.c_str(), m_TargetPath.c_str());
        return _svc_End(u"copySetupSVC", false);
    }
    return _svc_End(u"copySetupSVC", true);
}

bool JxSetupSVC::registerSetupSVC() {
    _svc_Begin(u"registerSetupSVC", m_TargetPath);
    m_Owner->ExecAppWait(m_TargetPath, u"/service", false, true, true, false, JxData::kExecNoTimeLimit);
    // The program's exit code says nothing; whether the service is there does.
    return _svc_End(u"registerSetupSVC", isSetupSVCInstalled());
}

bool JxSetupSVC::deleteSetupSVC() {
    _svc_Begin(u"deleteSetupSVC", m_TargetPath);
    if (FileExists(m_TargetPath)) {
        if (!DeleteFileW(m_TargetPath.c_str())) {
            m_Owner->GetLog()->Log(LP_INFO, kModule, u"JxSetup::Data::JxSetupSVC::deleteSetupSVC",
                                   u"Failed to delete file %s. Schedule after reboot...",
                                   m_TargetPath.c_str());
            MoveFileExW(m_TargetPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        }
    }
    JxEmptyFolders(m_Owner->GetCleanEmptyFolder()).AddFolder(m_Description.setupsvcdir);
    return _svc_End(u"deleteSetupSVC", true);
}

bool JxSetupSVC::unregisterSetupSVC() {
    const WCHAR* context = u"JxSetup::Data::JxSetupSVC::unregisterSetupSVC";
    _svc_Begin(u"unregisterSetupSVC", m_Description.setupsvcname);
    // A setup that runs as a library leaves the service registered.
    if (!jxtext::EqualsNoCase(m_Owner->ExpandProperties(u"[_IsDLLMode]"), u"true")) {
        ServiceController service;
        if (service.Open(m_Description.setupsvcname.c_str(), nullptr, SC_MANAGER_ALL_ACCESS,
                         SERVICE_ALL_ACCESS) &&
            service.IsInState(SERVICE_RUNNING))
            service.Stop(false);
        service.Close();
        if (RemoveService(m_Description.setupsvcname, nullptr))
            m_Owner->GetLog()->Log(LP_INFO, kModule, context, u"Service %s deleted",
                                   m_Description.setupsvcname.c_str());
        else
            m_Owner->GetLog()->Log(LP_WARNING, kModule, context, u"Failed to delete service %s",
                                   m_Description.setupsvcname.c_str());
    }
    return _svc_End(u"unregisterSetupSVC", true);
}

} // namespace JxSetup::Data
