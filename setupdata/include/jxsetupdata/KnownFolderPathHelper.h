// The known folders the system properties need beyond the special-folder numbers.
#pragma once

#include <string>

#include "jxbase/knownfolder.h"

namespace JxSetup::Data {

class KnownFolderPathHelper : public CKnownFolderPath {
public:
    KnownFolderPathHelper() = default;
    ~KnownFolderPathHelper() override;

    // The 64-bit common program files folder; when the lookup fails, the environment variable
    // "CommonProgramW6432" (empty when it is unset).
    std::u16string GetCommonFilesX64Folder();
};

} // namespace JxSetup::Data
