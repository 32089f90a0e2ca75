// State shared by the file actions of one run: the file rows of the definition by component, the
// records of their files in the packages, the temporary copies made and the
// folders created for them. Built by the first CopyFiles of a run and read by the commit and by
// the removal of what was not committed; the operations live with the installation actions.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "jxsetupdata/JxFile.h"
#include "jxsetupdata/JxSequenceData.h"

namespace JxSetup::Data {

// One temporary copy: the file row it comes from (shared by every file of the row), the size of
// the file in the packages and the three paths that tie them together.
struct JxFileCopyRecord {
    std::shared_ptr<const JxFile> m_Definition;
    long long m_SourceSize = 0; // bytes of the file in the packages (0 when unknown)
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

// What the file actions keep of one file in the mounted packages: the fields its record carries
// (a whole JxFile per packaged file would cost kilobytes each). Its component is the list's.
struct JxPackageSource {
    std::u16string m_FullPath;
    std::u16string name;
    std::u16string size;
    std::u16string version;
    std::u16string lastwritetime;
    std::u16string sha;
    std::u16string language;
    bool m_bInPackage = false;

    static JxPackageSource Of(JxFile&& file) {
        JxPackageSource source;
        source.m_FullPath = std::move(file.m_FullPath);
        source.name = std::move(file.name);
        source.size = std::move(file.size);
        source.version = std::move(file.version);
        source.lastwritetime = std::move(file.lastwritetime);
        source.sha = std::move(file.sha);
        source.language = std::move(file.language);
        source.m_bInPackage = file.m_bInPackage;
        return source;
    }
    // The record as CollectFileInformationFromVFS made it.
    JxFile ToFile(const std::u16string& componentId) const {
        JxFile file;
        file.m_FullPath = m_FullPath;
        file.name = name;
        file.size = size;
        file.version = version;
        file.lastwritetime = lastwritetime;
        file.sha = sha;
        file.componentid = componentId;
        file.language = language;
        file.m_bInPackage = m_bInPackage;
        return file;
    }
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
    // Component id (exact) -> its rows and its package files. Lists that grow by a record per file
    // are deques: growing never holds an old and a new copy of the whole list at once.
    std::unordered_map<std::u16string, std::vector<JxFile>> m_DefinitionRows;
    std::unordered_map<std::u16string, std::deque<JxPackageSource>> m_PackageSources;
    std::unordered_map<std::u16string, JxFileSourceIndex> m_SourceIndex; // made on first use
    std::deque<JxFileCopyRecord> m_Copied;
    std::unordered_set<std::u16string> m_TemporaryPaths; // folded, one per copy record
    std::vector<JxFileCreatedFolder> m_CreatedFolders;   // one per level, in creation order
    // Seam of the tests: called at "extracted" (after each temporary file was written) and
    // "committed" (after each file was moved onto its target).
    std::function<void(const char* point)> m_HookForTesting;
};

} // namespace JxSetup::Data
