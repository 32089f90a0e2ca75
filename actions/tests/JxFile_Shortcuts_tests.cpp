// Shortcuts of the file record's helpers against a fresh machine root: creation on the common
// desktop and in program groups, the application id by Windows version, resolution (with its
// path limit) and the deletion of the first link to a file.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/machine.h"
#include "jxplat/propkey.h"
#include "jxplat/shobjidl.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxFile.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

namespace {

using JxSetup::Data::JxFile;
using JxSetup::Data::JxShortcutDescription;

constexpr const char16_t* kApp = u"C:\\Program Files (x86)\\Tolvane\\app.exe";
constexpr const char16_t* kHelp = u"C:\\Program Files (x86)\\Tolvane\\help.exe";

std::u16string Folder(int csidl) {
    return jxplat::SpecialFolderPath(csidl);
}

// What a saved link holds, read back through the shell link object.
struct LinkContent {
    std::u16string target, description, iconPath, appId;
    int iconIndex = -1;
};
LinkContent ReadLink(const std::u16string& path) {
    LinkContent content;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return content;
    IPersistFile* file = nullptr;
    IPropertyStore* store = nullptr;
    link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    link->QueryInterface(IID_IPropertyStore, reinterpret_cast<void**>(&store));
    if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
        WCHAR text[MAX_PATH] = {};
        link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
        content.target = text;
        link->GetDescription(text, MAX_PATH);
        content.description = text;
        link->GetIconLocation(text, MAX_PATH, &content.iconIndex);
        content.iconPath = text;
        PROPVARIANT value;
        if (SUCCEEDED(store->GetValue(PKEY_AppUserModel_ID, &value)) && value.vt == VT_LPWSTR)
            content.appId = value.pwszVal;
        PropVariantClear(&value);
    }
    store->Release();
    file->Release();
    link->Release();
    return content;
}

class Shortcuts : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        jxtest::WriteMachineFile(kApp, "MZ");
        jxtest::WriteMachineFile(kHelp, "MZ");
    }
    void TearDown() override { CoUninitialize(); }

    static bool Create(int folder, const std::u16string& name, const std::u16string& target,
                       const std::u16string& appId = u"") {
        JxShortcutDescription description;
        description.m_nFolderIndex = folder;
        description.m_strLinkName = name;
        description.m_strFile = target;
        description.m_strIconPath = u"C:\\Program Files (x86)\\Tolvane\\app.ico";
        description.m_nIconIndex = 2;
        description.m_strDescription = u"Tolvane Console";
        description.m_strAppID = appId;
        return JxFile::CreateShortcut(description);
    }

    jxtest::TempMachineRoot m_root;
    jxtest::CLogCapture m_log;
};

TEST_F(Shortcuts, CreatesOnTheCommonDesktopAndInProgramGroups) {
    struct {
        int folder;
        const char16_t* name;
        const char16_t* expectedPath;
    } rows[] = {
        {CSIDL_COMMON_DESKTOPDIRECTORY, u"Tolvane Console",
         u"C:\\Users\\Public\\Desktop\\Tolvane Console.lnk"},
        {CSIDL_COMMON_PROGRAMS, u"Tolvane Suite\\Tools\\Tolvane Console",
         u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Tolvane Suite\\Tools\\Tolvane "
         u"Console.lnk"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(jxtext::N(row.name));
        m_log.Clear();
        ASSERT_TRUE(Create(row.folder, row.name, kApp, u"Tolvane.Console"));
        EXPECT_TRUE(m_log.Has("LP_INFO", "Shortcut " + jxtext::N(row.expectedPath) + " created."))
            << m_log.Dump();
        EXPECT_TRUE(m_log.Has("END", "true"));
        const LinkContent link = ReadLink(row.expectedPath);
        EXPECT_EQ(link.target, kApp);
        EXPECT_EQ(link.description, u"Tolvane Console");
        EXPECT_EQ(link.iconPath, u"C:\\Program Files (x86)\\Tolvane\\app.ico");
        EXPECT_EQ(link.iconIndex, 2);
        EXPECT_EQ(link.appId, u"Tolvane.Console");

        std::u16string target = u"stale";
        EXPECT_EQ(JxFile::ResolveShortcut(row.expectedPath, target), S_OK);
        EXPECT_EQ(target, kApp);
    }
    // Creating again replaces the link.
    ASSERT_TRUE(Create(CSIDL_COMMON_DESKTOPDIRECTORY, u"Tolvane Console", kHelp));
    EXPECT_EQ(ReadLink(u"C:\\Users\\Public\\Desktop\\Tolvane Console.lnk").target, kHelp);
}

TEST_F(Shortcuts, ApplicationIdOnlyFromWindows8On) {
    struct {
        DWORD major, minor;
        bool withAppId;
    } rows[] = {{6, 1, false}, {6, 2, true}, {10, 0, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.major) + "." + std::to_string(row.minor));
        jxplat::MachineDescription machine;
        machine.windowsMajor = row.major;
        machine.windowsMinor = row.minor;
        m_root.Describe(machine);
        m_log.Clear();
        ASSERT_TRUE(Create(CSIDL_COMMON_DESKTOPDIRECTORY, u"Tolvane Console", kApp, u"Tolvane.Console"));
        const LinkContent link = ReadLink(u"C:\\Users\\Public\\Desktop\\Tolvane Console.lnk");
        EXPECT_EQ(link.target, kApp) << "the shortcut is made either way";
        EXPECT_EQ(link.appId, row.withAppId ? u"Tolvane.Console" : u"");
        EXPECT_EQ(m_log.Has("LP_INFO", "AppID is not empty. OS is win8 or newer"), row.withAppId);
        // With an application id the link is saved twice, and the value made is released.
        EXPECT_EQ(m_log.Count("LP_INFO", "created."), row.withAppId ? 2u : 1u);
        EXPECT_EQ(m_log.Has("LP_INFO", "Property varian AppID cleared."), row.withAppId);
    }
}

