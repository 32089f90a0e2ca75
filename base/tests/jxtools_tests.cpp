// The engine tools: packed product codes, the computer name, the event-log entry and the removal
// of an older product's Windows Installer registration in each registry view.
#include <gtest/gtest.h>

#include <string>

#include <windows.h>

#include "jxbase/CJxTools.h"
#include "jxbase/reg.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"

namespace {

using JxSetup::Data::CJxTools;

TEST(JxTools, PackedProductCode) {
    struct Case {
        std::u16string code;
        std::u16string packed;
    };
    const Case cases[] = {
        {u"{12345678-ABCD-EF01-2345-6789ABCDEF01}", u"87654321DCBA10FE32547698BADCFE10"},
        {u"{12345678-abcd-ef01-2345-6789abcdef01}", u"87654321dcba10fe32547698badcfe10"},
        // Anything but a whole braced GUID has no packed form (and is never read past its end).
        {u"", u""},
        {u"{1234}", u""},
        {u"12345678-ABCD-EF01-2345-6789ABCDEF01", u""},
        {u"{12345678-ABCD-EF01-2345-6789ABCDEF01}x", u""},
        {u"{12345678-ABCD-EF01-2345-6789ABCDEF0G}", u""},
        {u"{12345678-ABCD-EF01-2345+6789ABCDEF01}", u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CJxTools::GetPackedProductCode(c.code), c.packed) << jxtext::N(c.code);
    EXPECT_EQ(CJxTools::ToLower(u"C:\\Tolvane\\ÄÖ"), u"c:\\tolvane\\äö");
}

TEST(JxTools, ComputerNameInEachFormat) {
    jxplat::MachineDescription machine;
    machine.computerName = "build-machine-0042";
    jxtest::TempMachineRoot root(machine);
    EXPECT_EQ(CJxTools::GetComputerName(ComputerNameNetBIOS), u"BUILD-MACHINE-0");
    EXPECT_EQ(CJxTools::GetComputerName(ComputerNameDnsHostname), u"build-machine-0042");
    EXPECT_EQ(CJxTools::GetComputerName(ComputerNameDnsFullyQualified), u"build-machine-0042");
    // No DNS domain, and a format Windows does not know: no name.
    EXPECT_EQ(CJxTools::GetComputerName(ComputerNameDnsDomain), u"");
    EXPECT_EQ(CJxTools::GetComputerName(ComputerNameMax), u"");

    // The API itself: the size asked with the zero, then the length without it.
    DWORD size = 0;
    EXPECT_FALSE(GetComputerNameExW(ComputerNameNetBIOS, nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(size, 16u);
    WCHAR small[4];
    size = 4;
    EXPECT_FALSE(GetComputerNameExW(ComputerNameNetBIOS, small, &size));
    EXPECT_EQ(size, 16u);
}

TEST(JxTools, EventLogEntryAndRefusedSource) {
    jxtest::TempMachineRoot root;
    CJxTools::WriteToEventLog(u"Setup of %s ended with %d.", u"Jx Client", 3010);
    const std::u16string longText(5000, u'x');
    CJxTools::WriteToEventLog(u"%s", longText.c_str());
    std::vector<jxplat::EventLogEntry> entries = jxplat::ReadEventLog();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].source, u"Brellwick Client");
    EXPECT_EQ(entries[0].type, EVENTLOG_INFORMATION_TYPE);
    EXPECT_EQ(entries[0].category, 3);
    EXPECT_EQ(entries[0].eventId, 0u);
    EXPECT_EQ(entries[0].strings, std::vector<std::u16string>{u"Setup of Jx Client ended with 3010."});
    ASSERT_EQ(entries[1].strings.size(), 1u);
    EXPECT_EQ(entries[1].strings[0], std::u16string(4095, u'x')); // cut to the buffer

    jxplat::MachineDescription refusing;
    refusing.faultEventLog = true;
    root.Describe(refusing);
    CJxTools::WriteToEventLog(u"not written");
    EXPECT_EQ(jxplat::ReadEventLog().size(), 2u);
    EXPECT_EQ(RegisterEventSourceW(nullptr, u"Brellwick Client"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(RegisterEventSourceW(u"\\\\OTHER-PC", u"Brellwick Client"), nullptr);
    EXPECT_FALSE(DeregisterEventSource(reinterpret_cast<HANDLE>(0x1234)));
}

// DeleteMSIConfig in the process's view and DeleteMSIConfig64 in the 64-bit view.
class DeleteMsiConfig : public ::testing::TestWithParam<REGSAM> {
protected:
    static constexpr const WCHAR* kCode = u"{12345678-ABCD-EF01-2345-6789ABCDEF01}";
    static constexpr const WCHAR* kPacked = u"87654321DCBA10FE32547698BADCFE10";
    static constexpr const WCHAR* kOther = u"AAAAAAAABBBBCCCCDDDDEEEEEEEEEEEE";
    static constexpr const WCHAR* kFolders =
        u"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\Folders";
    static constexpr const WCHAR* kComponents =
        u"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components";
    static constexpr const WCHAR* kSharedDlls = u"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
    static constexpr const WCHAR* kUserData =
        u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products";
    static constexpr const WCHAR* kUninstall = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

    REGSAM View() const { return GetParam(); }
    void Delete(const std::u16string& code) const {
        if (View() == KEY_WOW64_64KEY)
            CJxTools::DeleteMSIConfig64(code);
        else
            CJxTools::DeleteMSIConfig(code);
    }
    void Put(HKEY root, const std::u16string& key, const WCHAR* name) const {
        CReg::PutStringToRegistry(root, key.c_str(), name, u"1", CRegStringType::Sz, View());
    }
    bool Key(HKEY root, const std::u16string& key) const {
        return CReg::IsValidPath(root, key.c_str(), View());
    }
    bool Value(const WCHAR* key, const WCHAR* name) const {
        return CReg::ValueExists(HKEY_LOCAL_MACHINE, key, name, View());
    }
    static std::u16string Sub(const WCHAR* key, const std::u16string& name) { return key + (u"\\" + name); }

    // Two products registered as Windows Installer does it.
    void Register() const {
        for (const WCHAR* packed : {kPacked, kOther}) {
            Put(HKEY_CLASSES_ROOT, Sub(u"Installer\\Features", packed) + u"\\Sub", u"Core");
            Put(HKEY_CLASSES_ROOT, Sub(u"Installer\\Products", packed), u"ProductName");
            Put(HKEY_LOCAL_MACHINE, Sub(kUserData, packed) + u"\\InstallProperties", u"LocalPackage");
            Put(HKEY_LOCAL_MACHINE, Sub(kUninstall, packed), u"DisplayName");
            Put(HKEY_LOCAL_MACHINE, Sub(kComponents, std::u16string(u"C_") + packed), packed);
        }
        Put(HKEY_LOCAL_MACHINE, Sub(kComponents, u"C_DEFAULT"), u""); // a default value only
        for (const WCHAR* folder : {u"C:\\Program Files\\Tolvane\\Client\\", u"C:\\Tolvane Software\\x\\",
                                    u"C:\\Windows\\Installer\\{12345678-abcd-ef01-2345-6789abcdef01}\\",
                                    u"C:\\Program Files\\Other\\"})
            Put(HKEY_LOCAL_MACHINE, kFolders, folder);
        for (const WCHAR* dll : {u"C:\\Program Files\\TOLVANE\\a.dll", u"C:\\Windows\\JxScrSv.scr",
                                 u"C:\\Program Files\\Other\\b.dll"})
            Put(HKEY_LOCAL_MACHINE, kSharedDlls, dll);
    }

    jxtest::TempMachineRoot m_Root;
};

TEST_P(DeleteMsiConfig, RemovesOnlyTheProductsRegistration) {
    Register();
    Delete(kCode);
    EXPECT_FALSE(Key(HKEY_CLASSES_ROOT, Sub(u"Installer\\Features", kPacked)));
    EXPECT_FALSE(Key(HKEY_CLASSES_ROOT, Sub(u"Installer\\Products", kPacked)));
    EXPECT_FALSE(Key(HKEY_LOCAL_MACHINE, Sub(kUserData, kPacked)));
    EXPECT_FALSE(Key(HKEY_LOCAL_MACHINE, Sub(kUninstall, kPacked)));
    EXPECT_FALSE(Key(HKEY_LOCAL_MACHINE, Sub(kComponents, std::u16string(u"C_") + kPacked)));
    EXPECT_FALSE(Value(kFolders, u"C:\\Program Files\\Tolvane\\Client\\"));
    EXPECT_FALSE(Value(kFolders, u"C:\\Tolvane Software\\x\\"));
    EXPECT_FALSE(Value(kFolders, u"C:\\Windows\\Installer\\{12345678-abcd-ef01-2345-6789abcdef01}\\"));
    EXPECT_FALSE(Value(kSharedDlls, u"C:\\Program Files\\TOLVANE\\a.dll"));
    EXPECT_FALSE(Value(kSharedDlls, u"C:\\Windows\\JxScrSv.scr"));
    // The other product and the foreign entries stay.
    EXPECT_TRUE(Key(HKEY_CLASSES_ROOT, Sub(u"Installer\\Features", kOther) + u"\\Sub"));
    EXPECT_TRUE(Key(HKEY_CLASSES_ROOT, Sub(u"Installer\\Products", kOther)));
    EXPECT_TRUE(Key(HKEY_LOCAL_MACHINE, Sub(kUserData, kOther)));
    EXPECT_TRUE(Key(HKEY_LOCAL_MACHINE, Sub(kUninstall, kOther)));
    EXPECT_TRUE(Key(HKEY_LOCAL_MACHINE, Sub(kComponents, std::u16string(u"C_") + kOther)));
    EXPECT_TRUE(Key(HKEY_LOCAL_MACHINE, Sub(kComponents, u"C_DEFAULT")));
    EXPECT_TRUE(Value(kFolders, u"C:\\Program Files\\Other\\"));
    EXPECT_TRUE(Value(kSharedDlls, u"C:\\Program Files\\Other\\b.dll"));
    // The other registry view is not touched.
    const REGSAM other = View() == KEY_WOW64_64KEY ? 0 : KEY_WOW64_64KEY;
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, Sub(kUninstall, kPacked).c_str(), u"DisplayName", u"1",
                              CRegStringType::Sz, other);
    Delete(kCode);
    EXPECT_TRUE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, Sub(kUninstall, kPacked).c_str(), other));
}

TEST_P(DeleteMsiConfig, CodeWithoutPackedFormChangesNothing) {
    Register();
    for (const std::u16string code : {u"", u"{1234}", u"not a code"}) {
        Delete(code);
        EXPECT_TRUE(Key(HKEY_CLASSES_ROOT, u"Installer\\Features\\" + std::u16string(kPacked)))
            << jxtext::N(code);
        EXPECT_TRUE(Key(HKEY_LOCAL_MACHINE, Sub(kComponents, u"C_DEFAULT")));
        EXPECT_TRUE(Value(kFolders, u"C:\\Program Files\\Tolvane\\Client\\"));
        EXPECT_TRUE(Value(kSharedDlls, u"C:\\Windows\\JxScrSv.scr"));
    }
}

INSTANTIATE_TEST_SUITE_P(Views, DeleteMsiConfig, ::testing::Values(REGSAM{0}, REGSAM{KEY_WOW64_64KEY}),
                         [](const auto& info) { return info.param ? "View64" : "OwnView"; });

} // namespace
