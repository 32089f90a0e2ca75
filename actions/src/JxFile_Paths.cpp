// Path texts and version texts of file records.
#include "jxbase/FileVer64.h"
#include "jxsetupdata/JxFile.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {

void _path_Append(std::u16string& path, std::u16string_view part) {
    if (part.empty())
        return;
    if (!path.empty() && path.back() != u'\\' && path.back() != u':')
        path.push_back(u'\\');
    path.append(part);
}

} // namespace

std::u16string JxFile::CombinePath(std::u16string_view a, std::u16string_view b, std::u16string_view c,
                                   std::u16string_view d) {
    std::u16string path(a);
    _path_Append(path, b);
    _path_Append(path, c);
    _path_Append(path, d);
    return path;
}

std::u16string JxFile::GetPathPart(std::u16string_view path) {
    const size_t slash = path.rfind(u'\\');
    return slash == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, slash));
}

std::u16string JxFile::GetFilePart(std::u16string_view path) {
    const size_t slash = path.rfind(u'\\');
    return slash == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(slash + 1));
}

std::u16string JxFile::RemoveTrailingBackslash(std::u16string_view path) {
    if (!path.empty() && path.back() == u'\\')
        path.remove_suffix(1);
    return std::u16string(path);
}

bool JxFile::GetVersionNumbers(std::u16string_view text, std::vector<WORD>& numbers) {
    if (SplitVersionNumbers(text, numbers))
        return true;
    const std::u16string copy(text);
    Instance()->Log(LP_WARNING, u"lib", u"JxSetup::Data::JxFile::GetVersionNumbers",
                    u"Invalid version text: %s", copy.c_str());
    return false;
}

std::u16string JxFile::GetFileVersionString(const std::u16string& path) {
    FileVer64 version;
    if (!version.ReadFromFile(path.c_str(), true))
        return {};
    return version.ToString();
}

} // namespace JxSetup::Data
