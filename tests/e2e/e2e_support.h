// Helpers of the end-to-end runs: the built program, and a machine that trusts it.
#pragma once

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/host_sha256.h"
#include "jxtest/machine_root.h"

namespace jxe2e {

inline std::string Program() {
    return jxtest::BuildDir() + "/engine/program/jxsetup";
}

using jxtest::HostFileSha256;

// A machine on which the built program counts as signed by the maker, as a released setup is: an
// ELF file carries no signature, so the machine names it by its digest.
inline jxplat::MachineDescription TrustingMachine(const std::string& program = Program()) {
    jxplat::MachineDescription description;
    jxplat::MachineTrustedFile trusted;
    trusted.sha256 = HostFileSha256(program);
    trusted.signer = "Tolvane Software GmbH";
    description.trustedFiles.push_back(trusted);
    return description;
}

// The sample's setup as the build packs it.
inline std::string SampleSetup() {
    return jxtest::BuildDir() + "/samples/setup.exe";
}

// A machine that trusts the sample's setup and the bare program (its maintenance copy).
inline jxplat::MachineDescription SampleMachine() {
    jxplat::MachineDescription description = TrustingMachine();
    jxplat::MachineTrustedFile setup;
    setup.sha256 = HostFileSha256(SampleSetup());
    setup.signer = "Tolvane Software GmbH";
    description.trustedFiles.push_back(setup);
    return description;
}

// Where the installed sample product is found on the machine.
inline const std::u16string kInstallDir = u"C:\\Program Files (x86)\\Tolvane\\Quillmere Notes";
inline const std::u16string kUninstallKey =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31}";
inline const std::u16string kProductKey = u"Software\\Tolvane\\Quillmere Notes";

// The sample product's source folder (definition, requirements, payload).
inline std::filesystem::path SampleSourceDir() {
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "samples" / "product";
}

// Reads a whole host file as text; writes one (its folders made).
inline std::string ReadText(const std::filesystem::path& path) {
    return jxtest::ReadHostFile(path.string());
}
inline void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Replaces every occurrence of `from` in `text`; counts them, so a fixture notices a stale pattern.
inline int ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    int count = 0;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
        ++count;
    }
    return count;
}

// A variant of the sample product, packed into a setup program the way the build packs the sample.
struct ProductVariant {
    std::string definition = ReadText(SampleSourceDir() / "config" / "setup.jxsetup");
    std::string requirements = ReadText(SampleSourceDir() / "uninstall" / "requirements.xml");
    // Payload files added or replaced: "{component id}/name" -> content (the mode is executable).
    std::map<std::string, std::string> payload;
    // Files of a customization package "$CUSTOMIZE" ("customize.xml", "theme/..."): none when empty.
    std::map<std::string, std::string> customize;
    // Files written into the "$SETUP" package: name -> content (executable).
    std::map<std::string, std::string> setupTexts;
    // The GUI module packed as "GUI/gui.dll": "" the scripted module of the build, "-" none, else the
    // host path of another library.
    std::string guiModule;
    // Files added to the "$SETUP" package: name -> host path of the file to pack.
    std::map<std::string, std::string> setupFiles;
};

// Adds rows before the closing tag of a section of the definition, which stands there once.
inline void AddRows(ProductVariant& variant, const std::string& closingTag, const std::string& rows) {
    EXPECT_EQ(ReplaceAll(variant.definition, closingTag, rows + "\n  " + closingTag), 1) << closingTag;
}

