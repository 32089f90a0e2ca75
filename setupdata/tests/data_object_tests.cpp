// The data object's property interface for other modules, its start values taken from the
// process, and the registry roots of the definition's root names.
#include <gtest/gtest.h>

#include "loader_support.h"

using namespace JxSetup::Data;

namespace {

class DataObject : public ::testing::Test {
protected:
    jxtest::TempMachineRoot m_Root;
    JxData m_Data;
};

TEST_F(DataObject, FoldersComeFromTheRunningProgram) {
    WCHAR path[520] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, path, 520), 0u);
    const std::u16string program(path);
    const size_t slash = program.rfind(u'\\');
    EXPECT_EQ(m_Data.CopyModuleDirectory(), program.substr(0, slash + 1));
    EXPECT_EQ(m_Data.m_ExeFileName, program.substr(slash + 1));
    EXPECT_EQ(m_Data.m_ExeFileName, u"setupdata_tests");
}

constexpr int kNoBuffer = 1000;

struct ValueCase {
    const char* name;
    const char16_t* value; // the property VALUE; nullptr leaves it unset
    int size;              // the size passed; kNoBuffer passes no buffer
    int expected;
    std::u16string buffer; // the whole buffer afterwards, from a buffer of 'x'
};

class DataAccessorValue : public DataObject, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(DataAccessorValue, CopiesWhatFitsAndTerminates) {
    const ValueCase& row = GetParam();
    if (row.value)
        m_Data.SetProperty(u"VALUE", row.value, 1);
    CPropertyAccessor* accessor = m_Data.GetPropertyAccessor();
    if (row.size == kNoBuffer) {
        EXPECT_EQ(accessor->GetPropertyValue(u"[VALUE]", nullptr, 0), row.expected);
        return;
    }
    std::u16string buffer(8, u'x');
    EXPECT_EQ(accessor->GetPropertyValue(u"[VALUE]", buffer.data(), row.size), row.expected);
    EXPECT_EQ(buffer, row.buffer);
}

INSTANTIATE_TEST_SUITE_P(
    DataValues, DataAccessorValue,
    ::testing::Values(ValueCase{"LengthWithoutBuffer", u"0123456789", kNoBuffer, 10, u""},
                      ValueCase{"CutToTheBuffer", u"0123456789", 4, 3, std::u16string(u"012\0xxxx", 8)},
                      ValueCase{"FitsAndZeroFillsTheRest", u"ab", 6, 2, std::u16string(u"ab\0\0\0\0xx", 8)},
                      ValueCase{"ExactFitLosesTheLastCharacter", u"abcd", 4, 3,
                                std::u16string(u"abc\0xxxx", 8)},
                      ValueCase{"EmptyLeavesTheBuffer", u"", 8, 0, u"xxxxxxxx"},
                      ValueCase{"UnsetLeavesTheBuffer", nullptr, 8, 0, u"xxxxxxxx"},
                      ValueCase{"SizeZeroWritesNothing", u"abc", 0, 0, u"xxxxxxxx"},
                      ValueCase{"NegativeSizeWritesNothing", u"abc", -5, 0, u"xxxxxxxx"},
                      ValueCase{"SizeOneTerminatesOnly", u"abc", 1, 0, std::u16string(u"\0xxxxxxx", 8)}),
    [](const ::testing::TestParamInfo<ValueCase>& info) { return std::string(info.param.name); });

TEST_F(DataObject, AccessorSetsAndTestsProperties) {
    CPropertyAccessor* accessor = m_Data.GetPropertyAccessor();
    EXPECT_EQ(accessor->GetPropertyValue(nullptr, nullptr, 0), 0);
    accessor->SetPropertyValue(u"A", nullptr);
    EXPECT_TRUE(m_Data.GetAllProperties().count(u"A")) << "a missing value is the empty text";
    accessor->SetPropertyValue(nullptr, u"x");
    accessor->SetPropertyValue(u"", u"x");
    EXPECT_FALSE(m_Data.GetAllProperties().count(u"")) << "no name, nothing set";

    accessor->SetPropertyBool(u"FLAG", true);
    EXPECT_EQ(m_Data.GetPropertyValue(u"FLAG"), u"true");
    EXPECT_TRUE(accessor->IsPropertyTrue(u"[FLAG]"));
    accessor->SetPropertyBool(u"FLAG", false);
    EXPECT_EQ(m_Data.GetPropertyValue(u"FLAG"), u"false");
    m_Data.SetProperty(u"UPPER", u"TRUE", 1);
    EXPECT_FALSE(accessor->IsPropertyTrue(u"[UPPER]")) << "exactly \"true\"";
    EXPECT_FALSE(accessor->IsPropertyTrue(nullptr));

    m_Data.SetProperty(u"\u00A7LOCKED", u"1", 1);
    EXPECT_TRUE(accessor->IsPropertyLocked(u"LOCKED"));
    EXPECT_FALSE(accessor->IsPropertyLocked(u"FLAG"));
    EXPECT_FALSE(accessor->IsPropertyLocked(nullptr));
    accessor->SetPropertyValue(u"LOCKED", u"2");
    EXPECT_EQ(m_Data.GetPropertyValue(u"LOCKED"), u"1");
    EXPECT_EQ(accessor->Reserved(), 0);
}

TEST(DataRecords, RegistryRootOfItsName) {
    const std::pair<const char16_t*, HKEY> cases[] = {{u"HKCU", HKEY_CURRENT_USER},
                                                      {u"hkcr", HKEY_CLASSES_ROOT},
                                                      {u"HKUS", HKEY_USERS},
                                                      {u"HKLM", HKEY_LOCAL_MACHINE},
                                                      {u"HKU", HKEY_LOCAL_MACHINE},
                                                      {u"", HKEY_LOCAL_MACHINE},
                                                      {u"HKEY_CURRENT_USER", HKEY_LOCAL_MACHINE}};
    for (const auto& [name, root] : cases)
        EXPECT_EQ(GetRegistryRootFromName(name), root) << jxtext::N(name);
}

} // namespace
