// What reaches the log: level names and module thresholds, the debugger copy, the do-not-log
// switch of the registry and the command line, message length, masked protected properties, and a
// released writer.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "jxbase/reg.h"
#include "jxplat/debugapi.h"
#include "log_support.h"

using namespace JxSetup::Data;
using jxlogtest::kLogsFolder;

namespace {

class LogFilter : public jxlogtest::LogTest {};
class LogOptions : public jxlogtest::LogTest {};

// Every Log call, as the test capture gets it.
struct CapturedCall {
    int level;
    std::u16string module;
    std::u16string message;
};

std::vector<CapturedCall>* CaptureCalls() {
    auto* calls = new std::vector<CapturedCall>; // owned by the test through the unique_ptr below
    JxLog::SetCaptureForTesting(
        [calls](int level, std::u16string_view module, std::u16string_view, std::u16string_view message) {
            calls->push_back({level, std::u16string(module), std::u16string(message)});
        });
    return calls;
}

bool LogsFolderHasFiles() {
    const std::string folder = jxplat::WindowsToHostPath(kLogsFolder);
    std::error_code error;
    return std::filesystem::exists(folder, error) && !std::filesystem::is_empty(folder, error);
}

void PutEngineValue(const WCHAR* name, DWORD value) {
    ASSERT_EQ(CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\JxSetupEngine", name, value, 0),
              0);
}

TEST_F(LogFilter, LevelNamesAndModuleThresholdsDecideTheEntries) {
    std::unique_ptr<std::vector<CapturedCall>> calls(CaptureCalls());
    Log()->SetModuleLevel(4, u"strict");
    Log()->SetModuleLevel(2, u"strict"); // replaces the first threshold
    Log()->SetModuleLevel(10, u"wide");
    ASSERT_TRUE(Log()->OpenLogFile());
    const std::u16string path = Log()->GetLogFileName();
    for (int level = 0; level <= 8; ++level) {
        Log()->Log(level, u"lib", u"C", u"level %d", level);
        Log()->Log(level, u"strict", u"C", u"level %d", level);
    }
    Log()->Log(9, u"wide", u"C", u"level 9");
    Log()->Log(-1, u"wide", u"C", u"level -1");
    Log()->Log(LP_ERROR, u"lib", u"C", nullptr); // no format: nothing at all
    Log()->CloseLogFile(true);

    const auto log = jxlogtest::ParseLog(path);
    ASSERT_TRUE(log.wellFormed);
    const std::u16string names[] = {u"",        u"ERROR",   u"WARNING", u"HP_INFO",
                                    u"MP_INFO", u"LP_INFO", u"BEGIN",   u"END"};
    const auto lib = log.Entries(u"lib");
    ASSERT_EQ(lib.size(), 8u); // 0-7 pass the default threshold 7, 8 does not
    for (int level = 0; level <= 7; ++level) {
        EXPECT_EQ(lib[level].Attr("msgtype"), names[level]);
        EXPECT_EQ(lib[level].text, u"level " + jxtext::ToText(level));
    }
    const auto strict = log.Entries(u"strict");
    ASSERT_EQ(strict.size(), 3u);
    EXPECT_EQ(strict[2].Attr("msgtype"), u"WARNING");
    const auto wide = log.Entries(u"wide");
    ASSERT_EQ(wide.size(), 2u);
    EXPECT_EQ(wide[0].Attr("msgtype"), u""); // no name beyond the table, and no read past it
    EXPECT_EQ(wide[1].Attr("msgtype"), u"");
    EXPECT_EQ(std::u16string(LogLevelName(8)), u"");
    EXPECT_EQ(std::u16string(LogLevelName(-1)), u"");

    // The capture sees every call with a format, whatever the filters: 18 + 2 + the writer's own.
    size_t ours = 0;
    for (const auto& call : *calls)
        ours += call.module != u"Logger";
    EXPECT_EQ(ours, 20u);
}

TEST_F(LogFilter, LongMessagesAreCutWithoutSplittingACharacter) {
    std::unique_ptr<std::vector<CapturedCall>> calls(CaptureCalls());
    ASSERT_TRUE(Log()->OpenLogFile());
    const std::u16string path = Log()->GetLogFileName();
    const std::u16string longText(10000, u'x');
    const std::u16string pairAtTheCut = std::u16string(4094, u'y') + u"\U0001F600";
    Log()->Log(LP_INFO, u"lib", u"C", u"%s", longText.c_str());
    Log()->Log(LP_INFO, u"lib", u"C", u"%s", pairAtTheCut.c_str());
    Log()->CloseLogFile(true);

    const auto log = jxlogtest::ParseLog(path);
    ASSERT_TRUE(log.wellFormed);
    const auto lib = log.Entries(u"lib");
    ASSERT_EQ(lib.size(), 2u);
    EXPECT_EQ(lib[0].text, std::u16string(4095, u'x'));
    EXPECT_EQ(lib[1].text, std::u16string(4094, u'y'));
    EXPECT_EQ((*calls)[0].message, lib[0].text);
}

TEST_F(LogFilter, ProtectedPropertyValuesAreMasked) {
    ASSERT_TRUE(Log()->OpenLogFile());
    const std::u16string path = Log()->GetLogFileName();
    Log()->LogProperty(u"INSTALLDIR", u"C:\\Program Files\\X", u"", u"", u"");
    Log()->LogProperty(u"__Password", u"hunter2", u"", u"false", u"false");
    Log()->LogProperty(u"\u00A7__Locked", u"secret-two", u"", u"true", u"false");
    Log()->LogProperty(u"@__Key", u"secret-three", u"", u"", u"");
    Log()->LogProperty(u"__Empty", u"", u"", u"", u"");
    Log()->CloseLogFile(true);

    const std::string bytes = jxlogtest::ReadLogBytes(path);
    const auto log = jxlogtest::ParseLogBytes(bytes);
    ASSERT_TRUE(log.wellFormed);
    std::map<std::u16string, std::u16string> values;
    for (const auto& r : log.records)
        if (r.element == "Property")
            values[r.Attr("name")] = r.text;
    EXPECT_EQ(values[u"INSTALLDIR"], u"C:\\Program Files\\X");
    EXPECT_EQ(values[u"__Password"], u"********");
    EXPECT_EQ(values[u"\u00A7__Locked"], u"********");
    EXPECT_EQ(values[u"@__Key"], u"********");
    EXPECT_EQ(values[u"__Empty"], u"");
    const std::string text = jxtext::N(jxlogtest::AsUtf16(bytes));
    for (const char* secret : {"hunter2", "secret-two", "secret-three"})
        EXPECT_EQ(text.find(secret), std::string::npos) << secret;
}

TEST_F(LogOptions, RegistryDoNotLogStopsTheFileButNotTheDebuggerCopy) {
    // Any value named DoNotLog counts, whatever its type and data.
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\JxSetupEngine", u"DoNotLog", u"no",
                              CRegStringType::Sz, 0);
    PutEngineValue(u"DebugLevel", 3);
    Log()->Release(); // a writer that reads this registry
    std::unique_ptr<std::vector<CapturedCall>> calls(CaptureCalls());
    std::vector<std::u16string> debugger;
    jxplat::SetDebugOutputCapture(
        [&](std::u16string_view text) { debugger.push_back(std::u16string(text)); });