// Adds "prereq.exe", a prerequisite with these attributes after its name (arguments, reboot code)
// whose program is the script. A component that holds a prerequisite is the installer's payload
// and is never copied, so the installer travels in a component of its own in the Tools feature of
// the sample, unpacked into the folder of the Tools files.
inline void AddPrerequisite(ProductVariant& variant, const std::string& attributes,
                            const std::string& script) {
    const std::string tools = "{5A3E9C21-0004-4000-8000-000000000004}";
    const std::string prerequisite = "{5A3E9C21-0005-4000-8000-000000000005}";
    const std::string toolsRow = "<SetupComponent id=\"" + tools +
                                 "\" destinationdir=\"[INSTALLDIR]tools\\\" installmode=\"custom\"/>";
    EXPECT_EQ(ReplaceAll(variant.definition, toolsRow,
                         toolsRow + "\n        <SetupComponent id=\"" + prerequisite +
                             "\" destinationdir=\"[INSTALLDIR]tools\\\" installmode=\"custom\"/>"),
              1);
    AddRows(variant, "</SetupFiles>",
            "  <SetupFile name=\"prereq.exe\" featurename=\"Tools\" componentid=\"" + prerequisite +
                "\" isprerequisite=\"true\" " + attributes + "/>");
    variant.payload[prerequisite + "/prereq.exe"] = script;
}

// A prerequisite that asks for a reboot (3010) the first time it runs and succeeds afterwards, as an
// installer does once the machine has restarted. Each run is noted in "prereq.runs" of the
// machine root.
inline ProductVariant WithRebootingPrerequisite() {
    ProductVariant variant;
    AddPrerequisite(variant, "prerequisitearg=\"/quiet\" prqrebootcode=\"3010\"",
                    "#!/bin/sh\n"
                    "echo \"$JX_COMMAND_LINE\" >> \"$JX_MACHINE_ROOT/prereq.runs\"\n"
                    "if [ -f \"$JX_MACHINE_ROOT/prereq.done\" ]; then\n"
                    "  echo 0 > \"$JX_EXIT_CODE_FILE\"\n"
                    "else\n"
                    "  : > \"$JX_MACHINE_ROOT/prereq.done\"\n"
                    "  echo 3010 > \"$JX_EXIT_CODE_FILE\"\n"
                    "fi\n");
    return variant;
}

// Packs the variant in `work` and returns the path of its setup program ("" on failure). The sample's
// packed payload of the build (with the service program) is the starting point.
inline std::string PackProduct(const ProductVariant& variant, const std::filesystem::path& work) {
    namespace fs = std::filesystem;
    const fs::path built = fs::path(jxtest::BuildDir()) / "samples" / "work";
    const std::string jxpack = jxtest::BuildDir() + "/tools/jxpack";
    fs::remove_all(work);
    fs::create_directories(work / "packages");
    fs::copy(built / "payload", work / "payload", fs::copy_options::recursive);
    fs::copy(built / "setup", work / "setup", fs::copy_options::recursive);
    fs::copy(SampleSourceDir() / "config", work / "config", fs::copy_options::recursive);
    WriteText(work / "config" / "setup.jxsetup", variant.definition);
    WriteText(work / "uninstall" / "requirements.xml", variant.requirements);
    if (variant.guiModule == "-")
        fs::remove(work / "setup" / "GUI" / "gui.dll");
    else if (!variant.guiModule.empty())
        fs::copy_file(variant.guiModule, work / "setup" / "GUI" / "gui.dll",
                      fs::copy_options::overwrite_existing);
    for (const auto& [name, source] : variant.setupFiles)
        fs::copy_file(source, work / "setup" / name, fs::copy_options::overwrite_existing);
    for (const auto& [name, content] : variant.payload) {
        WriteText(work / "payload" / name, content);
        fs::permissions(work / "payload" / name, fs::perms::owner_exec, fs::perm_options::add);
    }
    for (const auto& [name, content] : variant.setupTexts) {
        WriteText(work / "setup" / name, content);
        fs::permissions(work / "setup" / name, fs::perms::owner_exec, fs::perm_options::add);
    }
    const auto quote = [](const fs::path& path) { return "'" + path.string() + "'"; };
    const auto pack = [&](const fs::path& out, const fs::path& folder, const std::string& root) {
        const std::string command = quote(jxpack) + " make " + quote(out) + " " + quote(folder) + " --root " +
                                    quote(root) + " --name " + quote(root) + " >/dev/null";
        return std::system(command.c_str()) == 0;
    };
    std::vector<fs::path> packages = {work / "packages" / "config.wpk", work / "packages" / "uninstall.wpk",
                                      work / "packages" / "setup.wpk"};
    if (!pack(packages[0], work / "config", "$CONFIG") ||
        !pack(packages[1], work / "uninstall", "$UNINSTALL") || !pack(packages[2], work / "setup", "$SETUP"))
        return {};
    if (!variant.customize.empty()) {
        for (const auto& [name, content] : variant.customize)
            WriteText(work / "customize" / name, content);
        packages.push_back(work / "packages" / "customize.wpk");
        if (!pack(packages.back(), work / "customize", "$CUSTOMIZE"))
            return {};
    }
    std::vector<std::string> components;
    for (const auto& entry : fs::directory_iterator(work / "payload"))
        components.push_back(entry.path().filename().string());
    std::sort(components.begin(), components.end());
    for (size_t i = 0; i < components.size(); ++i) {
        packages.push_back(work / "packages" / ("component" + std::to_string(i + 1) + ".wpk"));
        if (!pack(packages.back(), work / "payload" / components[i], components[i]))
            return {};
    }
    const fs::path output = work / "setup.exe";
    fs::copy_file(Program(), output);
    std::string command = quote(jxpack) + " append " + quote(output);
    for (const fs::path& package : packages)
        command += " " + quote(package);
    if (std::system((command + " >/dev/null").c_str()) != 0)
        return {};
    return output.string();
}

