// The log file: its place and name, UTF-16 XML that an independent reader reads back as logged,
// renaming while the run goes on, and every queued line on disk once the writer stops.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <thread>

#include "jxtest/run_program.h"
#include "log_support.h"

using namespace JxSetup::Data;
using jxlogtest::kLogsFolder;

namespace {

const std::u16string kHeader =
    u"<?xml version=\"1.0\" encoding=\"utf-16\" standalone=\"yes\"?>\r\n<LogFile>\r\n";
const std::regex kDateTime(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d)");

class LogFile : public jxlogtest::LogTest {};

TEST_F(LogFile, IsUtf16XmlThatAReaderReadsBackAsLogged) {
    ASSERT_TRUE(Log()->OpenLogFile());
    const std::u16string path = Log()->GetLogFileName();
    ASSERT_TRUE(path.starts_with(kLogsFolder + u"\\")) << jxtext::N(path);
    const std::string pid = std::to_string(GetCurrentProcessId());
    EXPECT_TRUE(std::regex_match(jxtext::N(path.substr(kLogsFolder.size() + 1)),
                                 std::regex(R"(Log_\d\d_\d\d_\d{4}_\d\d_\d\d_\d\d_)" + pid + R"(\.log)")))
        << jxtext::N(path);

    struct Row {
        const char* name;
        std::u16string message;
        std::u16string read; // what a reader sees
    };
    const Row rows[] = {
        {"CDataEnd", u"a]]>b", u"a]]>b"},
        {"CDataEndsOverlapping", u"]]]>x]]>", u"]]]>x]]>"},
        {"Markup", u"<tag a=\"v\"> & 'q'", u"<tag a=\"v\"> & 'q'"},
        {"InnerLineBreaks", u"one\r\ntwo\tthree\nfour", u"one\r\ntwo\tthree\nfour"},
        {"TrailingWhitespace", u"text \t\r\n \r\n", u"text"},
        {"SurrogatePair", u"smile \U0001F600", u"smile \U0001F600"},
        {"ForbiddenControl", u"bell\x07!", u"bell\xFFFD!"},
        {"LoneSurrogate", u"x\xD800y", u"x\xFFFDy"},
    };
    const std::u16string module = u"mod\"<&>'";
    const std::u16string context = u"Ns::\"Op\"\t<1>\r\n";
    for (const Row& row : rows)
        Log()->Log(LP_WARNING, module.c_str(), context.c_str(), u"%s", row.message.c_str());
    Log()->Log(HP_INFO, u"lib", u"JxSetup::Data::JxData::Plain", u"%d%% of %s", 50, u"work");
    Log()->LogProperty(u"Name\"&", u"va]]>lue\"", u"", u"true", u"false");
    Log()->CloseLogFile(true);

    const std::string bytes = jxlogtest::ReadLogBytes(path);
    const std::u16string text = jxlogtest::AsUtf16(bytes);
    ASSERT_TRUE(text.starts_with(kHeader)) << "no byte-order mark, the header first";
    EXPECT_TRUE(text.ends_with(u"\r\n</LogFile>"));

    const jxlogtest::ParsedLog log = jxlogtest::ParseLogBytes(bytes);
    ASSERT_TRUE(log.wellFormed) << jxtext::N(text);
    EXPECT_EQ(log.rootName, "LogFile");
    const auto entries = log.Entries(module);
    ASSERT_EQ(entries.size(), std::size(rows));
    for (size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(jxtext::N(entries[i].text), jxtext::N(rows[i].read));
        EXPECT_EQ(entries[i].Attr("msgtype"), u"WARNING");
        EXPECT_EQ(entries[i].Attr("context"), context);
        EXPECT_EQ(jxtext::N(entries[i].Attr("pid")), pid);
        EXPECT_TRUE(std::regex_match(jxtext::N(entries[i].Attr("datetime")), kDateTime));
    }
    const auto lib = log.Entries(u"lib");
    ASSERT_EQ(lib.size(), 1u);
    EXPECT_EQ(lib[0].text, u"50% of work");
    EXPECT_EQ(lib[0].Attr("msgtype"), u"HP_INFO");

    const jxlogtest::Record* property = nullptr;
    for (const auto& r : log.records)
        if (r.element == "Property")
            property = &r;
    ASSERT_NE(property, nullptr);
    EXPECT_EQ(property->Attr("name"), u"Name\"&");
    EXPECT_EQ(property->text, u"va]]>lue\"");
    EXPECT_EQ(property->Attr("localizable"), u"");
    EXPECT_EQ(property->Attr("locked"), u"true");
    EXPECT_EQ(property->Attr("numeric"), u"false");
    EXPECT_TRUE(std::regex_match(jxtext::N(property->Attr("datetime")), kDateTime));

    // One element per line: the header's two lines, one per record, the footer.
    size_t lineEnds = 0;
    for (size_t at = text.find(u"\r\n"); at != std::u16string::npos; at = text.find(u"\r\n", at + 2))
        ++lineEnds;
    EXPECT_EQ(lineEnds, 2 + log.records.size());
}

TEST_F(LogFile, ChangeLogFileRenamesTheFileAndGoesOnWritingIt) {
    ASSERT_TRUE(Log()->OpenLogFile());
    const std::u16string first = Log()->GetLogFileName();
    const std::u16string suffix = first.substr(kLogsFolder.size() + 1 + 3); // after "Log"
    Log()->Log(LP_INFO, u"lib", u"Before", u"first line");

    Log()->ChangeLogFile(u"Setup");
    const std::u16string renamed = Log()->GetLogFileName();
    EXPECT_EQ(jxtext::N(renamed), jxtext::N(kLogsFolder + u"\\Setup" + suffix));
    EXPECT_FALSE(std::filesystem::exists(jxplat::WindowsToHostPath(first)));
    Log()->Log(LP_INFO, u"lib", u"After", u"second line");

    // A name that is taken is not replaced: the file keeps its name and says so.
    const std::u16string taken = kLogsFolder + u"\\Taken" + suffix;
    jxtest::WriteMachineFile(taken, "someone else's");
    Log()->ChangeLogFile(u"Taken");
    EXPECT_EQ(jxtest::ReadHostFile(jxplat::WindowsToHostPath(taken)), "someone else's");
    Log()->ChangeLogFile(u"SETUP");             // the same file ignoring case: nothing happens
    Log()->ChangeLogFile(u"..\\..\\Elsewhere"); // not a name in the logs folder: refused
    Log()->ChangeLogFile(u"");
    EXPECT_EQ(Log()->GetLogFileName(), renamed);
    Log()->CloseLogFile(true);

    const auto log = jxlogtest::ParseLog(renamed);
    ASSERT_TRUE(log.wellFormed);
    std::vector<std::string> seen;
    for (const auto& r : log.records)
        seen.push_back(jxtext::N(r.Attr("msgtype") + u"|" + r.Attr("module") + u"|" + r.Attr("context") +
                                 u"|" + r.text));
    const std::vector<std::string> expected = {
        "LP_INFO|lib|Before|first line",
        "LP_INFO|Logger|ChangeLogFile|New Logfile " + jxtext::N(renamed),
        "LP_INFO|lib|After|second line",
        "ERROR|Logger|ChangeLogFile|The log file could not be renamed to " + jxtext::N(taken) + "; " +
            jxtext::N(renamed) + " goes on",
        "ERROR|Logger|ChangeLogFile|\"..\\..\\Elsewhere\" is not a file name; the log file keeps its name",
    };
    EXPECT_EQ(seen, expected);
}

TEST_F(LogFile, EveryLineOfConcurrentLoggersIsOnDiskInOrderAfterTheClose) {
    ASSERT_TRUE(Log()->OpenLogFile());
    const std::u16string path = Log()->GetLogFileName();
    constexpr int kThreads = 8;
    constexpr int kLines = 400;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            const std::u16string module = u"t" + jxtext::ToText(t);
            for (int i = 0; i < kLines; ++i) {
                if (i % 50 == 0)
                    Instance()->LogProperty(module.c_str(), jxtext::ToText(i).c_str(), u"", u"", u"");
                Instance()->Log(MP_INFO, module.c_str(), u"Worker", u"%d", i);
            }
        });
    for (auto& thread : threads)
        thread.join();
    // No wait for the worker: the close writes what is queued.
    Log()->CloseLogFile(true);
    const size_t size = jxlogtest::ReadLogBytes(path).size();
    Log()->Log(LP_ERROR, u"t0", u"Worker", u"after the close");
    EXPECT_EQ(jxlogtest::ReadLogBytes(path).size(), size) << "nothing after a final close";

    const auto log = jxlogtest::ParseLog(path);
    ASSERT_TRUE(log.wellFormed);
    size_t properties = 0;
    for (const auto& r : log.records)
        properties += r.element == "Property";
    EXPECT_EQ(properties, size_t{kThreads * (kLines / 50)});
    for (int t = 0; t < kThreads; ++t) {
        const auto entries = log.Entries(u"t" + jxtext::ToText(t));
        ASSERT_EQ(entries.size(), size_t{kLines}) << t;
        for (int i = 0; i < kLines; ++i)
            ASSERT_EQ(entries[i].text, jxtext::ToText(i)) << t;
    }
}

