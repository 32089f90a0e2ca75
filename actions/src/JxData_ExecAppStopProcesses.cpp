// Ends the running processes of the setup files whose rows ask for it, before files are replaced.
#include <windows.h>

#include "jxbase/CJxTools.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

void JxData::StopProcesses(int mode) {
    constexpr const WCHAR* kModule = u"lib";
    constexpr const WCHAR* kContext = u"JxSetup::Data::JxData::StopProcesses";
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kContext, u"Mode: %d", mode);
    for (const JxFile& file : m_Files) {
        if (file.stopprocess != u"true")
            continue;
        // Mode 1 spares the processes that may keep running.
        if (jxtext::EqualsNoCase(file.isstopable, u"true") && mode == 1)
            continue;
        JxFeature feature;
        GetFeature(feature, file.featurename);
        const JxComponent component = GetComponentOfFeature(file.componentid, feature);
        if (!IsComponentConditionMet(component, feature)) {
            log->Log(LP_INFO, kModule, kContext, u"Don't add file to watch process list. %s",
                     file.name.c_str());
            continue;
        }
        if (const DWORD processId = CJxTools::GetProcessIdByName(file.name)) {
            log->Log(LP_INFO, kModule, kContext, u"Killing process %s.", file.name.c_str());
            CJxTools::TerminateProcessById(processId, 0);
        }
    }
    log->Log(LOG_END, kModule, kContext, u"");
}

} // namespace JxSetup::Data