inline std::string DecodeUtf16(const std::string& bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * 2);
    return jxtext::Utf16ToUtf8(text);
}

// Every run log of the machine as UTF-8 text, a closed (zipped) log unpacked, in name order; with
// `closedOnly`, only the zipped ones.
inline std::vector<std::string> RunLogs(const jxtest::TempMachineRoot& root, bool closedOnly = false) {
    namespace fs = std::filesystem;
    std::vector<std::string> logs;
    const fs::path folder = root.Path() + "/drive_c/ProgramData/Tolvane/Setups/Logs";
    if (!fs::exists(folder))
        return logs;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        std::string bytes;
        if (file.extension() == ".zip") {
            FILE* pipe = ::popen(("unzip -p '" + file.string() + "'").c_str(), "r");
            char buffer[65536];
            for (size_t got; pipe && (got = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;)
                bytes.append(buffer, got);
            if (pipe)
                ::pclose(pipe);
        } else if (closedOnly) {
            continue;
        } else {
            bytes = jxtest::ReadHostFile(file.string());
        }
        logs.push_back(DecodeUtf16(bytes));
    }
    return logs;
}

inline std::string AllLogs(const jxtest::TempMachineRoot& root) {
    std::string all;
    for (const std::string& log : RunLogs(root))
        all += log;
    return all;
}

// The machine's trace (the debugger output of every process), "" when nothing was traced.
inline std::string Trace(const jxtest::TempMachineRoot& root) {
    return jxtest::ReadHostFile(root.Path() + "/trace.log");
}

// Packs the variant into `work` and lets the machine trust the setup, as it trusts the released
// sample; the machine root's description is written again. "" when the packing failed.
inline std::string PackTrusted(const ProductVariant& variant, const std::filesystem::path& work,
                               jxplat::MachineDescription& machine, jxtest::TempMachineRoot& root) {
    const std::string setup = PackProduct(variant, work);
    if (setup.empty())
        return setup;
    jxplat::MachineTrustedFile trusted;
    trusted.sha256 = HostFileSha256(setup);
    trusted.signer = "Tolvane Software GmbH";
    machine.trustedFiles.push_back(trusted);
    root.Describe(machine);
    return setup;
}

} // namespace jxe2e
