// The first step of a run: the command line, the start dialog, who signed the program and whether it
// must run elevated, COM, the product's drivers, the packages and the setup definition.
#include "jxplat/shellapi.h"
#include "jxplat/shlobj.h"

#include "jxbase/elevation.h"
#include "jxbase/secretmask.h"
#include "jxbase/verifytrust.h"
#include "jxpropertybag/DriverConnection.h"
#include "jxengine/JxSetupEngineControl.h"
#include "jxengine/startdlg/CJxInitDlg.h"
#include "jxplat/combaseapi.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";

// The start dialog, from its creation until Initialize ends.
CJxInitDlg* g_pInitDlg = nullptr;

// The signers whose programs the engine trusts to run elevated and to mount packages.
const WCHAR* const kTrustedSigners[] = {u"Tolvane Software GmbH", u"Tolvane Technologies Ltd."};

const WCHAR* _init_Bool(bool flag) {
    return flag ? u"true" : u"false";
}

std::u16string _init_ModulePath() {
    std::u16string path(MAX_PATH, u'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return path;
}

// Waits for the process that took the run over; its exit code, or -1 without a process to wait for.
int32_t _run_WaitForHandOver(HANDLE process) {
    if (!process)
        return -1;
    DWORD code = 0;
    const bool known =
        WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return known ? static_cast<int32_t>(code) : -1;
}

} // namespace

bool JxSetupEngineControl::Initialize(DWORD options, const std::u16string& applicationFolder) {
    bool result = _init_CommandLineProperties();
    bool dialogShown = false;
    if (result && (options & 0x80) != 0)
        dialogShown = _init_ShowStartDialog();
    if (result)
        result = _init_IsCurrentProcessSigned();
    if (result && (options & 0x01) != 0) {
        const std::u16string commandLine = GetCommandLineW();
        const bool elevate = commandLine.find(u"/_noUAC=\"true\"") == std::u16string::npos;
        result = _run_ElevatedProcess(_init_ModulePath(), JxFile::getCMDParams(), elevate, false);
    }
    if (result)
        result = _init_CommandLineProperties();
    if (result)
        result = _init_OpenLogFile();
    if (result && (options & 0x02) != 0)
        result = _init_COM();
    if (result)
        result = _init_ConnectPropertyBag();
    if (result)
        result = _init_SetAppDir(applicationFolder, 0);
    if (result)
        result = _init_MountVFS(options);
    if (result)
        result = _init_LoadConfiguration(0);
    if ((options & 0x01) != 0 && dialogShown && g_pInitDlg) {
        g_pInitDlg->DestroyWindow();
        delete g_pInitDlg;
        g_pInitDlg = nullptr;
    }
    // A run that stops here without handing over to another process has failed.
    if (!result && !m_bHandedOver)
        m_bInitFailed = true;
    return result;
}

bool JxSetupEngineControl::_init_CommandLineProperties() {
    m_pData->LoadPropertiesFromCMD(GetCommandLineW());
    return true;
}

bool JxSetupEngineControl::_init_ShowStartDialog() {
    const std::u16string commandLine = GetCommandLineW();
    const bool wanted = jxtext::FindNoCase(commandLine, u"/_noInitDlg=\"true\"") == std::u16string::npos &&
                        !jxtext::EqualsNoCase(m_pData->GetPropertyValue(u"_QuietInstallation"), u"true") &&
                        !m_pData->IsSupportModeRequested();
    if (!wanted)
        return false;
    g_pInitDlg = new CJxInitDlg(nullptr);
    // The template is WS_VISIBLE: showing the new window reports it visible already.
    if (g_pInitDlg->Create(CJxInitDlg::IDD, nullptr) && g_pInitDlg->ShowWindow(SW_SHOW))
        return true;
    // A dialog that could not be shown is never closed by Initialize: it goes at once.
    delete g_pInitDlg;
    g_pInitDlg = nullptr;
    return false;
}

