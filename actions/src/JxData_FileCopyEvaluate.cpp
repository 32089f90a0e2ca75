// CopyFiles: which files of the features being installed must be copied, decided row by row
// against the files at their targets.
#include "JxData_Files.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kCopy = u"JxSetup::Data::JxData::CopyFilesTemporary";
const WCHAR* const kRules = u"JxSetup::Data::JxData::evaluateCopyRules";
const WCHAR* const kActions = u"JxSetup::Data::JxData::evaluateCopyActions";
const WCHAR* const kFile = u"JxSetup::Data::JxData::evaluateFileCopy";

// The positions of a component's package files by path and by folder (folded).
const JxFileSourceIndex& _copy_SourceIndex(JxFileActionState& state, const std::u16string& componentId,
                                           const std::deque<JxPackageSource>& sources) {
    auto found = state.m_SourceIndex.find(componentId);
    if (found != state.m_SourceIndex.end())
        return found->second;
    JxFileSourceIndex& index = state.m_SourceIndex[componentId];
    for (size_t i = 0; i < sources.size(); ++i) {
        const std::u16string path = jxtext::Fold(sources[i].m_FullPath);
        index.m_ByPath[path].push_back(i);
        index.m_ByFolder[JxFile::GetPathPart(path)].push_back(i);
    }
    return index;
}

// The path below the component's folder: the row's sub-folders and the file name.
std::u16string _copy_RelativePath(const std::u16string& target, const std::u16string& folder) {
    const std::u16string base = JxFile::RemoveTrailingBackslash(folder);
    if (!base.empty() && target.size() > base.size() + 1 && jxtext::StartsWithNoCase(target, base) &&
        target[base.size()] == u'\\')
        return target.substr(base.size() + 1);
    return JxFile::GetFilePart(target).empty() ? target : JxFile::GetFilePart(target);
}

} // namespace

void JxData::CopyFilesTemporary() {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kFilesModule, kCopy, u"");
    const std::vector<JxFeature> features = m_Features;
    for (const JxFeature& feature : features) {
        const std::u16string action = GetFeatureAction(feature.name);
        if (action == u"FeatureActionInstall") {
            for (const JxComponent& component : feature.components)
                _copy_EvaluateRules(feature, component);
        } else {
            log->Log(LP_INFO, kFilesModule, kCopy,
                     u"Skipping feature %s, because its install action is set to: %s", feature.name.c_str(),
                     action.c_str());
        }
    }
    log->Log(LOG_END, kFilesModule, kCopy, u"");
}

void JxData::_copy_EvaluateRules(const JxFeature& feature, const JxComponent& component) {
    if (_files_IsTrue(component.extractaswpk)) {
        GetLog()->Log(LP_INFO, kFilesModule, kRules,
                      u"Component %s in context of feature %s must be extracted as wpk file.",
                      component.id.c_str(), feature.name.c_str());
        return;
    }
    const auto found = m_FileActionState->m_DefinitionRows.find(component.id);
    if (found == m_FileActionState->m_DefinitionRows.end())
        return;
    const std::vector<JxFile> rows = found->second;
    for (const JxFile& row : rows) {
        if (!row.IsCopyAction())
            continue;
        if (m_UserCancelled)
            return;
        // Each question is one progress step of CopyFiles.
        if (IsComponentToBeProcessed(component, feature, m_FileActionState->m_Action,
                                     JxActivationPermissions()))
            _copy_EvaluateActions(component, feature, row);
        else if (IsCountingProcessSteps())
            _copy_Simulate(component, feature, row);
    }
}

void JxData::_copy_Simulate(const JxComponent& component, const JxFeature& feature, const JxFile& row) {
    if (!IsComponentConditionMet(component, feature))
        return;
    if (_files_IsTrue(component.issignature) && GetInstallMode() != u"Install") {
        GetLog()->Log(
            LOG_END, kFilesModule, kActions,
            u"Prohibited to install files from signature components in maintenance, update or uninstall "
            u"mode.");
        return;
    }
    if (ComponentContainsPrerequisites(feature.name, component.id))
        GetLog()->Log(LOG_END, kFilesModule, kActions, u"Current component contains prerequisites.");
}

void JxData::_copy_EvaluateActions(const JxComponent& component, const JxFeature& feature,
                                   const JxFile& row) {
    JxLog* log = GetLog();
    if (_files_IsTrue(component.issignature) && GetInstallMode() != u"Install") {
        log->Log(LOG_END, kFilesModule, kActions,
                 u"Prohibited to install files from signature components in maintenance, update or uninstall "
                 u"mode.");
        return;
    }
    if (ComponentContainsPrerequisites(feature.name, component.id)) {
        log->Log(LOG_END, kFilesModule, kActions, u"Current component contains prerequisites.");
        return;
    }
    const auto sources = m_FileActionState->m_PackageSources.find(component.id);
    if (sources == m_FileActionState->m_PackageSources.end()) {
        log->Log(LP_INFO, kFilesModule, kActions, u"Component package (%s) is not mounted.",
                 component.id.c_str());
        return;
    }
    if (!_files_IsTrue(row.resource)) {
        _copy_EvaluateFile(component, feature, row, u"");
    } else if (_files_IsTrue(row.installallcontainedlanguages)) {
        for (const std::u16string& language : jxtext::Split(m_ProductInfo.languages, u','))
            if (!jxtext::Trim(language).empty())
                _copy_EvaluateFile(component, feature, row, jxtext::Trim(language));
    } else {
        _copy_EvaluateFile(component, feature, row, m_Properties.GetLanguage());
    }
}

