// The well-known system folders are never removed by the empty-folder clean-up, whatever a run
// leaves in them.
#include "jxactions/JxEmptyFolders.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

void JxData::BlackListSystemFolders() {
    static const WCHAR* const folders[] = {
        u"ProgramFilesFolder", u"ProgramFiles64Folder", u"CommonFilesFolder", u"CommonFiles64Folder",
        u"SystemFolder",       u"System64Folder",       u"WindowsFolder",     u"CommonAppDataFolder",
        u"AppDataFolder",      u"LocalAppDataFolder"};
    JxEmptyFolders cleaner(GetCleanEmptyFolder());
    for (const WCHAR* name : folders)
        cleaner.AddFolderToBlackList(GetPropertyValue(name));
}

} // namespace JxSetup::Data
