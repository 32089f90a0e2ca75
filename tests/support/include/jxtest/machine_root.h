// A fresh machine root for one test: made in a temporary folder, selected for this process and
// for the programs the test starts (JX_MACHINE_ROOT), removed again afterwards.
#pragma once

#include <string>

#include "jxplat/machine.h"

namespace jxtest {

class TempMachineRoot {
public:
    TempMachineRoot();
    explicit TempMachineRoot(const jxplat::MachineDescription& description);
    ~TempMachineRoot();
    TempMachineRoot(const TempMachineRoot&) = delete;
    TempMachineRoot& operator=(const TempMachineRoot&) = delete;

    const std::string& Path() const { return m_path; }
    // Rewrites machine.json and makes this process read it again.
    void Describe(const jxplat::MachineDescription& description);

private:
    std::string m_path;
};

// Folder of the build tree (JX_TEST_BINARY_DIR), for the programs the tests run.
std::string BuildDir();
// Reads a whole host file ("" when missing).
std::string ReadHostFile(const std::string& path);
// Writes a file of the machine at its Windows path, making its folders.
void WriteMachineFile(const std::u16string& windowsPath, const std::string& bytes = "x");
// True when the machine has a file or folder at the Windows path.
bool MachinePathExists(const std::u16string& windowsPath);

} // namespace jxtest