void JxData::_copy_EvaluateFile(const JxComponent& component, const JxFeature& feature, const JxFile& row,
                                const std::u16string& language) {
    JxFileActionState& state = *m_FileActionState;
    const std::deque<JxPackageSource>& sources = state.m_PackageSources[component.id];
    const JxFileSourceIndex& index = _copy_SourceIndex(state, component.id, sources);
    const bool resource = _files_IsTrue(row.resource);
    const std::u16string name =
        resource ? ExpandPropertiesForLanguage(row.name, language) : ExpandProperties(row.name);
    const std::u16string folder = resource ? ExpandPropertiesForLanguage(component.destinationdir, language)
                                           : ExpandProperties(component.destinationdir);
    const std::u16string target = JxFile::CombinePath(folder, name);
    const std::u16string alternative = resource ? ExpandPropertiesForLanguage(component.mvexaltdir, language)
                                                : ExpandProperties(component.mvexaltdir);
    // Files go only into resolved folders on the machine's own drives, and a name never climbs out
    // of its folder: a definition or property that says otherwise is refused, not guessed.
    if (!IsLocalFolder(folder) || !IsPathInsideFolder(name, true) ||
        (!alternative.empty() && !IsLocalFolder(alternative))) {
        GetLog()->Log(
            LP_WARNING, kFilesModule, kFile,
            u"File row %s of component %s is refused: its target %s (alternative folder %s) is not a "
            u"resolved folder on one of the machine's drives.",
            row.name.c_str(), component.id.c_str(), target.c_str(), alternative.c_str());
        return;
    }
    const std::u16string sourcePath = _files_SourcePath(row, language);
    const bool wildcard = name.find(u'*') != std::u16string::npos;
    const bool is64Bit = _files_IsTrue(row.is64bit);

    // The row's own sources: the package file of its path, or the files of its folder whose names fit
    // its pattern; in the order of the component's list.
    const std::u16string pattern = JxFile::GetFilePart(sourcePath);
    const auto& bucket = wildcard ? index.m_ByFolder : index.m_ByPath;
    const auto candidates =
        bucket.find(wildcard ? jxtext::Fold(JxFile::GetPathPart(sourcePath)) : jxtext::Fold(sourcePath));
    if (candidates == bucket.end())
        return;
    // The row is shared by the records of all its files.
    std::shared_ptr<const JxFile> definition;
    for (size_t position : candidates->second) {
        const JxPackageSource& packaged = sources[position];
        if (m_UserCancelled)
            break;
        if (!jxtext::EqualsNoCase(packaged.language, language))
            continue;
        if (m_SequenceData.m_bFailure)
            break;
        if (wildcard && !jxtext::MatchesWildcard(packaged.name, pattern))
            continue;
        JxFile source = packaged.ToFile(component.id);

        // The target as it is now, not as the first CopyFiles of the run saw it.
        std::u16string targetPath =
            wildcard ? JxFile::CombinePath(JxFile::GetPathPart(target), source.name) : target;
        JxFile targetRecord;
        CollectFileInformation(targetRecord, targetPath, is64Bit);
        targetRecord.componentid = component.id;
        targetRecord.language = language;
        source.copymode = row.copymode;
        source.is64bit = row.is64bit;
        if (!source.IsFileDifferentTo(targetRecord))
            continue;

        if (!definition)
            definition = std::make_shared<const JxFile>(row);
        JxFileCopyRecord record;
        record.m_Definition = definition;
        record.m_SourceSize = jxtext::TryParseInt(source.size).value_or(0);
        record.m_bSourceInPackage = true;
        record.m_SourcePath = source.GetFullPath();
        record.m_TargetPath = targetRecord.GetFullPath();
        record.m_b64Bit = is64Bit;
        // Each copy has a temporary of its own, named after its target, so that two rows with one
        // file name never share one. The alternative folder must lie on the target's volume: the
        // commit renames, it does not copy.
        if (alternative.empty()) {
            record.m_TemporaryPath = record.m_TargetPath + u".jxtmp";
        } else {
            record.m_TemporaryPath =
                JxFile::CombinePath(alternative, _copy_RelativePath(record.m_TargetPath, folder)) + u".jxtmp";
            if (alternative.size() < 2 || record.m_TargetPath.size() < 2 ||
                !jxtext::EqualsNoCase(alternative.substr(0, 2), record.m_TargetPath.substr(0, 2)))
                GetLog()->Log(LP_WARNING, kFilesModule, kFile,
                              u"Alternative folder %s is not on the volume of %s; the commit cannot move it.",
                              alternative.c_str(), record.m_TargetPath.c_str());
        }
        if (!state.m_TemporaryPaths.insert(jxtext::Fold(record.m_TemporaryPath)).second) {
            // Two rows for one target: the first copy stands, the second would overwrite its temporary.
            GetLog()->Log(LP_WARNING, kFilesModule, kFile,
                          u"File %s is copied already; %s of component %s is skipped.",
                          record.m_TemporaryPath.c_str(), row.name.c_str(), component.id.c_str());
            continue;
        }
        SetComponentFileCopied(feature.name, component.id);
        _copy_ExecuteTemporary(record);
        state.m_Copied.push_back(std::move(record));
    }
}

} // namespace JxSetup::Data
