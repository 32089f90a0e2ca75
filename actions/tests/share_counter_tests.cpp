// The shared-component counters against a fresh registry: the decisions per feature action with the
// counts they save, and the side-by-side counters of installed products.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include <windows.h>

#include "jxbase/reg.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxShareCounterList.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

using namespace JxSetup::Data;

namespace {

const std::u16string kComponents = u"JxSetup\\Components";
const std::u16string kShared = u"[CommonFilesFolder]Tolvane\\Shared\\";
const WCHAR* const kSxsKey = u"SOFTWARE\\TOLVANE";

struct Stored {
    const char16_t* feature;
    const char16_t* destination;
    DWORD count;
};

struct Call {
    const char16_t* feature;
    const char16_t* destination;
    const char16_t* action;
    bool result;
};

struct CounterCase {
    const char* name;
    std::vector<Stored> before; // counters of the component "{C}"
    bool update;
    std::vector<Call> calls;
    std::vector<Stored> after; // the feature keys of "{C}" after the save; none: the key is gone
};

void PrintTo(const CounterCase& c, std::ostream* os) {
    *os << c.name;
}

std::u16string FeatureKey(const std::u16string& feature) {
    return kComponents + u"\\{C}\\" + feature;
}

void Store(const Stored& counter) {
    CReg::PutIntToRegistry(HKEY_CLASSES_ROOT, FeatureKey(counter.feature).c_str(), u"ShareCount",
                           counter.count, 0);
    CReg::PutStringToRegistry(HKEY_CLASSES_ROOT, FeatureKey(counter.feature).c_str(), u"DestinationDir",
                              counter.destination, CRegStringType::Sz, 0);
}

// The feature keys below "{C}" as they are now.
std::vector<std::u16string> StoredFeatures() {
    std::vector<std::u16string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (kComponents + u"\\{C}").c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return names;
    WCHAR name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

class ShareCounters : public ::testing::TestWithParam<CounterCase> {
protected:
    jxtest::TempMachineRoot m_Root;
    jxtest::CLogCapture m_Log;
};

TEST_P(ShareCounters, DecidesPerFeatureActionAndSavesTheCounts) {
    const CounterCase& c = GetParam();
    for (const Stored& counter : c.before)
        Store(counter);
    JxShareCounterList list;
    list.SetUpdate(c.update);
    for (const Call& call : c.calls)
        EXPECT_EQ(list.GetShareCountResult(u"{C}", call.feature, call.destination, call.action), call.result)
            << jxtext::N(call.feature) << " " << jxtext::N(call.action) << "\n"
            << m_Log.Dump();
    list.SaveShareCounter(u"Install");

    std::vector<std::u16string> expected;
    for (const Stored& counter : c.after) {
        expected.push_back(counter.feature);
        const std::u16string key = FeatureKey(counter.feature);
        EXPECT_EQ(CReg::GetIntFromRegistry(HKEY_CLASSES_ROOT, key.c_str(), u"ShareCount", 0, 0),
                  counter.count);
        EXPECT_EQ(CReg::GetStringFromRegistry(HKEY_CLASSES_ROOT, key.c_str(), u"DestinationDir", u"", 0),
                  counter.destination);
    }
    EXPECT_EQ(StoredFeatures(), expected);
    // The component's key goes with its last feature.
    EXPECT_EQ(CReg::IsValidPath(HKEY_CLASSES_ROOT, (kComponents + u"\\{C}").c_str(), 0), !c.after.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShareCounters,
    ::testing::Values(CounterCase{"FirstInstall",
                                  {},
                                  false,
                                  {{u"Core", kShared.c_str(), u"FeatureActionInstall", true}},
                                  {{u"Core", kShared.c_str(), 1}}},
                      // Another feature (another product's) holds the component in the same folder: it stays.
                      CounterCase{"RemovalWhileAnotherFeatureHoldsIt",
                                  {{u"Core", kShared.c_str(), 1}, {u"Other", kShared.c_str(), 1}},
                                  false,
                                  {{u"Core", kShared.c_str(), u"FeatureActionRemove", false}},
                                  {{u"Other", kShared.c_str(), 1}}},
                      CounterCase{"LastRemoval",
                                  {{u"Core", kShared.c_str(), 1}},
                                  false,
                                  {{u"Core", kShared.c_str(), u"FeatureActionRemove", true}},
                                  {}},
                      // Below the installation folder a component belongs to its own product.
                      CounterCase{"RemovalBelowTheInstallationFolder",
                                  {{u"Core", u"[INSTALLDIR]", 1}, {u"Other", u"[INSTALLDIR]", 1}},
                                  false,
                                  {{u"Core", u"[INSTALLDIR]", u"FeatureActionRemove", true}},
                                  {{u"Other", u"[INSTALLDIR]", 1}}},
                      CounterCase{"AStoredFiveCountsAsOne",
                                  {{u"Core", kShared.c_str(), 5}},
                                  false,
                                  {{u"Core", kShared.c_str(), u"FeatureActionRemove", true}},
                                  {}},
                      CounterCase{"InstallAndRemovalInOneRun",
                                  {},
                                  false,
                                  {{u"Core", kShared.c_str(), u"FeatureActionInstall", true},
                                   {u"Core", kShared.c_str(), u"FeatureActionRemove", true}},
                                  {{u"Core", kShared.c_str(), 1}}},
                      CounterCase{"AnUpdateKeepsAnExistingCount",
                                  {{u"Core", kShared.c_str(), 1}},
                                  true,
                                  {{u"Core", kShared.c_str(), u"FeatureActionRemove", true}},
                                  {{u"Core", kShared.c_str(), 1}}},
                      CounterCase{"NothingToDoKeepsTheCount",
                                  {{u"Core", kShared.c_str(), 1}},
                                  false,
                                  {{u"Core", kShared.c_str(), u"FeatureActionNothing", false}},
                                  {{u"Core", kShared.c_str(), 1}}},
                      // A destination that changed between versions: this run's entry is written last.
                      CounterCase{"TheDestinationChanged",
                                  {{u"Core", u"C:\\Old\\", 1}},
                                  false,
                                  {{u"Core", kShared.c_str(), u"FeatureActionInstall", true}},
                                  {{u"Core", kShared.c_str(), 1}}}),
    [](const ::testing::TestParamInfo<CounterCase>& info) { return std::string(info.param.name); });

TEST(ShareCounterList, ReloadForgetsWhatAPassRecorded) {
    jxtest::TempMachineRoot root;
    JxShareCounterList list;
    EXPECT_TRUE(list.GetShareCountResult(u"{C}", u"Core", kShared, u"FeatureActionInstall"));
    list.Reload();
    list.SaveShareCounter(u"Install");
    EXPECT_TRUE(StoredFeatures().empty());
}

TEST(ShareCounterList, AnIdThatIsNoKeyNameIsNotSaved) {
    jxtest::TempMachineRoot root;
    jxtest::CLogCapture log;
    JxShareCounterList list;
    EXPECT_TRUE(list.GetShareCountResult(u"{C}", u"..\\..\\Evil", kShared, u"FeatureActionInstall"));
    list.SaveShareCounter(u"Install");
    EXPECT_TRUE(log.Has("WARNING", "is not saved: not a key name")) << log.Dump();
    EXPECT_FALSE(CReg::IsValidPath(HKEY_CLASSES_ROOT, kComponents.c_str(), 0));
}

// Side-by-side products: this product, another one installed (its service and its folder are
// there) and one that is not.
class SxsCounters : public ::testing::Test {
protected:
    void SetUp() override {
        const std::u16string folder = u"C:\\Program Files\\Other\\";
        const std::u16string program = folder + u"svc.exe";
        const std::string host = jxplat::WindowsToHostPath(program);
        std::filesystem::create_directories(std::filesystem::path(host).parent_path());
        std::ofstream(host) << "service";
        SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        CloseServiceHandle(CreateServiceW(
            scm, u"OtherSvc", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
            SERVICE_ERROR_NORMAL, program.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
        CloseServiceHandle(scm);
        CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Other", u"RootPath", folder,
                                  CRegStringType::Sz, 0);

        m_Products.push_back(Product(u"{SELF}", u"", u"AV,Shared"));
        m_Products.push_back(Product(u"{OTHER}", u"OtherSvc", u"AV,,Other"));
        m_Products.push_back(Product(u"{ABSENT}", u"AbsentSvc", u"AV,Absent"));
    }

    static JxProductCode Product(const std::u16string& guid, const std::u16string& service,
                                 const std::u16string& counters) {
        JxProductCode product;
        product.guid = guid;
        product.name = guid;
        product.servicename = service;
        product.installdirhk = u"HKLM";
        product.installdirkey = u"SOFTWARE\\Other";
        product.installdirsubkey = u"RootPath";
        product.sxssharecounter = counters;
        return product;
    }

    static DWORD Value(const WCHAR* name) {
        return CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, kSxsKey, name, 0, 0);
    }
    static bool Has(const WCHAR* name) { return CReg::ValueExists(HKEY_LOCAL_MACHINE, kSxsKey, name, 0); }

    jxtest::TempMachineRoot m_Root;
    jxtest::CLogCapture m_Log;
    std::vector<JxProductCode> m_Products;
};

TEST_F(SxsCounters, CountsTheInstalledProductsAndItself) {
    JxShareCounterList list;
    EXPECT_TRUE(list.GetSxsShareCountResult(u"AV", u"Uninstall"));
    EXPECT_TRUE(m_Log.Has("WARNING", "SXS is not initialized.")) << m_Log.Dump();
    list.SaveSxsShareCounter(u"Install");
    EXPECT_FALSE(CReg::IsValidPath(HKEY_LOCAL_MACHINE, kSxsKey, 0)) << "nothing is written before";

    list.InitSxsShareCounter(m_Products, u"{self}");
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Identified myself {SELF}."));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Found installed SXS Product ({OTHER}) by service (OtherSvc)"));
    const std::map<std::u16string, int32_t, CShareCounterNameLess> expected = {
        {u"AV", 2}, {u"Shared", 1}, {u"Other", 1}};
    EXPECT_EQ(list.GetSxsCounters(), expected) << "an empty name is no counter\n" << m_Log.Dump();

    EXPECT_FALSE(list.GetSxsShareCountResult(u"av", u"Uninstall"));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "ShareCounter av found with value: 2"));
    EXPECT_TRUE(list.GetSxsShareCountResult(u"Shared", u"uninstall"));
    EXPECT_FALSE(list.GetSxsShareCountResult(u"Absent", u"Uninstall"));
    EXPECT_TRUE(list.GetSxsShareCountResult(u"AV", u"Install"));

    list.SaveSxsShareCounter(u"Install");
    EXPECT_EQ(Value(u"AV"), 2u);
    EXPECT_EQ(Value(u"Shared"), 1u);
    EXPECT_EQ(Value(u"Other"), 1u);
    EXPECT_FALSE(Has(u"")) << "the key's default value is no counter";
}

// An uninstall deletes the counters it ends and still sets the others right: a stale high value
// would keep the shared files of another product for ever.
TEST_F(SxsCounters, AnUninstallDeletesTheLastCountsAndFixesTheOthers) {
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, kSxsKey, u"AV", 5, 0);
    CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, kSxsKey, u"Shared", 1, 0);
    JxShareCounterList list;
    list.InitSxsShareCounter(m_Products, u"{SELF}");
    list.SaveShareCounter(u"Uninstall");
    EXPECT_FALSE(Has(u"Shared"));
    EXPECT_FALSE(Has(u"Other"));
    EXPECT_EQ(Value(u"AV"), 1u);
    EXPECT_TRUE(m_Log.Has("LP_INFO", "ShareCounter AV fixed. Old value: 5, new value: 1")) << m_Log.Dump();
}

} // namespace
