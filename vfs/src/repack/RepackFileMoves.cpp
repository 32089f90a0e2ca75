// Renaming the repacked file onto its target, now or at the next reboot.
#include <windows.h>

#include "jxvfs/container/PackageTrace.h"
#include "jxvfs/repack/CPackageRepacker.h"

namespace jxrepack {

BOOL MoveFileNow(const std::u16string& from, const std::u16string& to) {
    return MoveFileW(from.c_str(), to.c_str());
}

BOOL MoveFileAtReboot(const std::u16string& from, const std::u16string& to) {
    // The target is still in use: it is replaced when the machine restarts.
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING);
}

} // namespace jxrepack
