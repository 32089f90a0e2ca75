// Steps of the prerequisite installers shared by the list walk, the item and the result reading.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <windows.h>

#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

inline constexpr const WCHAR* kPrqModule = u"lib";
inline constexpr const WCHAR* kPrqListContext = u"JxSetup::Data::JxData::ExecutePrerequisites";
inline constexpr const WCHAR* kPrqItemContext = u"JxSetup::Data::JxData::ExecutePrerequisiteItem";

// "true" ignoring case.
bool _prq_IsTrue(const std::u16string& text);
// The time limit in seconds; empty gives no limit. Anything but an unsigned 32-bit decimal throws a
// std::logic_error.
DWORD _prq_ParseTimeout(const std::u16string& text);
// Folder and name with one backslash between them unless the folder ends with a separator or a
// colon, or the name begins with a separator.
std::u16string _prq_JoinPath(const std::u16string& folder, const std::u16string& name);
// The test switch "QaPrqMode" of the engine's registry key (0 when missing).
DWORD _prq_ReadQaMode();
// Whether a piece of the comma-separated list is the decimal text of the code (pieces untrimmed).
bool _prq_ListHasCode(const std::u16string& list, int32_t code);

// Failure flag and error record for an installer that failed or could not be prepared.
void _prq_RecordError(JxSequenceData& state, const JxSequenceAction& action, const JxFile& row);
// Reads the installer's result code against the row's reboot and error codes and the test switch.
void _prq_EvaluateResult(JxData& data, const JxSequenceAction& action, const JxFile& row, int32_t code);
// Empties "[_ExecPrqDir]" (its own files only) after every item.
void _prq_CleanUpWorkingFolder(JxData& data);
// The product's files that stand where the component's package folder is unpacked.
struct CPrqExistingFiles {
    std::vector<std::u16string> m_SetAside; // moved to "<name>.jxprq" while the installer runs
    std::set<std::u16string> m_InPlace;     // folded names that could not be moved: never deleted
};
// Moves the product's files of the component's packaged names out of the way of the unpacking.
CPrqExistingFiles _prq_SetAsideExistingFiles(JxData& data, const std::u16string& componentId,
                                             const std::u16string& folder);
// Deletes the component's packaged files from the folder and puts the product's files back.
void _prq_RemoveExtractedFiles(JxData& data, const std::u16string& componentId, const std::u16string& folder,
                               const CPrqExistingFiles& existing);

} // namespace JxSetup::Data
