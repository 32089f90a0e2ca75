#include <vector>

#include "file_test_support.h"

namespace {

// Every name a search finds, in order; "!" alone when FindFirstFileW fails (with its error after it).
std::vector<std::string> Find(const std::u16string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data{};
    HANDLE search = FindFirstFileW(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return {"!", std::to_string(GetLastError())};
    do
        names.push_back(jxtext::N(data.cFileName));
    while (FindNextFileW(search, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(search));
    return names;
}

} // namespace

TEST_F(FileTest, SearchesMatchWildcardsIgnoringCase) {
    WriteBytes(u"C:\\work\\b.WPK", "1");
    WriteBytes(u"C:\\work\\a.wpk", "22");
    WriteBytes(u"C:\\work\\$SETUP.wpk", "3");
    WriteBytes(u"C:\\work\\readme", "4");
    ASSERT_TRUE(CreateDirectoryW(u"C:\\work\\sub", nullptr));
    using Names = std::vector<std::string>;
    struct {
        const char16_t* pattern;
        Names names;
    } rows[] = {
        {u"C:\\work\\*.wpk", {"$SETUP.wpk", "a.wpk", "b.WPK"}},
        {u"C:\\work\\?.WPK", {"a.wpk", "b.WPK"}},
        {u"C:\\work\\*", {".", "..", "$SETUP.wpk", "a.wpk", "b.WPK", "readme", "sub"}},
        {u"C:\\work\\*.*", {".", "..", "$SETUP.wpk", "a.wpk", "b.WPK", "readme", "sub"}},
        {u"C:\\work\\A.WPK", {"a.wpk"}},
        {u"C:\\work\\*.zip", {"!", std::to_string(ERROR_FILE_NOT_FOUND)}},
        {u"C:\\work\\none.txt", {"!", std::to_string(ERROR_FILE_NOT_FOUND)}},
        {u"C:\\nowhere\\*", {"!", std::to_string(ERROR_PATH_NOT_FOUND)}},
        {u"C:\\work\\", {"!", std::to_string(ERROR_FILE_NOT_FOUND)}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Find(row.pattern), row.names) << jxtext::N(row.pattern);

    // A drive's root lists no "." and "..".
    for (const std::string& name : Find(u"C:\\*"))
        EXPECT_TRUE(name != "." && name != "..");

    WIN32_FIND_DATAW data{};
    HANDLE search = FindFirstFileW(u"C:\\work\\a.wpk", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);
    EXPECT_EQ(data.nFileSizeLow, 2u);
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_FALSE(FindClose(search));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(FileTest, TemporaryFilesGetUniqueNamesInTheUsersTempFolder) {
    WCHAR folder[MAX_PATH + 1];
    const std::u16string expected = u"C:\\Users\\Tester\\AppData\\Local\\Temp\\";
    EXPECT_EQ(GetTempPathW(3, folder), expected.size() + 1);
    ASSERT_EQ(GetTempPathW(MAX_PATH + 1, folder), expected.size());
    EXPECT_EQ(std::u16string(folder), expected);

    WCHAR first[MAX_PATH], second[MAX_PATH];
    ASSERT_NE(GetTempFileNameW(folder, u"TFRX", 0, first), 0u);
    ASSERT_NE(GetTempFileNameW(folder, u"TFRX", 0, second), 0u);
    EXPECT_NE(std::u16string(first), std::u16string(second));
    for (const WCHAR* name : {first, second}) {
        const std::u16string text(name);
        EXPECT_TRUE(jxtext::StartsWithNoCase(text, expected + u"TFR")) << jxtext::N(text);
        EXPECT_TRUE(jxtext::EndsWithNoCase(text, u".TMP"));
        EXPECT_NE(GetFileAttributesW(name), INVALID_FILE_ATTRIBUTES); // made empty
    }
    // With a number of its own only the name is formed.
    EXPECT_EQ(GetTempFileNameW(u"C:\\work", u"ab", 0x1F, first), 0x1Fu);
    EXPECT_EQ(std::u16string(first), u"C:\\work\\ab1F.TMP");
    EXPECT_EQ(GetFileAttributesW(first), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetTempFileNameW(u"C:\\nowhere", u"x", 0, first), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
}
