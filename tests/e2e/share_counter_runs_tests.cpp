// Two products that share a component (two builds of a small second sample): each install counts
// the shared component, an uninstall keeps its files while the other product holds it, and the last
// uninstall removes them; the side-by-side counter of the products is counted alongside.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_support.h"
#include "jxbase/reg.h"
#include "jxplat/text.h"
#include "jxtest/run_program.h"

namespace {

namespace fs = std::filesystem;

const std::string kSharedComponent = "{5A3E9C21-00A0-4000-8000-0000000000A0}";
const std::string kOwnComponent = "{5A3E9C21-00A1-4000-8000-0000000000A1}";
const std::u16string kSharedFile = u"C:\\Program Files (x86)\\Common Files\\Tolvane\\Shared\\shared.txt";
const std::u16string kCounters = u"JxSetup\\Components\\" + jxtext::W(kSharedComponent);

// The second sample: one feature of its own name with a shared component in the common files and
// a component of its own; each product counts the side-by-side counter "TolvaneShared".
jxe2e::ProductVariant SharingProduct(const std::string& id, const std::string& name,
                                     const std::string& feature) {
    jxe2e::ProductVariant variant;
    variant.definition = R"(<?xml version="1.0" encoding="UTF-8"?>
<Setup productid=")" + id +
                         R"(" productname=")" + name +
                         R"(" version="1.0.0.1" languages="1033" packagecode="PKG-)" + name + R"(">
  <SetupFeatures>
    <SetupFeature name=")" +
                         feature +
                         R"(" visible="true" mode="force">
      <SetupComponents>
        <SetupComponent id=")" +
                         kSharedComponent +
                         R"(" destinationdir="[CommonFilesFolder]\Tolvane\Shared\" installmode="shared"/>
        <SetupComponent id=")" +
                         kOwnComponent +
                         R"(" destinationdir="[INSTALLDIR]" installmode="custom"/>
      </SetupComponents>
    </SetupFeature>
  </SetupFeatures>
  <SetupProperties>
    <SetupProperty name="PRODUCTNAME" value=")" +
                         name + R"("/>
    <SetupProperty name="INSTALLDIR" value="[ProgramFilesFolder]\Tolvane\)" +
                         name + R"(\"/>
    <SetupProperty name="FeatureActionInstall" value="$)" +
                         feature + R"($"/>
    <SetupProperty name="FeatureStateAbsent" value="$)" +
                         feature + R"($"/>
  </SetupProperties>
  <SetupFiles>
    <SetupFile name="shared.txt" featurename=")" +
                         feature + R"(" componentid=")" + kSharedComponent + R"(" copymode="always"/>
    <SetupFile name="own.txt" featurename=")" +
                         feature + R"(" componentid=")" + kOwnComponent + R"(" copymode="always"/>
  </SetupFiles>
</Setup>
)";
    variant.requirements = R"(<?xml version="1.0" encoding="UTF-8"?>
<Requirements>
  <ProductCodes>
    <ProductCode guid=")" + id +
                           R"(" name=")" + name + R"(" version="1" sxssharecounter="TolvaneShared"/>
  </ProductCodes>
</Requirements>
)";
    variant.payload[kSharedComponent + "/shared.txt"] = "shared by the products\n";
    variant.payload[kOwnComponent + "/own.txt"] = "of " + name + "\n";
    return variant;
}

bool Exists(const std::u16string& windowsPath) {
    return fs::exists(jxplat::WindowsToHostPath(windowsPath));
}

DWORD ShareCount(const std::string& feature) {
    return CReg::GetIntFromRegistry(HKEY_CLASSES_ROOT, (kCounters + u"\\" + jxtext::W(feature)).c_str(),
                                    u"ShareCount", 0, 0);
}

class ShareCounterRuns : public ::testing::Test {
protected:
    ShareCounterRuns() : m_Root(m_Machine) {}

    std::string Pack(const jxe2e::ProductVariant& variant, const std::string& name) {
        const std::string setup =
            jxe2e::PackTrusted(variant, fs::path(m_Root.Path()) / "packs" / name, m_Machine, m_Root);
        EXPECT_FALSE(setup.empty()) << "could not pack " << name;
        return setup;
    }
    long long Run(const std::string& setup, std::vector<std::string> args = {}) {
        args.insert(args.begin(), "/_QuietInstallation=true");
        const auto result = jxtest::RunProgram(setup, args);
        EXPECT_TRUE(result.started);
        return result.exitCode;
    }

    jxplat::MachineDescription m_Machine = jxe2e::TrustingMachine();
    jxtest::TempMachineRoot m_Root;
};

TEST_F(ShareCounterRuns, TheSharedFilesStayUntilTheLastProductGoes) {
    const std::string first =
        Pack(SharingProduct("{5A3E9C21-0B01-4000-8000-000000000B01}", "Quill One", "One"), "one");
    const std::string second =
        Pack(SharingProduct("{5A3E9C21-0B02-4000-8000-000000000B02}", "Quill Two", "Two"), "two");

    ASSERT_EQ(Run(first), 0) << jxe2e::AllLogs(m_Root);
    EXPECT_EQ(ShareCount("One"), 1u);
    ASSERT_EQ(Run(second), 0) << jxe2e::AllLogs(m_Root);
    EXPECT_EQ(ShareCount("One"), 1u);
    EXPECT_EQ(ShareCount("Two"), 1u);
    EXPECT_TRUE(Exists(kSharedFile));
    // Neither product has a service by which the other could find it: each counts itself.
    EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TOLVANE", u"TolvaneShared", 0, 0), 1u);

    // The first product goes: the second still holds the shared component.
    ASSERT_EQ(Run(first, {"/InstallMode=Uninstall"}), 0) << jxe2e::AllLogs(m_Root);
    EXPECT_FALSE(Exists(u"C:\\Program Files (x86)\\Tolvane\\Quill One\\own.txt"));
    EXPECT_TRUE(Exists(kSharedFile));
    EXPECT_FALSE(CReg::IsValidPath(HKEY_CLASSES_ROOT, (kCounters + u"\\One").c_str(), 0));
    EXPECT_EQ(ShareCount("Two"), 1u);

    // The last one takes the shared files and the counters with it.
    ASSERT_EQ(Run(second, {"/InstallMode=Uninstall"}), 0) << jxe2e::AllLogs(m_Root);
    EXPECT_FALSE(Exists(kSharedFile));
    EXPECT_FALSE(CReg::IsValidPath(HKEY_CLASSES_ROOT, kCounters.c_str(), 0));
    const std::string logs = jxe2e::AllLogs(m_Root);
    EXPECT_NE(logs.find("Found related sharcounter:"), std::string::npos);
}

} // namespace
