// State shared by the file actions of one run: the file rows of the definition by component, the
// records of their files in the packages and at their targets, the temporary copies made and the
// folders created for them. Built by the first CopyFiles of a run and read by the commit and by
// the removal of what was not committed; the operations live with the installation actions.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "jxsetupdata/JxFile.h"
#include "jxsetupdata/JxSequenceData.h"

namespace JxSetup::Data {

// One temporary copy: the file row, the file in the packages, the file at its target and the three
// paths that tie them together.
struct JxFileCopyRecord {
    JxFile m_Definition;
    JxFile m_Source;
    JxFile m_Target;
    bool m_bSourceInPackage = false;
    std::u16string m_SourcePath;    // inside the mounted packages
    std::u16string m_TemporaryPath; // the target path + ".jxtmp" (or below the alternative folder)
    std::u16string m_TargetPath;
    bool m_b64Bit = false; // the row's 64-bit field is "true": redirection off for its files
    // The commit moved the file onto its target or registered the move for the next reboot (or
    // found nothing to move); the removal of uncommitted copies leaves the record alone then.
    bool m_bCommitted = false;
    bool m_bRolledBack = false; // its temporary file was removed
};

// One folder that a file action created (never one that was there before).
struct JxFileCreatedFolder {
    std::u16string m_Path;
    bool m_b64Bit = false;
};

// Positions of one component's package files in its list, by folded full path and by folded
// folder, so that a row finds its sources without walking the whole list.
struct JxFileSourceIndex {
    std::unordered_map<std::u16string, std::vector<size_t>> m_ByPath;
    std::unordered_map<std::u16string, std::vector<size_t>> m_ByFolder;
};

struct JxFileActionState {
    bool m_bInitialized = false;
    JxSequenceAction m_Action; // the running action, for the error record
    // Component id (exact) -> its rows, its package files and its target files.
    std::unordered_map<std::u16string, std::vector<JxFile>> m_DefinitionRows;
    std::unordered_map<std::u16string, std::vector<JxFile>> m_PackageSources;
    std::unordered_map<std::u16string, std::vector<JxFile>> m_DiskTargets;
    std::unordered_map<std::u16string, JxFileSourceIndex> m_SourceIndex; // made on first use
    std::vector<JxFileCopyRecord> m_Copied;
    std::unordered_set<std::u16string> m_TemporaryPaths; // folded, one per copy record
    std::vector<JxFileCreatedFolder> m_CreatedFolders;   // one per level, in creation order
    // Seam of the tests: called at "extracted" (after each temporary file was written) and
    // "committed" (after each file was moved onto its target).
    std::function<void(const char* point)> m_HookForTesting;
};

} // namespace JxSetup::Data