TEST_F(Shortcuts, CreateRefusesWhatCannotBeLinked) {
    struct {
        const char* name;
        int folder;
        const char16_t* linkName;
        const char16_t* target;
        const char* line;
    } rows[] = {
        {"no link name", CSIDL_COMMON_DESKTOPDIRECTORY, u"", kApp, "LinkName or File empty."},
        {"no target", CSIDL_COMMON_DESKTOPDIRECTORY, u"Tolvane Console", u"", "LinkName or File empty."},
        {"missing target", CSIDL_COMMON_DESKTOPDIRECTORY, u"Tolvane Console", u"C:\\missing\\app.exe",
         "File doesn't exist"},
        {"unknown folder", 0x7e, u"Tolvane Console", kApp, "false"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        m_log.Clear();
        EXPECT_FALSE(Create(row.folder, row.linkName, row.target));
        EXPECT_TRUE(m_log.Has("END", row.line)) << m_log.Dump();
    }
    EXPECT_FALSE(jxtest::MachinePathExists(u"C:\\Users\\Public\\Desktop\\Tolvane Console.lnk"));
}

TEST_F(Shortcuts, ResolveGivesTheTargetOrTheFailure) {
    ASSERT_TRUE(Create(CSIDL_COMMON_DESKTOPDIRECTORY, u"Help", kHelp));
    const std::u16string link = u"C:\\Users\\Public\\Desktop\\Help.lnk";
    jxtest::WriteMachineFile(u"C:\\work\\notes.lnk", "[InternetShortcut]\r\nURL=http://127.0.0.1/\r\n");

    std::u16string target = u"stale";
    EXPECT_EQ(JxFile::ResolveShortcut(u"C:\\work\\notes.lnk", target), HRESULT_FROM_WIN32(ERROR_BAD_FORMAT));
    EXPECT_EQ(target, u"");
    EXPECT_EQ(JxFile::ResolveShortcut(u"C:\\work\\missing.lnk", target),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(target, u"");
    EXPECT_TRUE(m_log.Has("END", "0x80070002")) << m_log.Dump();

    // A link whose target is gone still names it (no search, no user interface).
    ASSERT_TRUE(DeleteFileW(kHelp));
    EXPECT_EQ(JxFile::ResolveShortcut(link, target), S_OK);
    EXPECT_EQ(target, kHelp);
}

TEST_F(Shortcuts, ResolveRefusesPathsBeyondMaxPathInsteadOfCuttingThem) {
    // A link path of 259 characters, and a longer one that starts with it: cut to 259 characters,
    // the longer path would name the other link.
    const std::u16string folder = u"C:\\work\\" + std::u16string(200, u'f');
    const std::u16string shortPath = folder + u"\\" + std::u16string(50 - 4, u'n') + u".lnk";
    ASSERT_EQ(shortPath.size(), 259u);
    ASSERT_TRUE(Create(CSIDL_COMMON_DESKTOPDIRECTORY, u"Help", kHelp));
    ASSERT_TRUE(Create(CSIDL_COMMON_DESKTOPDIRECTORY, u"App", kApp));
    const std::string hostFolder = jxplat::WindowsToHostPath(u"C:\\work") + "/" + std::string(200, 'f');
    std::filesystem::create_directories(hostFolder);
    std::filesystem::copy_file(jxplat::WindowsToHostPath(u"C:\\Users\\Public\\Desktop\\Help.lnk"),
                               jxplat::WindowsToHostPath(shortPath));

    struct {
        std::u16string path;
        HRESULT expected;
        const char16_t* target;
    } rows[] = {
        {shortPath, S_OK, kHelp},
        {shortPath.substr(0, 255) + u"n.lnk", HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), u""},
        {shortPath + u"_other.lnk", HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), u""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path.size());
        if (row.path != shortPath)
            std::filesystem::copy_file(jxplat::WindowsToHostPath(u"C:\\Users\\Public\\Desktop\\App.lnk"),
                                       hostFolder + "/" + jxtext::N(JxFile::GetFilePart(row.path)));
        m_log.Clear();
        std::u16string target = u"stale";
        EXPECT_EQ(JxFile::ResolveShortcut(row.path, target), row.expected);
        EXPECT_EQ(target, row.target);
        EXPECT_EQ(m_log.Has("WARNING", "Shortcut path is longer than 259 characters"), row.expected != S_OK)
            << m_log.Dump();
    }
}

