// The hive databases: one registry for every process of the machine, and damaged files reported
// with their names instead of being replaced.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"
#include "registry_test_support.h"

using namespace jxregtest;

namespace {

class RegistryStore : public ::testing::Test {
protected:
    jxtest::TempMachineRoot m_root;
};

// One byte through a pipe: the two processes take turns without sleeping.
void Signal(int fd) {
    char token = 1;
    ASSERT_EQ(1, write(fd, &token, 1));
}
bool Await(int fd) {
    char token = 0;
    return read(fd, &token, 1) == 1;
}

TEST_F(RegistryStore, ProcessesSeeEachOthersWrites) {
    int toParent[2], toChild[2];
    ASSERT_EQ(0, pipe(toParent));
    ASSERT_EQ(0, pipe(toChild));
    // Forked before this process opens the registry: each process has connections of its own.
    pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        // The child only calls the registry and leaves.
        LSTATUS status = WriteString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor", 0, u"Child", u"child");
        if (status == ERROR_SUCCESS)
            status = WriteString(HKEY_CURRENT_USER, u"Software\\JxVendor", 0, u"Child", u"child");
        char token = 1;
        if (write(toParent[1], &token, 1) != 1 || read(toChild[0], &token, 1) != 1)
            _exit(2);
        std::u16string text;
        if (status == ERROR_SUCCESS)
            status = ReadString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor", 0, u"Parent", &text);
        _exit(status == ERROR_SUCCESS && text == u"parent" ? 0 : 1);
    }
    ASSERT_TRUE(Await(toParent[0]));
    std::u16string text;
    EXPECT_EQ(ERROR_SUCCESS, ReadString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor", 0, u"Child", &text));
    EXPECT_EQ(u"child", text);
    EXPECT_EQ(ERROR_SUCCESS, ReadString(HKEY_CURRENT_USER, u"Software\\JxVendor", 0, u"Child", &text));
    EXPECT_EQ(u"child", text);
    // The child's connection is still open and must see this write too.
    EXPECT_EQ(ERROR_SUCCESS, WriteString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\JxVendor", 0, u"Parent", u"parent"));
    Signal(toChild[1]);
    int result = 0;
    ASSERT_EQ(child, waitpid(child, &result, 0));
    ASSERT_TRUE(WIFEXITED(result));
    EXPECT_EQ(0, WEXITSTATUS(result)) << "the child did not read the parent's value";
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]})
        close(fd);
}

TEST_F(RegistryStore, ThreadsShareOneRegistry) {
    constexpr int kThreads = 4;
    constexpr int kKeysEach = 10;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < kKeysEach; ++i) {
                std::u16string path = u"Software\\JxThreads\\T" + jxtext::ToText(t * 100 + i);
                std::u16string text;
                if (WriteString(HKEY_CURRENT_USER, path.c_str(), 0, u"v", path) != ERROR_SUCCESS ||
                    ReadString(HKEY_CURRENT_USER, path.c_str(), 0, u"v", &text) != ERROR_SUCCESS ||
                    text != path)
                    ++failures;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, failures.load());
    CKey parent;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"Software\\JxThreads", KEY_READ, &parent));
    EXPECT_EQ(size_t(kThreads * kKeysEach), SubkeyNames(parent).size());
}

// Writes a hive file before the registry first opens it.
void PlantHive(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ForeignDatabase(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE notes(text); PRAGMA user_version=7;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return jxtest::ReadHostFile(path);
}

TEST_F(RegistryStore, ADamagedHiveIsReportedByNameAndLeftAlone) {
    const std::string hive = jxplat::MachinePath("registry/HKLM.db");
    struct Case {
        const char* label;
        std::string bytes;
    };
    std::string garbage(8192, '\0');
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    const Case cases[] = {
        {"garbage bytes", garbage},
        {"a database of something else", ForeignDatabase(m_root.Path() + "/foreign.db")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        m_root.Describe(jxplat::MachineDescription{}); // the registry drops its connections
        PlantHive(hive, c.bytes);

        ::testing::internal::CaptureStderr();
        CKey key;
        DWORD size = 0;
        EXPECT_EQ(ERROR_REGISTRY_CORRUPT, Open(HKEY_LOCAL_MACHINE, u"SOFTWARE", KEY_READ, &key));
        EXPECT_EQ(ERROR_REGISTRY_CORRUPT, Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Jx", KEY_ALL_ACCESS, &key));
        EXPECT_EQ(ERROR_REGISTRY_CORRUPT, SetString(HKEY_LOCAL_MACHINE, u"Name", u"x"));
        EXPECT_EQ(ERROR_REGISTRY_CORRUPT,
                  RegQueryValueExW(HKEY_CLASSES_ROOT, u"", nullptr, nullptr, nullptr, &size));
        EXPECT_EQ(ERROR_REGISTRY_CORRUPT, RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE"));
        std::string errors = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(std::string::npos, errors.find(hive)) << errors;

        // The user's hive is another file and still works; the damaged file is untouched.
        EXPECT_EQ(ERROR_SUCCESS, WriteString(HKEY_CURRENT_USER, u"Software\\Jx", 0, u"Name", u"x"));
        EXPECT_TRUE(c.bytes == jxtest::ReadHostFile(hive)) << "the damaged file was changed";
        std::filesystem::remove(hive);
    }
}

} // namespace