bool JxSetupEngineControl::_init_IsCurrentProcessSigned() {
    const WCHAR* context = u"JxSetup::Data::JxSetupEngineControl::_init_IsCurrentProcessSigned";
    const std::u16string path = _init_ModulePath();
    CVerifyTrust trust;
    std::u16string signer;
    trust.GetSignatureSignerName(path.c_str(), signer);
    JxLog* log = Instance();
    log->Log(LP_INFO, kModule, context, u"Is Sha2 signed %s", _init_Bool(trust.IsSha256Signed(path.c_str())));
    log->Log(LP_INFO, kModule, context, u"Signer: %s", signer.c_str());
    m_bTrustedSigner = false;
    for (const WCHAR* name : kTrustedSigners)
        m_bTrustedSigner = m_bTrustedSigner || signer == name;
    log->Log(LP_INFO, kModule, context, u"Trusted: %s", _init_Bool(m_bTrustedSigner));
    return true;
}

bool JxSetupEngineControl::_run_ElevatedProcess(const std::u16string& program,
                                                const std::u16string& arguments, bool elevate, bool launch) {
    const WCHAR* context = u"JxSetup::Data::JxSetupEngineControl::_run_ElevatedProcess";
    if (!JxFile::FileExists(program))
        return false;
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
    if (elevate && m_bTrustedSigner && version.dwMajorVersion > 5 && !IsUserAdminEx(false) &&
        !IsProcessElevated()) {
        if (IsUserAdminOrCanElevate() && CanElevateWithUac()) {
            SHELLEXECUTEINFOW info{};
            info.cbSize = sizeof(info);
            info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
            info.lpVerb = u"runas";
            info.lpFile = program.c_str();
            info.lpParameters = arguments.c_str();
            info.nShow = SW_SHOWNORMAL;
            if (ShellExecuteExW(&info)) {
                Instance()->Log(LP_INFO, kModule, context, u"Setup restarted elevated: %s", program.c_str());
                _run_HandedOver(program, _run_WaitForHandOver(info.hProcess));
            } else {
                // A refused prompt is no success: the setup did not run. The log is not open yet
                // this early; open it so that the reason is kept.
                const DWORD error = ::GetLastError(); // not the VFS error of the base class
                _init_OpenLogFile();
                Instance()->Log(LP_ERROR, kModule, context, u"Elevation was refused or failed (%d).",
                                static_cast<int>(error));
            }
        } else {
            _init_OpenLogFile();
            Instance()->Log(LP_ERROR, kModule, context, u"Setup must run elevated and cannot elevate.");
        }
        return false;
    }
    if (launch)
        _run_HandedOver(program, m_pData->ExecAppWait(program, arguments, false, false, true, false,
                                                      JxData::kExecNoTimeLimit));
    return true;
}

void JxSetupEngineControl::_run_HandedOver(const std::u16string& program, int32_t childCode) {
    const WCHAR* context = u"JxSetup::Data::JxSetupEngineControl::_run_HandedOver";
    m_bHandedOver = true;
    // The other process did the run and its closing steps; this one only passes its result on.
    m_pData->m_SequenceData.m_bSkipFinish = true;
    if (childCode < 0) {
        _init_OpenLogFile();
        Instance()->Log(LP_ERROR, kModule, context,
                        u"The setup process %s could not be started or waited for (%d).", program.c_str(),
                        static_cast<int>(childCode));
        m_nExitCode = 1;
        return;
    }
    Instance()->Log(LP_INFO, kModule, context, u"The setup process %s ended with %d.", program.c_str(),
                    static_cast<int>(childCode));
    m_nExitCode = childCode;
}

bool JxSetupEngineControl::_init_OpenLogFile() {
    m_pData->GetLog()->OpenLogFile();
    return true;
}