TEST_F(LogFile, AFileClosedWithoutItsFooterGetsItAtTheFinalClose) {
    ASSERT_TRUE(Log()->OpenLogFile());
    const std::u16string path = Log()->GetLogFileName();
    Log()->Log(LP_INFO, u"lib", u"C", u"kept");
    Log()->CloseLogFile(false);
    EXPECT_TRUE(jxlogtest::AsUtf16(jxlogtest::ReadLogBytes(path)).ends_with(u"kept]]></Entry>\r\n"));
    Log()->Log(LP_INFO, u"lib", u"C", u"dropped: no worker"); // the file is closed
    Log()->CloseLogFile(true);

    const auto log = jxlogtest::ParseLog(path);
    ASSERT_TRUE(log.wellFormed);
    ASSERT_EQ(log.Entries(u"lib").size(), 1u);
    EXPECT_EQ(log.Entries(u"lib")[0].text, u"kept");
}

TEST_F(LogFile, AFinalCloseZipsTheFileAndRemovesIt) {
    ASSERT_TRUE(Log()->OpenLogFile());
    const std::u16string path = Log()->GetLogFileName();
    Log()->Log(LP_INFO, u"lib", u"C", u"zipped");
    Log()->CloseLogFile(true);

    const std::string plain = jxplat::WindowsToHostPath(path);
    const std::string zip = jxplat::WindowsToHostPath(path + u".zip");
    EXPECT_FALSE(std::filesystem::exists(plain)) << "the plain file is removed once the archive holds it";
    ASSERT_TRUE(std::filesystem::exists(zip));
    // An independent reader: the archive is sound and holds the one file under its own name.
    EXPECT_EQ(jxtest::CommandOutput("unzip -tq '" + zip + "' >/dev/null && echo sound"), "sound\n");
    const std::string name = jxtext::N(path.substr(kLogsFolder.size() + 1));
    EXPECT_EQ(jxtest::CommandOutput("unzip -Z1 '" + zip + "'"), name + "\n");
    const std::u16string text = jxlogtest::AsUtf16(jxlogtest::ReadLogBytes(path));
    EXPECT_TRUE(text.starts_with(kHeader));
    EXPECT_TRUE(text.ends_with(u"zipped]]></Entry>\r\n</LogFile>"));
}

