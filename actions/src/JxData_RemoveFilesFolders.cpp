// DeleteAllEmptyFolder: the merge folder's files, and after an uninstallation the emptied
// component folders (what cannot go now goes at the next reboot).
#include "JxData_RemoveFiles.h"

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

constexpr const WCHAR* kDeleteAllEmpty = u"JxSetup::Data::JxData::DeleteAllEmptyFolder";

void _remove_ComponentFolder(JxData& data, const JxFile& row) {
    JxLog* log = data.GetLog();
    JxFeature feature;
    data.GetFeature(feature, row.featurename);
    const JxComponent component = data.GetComponentOfFeature(row.componentid, feature);
    const std::u16string folder = data.ExpandProperties(component.destinationdir);
    log->Log(LP_INFO, kRemoveModule, kDeleteAllEmpty, u"Deleting directory %s.", folder.c_str());
    if (!_remove_IsSafeFolder(folder)) {
        log->Log(LP_WARNING, kRemoveModule, kDeleteAllEmpty, u"Invalid folder \"%s\": not removed.",
                 folder.c_str());
        return;
    }
    if (JxFile::DeleteEmptyDir(folder))
        return;
    log->Log(LP_WARNING, kRemoveModule, kDeleteAllEmpty,
             u"Failed. Delete directory after reboot using MoveFileEx.");
    if (!MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        log->Log(LP_WARNING, kRemoveModule, kDeleteAllEmpty,
                 u"Error while scheduling delete directory action of directory %s. Errorcode: %d",
                 folder.c_str(), static_cast<int>(GetLastError()));
        return;
    }
    // A folder that still holds files is scheduled too, and asks for a restart like an empty one.
    if (jxtext::EqualsNoCase(row.ignorerebootrequest, u"true"))
        log->Log(LP_INFO, kRemoveModule, kDeleteAllEmpty, u"Restart needed and ignored.");
    else
        data.SetRestart(true);
}

} // namespace

void JxData::DeleteAllEmptyFolder() {
    const std::u16string merge = ExpandProperties(u"[_MergeWPKDir]");
    if (!merge.empty()) {
        bool ignored = false;
        _remove_DeleteFiles(merge, u"*.*", kDeleteAllEmpty, ignored);
    }
    if (!jxtext::EqualsNoCase(GetInstallMode(), u"Uninstall"))
        return;
    // One try per row: a folder shared by several rows is tried for each of them.
    const std::vector<JxFile> rows = m_Files;
    for (const JxFile& row : rows)
        _remove_ComponentFolder(*this, row);
}

} // namespace JxSetup::Data
