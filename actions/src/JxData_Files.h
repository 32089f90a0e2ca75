// Shared steps of the file actions (JxData_File*.cpp): their log contexts and small disk tests.
#pragma once

#include <string>

#include <windows.h>

#include "jxbase/guards.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

inline constexpr const WCHAR* kFilesModule = u"lib";

inline bool _files_Exists(const std::u16string& path) {
    return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool _files_IsFolder(const std::u16string& path) {
    const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A flag field of a row: "true", ignoring case.
inline bool _files_IsTrue(const std::u16string& text) {
    return jxtext::EqualsNoCase(text, u"true");
}

// Deletes a file whatever its attributes (a read-only temporary copy included).
inline bool _files_DeleteFile(const std::u16string& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(path.c_str()) != FALSE;
}

// What the engine appends to a target's name for the temporary copy that waits to replace it.
inline constexpr const WCHAR* kTemporaryCopySuffix = u".jxtmp";

// Deletes the engine's temporary copies of the files that the name (a pattern too; it may hold
// sub-folders) gives in the folder: copies a run left when it ended half-way. With keepWaiting, a
// copy that the restart is to move into place stays. Nothing outside a safe folder is touched.
void _files_RemoveLeftTemporaries(const std::u16string& folder, const std::u16string& name, bool keepWaiting,
                                  const WCHAR* context);

} // namespace JxSetup::Data