    EXPECT_TRUE(Log()->GetDoNotLog());
    EXPECT_FALSE(Log()->OpenLogFile());
    EXPECT_EQ(Log()->GetLogFileName(), u"");
    Log()->SetModuleLevel(0, u"lib"); // the threshold is for the file only
    Log()->Log(LP_ERROR, u"lib", u"Ns::Op", u"boom %d ", 1);
    Log()->Log(HP_INFO, u"lib", u"Ns::Op", u"info");
    Log()->Log(MP_INFO, u"lib", u"Ns::Op", u"above the debug level");
    Log()->LogProperty(u"P", u"v", u"", u"", u"");
    Log()->CloseLogFile(true);

    EXPECT_FALSE(LogsFolderHasFiles());
    EXPECT_EQ(calls->size(), 3u);
    ASSERT_EQ(debugger.size(), 4u);
    EXPECT_TRUE(std::regex_match(jxtext::N(debugger[0]),
                                 std::regex(R"(\(\d\d:\d\d:\d\d\)ERROR\[lib\|Ns::Op\]: boom 1)")))
        << jxtext::N(debugger[0]);
    EXPECT_EQ(debugger[1], u"\n");
    EXPECT_TRUE(jxtext::N(debugger[2]).ends_with(")HP_INFO[lib|Ns::Op]: info")) << jxtext::N(debugger[2]);
}

