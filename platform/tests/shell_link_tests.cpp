// The shell link object: a link saved and loaded again keeps its data, the file is a shell-link
// file that an independent reader understands, and files that are no links are refused.
#include <fstream>

#include "file_test_support.h"
#include "jxplat/propkey.h"
#include "jxplat/propvarutil.h"
#include "jxplat/shobjidl.h"
#include "jxtest/run_program.h"

namespace {

class ShellLinkTest : public FileTest {
protected:
    void SetUp() override {
        FileTest::SetUp();
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    }
    void TearDown() override { CoUninitialize(); }

    static IShellLinkW* NewLink() {
        IShellLinkW* link = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)),
                  S_OK);
        return link;
    }
    template <class T> static T* As(IUnknown* object, REFIID iid) {
        T* out = nullptr;
        EXPECT_EQ(object->QueryInterface(iid, reinterpret_cast<void**>(&out)), S_OK);
        return out;
    }
    static HRESULT Load(IShellLinkW* link, const std::u16string& path) {
        IPersistFile* file = As<IPersistFile>(link, IID_IPersistFile);
        const HRESULT result = file->Load(path.c_str(), STGM_READ);
        file->Release();
        return result;
    }
    static std::u16string PathOf(IShellLinkW* link, HRESULT expected = S_OK) {
        WCHAR text[MAX_PATH] = {u'x'};
        EXPECT_EQ(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH), expected);
        return text;
    }
    static std::u16string AppIdOf(IShellLinkW* link) {
        IPropertyStore* store = As<IPropertyStore>(link, IID_IPropertyStore);
        PROPVARIANT value;
        EXPECT_EQ(store->GetValue(PKEY_AppUserModel_ID, &value), S_OK);
        std::u16string text = value.vt == VT_LPWSTR ? value.pwszVal : u"<empty>";
        PropVariantClear(&value);
        store->Release();
        return text;
    }
    // A saved link to C:\work\Prog Ö\app.exe with every field set and an application id.
    void SaveSampleLink(const std::u16string& linkPath) {
        ASSERT_TRUE(CreateDirectoryW(u"C:\\work\\Prog \u00d6", nullptr));
        WriteBytes(u"C:\\work\\Prog \u00d6\\app.exe", "MZ program");
        IShellLinkW* link = NewLink();
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->SetPath(u"C:\\work\\Prog \u00d6\\app.exe"), S_OK);
        EXPECT_EQ(link->SetDescription(u"Starts the app"), S_OK);
        EXPECT_EQ(link->SetIconLocation(u"C:\\work\\Prog \u00d6\\app.ico", 3), S_OK);
        EXPECT_EQ(link->SetArguments(u"/quiet"), S_OK);
        EXPECT_EQ(link->SetWorkingDirectory(u"C:\\work"), S_OK);
        IPropertyStore* store = As<IPropertyStore>(link, IID_IPropertyStore);
        PROPVARIANT value;
        ASSERT_EQ(InitPropVariantFromString(u"Tolvane.App.1", &value), S_OK);
        EXPECT_EQ(store->SetValue(PKEY_AppUserModel_ID, value), S_OK);
        EXPECT_EQ(store->Commit(), S_OK);
        EXPECT_EQ(PropVariantClear(&value), S_OK);
        EXPECT_EQ(value.vt, VT_EMPTY);
        // Set after the commit: the file must not get it.
        const PROPERTYKEY other = {PKEY_AppUserModel_ID.fmtid, 11};
        ASSERT_EQ(InitPropVariantFromString(u"not committed", &value), S_OK);
        EXPECT_EQ(store->SetValue(other, value), S_OK);
        PropVariantClear(&value);
        store->Release();
        IPersistFile* file = As<IPersistFile>(link, IID_IPersistFile);
        EXPECT_EQ(file->Save(linkPath.c_str(), TRUE), S_OK);
        file->Release();
        link->Release();
    }
};

TEST_F(ShellLinkTest, SavedLinkLoadsWithItsDataBelowTheMachineRoot) {
    SaveSampleLink(u"c:\\WORK\\Sample.lnk");
    EXPECT_FALSE(ReadBytes(u"C:\\work\\Sample.lnk").empty()) << "the link lives below drive_c of the root";

    IShellLinkW* link = NewLink();
    ASSERT_EQ(Load(link, u"C:\\work\\sample.LNK"), S_OK);
    EXPECT_EQ(PathOf(link), u"C:\\work\\Prog \u00d6\\app.exe");
    WCHAR text[MAX_PATH] = {};
    EXPECT_EQ(link->GetDescription(text, MAX_PATH), S_OK);
    EXPECT_EQ(std::u16string(text), u"Starts the app");
    int icon = -1;
    EXPECT_EQ(link->GetIconLocation(text, MAX_PATH, &icon), S_OK);
    EXPECT_EQ(std::u16string(text), u"C:\\work\\Prog \u00d6\\app.ico");
    EXPECT_EQ(icon, 3);
    EXPECT_EQ(link->GetArguments(text, MAX_PATH), S_OK);
    EXPECT_EQ(std::u16string(text), u"/quiet");
    EXPECT_EQ(link->GetWorkingDirectory(text, MAX_PATH), S_OK);
    EXPECT_EQ(std::u16string(text), u"C:\\work");
    EXPECT_EQ(AppIdOf(link), u"Tolvane.App.1");
    IPropertyStore* store = As<IPropertyStore>(link, IID_IPropertyStore);
    DWORD count = 0;
    EXPECT_EQ(store->GetCount(&count), S_OK);
    EXPECT_EQ(count, 1u) << "only committed properties are saved";
    store->Release();

    // A short buffer gets the path cut; a resolve without a target on disk still succeeds.
    EXPECT_EQ(link->GetPath(text, 8, nullptr, SLGP_RAWPATH), S_OK);
    EXPECT_EQ(std::u16string(text), u"C:\\work");
    EXPECT_EQ(link->Resolve(nullptr, SLR_NO_UI | SLR_NOUPDATE | SLR_NOSEARCH | SLR_NOTRACK | SLR_NOLINKINFO),
              S_OK);
    ASSERT_TRUE(DeleteFileW(u"C:\\work\\Prog \u00d6\\app.exe"));
    EXPECT_EQ(link->Resolve(nullptr, SLR_NO_UI), S_FALSE);
    EXPECT_EQ(PathOf(link), u"C:\\work\\Prog \u00d6\\app.exe");
    link->Release();
}