TEST_F(Shortcuts, DeleteOnTheDesktopRemovesTheFirstLinkToTheFile) {
    const std::u16string desktop = Folder(CSIDL_COMMON_DESKTOPDIRECTORY);
    ASSERT_TRUE(Create(CSIDL_COMMON_DESKTOPDIRECTORY, u"Help", kHelp));
    ASSERT_TRUE(Create(CSIDL_COMMON_DESKTOPDIRECTORY, u"Console", kApp));
    ASSERT_TRUE(Create(CSIDL_COMMON_DESKTOPDIRECTORY, u"Console 2", kApp));
    jxtest::WriteMachineFile(desktop + u"\\broken.lnk", "not a link");

    EXPECT_TRUE(JxFile::DeleteShortcuts(CSIDL_COMMON_DESKTOPDIRECTORY, jxtext::ToUpper(kApp)));
    EXPECT_NE(jxtest::MachinePathExists(desktop + u"\\Console.lnk"),
              jxtest::MachinePathExists(desktop + u"\\Console 2.lnk"))
        << "exactly one goes";
    EXPECT_TRUE(jxtest::MachinePathExists(desktop + u"\\Help.lnk"));
    EXPECT_TRUE(jxtest::MachinePathExists(desktop + u"\\broken.lnk"));
    EXPECT_EQ(m_log.Count("LP_INFO", "Shortcut found. Deleting file"), 1u);

    // No link to the file: nothing goes, still true.
    EXPECT_TRUE(JxFile::DeleteShortcuts(CSIDL_COMMON_DESKTOPDIRECTORY, u"C:\\elsewhere\\app.exe"));
    EXPECT_TRUE(jxtest::MachinePathExists(desktop + u"\\Help.lnk"));
}

TEST_F(Shortcuts, DeleteInProgramGroupsRemovesAnEmptiedGroup) {
    const std::u16string programs = Folder(CSIDL_COMMON_PROGRAMS);
    ASSERT_TRUE(Create(CSIDL_COMMON_PROGRAMS, u"Other Vendor\\Console", kApp)); // not a "Tolvane*" group
    ASSERT_TRUE(Create(CSIDL_COMMON_PROGRAMS, u"Tolvane Tools\\Help", kHelp));
    ASSERT_TRUE(Create(CSIDL_COMMON_PROGRAMS, u"Tolvane Suite\\Console", kApp));

    EXPECT_TRUE(JxFile::DeleteShortcuts(CSIDL_COMMON_PROGRAMS, kApp));
    EXPECT_FALSE(jxtest::MachinePathExists(programs + u"\\Tolvane Suite")) << m_log.Dump();
    EXPECT_TRUE(jxtest::MachinePathExists(programs + u"\\Tolvane Tools\\Help.lnk"));
    EXPECT_TRUE(jxtest::MachinePathExists(programs + u"\\Other Vendor\\Console.lnk"));
    EXPECT_TRUE(m_log.Has("LP_INFO", "Program goup is empty, deleting it..."));

    // A group that keeps other entries stays.
    ASSERT_TRUE(Create(CSIDL_COMMON_PROGRAMS, u"Tolvane Tools\\Console", kApp));
    EXPECT_TRUE(JxFile::DeleteShortcuts(CSIDL_COMMON_PROGRAMS, kApp));
    EXPECT_FALSE(jxtest::MachinePathExists(programs + u"\\Tolvane Tools\\Console.lnk"));
    EXPECT_TRUE(jxtest::MachinePathExists(programs + u"\\Tolvane Tools\\Help.lnk"));
}

} // namespace
