// The setup wrapper: mounting the program's own packages and the self-check options.
#include <unistd.h>

#include "jxplat/machine.h"
#include "jxplat/processenv.h"
#include "jxvfs/CJxSetupWrap.h"
#include "jxvfs/PackageMgr.h"
#include "jxvfs/container/PackageTrace.h"

bool CJxSetupWrap::InitializeWrapper(const WCHAR* commandLine) {
    return InitializeWrapperFrom(GetCommandLineW(), commandLine);
}

bool CJxSetupWrap::InitializeWrapperFrom(std::u16string_view processCommandLine, const WCHAR* commandLine) {
    m_selfcheckOptions = ParseSelfcheckOptions(processCommandLine);
    m_bSelfcheck = m_selfcheckOptions.IsRequested();
    const std::u16string mountLine =
        commandLine ? std::u16string(commandLine) : std::u16string(processCommandLine);

    PackageMgr* manager = PackageMgr::Instance();
    std::u16string dataPath = _wrap_CurrentDirectory();
    if (!dataPath.empty() && dataPath.back() != u'\\')
        dataPath += u'\\';
    dataPath += u"data.wpk";
    const DWORD attributes = GetFileAttributesW(dataPath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        manager->MountPackageFile(dataPath.c_str());

    const int mounted = manager->MountExecutable(mountLine.c_str(), m_selfcheckOptions.verbosity,
                                                 m_selfcheckOptions.options, m_selfcheckOptions.GetWindow());
    if (m_bSelfcheck)
        return false; // the engine takes the result through GetSelfcheckResultOk
    if (!mounted) {
        JX_PKG_TRACE(1, u"CJxSetupWrap::InitializeWrapper",
                     u"The program's packages could not be mounted.\n");
        return false;
    }
    return Mount(manager) != 0;
}

bool CJxSetupWrap::GetSelfcheckResultOk() {
    return PackageMgr::Instance()->GetSelfcheckResult();
}

std::vector<std::u16string> CJxSetupWrap::GetMountFailures() const {
    return PackageMgr::Instance()->GetMountFailures();
}

bool CJxSetupWrap::IsLocalSystem() {
    // The stand-in has no process tokens yet: the token's user is the machine description's user.
    static constexpr char kLocalSystemSid[] = "S-1-5-18";
    return jxplat::Machine().user.sid == kLocalSystemSid;
}

std::u16string CJxSetupWrap::_wrap_CurrentDirectory() {
    // The stand-in has no GetCurrentDirectoryW yet: the process's folder by its Windows path.
    char buffer[4096];
    if (!getcwd(buffer, sizeof(buffer)))
        return {};
    return jxplat::HostToWindowsPath(buffer);
}