bool JxSetupEngineControl::_init_COM() {
    const WCHAR* context = u"JxSetup::Data::JxSetupEngineControl::_init_COM";
    JxLog* log = Instance();
    log->Log(LOG_BEGIN, kModule, context, u"");
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) {
        log->Log(LP_WARNING, kModule, context, u"Failed to initialize COM with option ApartmentThreaded: %d",
                 static_cast<int>(hr));
        CoUninitialize();
        hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (FAILED(hr)) {
            log->Log(LP_WARNING, kModule, context, u"Failed to initialize COM with option MultiThreaded: %d",
                     static_cast<int>(hr));
            CoUninitialize();
            log->Log(LOG_END, kModule, context, u"false");
            return false;
        }
    }
    hr = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT,
                              RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    if (FAILED(hr))
        log->Log(LP_WARNING, kModule, context, u"Failed to initialize COM with security options: %d",
                 static_cast<int>(hr));
    log->Log(LOG_END, kModule, context, u"true");
    return true;
}

bool JxSetupEngineControl::_init_ConnectPropertyBag() {
    const WCHAR* context = u"JxSetup::Data::JxSetupEngineControl::_init_ConnectPropertyBag";
    JxLog* log = Instance();
    log->Log(LP_INFO, kModule, context, u"Set TM");
    const bool admin = IsCurrentUserAdmin();
    CProcessManager manager(admin);
    if (manager.Connect(1, 0))
        log->Log(LP_INFO, kModule, context, u"TM OK");
    else
        log->Log(LP_WARNING, kModule, context, u"TM FAILED");
    CLegacyProcessManager legacy(admin);
    if (legacy.Connect(1, 0))
        log->Log(LP_INFO, kModule, context, u"legacy TM OK");
    return true;
}

bool JxSetupEngineControl::_init_SetAppDir(const std::u16string& folder, DWORD) {
    if (!folder.empty())
        m_pData->SetAppDir(folder);
    return true;
}

bool JxSetupEngineControl::_init_MountVFS(DWORD options) {
    Instance()->Log(LOG_BEGIN, kModule, u"JxSetup::Data::JxSetupEngineControl::_init_MountVFS",
                    u"TM Check: %s", _init_Bool(m_bTrustedSigner));
    if ((options & 0x04) == 0)
        return true;
    if (!_init_VFS())
        return false;
    // Packages that a common update downloaded beside the program are checked against their list
    // first; when that fails, none of the folder's packages is mounted and the step fails.
    if (!m_pData->CheckDownloadedFiles(options)) {
        Instance()->Log(LP_ERROR, kModule, u"JxSetup::Data::JxSetupEngineControl::_init_MountVFS",
                        u"The packages beside the program are not mounted.");
        return false;
    }
    m_pData->MountInternalPackages(this);
    if (!_run_TrustedPackage())
        return false;
    return _mount_ExternalSetupEXE();
}

bool JxSetupEngineControl::_init_VFS() {
    const WCHAR* context = u"JxSetup::Data::JxSetupEngineControl::_init_VFS";
    if (InitializeWrapper(nullptr))
        return true;
    Instance()->Log(LP_INFO, kModule, context, u"!InitializeWrapper");
    for (const std::u16string& reason : GetMountFailures())
        Instance()->Log(LP_ERROR, kModule, context, u"The setup's packages cannot be used: %s",
                        reason.c_str());
    if (!GetSelfcheckResultOk())
        Instance()->Log(LP_INFO, kModule, context, u"!GetSelfcheckResultOk");
    return false;
}