TEST_F(LogOptions, CommandLineOptionsSwitchTheFileOffOrNameIt) {
    struct Row {
        const char* name;
        std::u16string line;
        bool doNotLog;
        std::u16string file; // "" for none, "*" for the default name
    };
    const Row rows[] = {
        {"DoNotLog", u"\"C:\\x\\setup.exe\" /_DoNotLog=true", true, u""},
        {"DoNotLogAnyCaseQuoted", u"setup.exe /nogui /_donotlog=\"TRUE\" /INSTALLDIR=\"C:\\a b\"", true, u""},
        {"DoNotLogFalse", u"setup.exe /_DoNotLog=false", false, u"*"},
        {"NotAnOptionPiece", u"setup.exe/_DoNotLog=true", false, u"*"},
        {"LogFile", u"setup.exe /_LogFile=my.log", false, u"my.log"},
        {"LogFileQuotedWithBlank", u"setup.exe /_logfile=\"my run.log\" /x=1", false, u"my run.log"},
        {"LogFileEmpty", u"setup.exe /_LogFile=", false, u"*"},
        {"LogFileOutsideTheFolder", u"setup.exe /_LogFile=..\\..\\Windows\\evil.log", false, u"*"},
        {"LogFileAbsolute", u"setup.exe /_LogFile=C:\\evil.log", false, u"*"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Log()->Release();
        Log()->ReadCommandLineOptions(row.line);
        EXPECT_EQ(Log()->GetDoNotLog(), row.doNotLog);
        EXPECT_EQ(Log()->OpenLogFile(), !row.file.empty());
        const std::u16string path = Log()->GetLogFileName();
        if (row.file.empty()) {
            EXPECT_EQ(path, u"");
        } else if (row.file == u"*") {
            EXPECT_TRUE(path.starts_with(kLogsFolder + u"\\Log_")) << jxtext::N(path);
        } else {
            EXPECT_EQ(path, kLogsFolder + u"\\" + row.file);
            Log()->ChangeLogFile(u"Setup"); // the command line's name is kept
            EXPECT_EQ(Log()->GetLogFileName(), path);
        }
        Log()->CloseLogFile(true);
        if (!row.file.empty())
            EXPECT_TRUE(jxlogtest::ParseLog(path).wellFormed);
    }
}

TEST_F(LogOptions, DoNotLogSetWhileTheFileIsOpenStillClosesItWellFormed) {
    ASSERT_TRUE(Log()->OpenLogFile());
    const std::u16string path = Log()->GetLogFileName();
    Log()->Log(LP_INFO, u"lib", u"C", u"before");
    Log()->SetDoNotLog(true);
    Log()->Log(LP_INFO, u"lib", u"C", u"after");
    Log()->LogProperty(u"P", u"after", u"", u"", u"");
    Log()->CloseLogFile(true);

    const auto log = jxlogtest::ParseLog(path);
    ASSERT_TRUE(log.wellFormed);
    ASSERT_EQ(log.records.size(), 1u);
    EXPECT_EQ(log.records[0].text, u"before");
    EXPECT_EQ(Log()->GetLogFileName(), u"");
}

TEST_F(LogOptions, AReleasedWriterHasNoFileAndReadsItsSettingsAgain) {
    ASSERT_TRUE(Log()->OpenLogFile());
    const std::u16string path = Log()->GetLogFileName();
    Log()->SetModuleLevel(0, u"lib");
    Log()->SetDoNotLog(true);
    JxLog* before = Log();
    Log()->Release();
    EXPECT_TRUE(jxlogtest::ParseLog(path).wellFormed); // the release closed it

    std::filesystem::remove(jxplat::WindowsToHostPath(path));
    std::filesystem::remove(jxplat::WindowsToHostPath(path + u".zip"));
    EXPECT_EQ(Instance(), before); // the same object: other threads may still hold it
    EXPECT_FALSE(Log()->GetDoNotLog());
    EXPECT_EQ(Log()->GetLogFileName(), u"");
    Log()->Log(LP_ERROR, u"lib", u"C", u"no file yet");
    EXPECT_FALSE(LogsFolderHasFiles());

    PutEngineValue(u"DoNotLog", 0);
    Log()->Release();
    EXPECT_TRUE(Log()->GetDoNotLog()); // read again from the registry

    CReg::DeleteValueFromRegistry(HKEY_LOCAL_MACHINE, u"Software\\Tolvane\\JxSetupEngine", u"DoNotLog", 0);
    Log()->Release();
    ASSERT_TRUE(Log()->OpenLogFile());
    Log()->Log(MP_INFO, u"lib", u"C", u"the threshold is 7 again");
    const std::u16string again = Log()->GetLogFileName();
    Log()->CloseLogFile(true);
    EXPECT_EQ(jxlogtest::ParseLog(again).Entries(u"lib").size(), 1u);
}

} // namespace