TEST_F(ShellLinkTest, IndependentReaderUnderstandsTheFile) {
    if (jxtest::CommandOutput("command -v lnkinfo").empty())
        GTEST_SKIP() << "lnkinfo (liblnk-utils) is not installed";
    SaveSampleLink(u"C:\\work\\Sample.lnk");
    const std::string info =
        jxtest::CommandOutput("lnkinfo '" + jxplat::WindowsToHostPath(u"C:\\work\\Sample.lnk") + "' 2>&1");
    EXPECT_NE(info.find("Local path"), std::string::npos) << info;
    EXPECT_NE(info.find("C:\\work\\Prog \xc3\x96\\app.exe"), std::string::npos) << info;
    EXPECT_NE(info.find("Starts the app"), std::string::npos) << info;
    EXPECT_NE(info.find("C:\\work\\Prog \xc3\x96\\app.ico"), std::string::npos) << info;
    EXPECT_NE(info.find("/quiet"), std::string::npos) << info;
}

TEST_F(ShellLinkTest, FilesThatAreNoLinksAreRefused) {
    SaveSampleLink(u"C:\\work\\Sample.lnk");
    const std::string good = ReadBytes(u"C:\\work\\Sample.lnk");
    ASSERT_GT(good.size(), 200u);
    std::string badClsid = good;
    badClsid[5] ^= 0x55;
    std::string hugeLinkInfo = good;
    hugeLinkInfo[76] = '\xff'; // LinkInfoSize far beyond the file
    hugeLinkInfo[77] = '\xff';
    struct {
        const char* name;
        std::string bytes;
        HRESULT expected;
    } rows[] = {
        {"text file", "[InternetShortcut]\r\nURL=http://127.0.0.1/\r\n",
         HRESULT_FROM_WIN32(ERROR_BAD_FORMAT)},
        {"empty file", "", HRESULT_FROM_WIN32(ERROR_BAD_FORMAT)},
        {"header only", good.substr(0, 76), HRESULT_FROM_WIN32(ERROR_BAD_FORMAT)},
        {"cut in the string data", good.substr(0, good.size() - 120), HRESULT_FROM_WIN32(ERROR_BAD_FORMAT)},
        {"other class id", badClsid, HRESULT_FROM_WIN32(ERROR_BAD_FORMAT)},
        {"link info beyond the end", hugeLinkInfo, HRESULT_FROM_WIN32(ERROR_BAD_FORMAT)},
    };
    IShellLinkW* link = NewLink();
    ASSERT_EQ(Load(link, u"C:\\work\\Sample.lnk"), S_OK);
    for (const auto& row : rows) {
        WriteBytes(u"C:\\work\\bad.lnk", row.bytes);
        EXPECT_EQ(Load(link, u"C:\\work\\bad.lnk"), row.expected) << row.name;
        EXPECT_EQ(PathOf(link), u"C:\\work\\Prog \u00d6\\app.exe")
            << row.name << ": a failed load keeps the link";
    }
    // Every cut of the file is read within its bounds (the sanitizers watch): loaded or refused.
    for (size_t size = 0; size < good.size(); ++size) {
        WriteBytes(u"C:\\work\\bad.lnk", good.substr(0, size));
        const HRESULT result = Load(link, u"C:\\work\\bad.lnk");
        EXPECT_TRUE(result == S_OK || result == HRESULT_FROM_WIN32(ERROR_BAD_FORMAT)) << size;
    }
    EXPECT_EQ(Load(link, u"C:\\work\\missing.lnk"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Load(link, u"C:\\nowhere\\missing.lnk"), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    link->Release();
}

TEST_F(ShellLinkTest, CreationNeedsComAndKnowsOnlyTheShellLink) {
    IUnknown* object = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(CoCreateInstance(IID_IPersistFile, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW /* fine */,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    object->Release();
    EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, CLSID_ShellLink,
                               reinterpret_cast<void**>(&object)),
              E_NOINTERFACE);
    CoUninitialize();
    EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                               reinterpret_cast<void**>(&object)),
              CO_E_NOTINITIALIZED);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK); // for TearDown
}

TEST_F(ShellLinkTest, SaveIntoAMissingFolderFails) {
    IShellLinkW* link = NewLink();
    ASSERT_EQ(link->SetPath(u"C:\\work\\app.exe"), S_OK);
    IPersistFile* file = As<IPersistFile>(link, IID_IPersistFile);
    EXPECT_EQ(file->Save(u"C:\\work\\no such folder\\App.lnk", TRUE),
              HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    file->Release();
    link->Release();
}

} // namespace
