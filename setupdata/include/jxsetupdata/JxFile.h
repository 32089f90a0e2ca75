// The file record of the setup: one SetupFile or Prerequisite row of the definition, a metadata
// row of the packages, or a file found on disk. Records are copied by value.
#pragma once

#include "jxsetupdata/JxFileData.h"

namespace JxSetup::Data {

class JxFile : public JxFileData {
public:
    JxFile() = default;
    JxFile(const JxFile&) = default;
    JxFile& operator=(const JxFile&) = default;
    JxFile(JxFile&&) = default;
    JxFile& operator=(JxFile&&) = default;
    ~JxFile() = default;
};

} // namespace JxSetup::Data
