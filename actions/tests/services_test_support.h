// A product with services for the service-action tests: one feature "Core" whose component puts
// the test service program (svcreg.exe) into C:\Program Files\Jx, and the definition that
// registers and unregisters its services.
#pragma once

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

namespace jxsvctest {

using namespace JxSetup::Data;

inline const std::u16string kAppDir = u"C:\\SetupSource\\";
inline const std::u16string kInstallDir = u"C:\\Program Files\\Jx\\";

using jxtest::CLogCapture;

// Copies a host file to a Windows path of the machine.
inline void PlaceFile(const std::string& hostSource, const std::u16string& windowsTarget) {
    const std::string target = jxplat::WindowsToHostPath(windowsTarget);
    std::filesystem::create_directories(std::filesystem::path(target).parent_path());
    std::filesystem::copy_file(hostSource, target, std::filesystem::copy_options::overwrite_existing);
}

inline void WriteText(const std::u16string& windowsPath, const std::string& text) {
    const std::string target = jxplat::WindowsToHostPath(windowsPath);
    std::filesystem::create_directories(std::filesystem::path(target).parent_path());
    std::ofstream(target, std::ios::binary) << text;
}

inline std::string SvcRegHostPath() {
    return jxtest::BuildDir() + "/tests/programs/svcreg.exe";
}

// The definition with the given service rows (XML of SetupRegisterService and
// SetupUnRegisterService elements), written UTF-16LE into the definition folder.
inline void WriteDefinition(const std::string& registerRows, const std::string& unregisterRows) {
    const std::string xml = R"(<?xml version="1.0" encoding="UTF-16"?>
<Setup productid="{11111111-2222-3333-4444-555555555555}" productname="Jx Test" version="1.0.0.0">
  <SetupFeatures>
    <SetupFeature name="Core">
      <SetupComponents>
        <SetupComponent id="{C1}" destinationdir="[INSTALLDIR]" installmode="custom"/>
      </SetupComponents>
    </SetupFeature>
  </SetupFeatures>
  <SetupProperties>
    <SetupProperty name="INSTALLDIR" value="C:\Program Files\Jx\"/>
    <SetupProperty name="PRODUCTNAME" value="Jx Test"/>
    <SetupProperty name="MSG_ERR_INSTALLSERVICE" value="The service could not be installed."/>
  </SetupProperties>
  <SetupFiles>
    <SetupFile name="svcreg.exe" featurename="Core" componentid="{C1}" copymode="bycrc"/>
    <SetupFile name="broken.exe" featurename="Core" componentid="{C1}" copymode="bycrc"/>
  </SetupFiles>
  <SetupRegisterServices>)" +
                            registerRows +
                            R"(</SetupRegisterServices>
  <SetupUnRegisterServices>)" +
                            unregisterRows +
                            R"(</SetupUnRegisterServices>
</Setup>
)";
    const std::u16string text = jxtext::W(xml);
    std::string bytes("\xFF\xFE", 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    WriteText(kAppDir + u"setup.jxsetup", bytes);
}

// A register row of svcreg.exe for the service name.
inline std::string RegisterRow(const std::string& name, const std::string& extra = "",
                               const std::string& file = "svcreg.exe") {
    return "<SetupRegisterService name=\"" + name + "\" featurename=\"Core\" componentid=\"{C1}\" file=\"" +
           file + "\" argument=\"/regserver " + name + "\" " + extra + "/>\n";
}

inline std::string UnregisterRow(const std::string& name, const std::string& extra = "") {
    return "<SetupUnRegisterService name=\"" + name +
           "\" featurename=\"Core\" componentid=\"{C1}\" file=\"svcreg.exe\" argument=\"/unregserver " +
           name + "\" " + extra + "/>\n";
}

// The installed program files: svcreg.exe and a "broken.exe" that is no program.
inline void InstallProgramFiles() {
    PlaceFile(SvcRegHostPath(), kInstallDir + u"svcreg.exe");
    WriteText(kInstallDir + u"broken.exe", "this is not a program");
}

inline void MakeInstallRun(JxData& data) {
    data.m_SequenceData.m_bInstallModeInstall = true;
    data.SetProperty(u"InstallMode", u"Install", 1);
    data.SetProperty(u"FeatureStateAbsent", u"$Core$", 1);
    data.SetProperty(u"FeatureActionInstall", u"$Core$", 1);
}

inline void MakeUninstallRun(JxData& data) {
    data.m_SequenceData.m_bInstallModeInstall = false;
    data.m_SequenceData.m_bInstallModeUninstall = true;
    data.SetProperty(u"InstallMode", u"Uninstall", 1);
    data.SetProperty(u"FeatureStateAbsent", u"", 1);
    data.SetProperty(u"FeatureActionInstall", u"", 1);
    data.SetProperty(u"FeatureStateInstalled", u"$Core$", 1);
    data.SetProperty(u"FeatureActionRemove", u"$Core$", 1);
}

inline JxSequenceAction SelfRegServiceAction() {
    return JxSequenceAction(u"SelfRegService", u"[AT_SELFREGSERVICE]", 0x1bb);
}

inline JxSequenceAction SelfUnRegServiceAction() {
    return JxSequenceAction(u"SelfUnRegService", u"[AT_SELFUNREGSERVICE]", 0x1de);
}

inline std::u16string ServiceKey(const std::u16string& name) {
    return u"SYSTEM\\CurrentControlSet\\Services\\" + name;
}

} // namespace jxsvctest
