#include "jxtest/machine_root.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <windows.h>

namespace jxtest {

TempMachineRoot::TempMachineRoot() : TempMachineRoot(jxplat::MachineDescription{}) {}

TempMachineRoot::TempMachineRoot(const jxplat::MachineDescription& description) {
    std::string pattern = (std::filesystem::temp_directory_path() / "jxroot-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    m_path = made ? made : pattern;
    jxplat::WriteMachineDescription(m_path, description);
    ::setenv("JX_MACHINE_ROOT", m_path.c_str(), 1);
    jxplat::SetMachineRoot(m_path);
}

TempMachineRoot::~TempMachineRoot() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

void TempMachineRoot::Describe(const jxplat::MachineDescription& description) {
    jxplat::WriteMachineDescription(m_path, description);
    jxplat::SetMachineRoot(m_path);
}

std::string BuildDir() {
    const char* dir = std::getenv("JX_TEST_BINARY_DIR");
    return dir ? dir : ".";
}

std::string ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteMachineFile(const std::u16string& windowsPath, const std::string& bytes) {
    const std::string host = jxplat::WindowsToHostPath(windowsPath);
    std::filesystem::create_directories(std::filesystem::path(host).parent_path());
    std::ofstream(host, std::ios::binary) << bytes;
}

bool MachinePathExists(const std::u16string& windowsPath) {
    return GetFileAttributesW(windowsPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace jxtest