TEST_F(LogFile, TheFileIsOpenedWithTheMachinesShareModes) {
    ASSERT_TRUE(Log()->OpenLogFile());
    const std::u16string path = Log()->GetLogFileName();
    // A reader may look at the open log; a handle that wants it for itself may not.
    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);
    HANDLE exclusive = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    // A log that another handle holds without delete sharing at the end cannot be packed and
    // removed: it stays as it is, whole.
    HANDLE holder = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    Log()->CloseLogFile(true);
    CloseHandle(holder);
    EXPECT_FALSE(std::filesystem::exists(jxplat::WindowsToHostPath(path + u".zip")));
    EXPECT_TRUE(jxlogtest::AsUtf16(jxlogtest::ReadLogBytes(path)).ends_with(u"</LogFile>"));
}

TEST_F(LogFile, ANameThatAnotherHandleHoldsIsNotOpened) {
    jxtest::WriteMachineFile(kLogsFolder + u"\\held.log", "held");
    HANDLE holder = CreateFileW((kLogsFolder + u"\\held.log").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    Log()->ReadCommandLineOptions(u"setup.exe /_LogFile=held.log");
    EXPECT_FALSE(Log()->OpenLogFile());
    Log()->Log(LP_ERROR, u"lib", u"C", u"dropped");
    Log()->CloseLogFile(true);
    CloseHandle(holder);
    EXPECT_EQ(jxtest::ReadHostFile(jxplat::WindowsToHostPath(kLogsFolder + u"\\held.log")), "held");
}

} // namespace
