// A fresh machine root of a benchmark in the host's temporary folder, selected for this process
// and for the programs it starts.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "jxplat/machine.h"

namespace jxbench {

// Returns the root's host path, "" when it cannot be made. name: "files" gives jxbench-files-XXXXXX.
inline std::string MakeBenchMachine(const std::string& name) {
    std::string pattern = (std::filesystem::temp_directory_path() / ("jxbench-" + name + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        return {};
    jxplat::WriteMachineDescription(pattern, jxplat::MachineDescription{});
    setenv("JX_MACHINE_ROOT", pattern.c_str(), 1);
    jxplat::SetMachineRoot(pattern);
    return pattern;
}

} // namespace jxbench
