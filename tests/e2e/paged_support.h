// Paged runs of the sample: the scripted GUI module answers the pages from a script, and its journal
// shows what the engine asked of it.
#pragma once

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_support.h"
#include "jxplat/text.h"
#include "jxtest/run_program.h"

namespace jxe2e {

inline bool Exists(const std::u16string& windowsPath) {
    return std::filesystem::exists(jxplat::WindowsToHostPath(windowsPath));
}

// The answer of the licence page that lets the install go on.
inline const std::string kAcceptLicence = "page Licence next set LICENSEACCEPTED=1\n";

class PagedRuns : public ::testing::Test {
protected:
    PagedRuns() : m_Root(TrustingMachine()) {}

    std::string Pack(const ProductVariant& variant, const std::string& name) {
        const std::string setup =
            PackTrusted(variant, std::filesystem::path(m_Root.Path()) / "packs" / name, m_Machine, m_Root);
        EXPECT_FALSE(setup.empty()) << "could not pack " << name;
        return setup;
    }
    // A paged run (no quiet option) answered by the script; the journal starts empty.
    jxtest::ProgramResult Run(const std::string& setup, const std::string& script,
                              const std::vector<std::string>& args = {}) {
        WriteText(std::filesystem::path(m_Root.Path()) / "gui-script.txt", script);
        m_Machine.guiScript = "gui-script.txt";
        m_Root.Describe(m_Machine);
        std::filesystem::remove(Journal());
        auto result = jxtest::RunProgram(setup, args);
        EXPECT_TRUE(result.started);
        return result;
    }
    std::filesystem::path Journal() const { return std::filesystem::path(m_Root.Path()) / "gui-journal.txt"; }
    std::vector<std::string> JournalLines() const {
        std::vector<std::string> lines;
        std::istringstream in(ReadText(Journal()));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    // The journal's lines that start with one of the prefixes, in order.
    std::vector<std::string> Steps(const std::vector<std::string>& prefixes) const {
        std::vector<std::string> steps;
        for (const std::string& line : JournalLines())
            for (const std::string& prefix : prefixes)
                if (line.rfind(prefix, 0) == 0) {
                    steps.push_back(line);
                    break;
                }
        return steps;
    }
    std::string MessageBoxes() const {
        return ReadText(std::filesystem::path(m_Root.Path()) / "messageboxes.jsonl");
    }

    jxplat::MachineDescription m_Machine = TrustingMachine();
    jxtest::TempMachineRoot m_Root;
};

// The files and folders below drive C:, without the run's own logs and temporary files.
inline std::vector<std::string> DriveC(const std::string& root) {
    std::vector<std::string> entries;
    const std::filesystem::path drive = std::filesystem::path(root) / "drive_c";
    if (!std::filesystem::exists(drive))
        return entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(drive)) {
        const std::string path = std::filesystem::relative(entry.path(), drive).string();
        if (path.find("Setups/Logs") != std::string::npos || path.find("/Temp") != std::string::npos ||
            path.find("AppData") != std::string::npos)
            continue;
        entries.push_back(path);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

} // namespace jxe2e
