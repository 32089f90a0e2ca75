#include <gtest/gtest.h>

#include "jxplat/dosdevices.h"
#include "jxplat/text.h"
#include "jxpropertybag/NtPath.h"
#include "jxtest/machine_root.h"

namespace {

std::u16string Convert(const std::u16string& nt) {
    std::u16string dos = u"stale";
    ConvertNtPathToDosPath(nt.c_str(), dos);
    return dos;
}

TEST(NtPaths, EveryFormBecomesItsWin32Path) {
    jxtest::TempMachineRoot root;
    jxtest::WriteMachineFile(u"C:\\Tools\\probe.txt");
    const struct {
        const char16_t* nt;
        const char16_t* dos;
    } cases[] = {
        {u"", u""},
        {u"\\??\\C:\\Windows\\notepad.exe", u"C:\\Windows\\notepad.exe"},
        {u"\\\\?\\C:\\x.txt", u"C:\\x.txt"},
        {u"\\??\\UNC\\server\\share\\a.txt", u"\\\\server\\share\\a.txt"},
        {u"\\Device\\LanmanRedirector\\server\\share\\a.txt", u"\\\\server\\share\\a.txt"},
        {u"\\Device\\Mup\\server\\share\\a.txt", u"\\\\server\\share\\a.txt"},
        {u"\\Device\\Mup\\;LanmanRedirector\\;Z:"
         u"0000000000012345\\server\\share\\a.txt",
         u"Z:\\server\\share\\a.txt"},
        {u"\\Device\\HarddiskVolume2\\Windows\\notepad.exe", u"C:\\Windows\\notepad.exe"},
        {u"\\device\\harddiskvolume2\\Windows", u"C:\\Windows"},
        {u"\\Device\\HarddiskVolume2", u"C:"},
        {u"\\SystemRoot\\System32\\drivers\\x.sys", u"C:\\Windows\\System32\\drivers\\x.sys"},
        {u"\\Windows\\System32\\a.dll", u"C:\\Windows\\System32\\a.dll"},
        {u"\\DosDevices\\D:\\data", u"D:\\data"},
        {u"System32\\drivers\\y.sys", u"C:\\Windows\\System32\\drivers\\y.sys"},
        {u"\\Device\\HarddiskVolume9\\Tools\\probe.txt", u"C:\\Tools\\probe.txt"},
        {u"\\Tools\\probe.txt", u"C:\\Tools\\probe.txt"},
        {u"\\Device\\Unknown\\nothing.txt", u"\\Device\\Unknown\\nothing.txt"},
        {u"relative\\file.txt", u"relative\\file.txt"},
        {u"\\\\server\\share", u"\\\\server\\share"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Convert(c.nt), c.dos) << jxtext::Utf16ToUtf8(c.nt);
}

TEST(NtPaths, AVolumeIsAskedForOnceWithinItsLifetime) {
    jxtest::TempMachineRoot root;
    const DWORD before = jxplat::FilterGetDosNameCalls();
    EXPECT_EQ(Convert(u"\\Device\\HarddiskVolume2\\a.txt"), u"C:\\a.txt");
    EXPECT_EQ(Convert(u"\\Device\\HarddiskVolume2\\b.txt"), u"C:\\b.txt");
    EXPECT_EQ(jxplat::FilterGetDosNameCalls() - before, 1u);
    EXPECT_EQ(Convert(u"\\??\\C:\\c.txt"), u"C:\\c.txt");
    EXPECT_EQ(jxplat::FilterGetDosNameCalls() - before, 1u) << "a prefix rule ends the conversion";
}

} // namespace
