// The overwrite decision: by the copy mode of the file the setup brings, must it replace the file
// at its target?
#include "jxbase/FileVer64.h"
#include "jxbase/wow64guard.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {

constexpr const char16_t* kModule = u"lib";
constexpr const char16_t* kDifferent = u"JxSetup::Data::JxFile::IsFileDifferentTo";
constexpr const char16_t* kBySha = u"JxSetup::Data::JxFile::_schedule_By_SHA256";
constexpr const char16_t* kByVersion = u"JxSetup::Data::JxFile::_schedule_By_Version";
constexpr const char16_t* kByDate = u"JxSetup::Data::JxFile::_schedule_By_ModificationDate";
constexpr const char16_t* kNever = u"JxSetup::Data::JxFile::_schedule_By_NeverOverwrite";

bool _decide_End(const char16_t* context, bool result) {
    Instance()->Log(LOG_END, kModule, context, u"%s", result ? u"true" : u"false");
    return result;
}

// The OLE date of a date text; 0 when the text does not hold a valid date.
double _decide_OleDate(const std::u16string& text, bool& yearValid) {
    const JxSystemTime time = JxFile::StringToSystemTime(text);
    yearValid = time.wYear != 0;
    double date = 0;
    if (!JxFile::SystemTimeToOleDate(time, date))
        date = 0;
    return date;
}

// Sizes are compared as 64-bit numbers when both are decimal, else as texts ignoring case.
bool _decide_SizesEqual(const std::u16string& source, const std::u16string& target) {
    const bool sourceDecimal = source.find_first_not_of(u"0123456789") == std::u16string::npos;
    const bool targetDecimal = target.find_first_not_of(u"0123456789") == std::u16string::npos;
    if (sourceDecimal && targetDecimal && source.size() <= 19 && target.size() <= 19)
        return jxtext::ParseUInt64(source) == jxtext::ParseUInt64(target);
    return jxtext::EqualsNoCase(source, target);
}

} // namespace

bool JxFile::IsFileDifferentTo(const JxFile& target) const {
    Instance()->Log(LOG_BEGIN, kModule, kDifferent, u"%s\\%s", componentid.c_str(), name.c_str());
    // An empty copy mode is decided as "bycrc"; the record itself is left as it is.
    JxFile source(*this);
    if (source.copymode.empty())
        source.copymode = u"bycrc";
    if (!source.IsCopyAction()) {
        Instance()->Log(LP_INFO, kModule, kDifferent, u"Invalid copy mode: %s", source.copymode.c_str());
        return _decide_End(kDifferent, false);
    }
    Instance()->Log(LP_INFO, kModule, kDifferent, u"Valid copy mode: %s", source.copymode.c_str());
    bool result = false;
    if (jxtext::EqualsNoCase(source.copymode, u"always"))
        result = true;
    else if (jxtext::EqualsNoCase(source.copymode, u"byversion"))
        result = source._schedule_By_Version(target);
    else if (jxtext::EqualsNoCase(source.copymode, u"bydate"))
        result = source._schedule_By_ModificationDate(target);
    else if (jxtext::EqualsNoCase(source.copymode, u"bycrc"))
        result = source._schedule_By_SHA256(target);
    else
        result = source._schedule_By_NeverOverwrite(target);
    return _decide_End(kDifferent, result);
}

bool JxFile::_schedule_By_Version(const JxFile& target) const {
    Instance()->Log(LOG_BEGIN, kModule, kByVersion, u"Setupfile: %s - Targefile: %s", version.c_str(),
                    target.version.c_str());
    if (version.empty()) {
        Instance()->Log(LP_WARNING, kModule, kByVersion, u"CopyMode is not valid. Comparing checksums.");
        return _decide_End(kByVersion, _schedule_By_SHA256(target));
    }
    if (target.version.empty()) {
        Instance()->Log(LP_INFO, kModule, kByVersion, u"Target version is empty.");
        return _decide_End(kByVersion, true);
    }
    FileVer64 sourceVersion;
    FileVer64 targetVersion;
    const bool sourceValid = sourceVersion.Parse(version);
    const bool targetValid = targetVersion.Parse(target.version);
    if (!sourceValid || !targetValid) {
        Instance()->Log(LP_INFO, kModule, kByVersion, u"Invalid version string found. Comparing checksums");
        return _decide_End(kByVersion, _schedule_By_SHA256(target));
    }
    if (sourceVersion > targetVersion) {
        Instance()->Log(LP_INFO, kModule, kByVersion, u"Source version is newer.");
        return _decide_End(kByVersion, true);
    }
    return _decide_End(kByVersion, false);
}

