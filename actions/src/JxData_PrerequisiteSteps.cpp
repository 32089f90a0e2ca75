// Small steps of the prerequisite installers: flag and number texts, paths, the working folder's
// clean-up and the engine's test switch.
#include <stdexcept>
#include <vector>

#include "JxData_ExecApp.h"
#include "JxData_Prerequisites.h"
#include "jxbase/guards.h"
#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

bool _prq_IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

// The name a product's file has while the installer's files stand in its place.
const WCHAR* const kPrqAsideSuffix = u".jxprq";

} // namespace

bool _prq_IsTrue(const std::u16string& text) {
    return jxtext::EqualsNoCase(text, u"true");
}

DWORD _prq_ParseTimeout(const std::u16string& text) {
    if (text.empty())
        return JxData::kExecNoTimeLimit;
    const std::optional<DWORD> seconds = _exec_ParseTimeout(text);
    if (!seconds)
        throw std::invalid_argument("prqtimeout is not an unsigned 32-bit number");
    return *seconds;
}

std::u16string _prq_JoinPath(const std::u16string& folder, const std::u16string& name) {
    if (folder.empty())
        return name;
    const char16_t last = folder.back();
    if (_prq_IsSeparator(last) || last == u':' || (!name.empty() && _prq_IsSeparator(name.front())))
        return folder + name;
    return folder + u"\\" + name;
}

DWORD _prq_ReadQaMode() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TOLVANE\\JxSetupEngine", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return 0;
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof(value);
    const LONG status =
        RegQueryValueExW(key, u"QaPrqMode", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(value) ? value : 0;
}

bool _prq_ListHasCode(const std::u16string& list, int32_t code) {
    const std::u16string text = jxtext::Format(u"%d", static_cast<int>(code));
    size_t start = 0;
    while (true) {
        const size_t comma = list.find(u',', start);
        const std::u16string piece =
            list.substr(start, comma == std::u16string::npos ? comma : comma - start);
        if (jxtext::EqualsNoCase(piece, text))
            return true;
        if (comma == std::u16string::npos)
            return false;
        start = comma + 1;
    }
}

void _prq_CleanUpWorkingFolder(JxData& data) {
    const std::u16string folder = data.ExpandProperties(u"[_ExecPrqDir]");
    if (folder.empty())
        return;
    // The folder comes from a property that a command line can set: never a root or a relative path.
    if (!IsExpandedFolder(folder)) {
        data.GetLog()->Log(LP_WARNING, kPrqModule, kPrqItemContext, u"Working folder %s is not emptied.",
                           folder.c_str());
        return;
    }
    bool rebootNeeded = false;
    JxFile::DeleteFiles(folder, u"*.*", false, rebootNeeded);
}

CPrqExistingFiles _prq_SetAsideExistingFiles(JxData& data, const std::u16string& componentId,
                                             const std::u16string& folder) {
    CPrqExistingFiles existing;
    std::vector<std::u16string> names;
    data.GetFileListFromVFSDir(names, componentId);
    for (const std::u16string& name : names) {
        if (!IsSinglePathSegment(name))
            continue;
        const std::u16string path = JxFile::CombinePath(folder, name);
        if (!JxFile::FileExists(path))
            continue;
        // The unpacking would overwrite the product's file: it waits beside it until the installer ran.
        if (MoveFileExW(path.c_str(), (path + kPrqAsideSuffix).c_str(), 0)) {
            existing.m_SetAside.push_back(name);
        } else {
            data.GetLog()->Log(
                LP_WARNING, kPrqModule, kPrqItemContext,
                u"File %s cannot be set aside (error %lu); it stays where the installer is unpacked.",
                path.c_str(), GetLastError());
            existing.m_InPlace.insert(jxtext::Fold(name));
        }
    }
    return existing;
}

void _prq_RemoveExtractedFiles(JxData& data, const std::u16string& componentId, const std::u16string& folder,
                               const CPrqExistingFiles& existing) {
    if (!IsExpandedFolder(folder)) {
        data.GetLog()->Log(LP_WARNING, kPrqModule, kPrqItemContext,
                           u"Extracted files are not removed from folder %s.", folder.c_str());
    } else {
        std::vector<std::u16string> names;
        data.GetFileListFromVFSDir(names, componentId);
        for (const std::u16string& name : names) {
            // Plain file names only: a name never reaches outside the working folder or matches many.
            // A file that was there before the extraction and could not be set aside is the product's.
            if (!IsSinglePathSegment(name) || existing.m_InPlace.count(jxtext::Fold(name)) != 0)
                continue;
            bool rebootNeeded = false;
            JxFile::DeleteFiles(folder, name, false, rebootNeeded);
        }
    }
    for (const std::u16string& name : existing.m_SetAside) {
        const std::u16string path = JxFile::CombinePath(folder, name);
        if (!MoveFileExW((path + kPrqAsideSuffix).c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
            data.GetLog()->Log(LP_ERROR, kPrqModule, kPrqItemContext,
                               u"File %s cannot be put back from %s (error %lu).", path.c_str(),
                               (path + kPrqAsideSuffix).c_str(), GetLastError());
    }
}

} // namespace JxSetup::Data
