// Support files: the files of the components marked "extractsupportfile", extracted into
// "[_SupportDir]" for the time the prerequisites run, and deleted again afterwards; and the
// packages of the components marked "extractaswpk", written into their destination folders.
#include <set>
#include <stdexcept>

#include "jxbase/guards.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {
namespace {

constexpr const char16_t* kModule = u"lib";

} // namespace

std::vector<std::u16string>& JxData::ExtractSupportFiles(std::vector<std::u16string>& names) {
    constexpr const char16_t* context = u"JxSetup::Data::JxData::ExtractSupportFiles";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    const std::u16string folder = ExpandProperties(u"[_SupportDir]");
    if (!IsExpandedFolder(folder)) {
        log->Log(LOG_END, kModule, context, u"_SupportDir not defined.");
        return names;
    }
    JxFile::PrepareDestinationDirectory(folder);
    const std::u16string language = ExpandProperties(u"[ISOLANG]") + u"\\";
    std::set<std::u16string> handled;
    for (const JxFeature& feature : m_Features) {
        for (const JxComponent& component : feature.components) {
            if (handled.count(component.id) || !jxtext::EqualsNoCase(component.extractsupportfile, u"true"))
                continue;
            handled.insert(component.id);
            const std::u16string base = u"\\" + component.id + u"\\";
            for (const std::u16string& prefix : {base, base + language}) {
                std::vector<std::u16string> found;
                GetFileListFromVFSPattern(found, prefix + u"*");
                for (const std::u16string& name : found) {
                    // A name of the package never reaches outside the support folder.
                    if (IsSinglePathSegment(name) &&
                        ExtractFileTo(prefix + name, JxFile::CombinePath(folder, name)))
                        names.push_back(name);
                }
            }
        }
    }
    log->Log(LOG_END, kModule, context, u"");
    return names;
}

void JxData::DeleteSupportFiles(const std::vector<std::u16string>& names) {
    constexpr const char16_t* context = u"JxSetup::Data::JxData::DeleteSupportFiles";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    const std::u16string folder = ExpandProperties(u"[_SupportDir]");
    if (!IsExpandedFolder(folder)) {
        log->Log(LOG_END, kModule, context, u"_SupportDir not defined.");
        return;
    }
    try {
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            for (const std::u16string& name : names) {
                const std::u16string path = JxFile::CombinePath(folder, name);
                if (IsSinglePathSegment(name) && DeleteFileW(path.c_str()))
                    log->Log(LP_INFO, kModule, context, u"File deleted: %s", path.c_str());
                else
                    log->Log(LP_WARNING, kModule, context, u"Failed to delete file: %s", path.c_str());
            }
            JxFile::DeleteEmptyDir(folder);
        }
    } catch (const std::exception&) {
        log->Log(LP_ERROR, kModule, context, u"Error please check if you have permission for this folder: %s",
                 folder.c_str());
        SetProperty(u"_CrashInDeleteSupportFiles", u"true", 1);
    }
    log->Log(LOG_END, kModule, context, u"");
}

void JxData::ExtractComponentsAsWPK(const JxSequenceAction& action) {
    constexpr const char16_t* context = u"JxSetup::Data::JxData::ExtractComponentsAsWPK";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    for (const JxFeature& feature : m_Features) {
        for (const JxComponent& component : feature.components) {
            if (!jxtext::EqualsNoCase(component.extractaswpk, u"true") ||
                !IsComponentToBeProcessed(component, feature, action, JxActivationPermissions{}))
                continue;
            // A component package that cannot be written is the action's failure, as a file is.
            if (!ExtractWPK(component.id, component.destinationdir)) {
                m_SequenceData.FailAction(action.m_Name, u"The package of component " + component.id +
                                                             u" could not be written.");
                log->Log(LOG_END, kModule, context, u"");
                return;
            }
        }
    }
    log->Log(LOG_END, kModule, context, u"");
}

} // namespace JxSetup::Data