bool JxFile::_schedule_By_ModificationDate(const JxFile& target) const {
    Instance()->Log(LOG_BEGIN, kModule, kByDate, u"Setupfile: %s - Targefile: %s", lastwritetime.c_str(),
                    target.lastwritetime.c_str());
    if (target.IsMissingTarget()) {
        Instance()->Log(LP_INFO, kModule, kByDate, u"Targetfile not found.");
        return _decide_End(kByDate, true);
    }
    if (lastwritetime.empty() || target.lastwritetime.empty()) {
        Instance()->Log(LP_INFO, kModule, kByDate, u"Invalid date found. Comparing checksums");
        return _decide_End(kByDate, _schedule_By_SHA256(target));
    }
    bool sourceYear = false;
    bool targetYear = false;
    const double sourceDate = _decide_OleDate(lastwritetime, sourceYear);
    const double targetDate = _decide_OleDate(target.lastwritetime, targetYear);
    if (!sourceYear || !targetYear) {
        Instance()->Log(LP_INFO, kModule, kByDate, u"Invalid date found. Comparing checksums");
        return _decide_End(kByDate, _schedule_By_SHA256(target));
    }
    if (sourceDate > targetDate) {
        Instance()->Log(LP_INFO, kModule, kByDate, u"Modification date of source file is newer.");
        return _decide_End(kByDate, true);
    }
    return _decide_End(kByDate, false);
}

bool JxFile::_schedule_By_SHA256(const JxFile& target) const {
    Instance()->Log(LOG_BEGIN, kModule, kBySha, u"Setupfile: %s - Targefile: %s", sha.c_str(),
                    target.sha.c_str());
    if (target.IsMissingTarget()) {
        Instance()->Log(LP_INFO, kModule, kBySha, u"Targetfile not found.");
        return _decide_End(kBySha, true);
    }
    if (!size.empty() && !target.size.empty()) {
        if (!_decide_SizesEqual(size, target.size)) {
            Instance()->Log(LP_INFO, kModule, kBySha,
                            u"Size of source file is different to target's size. %s : %s", size.c_str(),
                            target.size.c_str());
            return _decide_End(kBySha, true);
        }
        Instance()->Log(LP_INFO, kModule, kBySha, u"Source's and target's file sizes are equal. %s : %s.",
                        size.c_str(), target.size.c_str());
    } else {
        Instance()->Log(LP_INFO, kModule, kBySha, u"Invalid file size found.");
    }

    Instance()->Log(LP_INFO, kModule, kBySha, u"Comparing modification dates.");
    bool sourceYear = false;
    bool targetYear = false;
    const double sourceDate = _decide_OleDate(lastwritetime, sourceYear);
    const double targetDate = _decide_OleDate(target.lastwritetime, targetYear);
    const bool datesValid = sourceYear && targetYear && sourceDate != 0 && targetDate != 0;
    if (!sourceYear || !targetYear)
        Instance()->Log(LP_INFO, kModule, kBySha, u"Invalid date found.");
    // Equal dates say "same file" only when both are real dates: two unknown dates prove nothing,
    // and the checksums decide.
    if (datesValid && sourceDate == targetDate) {
        Instance()->Log(LP_INFO, kModule, kBySha, u"Modification dates are equal.");
        return _decide_End(kBySha, false);
    }
    Instance()->Log(LP_INFO, kModule, kBySha, u"Modification dates are different.");
    Instance()->Log(LP_INFO, kModule, kBySha, u"Comparing checksums");

    if (!target.sha.empty())
        return _decide_End(kBySha, !jxtext::EqualsNoCase(sha, target.sha));

    Instance()->Log(LP_INFO, kModule, kBySha, u"Checksum of target is unknown.");
    const std::u16string& path = target.m_FullPath;
    if (path.empty() || path.find_first_of(u"[]") != std::u16string::npos) {
        Instance()->Log(LP_WARNING, kModule, kBySha,
                        u"Failed to calc checksum of file %s. Fallback: File should be copied.",
                        path.c_str());
        return _decide_End(kBySha, true);
    }
    CWow64FsRedirectionGuard redirection(jxtext::EqualsNoCase(is64bit, u"true"));
    Instance()->Log(LP_INFO, kModule, kBySha, u"Calculating the checksum of file %s.", path.c_str());
    if (!FileExists(path)) {
        Instance()->Log(LP_INFO, kModule, kBySha, u"Target file does not exist.");
        return _decide_End(kBySha, true);
    }
    const std::u16string targetSha = CalcSHA256(path);
    Instance()->Log(LP_INFO, kModule, kBySha, u"Checksum of target file: %s", targetSha.c_str());
    // A target that cannot be read (locked) has no checksum and so differs: the file is copied.
    return _decide_End(kBySha, targetSha.empty() || !jxtext::EqualsNoCase(sha, targetSha));
}

bool JxFile::_schedule_By_NeverOverwrite(const JxFile& target) const {
    Instance()->Log(LOG_BEGIN, kModule, kNever, u"Setupfile: %s - Targefile: %s", size.c_str(),
                    target.size.c_str());
    if (target.IsMissingTarget()) {
        Instance()->Log(LP_INFO, kModule, kNever, u"Target file not found.");
        return _decide_End(kNever, true);
    }
    return _decide_End(kNever, false);
}

} // namespace JxSetup::Data
