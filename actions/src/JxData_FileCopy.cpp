// The file actions' picture of a run, built once by the first CopyFiles: the file rows of the
// definition by component and the records of their files in the packages; the files at their
// targets are logged (temporary copies an earlier run left beside those targets are removed on the
// way).
#include "JxData_Files.h"

#include "jxbase/wow64guard.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kInitialize = u"JxSetup::Data::JxData::FileActions_Initialize";

} // namespace

void JxData::FileActions_Initialize(const JxSequenceAction& action) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kFilesModule, kInitialize, u"");
    JxFileActionState& state = *m_FileActionState;
    state.m_Action = action;
    if (state.m_bInitialized) {
        log->Log(LOG_END, kFilesModule, kInitialize, u"Already initialized.");
        return;
    }
    _files_GroupByComponent();
    _files_Collect(false);
    _files_Collect(true);
    state.m_bInitialized = true;
    log->Log(LOG_END, kFilesModule, kInitialize, u"");
}

void JxData::_files_GroupByComponent() {
    for (const JxFile& row : m_Files)
        m_FileActionState->m_DefinitionRows[row.componentid].push_back(row);
}

std::u16string JxData::_files_SourcePath(const JxFile& row, const std::u16string& language) {
    if (_files_IsTrue(row.resource))
        return u"\\" + row.componentid + u"\\" + language + u"\\" +
               ExpandPropertiesForLanguage(row.name, language);
    return u"\\" + row.componentid + u"\\" + ExpandProperties(row.name);
}

void JxData::_files_Collect(bool targets) {
    const WCHAR* context =
        targets ? u"JxSetup::Data::JxData::collectTargetFiles" : u"JxSetup::Data::JxData::collectSourceFiles";
    // Copies: adding records must not disturb the walk.
    const auto groups = m_FileActionState->m_DefinitionRows;
    std::vector<std::u16string> languages;
    for (const std::u16string& language : jxtext::Split(m_ProductInfo.languages, u','))
        if (!jxtext::Trim(language).empty())
            languages.push_back(jxtext::Trim(language));
    for (const auto& [componentId, rows] : groups) {
        for (const JxFile& row : rows) {
            if (!row.IsCopyAction())
                continue;
            JxFeature feature;
            GetFeature(feature, row.featurename);
            const JxComponent component = GetComponentOfFeature(row.componentid, feature);
            if (component.id.empty()) {
                GetLog()->Log(LP_WARNING, kFilesModule, context,
                              u"No component %s in feature %s for file %s.", row.componentid.c_str(),
                              row.featurename.c_str(), row.name.c_str());
                continue;
            }
            const bool is64Bit = _files_IsTrue(row.is64bit);
            const bool resource = _files_IsTrue(row.resource);
            const std::vector<std::u16string> rowLanguages =
                resource ? languages : std::vector<std::u16string>{u""};
            for (const std::u16string& language : rowLanguages) {
                if (targets) {
                    const std::u16string folder =
                        resource ? ExpandPropertiesForLanguage(component.destinationdir, language)
                                 : ExpandProperties(component.destinationdir);
                    const std::u16string name = resource ? ExpandPropertiesForLanguage(row.name, language)
                                                         : ExpandProperties(row.name);
                    // Copies that an earlier run left when it ended half-way are not this run's.
                    _files_RemoveLeftTemporaries(folder, name, true, context);
                    const std::u16string alternative =
                        resource ? ExpandPropertiesForLanguage(component.mvexaltdir, language)
                                 : ExpandProperties(component.mvexaltdir);
                    if (!alternative.empty())
                        _files_RemoveLeftTemporaries(alternative, name, true, context);
                    _files_AddRecord(JxFile::CombinePath(folder, name), componentId, language, true, is64Bit);
                } else {
                    _files_AddRecord(_files_SourcePath(row, language), componentId, language, false, is64Bit);
                }
            }
        }
    }
}

void JxData::_files_AddRecord(const std::u16string& path, const std::u16string& componentId,
                              const std::u16string& language, bool target, bool is64Bit) {
    if (path.find(u'*') != std::u16string::npos) {
        _files_ExpandWildcard(path, componentId, language, target, is64Bit);
        return;
    }
    JxFile record;
    std::u16string expanded = path;
    // A target's record is logged only: each copy asks its target afresh when it is decided.
    if (target) {
        CollectFileInformation(record, expanded, is64Bit);
        return;
    }
    CollectFileInformationFromVFS(record, expanded);
    record.language = language;
    m_FileActionState->m_PackageSources[componentId].push_back(JxPackageSource::Of(std::move(record)));
}

void JxData::_files_ExpandWildcard(const std::u16string& pattern, const std::u16string& componentId,
                                   const std::u16string& language, bool target, bool is64Bit) {
    std::vector<std::u16string> matches;
    if (!target) {
        GetFullPathFileListFromVFSDir(matches, pattern);
    } else {
        CWow64FsRedirectionGuard redirection(is64Bit);
        const std::u16string folder = JxFile::GetPathPart(pattern);
        WIN32_FIND_DATAW data{};
        HANDLE find = FindFirstFileW(pattern.c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::u16string name(data.cFileName);
                // Only files are targets: "." and "..", and folders, are no copy's target.
                if (name == u"." || name == u".." || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    continue;
                matches.push_back(JxFile::CombinePath(folder, name));
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
    }
    for (const std::u16string& match : matches) {
        // A name that itself holds "*" would loop here.
        if (match.find(u'*') == std::u16string::npos)
            _files_AddRecord(match, componentId, language, target, is64Bit);
    }
}

} // namespace JxSetup::Data
