// A small product for the file-action tests, the crash driver and the benchmark: one feature
// "Main" with one component whose files come from a package mounted into the data object.
// No test framework here, so that programs can use it too.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <windows.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxvfs/PackageMgr.h"
#include "jxvfs/container/CPackageWriter.h"

namespace jxfilecopytest {

using namespace JxSetup::Data;

inline const std::u16string kComponent = u"core";
inline const std::u16string kFeature = u"Main";
inline const std::u16string kDestination = u"C:\\Program Files\\Prod";

// Writes a package whose root is the name: each file is "<path below the root, root first>" ->
// content. The package goes to the Windows path given.
inline bool WriteNamedPackage(const std::u16string& windowsPath, const std::string& name,
                              const std::map<std::u16string, std::string>& files,
                              DWORD blockSize = 512 * 1024) {
    PACKAGE_WRITER_OPTIONS options;
    options.name = name;
    options.blockSize = blockSize;
    CPackageWriter writer(options);
    for (const auto& [file, content] : files) {
        PACKAGE_FILE_INPUT input;
        input.content.assign(content.begin(), content.end());
        input.lastWrite = FILETIME{0x12345678u, 0x01D80000u};
        if (!writer.AddFile(file, std::move(input)))
            return false;
    }
    const std::string host = jxplat::WindowsToHostPath(windowsPath);
    std::filesystem::create_directories(std::filesystem::path(host).parent_path());
    return writer.WriteToHostFile(host);
}

// Writes a package whose top directory is the component id: each file is "<relative path>" ->
// content.
inline bool WriteComponentPackage(const std::u16string& windowsPath,
                                  const std::map<std::u16string, std::string>& files,
                                  DWORD blockSize = 512 * 1024) {
    std::map<std::u16string, std::string> rooted;
    for (const auto& [path, content] : files)
        rooted[kComponent + u"\\" + path] = content;
    return WriteNamedPackage(windowsPath, jxtext::N(kComponent), rooted, blockSize);
}

// One copy row of the component.
inline JxFile CopyRow(const std::u16string& name, const std::u16string& copyMode = u"bycrc") {
    JxFile row;
    row.name = name;
    row.featurename = kFeature;
    row.componentid = kComponent;
    row.copymode = copyMode;
    return row;
}

// The definition: the rows, the feature being installed, an installation run.
inline void DefineProduct(JxData& data, const std::vector<JxFile>& rows,
                          const std::u16string& destination = kDestination) {
    JxComponent component;
    component.id = kComponent;
    component.destinationdir = destination;
    component.installmode = u"custom"; // installed when its feature is
    JxFeature feature;
    feature.name = kFeature;
    feature.components.push_back(component);
    data.m_Features = {feature};
    data.m_Files = rows;
    data.m_SequenceData.m_bInstallModeInstall = true;
    data.SetProperty(u"InstallMode", u"Install", 1);
    data.SetProperty(u"FeatureStateAbsent", u"$" + kFeature + u"$", 1);
    data.SetProperty(u"FeatureActionInstall", u"$" + kFeature + u"$", 1);
    data.SetProperty(u"VersionNT", u"1000", 1);
}

inline JxSequenceAction CopyFilesAction() {
    return JxSequenceAction(u"CopyFiles", u"[AT_COPYFILES]", 411);
}

// Mounts the package and runs CopyFiles (initialization and temporary copies).
inline bool MountAndCopy(JxData& data, const std::u16string& packagePath) {
    if (!data.MountExternalPackage(packagePath, kScanModeReplace))
        return false;
    data.FileActions_Initialize(CopyFilesAction());
    data.CopyFilesTemporary();
    return true;
}

// The bytes of a Windows file ("" when missing) and whether it exists.
inline std::string ReadFileBytes(const std::u16string& path) {
    std::ifstream in(jxplat::WindowsToHostPath(path), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::u16string& path, const std::string& bytes) {
    const std::string host = jxplat::WindowsToHostPath(path);
    std::filesystem::create_directories(std::filesystem::path(host).parent_path());
    std::ofstream(host, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Every file and folder below a host folder: relative path -> content ("/" for a folder).
inline std::map<std::string, std::string> SnapshotTree(const std::string& hostFolder) {
    std::map<std::string, std::string> tree;
    if (!std::filesystem::exists(hostFolder))
        return tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(hostFolder)) {
        const std::string relative = std::filesystem::relative(entry.path(), hostFolder).string();
        if (entry.is_directory()) {
            tree[relative] = "/";
        } else {
            std::ifstream in(entry.path(), std::ios::binary);
            tree[relative] =
                std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        }
    }
    return tree;
}

} // namespace jxfilecopytest
