// Helpers of the end-to-end runs: the built program, and a machine that trusts it.
#pragma once

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "jxplat/machine.h"
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
};

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
    for (const auto& [name, content] : variant.payload) {
        WriteText(work / "payload" / name, content);
        fs::permissions(work / "payload" / name, fs::perms::owner_exec, fs::perm_options::add);
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

} // namespace jxe2e
