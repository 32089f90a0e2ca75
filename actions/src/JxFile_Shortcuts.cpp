// Shortcuts of the file record's helpers: creating, resolving and deleting shell links.
#include "jxsetupdata/JxFile.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {

// JX_NOT_BUILT: the shell-link files (.lnk) need the shortcut wrapper class; until it exists the
// three operations fail loudly instead of pretending to have done something.
bool JxFile::CreateShortcut(JxShortcutDescription description) {
    Instance()->Log(LP_ERROR, u"lib", u"JxSetup::Data::JxFile::CreateShortcut",
                    u"CreateShortcut is not built yet: %s", description.m_strLinkName.c_str());
    return false;
}

HRESULT JxFile::ResolveShortcut(const std::u16string& shortcutPath, std::u16string& target) {
    target.clear();
    Instance()->Log(LP_ERROR, u"lib", u"JxSetup::Data::JxFile::ResolveShortcut",
                    u"ResolveShortcut is not built yet: %s", shortcutPath.c_str());
    return E_NOTIMPL;
}

bool JxFile::DeleteShortcuts(int folderIndex, const std::u16string& targetFile) {
    Instance()->Log(LP_ERROR, u"lib", u"JxSetup::Data::JxFile::DeleteShortcuts",
                    u"DeleteShortcuts is not built yet: %i %s", folderIndex, targetFile.c_str());
    return false;
}

} // namespace JxSetup::Data
