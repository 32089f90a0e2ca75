// The machine's facts as properties, and the product name's fallback.
#include <sys/statvfs.h>

#include <gtest/gtest.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/machine_root.h"
#include "loader_support.h"

using namespace JxSetup::Data;

namespace {

const std::u16string kSetupFolder = u"C:\\Setup\\";

// Runs InitProperties from the setup folder; the properties stay in data.
void InitOn(JxData& data) {
    data.SetAppDir(kSetupFolder);
    data.InitProperties();
}

// Whether the property is set at all (an empty value counts).
bool IsSet(JxData& data, const std::u16string& name) {
    return data.GetAllProperties().count(name) != 0;
}

using PropertyRows = std::vector<std::pair<const char16_t*, std::u16string>>;

void ExpectProperties(JxData& data, const PropertyRows& rows) {
    for (const auto& [name, value] : rows) {
        EXPECT_TRUE(IsSet(data, name)) << jxtext::N(name);
        EXPECT_EQ(data.GetPropertyValue(name), value) << jxtext::N(name);
    }
}

TEST(SystemProperties, DescribeA64BitWindows10Machine) {
    jxplat::MachineDescription machine;
    machine.totalMemoryBytes = 8ull << 30;
    machine.computerName = "build-agent-with-a-long-name";
    jxtest::TempMachineRoot root(machine);
    JxData data;
    InitOn(data);

    ExpectProperties(data,
                     {
                         {u"_TotalRAM", u"8388608"},
                         {u"VersionNT", u"1000"},
                         {u"VersionNT64", u"1000"},
                         {u"ServicePackLevel", u"0"},
                         {u"WinProductLevel", u"Desktop"},
                         {u"_IsAdmin", u"true"},
                         {u"ProgramFilesFolder", u"C:\\Program Files (x86)"},
                         // What the system reports to a 32-bit program.
                         {u"ProgramFiles64Folder", u"C:\\Program Files (x86)"},
                         {u"CommonFilesFolder", u"C:\\Program Files (x86)\\Common Files"},
                         {u"CommonFiles64Folder", u"C:\\Program Files\\Common Files"},
                         {u"SetupFolder", kSetupFolder},
                         {u"SystemFolder", u"C:\\Windows\\SysWOW64"},
                         {u"System64Folder", u"C:\\Windows\\system32"},
                         {u"WindowsFolder", u"C:\\Windows"},
                         {u"CommonAppDataFolder", u"C:\\ProgramData"},
                         {u"SystemDrive", u"C:"},
                         {u"AppDataFolder", u"C:\\Users\\Tester\\AppData\\Roaming"},
                         {u"LocalAppDataFolder", u"C:\\Users\\Tester\\AppData\\Local"},
                         {u"_StartMenuPath", u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"},
                         {u"_ComputerNameNetBIOS", u"BUILD-AGENT-WIT"},
                         {u"_ComputerNameDnsHostname", u"build-agent-with-a-long-name"},
                         {u"_ComputerNameDnsDomain", u""},
                         {u"_ComputerNameDnsFullyQualified", u"build-agent-with-a-long-name"},
                         {u"_ComputerNamePhysicalNetBIOS", u"BUILD-AGENT-WIT"},
                         {u"_ComputerNamePhysicalDnsHostname", u"build-agent-with-a-long-name"},
                         {u"_ComputerNamePhysicalDnsDomain", u""},
                         {u"_ComputerNamePhysicalDnsFullyQualified", u"build-agent-with-a-long-name"},
                     });
    // No product version, no generation.
    EXPECT_FALSE(IsSet(data, u"_Generation"));

    // The disk figures are those of the volume that holds drive C:, in kibibytes.
    struct statvfs volume {};
    ASSERT_EQ(::statvfs((root.Path() + "/drive_c").c_str(), &volume), 0);
    const unsigned long long totalKiB = (unsigned long long)volume.f_blocks * volume.f_frsize / 1024;
    EXPECT_EQ(data.GetPropertyValue(u"_TotalSpace"), jxtext::ToText(totalKiB));
    const long long freeKiB = jxtext::ParseInt64(data.GetPropertyValue(u"_FreeSpace"));
    const long long totalFreeKiB = jxtext::ParseInt64(data.GetPropertyValue(u"_TotalFreeSpace"));
    EXPECT_GT(freeKiB, 0);
    EXPECT_LE(freeKiB, totalFreeKiB);
    EXPECT_LE(totalFreeKiB, static_cast<long long>(totalKiB));
}

TEST(SystemProperties, A32BitMachineSetsThe64BitPropertiesEmpty) {
    jxplat::MachineDescription machine;
    machine.is64Bit = false;
    machine.windowsMajor = 6;
    machine.windowsMinor = 1;
    machine.servicePack = "Service Pack 1";
    machine.productType = 3; // server
    jxtest::TempMachineRoot root(machine);
    JxData data;
    // Values from earlier sources that the machine's facts replace.
    data.SetProperty(u"VersionNT64", u"601", 1);
    data.SetProperty(u"System64Folder", u"C:\\Windows\\system32", 1);
    InitOn(data);

    ExpectProperties(data, {
                               {u"VersionNT", u"601"},
                               {u"VersionNT64", u""},
                               {u"ServicePackLevel", u"1"},
                               {u"WinProductLevel", u"Server"},
                               {u"ProgramFilesFolder", u"C:\\Program Files"},
                               {u"ProgramFiles64Folder", u""},
                               {u"CommonFilesFolder", u"C:\\Program Files\\Common Files"},
                               {u"CommonFiles64Folder", u""},
                               {u"SystemFolder", u"C:\\Windows\\system32"},
                               {u"System64Folder", u""},
                               {u"SystemDrive", u"C:"},
                           });
}

TEST(SystemProperties, IsAdminAsksOnlyOnWindows5) {
    struct Case {
        DWORD major;
        bool administrator;
        bool elevated;
        const char16_t* expected;
    } cases[] = {
        {5, true, true, u"true"},   {5, true, false, u"false"},  {5, false, false, u"false"},
        {6, false, false, u"true"}, {10, false, false, u"true"},
    };
    for (const Case& c : cases) {
        jxplat::MachineDescription machine;
        machine.windowsMajor = c.major;
        machine.windowsMinor = 1;
        machine.user.administrator = c.administrator;
        machine.user.elevated = c.elevated;
        jxtest::TempMachineRoot root(machine);
        JxData data;
        InitOn(data);
        EXPECT_EQ(data.GetPropertyValue(u"_IsAdmin"), c.expected)
            << c.major << " admin " << c.administrator << " elevated " << c.elevated;
    }
}

TEST(SystemProperties, OverwriteEarlierValuesButNotLockedOnesNorAnUnknownProductType) {
    jxplat::MachineDescription machine;
    machine.productType = 0; // neither workstation nor server
    jxtest::TempMachineRoot root(machine);
    JxData data;
    data.SetProperty(u"VersionNT", u"500", 1);
    data.SetProperty(u"§VersionNT64", u"locked", 1);
    data.SetProperty(u"WinProductLevel", u"from the command line", 1);
    InitOn(data);
    EXPECT_EQ(data.GetPropertyValue(u"VersionNT"), u"1000");
    EXPECT_EQ(data.GetPropertyValue(u"VersionNT64"), u"locked");
    EXPECT_EQ(data.GetPropertyValue(u"WinProductLevel"), u"from the command line");
}

TEST(SystemProperties, GenerationIsTheNumberBeforeTheFirstDot) {
    struct Case {
        const char16_t* version;
        int generation;
    } cases[] = {{u"25.5.1.10", 25}, {u"7", 0},  {u"3.", 3},   {u"007.1", 7},
                 {u"v2.1", 0},       {u".5", 0}, {u"2a.1", 0}, {u"99999999999.1", 0}};
    for (const Case& c : cases)
        EXPECT_EQ(GetGenerationFromVersion(c.version), c.generation) << jxtext::N(c.version);

    jxtest::TempMachineRoot root;
    JxData data;
    data.m_ProductInfo.version = u"25.5.1.10";
    data.InitProperties();
    EXPECT_EQ(data.GetPropertyValue(u"_Generation"), u"25");
    data.m_ProductInfo.version = u"v2.1";
    data.InitProperties();
    EXPECT_EQ(data.GetPropertyValue(u"_Generation"), u"0");
}

TEST(SystemProperties, AnUninstallRunRemovesEveryInstalledFeature) {
    jxtest::TempMachineRoot root;
    JxData data;
    for (const char16_t* name : {u"Core", u"Help", u"Extra"}) {
        JxFeature feature;
        feature.name = name;
        data.m_Features.push_back(feature);
    }
    data.SetProperty(u"FeatureStateInstalled", u"$Core$,$Help$", 1);
    data.SetProperty(u"FeatureStateAbsent", u"$Extra$", 1);
    data.SetFeatureAction(u"Help", u"FeatureActionInstall");

    data.SetInstallMode(u"Maintenance");
    data.InitProperties();
    EXPECT_EQ(data.GetFeatureAction(u"Core"), u"FeatureActionNothing");

    data.SetInstallMode(u"Uninstall");
    data.InitProperties();
    EXPECT_EQ(data.GetFeatureAction(u"Core"), u"FeatureActionRemove");
    EXPECT_EQ(data.GetFeatureAction(u"Help"), u"FeatureActionRemove");
    EXPECT_EQ(data.GetFeatureAction(u"Extra"), u"FeatureActionNothing");
}

// FixPRODUCTNAME

class ProductNameTest : public ::testing::Test {
protected:
    ProductNameTest() {
        m_Data.m_ProductInfo.productid = u"{11111111-2222-3333-4444-555555555555}";
        m_Data.m_Properties.SetLanguage(u"de");
        JxProductCode other;
        other.guid = u"{99999999-2222-3333-4444-555555555555}";
        other.name = u"Other Product";
        JxProductCode own;
        own.guid = u"{11111111-2222-3333-4444-555555555555}";
        own.name = u"Tolvane Guard";
        for (char16_t& c : own.guid)
            c = jxtext::ToLowerChar(c);
        m_Data.m_Requirements.m_ProductCodes = {other, own};
    }

    jxtest::TempMachineRoot m_Root;
    JxData m_Data;
};

TEST_F(ProductNameTest, AMissingNameFallsBackToTheRequirementsEntryOfThisProduct) {
    // The definition refers to a text that this language lacks.
    m_Data.SetProperty(u"PRODUCTNAME", u"@REP_PRODUCTNAME", 1);
    m_Data.SetProperty(u"_ATPRODUCTNAME", u"rep_productname", 1);
    jxloadertest::CLogLines log;
    m_Data.FixPRODUCTNAME();

    EXPECT_EQ(m_Data.GetPropertyValue(u"PRODUCTNAME"), u"Tolvane Guard");
    EXPECT_EQ(m_Data.GetPropertyValue(u"_ATPRODUCTNAME"), u"Tolvane Guard");
    EXPECT_TRUE(log.Has("WARNING", "Error while getting value of [PRODUCTNAME]")) << log.Dump();
    EXPECT_EQ(log.Count("HP_INFO", "Using [PRODUCTNAME]'s fallback value"), 1u) << log.Dump();
    EXPECT_TRUE(log.Has("HP_INFO", "fallback value Tolvane Guard")) << log.Dump();
    // Only in the current language.
    EXPECT_EQ(m_Data.ExpandPropertiesForLanguage(u"[PRODUCTNAME]", u"fr"), u"@REP_PRODUCTNAME");
}

TEST_F(ProductNameTest, AKnownNameStaysUnlessTheInstalledProductIsCustomized) {
    struct Case {
        const char* name;
        const char16_t* customized;
        const char16_t* oldName;
        const char16_t* expected;
    } cases[] = {
        {"Customized", u"TRUE", u"Old Name", u"Old Name"},
        {"CustomizedWithoutOldName", u"true", u"", u"New Name"},
        {"NotCustomized", u"false", u"Old Name", u"New Name"},
    };
    for (const Case& c : cases) {
        m_Data.SetProperty(u"PRODUCTNAME", u"New Name", 1);
        m_Data.SetProperty(u"_InstalledProductIsCustomized", c.customized, 1);
        m_Data.SetProperty(u"_ATPRODUCTNAME", c.oldName, 1);
        jxloadertest::CLogLines log;
        m_Data.FixPRODUCTNAME();
        EXPECT_EQ(m_Data.GetPropertyValue(u"PRODUCTNAME"), c.expected) << c.name;
        EXPECT_FALSE(log.Has("WARNING", "Error while getting value")) << c.name;
    }
}

} // namespace