bool JxSetupEngineControl::_run_TrustedPackage() {
    const WCHAR* context = u"JxSetup::Data::JxSetupEngineControl::_run_TrustedPackage";
    if (m_bTrustedSigner)
        return true;
    const std::u16string arguments = JxFile::getCMDParams();
    if (jxtext::FindNoCase(arguments, u"/_mountExe=") != std::u16string::npos) {
        Instance()->Log(LP_ERROR, kModule, context, u"No trusted packages found. Aborting process.");
        return false;
    }
    WCHAR common[MAX_PATH] = {};
    std::u16string folder;
    if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, common) == S_OK)
        folder = common;
    folder = JxFile::CombinePath(folder, u"Tolvane\\Setups\\tmp");
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (exists || JxFile::PrepareDestinationDirectory(folder) == 0) {
        const std::u16string target = JxFile::CombinePath(folder, u"setup.exe");
        if (m_pData->ExtractFileTo(u"\\$SETUP\\JxSetup.exe", target)) {
            // The caller's path is quoted: it may hold blanks.
            const std::u16string trustedArguments =
                arguments + u" /_mountExe=\"" + _init_ModulePath() + u"\"";
            Instance()->Log(LP_INFO, kModule, context, u"Starting the trusted engine: %s", target.c_str());
            _run_ElevatedProcess(target, trustedArguments, true, true);
        } else {
            Instance()->Log(LP_ERROR, kModule, context, u"The trusted engine could not be extracted to %s",
                            target.c_str());
        }
    }
    return false;
}

bool JxSetupEngineControl::_mount_ExternalSetupEXE() {
    const WCHAR* context = u"JxSetup::Data::JxSetupEngineControl::_mount_ExternalSetupEXE";
    std::u16string path = m_pData->ExpandProperties(u"[_mountExe]");
    if (path.find_first_of(u"[]") != std::u16string::npos)
        path.clear();
    if (path.empty())
        return true;
    Instance()->Log(LP_INFO, kModule, context, u"Mounting external packages: %s", path.c_str());
    bool result = true;
    if (JxFile::FileExists(path)) {
        m_pData->MountExternalPackage(path, 2);
        JxFile packaged;
        std::u16string packagedPath = u"\\$SETUP\\JxSetup.exe";
        m_pData->CollectFileInformationFromVFS(packaged, packagedPath);
        JxFile running;
        std::u16string runningPath = _init_ModulePath();
        m_pData->CollectFileInformation(running, runningPath, false);
        packaged.copymode = u"bycrc";
        if (packaged.IsFileDifferentTo(running)) {
            Instance()->Log(LP_ERROR, kModule, context, u"Extracted setup is invalid.");
            result = false;
        }
    }
    return result;
}

bool JxSetupEngineControl::_init_LoadConfiguration(DWORD) {
    const WCHAR* context = u"JxSetup::Data::JxSetupEngineControl::_init_LoadConfiguration";
    JxData& data = *m_pData;
    data.SetWrapString(*GetWrapString());
    if (!data.LoadConfiguration()) {
        Instance()->Log(LP_ERROR, kModule, context, u"Error while loading configuration!");
        // The failed load emptied the properties; the command line's come back, so that the end of
        // the run still knows whether it is quiet.
        data.LoadPropertiesFromCMD(GetCommandLineW());
        m_nErrorStringId = IDS_INIT_ERROR;
        m_bShowErrorBox = true;
        return false;
    }
    Instance()->Log(LOG_BEGIN, kModule, context, u"CommandLine: %s",
                    MaskProtectedArguments(GetCommandLineW()).c_str());
    data.LoadPropertiesFromRegistry();
    data.LoadPropertiesFromCMD(GetCommandLineW());
    data.LoadPropertiesFromReconfig();
    data.InstallAllContainedRessources();
    data.SetUpdateMode(u"NOUPDATE");
    data.ReadAllTemporaryStoredProperties();
    data.LoadRequirements();
    data.SetCurrentLanguage(data.GetPropertyValue(u"SelectedLanguage"));
    data.FixPRODUCTNAME();
    data.LoadFileMetaInformation();
    data.InitProperties();
    data.SetPropertiesSequence();
    _prepare_LogInstallMode();
    data.Load_Customized_Config();
    data.Configure_Customized_Properties();
    data.Configure_Customized_Strings();
    data.SetInstallableLanguages();
    data.MountOutsourcedComponents();
    data.SystemSearchFiles();
    data.SetPrerequisiteOverviewItems();
    // A property action or a customization that is not built yet leaves the run without what it
    // needs: it ends before anything is installed.
    return !data.m_SequenceData.m_bFailure;
}

} // namespace JxSetup::Data
