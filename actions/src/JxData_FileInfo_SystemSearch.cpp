// The system file searches of the setup definition: whether a file exists on the machine, and its
// version, become properties ("%" marks a version value in conditions).
#include "jxbase/files.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

void JxData::SystemSearchFiles() {
    constexpr const char16_t* module = u"lib";
    constexpr const char16_t* context = u"JxSetup::Data::JxData::SystemSearchFiles";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, module, context, u"");
    for (const JxFile& row : m_Files) {
        if (row.syssearchfile.empty())
            continue;
        const std::u16string path = ExpandProperties(row.syssearchfile);
        log->Log(LP_INFO, module, context, u"Searching file: %s", path.c_str());
        if (path.find_first_of(u"[]") != std::u16string::npos)
            continue; // an unresolved reference sets nothing
        std::u16string found;
        if (::FileExists(path)) {
            log->Log(LP_INFO, module, context, u"File found: %s", path.c_str());
            if (!row.syssearchversion.empty()) {
                const std::u16string version = JxFile::GetFileVersionString(path);
                const std::u16string value = u"%" + (version.empty() ? std::u16string(u"0") : version);
                log->Log(LP_INFO, module, context, u"File version: %s", value.c_str());
                SetProperty(row.syssearchversion, value, 1);
            }
            found = u"true";
        } else if (!row.syssearchversion.empty()) {
            SetProperty(row.syssearchversion, u"%0", 1);
        }
        if (!row.syssearchfound.empty())
            SetProperty(row.syssearchfound, found, 1);
    }
    log->Log(LOG_END, module, context, u"");
}

} // namespace JxSetup::Data
