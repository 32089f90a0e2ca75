// The prerequisite list of the install action InstallPrerequisite: the rows flagged as
// prerequisites run in order, with the support files extracted for the time they run. A reboot
// request or a recorded error passes the rest of the list over.
#include <exception>

#include "JxData_Prerequisites.h"
#include "jxplat/text.h"

namespace JxSetup::Data {

int JxData::ExecutePrerequisites(const JxSequenceAction& action, const std::vector<JxFile>& list) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kPrqModule, kPrqListContext, u"");
    std::vector<std::u16string> supportFiles;
    ExtractSupportFiles(supportFiles);

    for (const JxFile& row : list) {
        if (HasGui()) {
            CheckUserCancel();
            if (m_UserCancelled) {
                log->Log(LP_INFO, kPrqModule, kPrqListContext, u"Cancelled by the user.");
                break; // the support files still go
            }
        }
        if (m_SequenceData.m_bPrerequisiteReboot) {
            log->Log(LP_INFO, kPrqModule, kPrqListContext, u"Reboot required. Skipping action.");
            continue;
        }
        if (m_SequenceData.m_bFailure && !m_SequenceData.m_Error.m_Message.empty()) {
            log->Log(LP_ERROR, kPrqModule, kPrqListContext, u"An error occoured. Skipping action.");
            continue;
        }
        if (!_prq_IsTrue(row.isprerequisite))
            continue;
        bool prepared = false;
        try {
            prepared = ExecutePrerequisiteItem(action, row);
        } catch (const std::exception&) {
            // A row that cannot be read (its time limit) ends the action as failed, in order.
            _prq_RecordError(m_SequenceData, action, row);
            m_SequenceData.m_Error.m_Description = u"Invalid timeout of prerequisite";
            break;
        }
        if (!prepared) {
            m_UserCancelled = true;
            break;
        }
    }

    DeleteSupportFiles(supportFiles);
    log->Log(LOG_END, kPrqModule, kPrqListContext, u"");
    return 0;
}

} // namespace JxSetup::Data
