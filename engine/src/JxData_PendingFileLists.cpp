// JX_NOT_BUILT: the maintenance file lists and target-state files come with the engine's file lists.
// The maintenance file lists and the target-state files written for later runs. Not there yet:
// each fails.
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

bool JxData::WriteTargetStateXml(const std::u16string& path) {
    return _pending_NotBuilt(u"WriteTargetStateXml");
}

bool JxData::WriteFileListToXml(const std::u16string& path, const std::vector<JxFile>& files) {
    return _pending_NotBuilt(u"WriteFileListToXml");
}

bool JxData::WriteRetailUpdateFileListToXml(const std::u16string& path, const std::vector<JxFile>& files) {
    return _pending_NotBuilt(u"WriteRetailUpdateFileListToXml");
}

bool JxData::WriteSettingsToXml(const std::u16string& path) {
    return _pending_NotBuilt(u"WriteSettingsToXml");
}

bool JxData::WriteUpfilesHtm(const std::u16string& path, const std::vector<JxFile>& files) {
    return _pending_NotBuilt(u"WriteUpfilesHtm");
}

bool JxData::WriteUpVersionHtm(const std::u16string& path) {
    return _pending_NotBuilt(u"WriteUpVersionHtm");
}

bool JxData::LoadFileListFromXml(const std::u16string& path, std::vector<JxFile>& files) {
    return _pending_NotBuilt(u"LoadFileListFromXml");
}

bool JxData::GetMetadataOfPackagefiles(std::vector<JxFile>& files) {
    return _pending_NotBuilt(u"GetMetadataOfPackagefiles");
}

bool JxData::GetMetadataOfCorefiles(std::vector<JxFile>& files) {
    return _pending_NotBuilt(u"GetMetadataOfCorefiles");
}

bool JxData::CollectNeededSetupFiles(std::vector<JxFile>& files) {
    return _pending_NotBuilt(u"CollectNeededSetupFiles");
}

bool JxData::_containsPackageFile(const std::vector<JxFile>& files, const std::u16string& name) {
    return _pending_NotBuilt(u"_containsPackageFile");
}

bool JxData::_collectInformationAboutInstalledProduct() {
    return _pending_NotBuilt(u"_collectInformationAboutInstalledProduct");
}

bool JxData::_isInstallInformationValid() {
    return _pending_NotBuilt(u"_isInstallInformationValid");
}

bool JxData::_isFileNeededForUpdate(const JxFile& file) {
    return _pending_NotBuilt(u"_isFileNeededForUpdate");
}

bool JxData::_isFileNeeded_CheckGeneralSettings(const JxFile& file) {
    return _pending_NotBuilt(u"_isFileNeeded_CheckGeneralSettings");
}

bool JxData::_isFileNeeded_FilenameContainsWildcard(const JxFile& file) {
    return _pending_NotBuilt(u"_isFileNeeded_FilenameContainsWildcard");
}

bool JxData::_isFileNeeded_FilenameIsAbsolute(const JxFile& file) {
    return _pending_NotBuilt(u"_isFileNeeded_FilenameIsAbsolute");
}

bool JxData::_isFileNeeded_CheckProductRequirements(const JxFile& file) {
    return _pending_NotBuilt(u"_isFileNeeded_CheckProductRequirements");
}

void JxData::_addComponentToNeededFiles(const JxComponent& component, std::vector<JxFile>& files) {
    _pending_NotBuilt(u"_addComponentToNeededFiles");
}

void JxData::_addRetailUpdateFiles(std::vector<JxFile>& files) {
    _pending_NotBuilt(u"_addRetailUpdateFiles");
}

} // namespace JxSetup::Data
