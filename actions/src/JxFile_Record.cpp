// The record's own operations: copy-mode kinds, the full path and its log line.
#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {

bool _record_IsOneOf(const std::u16string& mode, std::initializer_list<std::u16string_view> modes) {
    for (std::u16string_view candidate : modes) {
        if (jxtext::EqualsNoCase(mode, candidate))
            return true;
    }
    return false;
}

} // namespace

bool JxFile::IsCopyAction() const {
    return _record_IsOneOf(copymode, {u"bycrc", u"byversion", u"bydate", u"nooverwrite", u"always"});
}

bool JxFile::IsDeleteAction() const {
    return _record_IsOneOf(copymode, {u"delete", u"deleteonupdate"});
}

void JxFile::SetFullPath(const std::u16string& path) {
    if (name.empty()) {
        name = GetFilePart(path);
        if (name.empty())
            name = path;
    }
    m_FullPath = path;
}

bool JxFile::IsMissingTarget() const {
    return version.empty() && lastwritetime.empty() && sha.empty();
}

void JxFile::LogFileInformation() const {
    Instance()->Log(LP_INFO, u"lib", u"JxSetup::Data::JxFile::LogFileInformation",
                    u"File:%s, Version:%s, Size:%s, LastWriteDate:%s, SHA256:%s, VFS:%s, FullPath:%s",
                    name.c_str(), version.c_str(), size.c_str(), lastwritetime.c_str(), sha.c_str(),
                    m_bInPackage ? u"true" : u"false", m_FullPath.c_str());
}

} // namespace JxSetup::Data
