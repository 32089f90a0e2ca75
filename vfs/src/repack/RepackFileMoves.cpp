// Renaming the repacked file onto its target, now or at the next reboot.
//
// The stand-in has no MoveFileW/MoveFileExW yet: the immediate rename goes to the host file system
// through the path mapping; the rename at reboot is not built yet.
#include <cerrno>
#include <cstdio>

#include "jxplat/machine.h"
#include "jxvfs/container/PackageTrace.h"
#include "jxvfs/repack/CPackageRepacker.h"

namespace jxrepack {

BOOL MoveFileNow(const std::u16string& from, const std::u16string& to) {
    const std::string source = jxplat::WindowsToHostPath(from);
    const std::string destination = jxplat::WindowsToHostPath(to);
    if (source.empty() || destination.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (std::rename(source.c_str(), destination.c_str()) != 0) {
        SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL MoveFileAtReboot(const std::u16string& from, const std::u16string& to) {
    // JX_NOT_BUILT: MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT (the machine's pending file renames).
    DebugTrace(
        u"(%u) VirtualFS: PackageMgr::Finish_Repack(): ERROR: MoveFileExW (delay until reboot) of %s to "
        u"\"%s\" is not built yet\n",
        GetCurrentThreadId(), from.c_str(), to.c_str());
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

} // namespace jxrepack
