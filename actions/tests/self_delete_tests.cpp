// The end of an uninstallation: the product's uninstaller, update and maintenance folders go; a
// setup program that cannot go yet is left to "delme.bat", which a command processor runs after
// the engine has ended. The command processor here is a small stand-in for the batch commands
// the script uses; its pause only counts (no test waits for real time).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <windows.h>

#include "jxplat/fileapi.h"
#include "jxplat/machine.h"
#include "jxplat/processthreadsapi.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxtest/hostile_paths.h"
#include "jxtest/log_capture.h"
#include "jxtest/machine_root.h"

namespace {

using namespace JxSetup::Data;

const std::u16string kProductId = u"{11111111-2222-3333-4444-555555555555}";
const std::u16string kSetups = u"C:\\ProgramData\\Tolvane\\Setups";
const std::u16string kMaintenance = kSetups + u"\\" + kProductId;
const std::u16string kUpdate = kSetups + u"\\CommonUpdate\\" + kProductId;
const std::u16string kUninstaller = kSetups + u"\\Uninstaller\\" + kProductId;
const std::u16string kSystem = u"C:\\Windows\\SysWOW64";

// The batch commands of the self-removal script, one form each; anything else ends with 9009
// (what cmd answers for an unknown command). It stops when its script is gone, as cmd does, and
// after 10000 steps (exit 99), so a script that never ends fails the test instead of hanging it.
const char kCommandProcessor[] = R"CMD(#!/bin/bash
finish() { echo "$1" > "$JX_EXIT_CODE_FILE"; exit "$1"; }
host() {
    local p="${1//\\//}" d="${1:0:1}"
    d="${d,,}"
    if [ "$d" = z ]; then printf '%s' "${p:2}"; else printf '%s' "$JX_MACHINE_ROOT/drive_$d${p:2}"; fi
}
[ "$1" = "/c" ] || finish 2
script="$(host "$2")"
mapfile -t lines < <(tr -d '\r' < "$script")
declare -A labels
declare -A vars
for i in "${!lines[@]}"; do [[ "${lines[$i]}" == :* ]] && labels["${lines[$i]:1}"]=$i; done
re_set='^set /a ([A-Za-z]+)=([0-9]+)$'
re_add='^set /a ([A-Za-z]+)\+=([0-9]+)$'
re_del='^del "([^"]*)"$'
re_rmdir='^rmdir "([^"]*)"$'
re_exist='^if (not )?exist "([^"]*)" goto ([A-Za-z]+)$'
re_cmp='^if ([0-9]+) (geq|lss) ([0-9]+) goto ([A-Za-z]+)$'
re_ping='^ping -n [0-9]+ 127\.0\.0\.1 >nul$'
re_goto='^goto ([A-Za-z]+)$'
pc=0
steps=0
while [ "$pc" -lt "${#lines[@]}" ]; do
    steps=$((steps + 1))
    [ "$steps" -gt 10000 ] && finish 99
    line="${lines[$pc]}"
    for name in "${!vars[@]}"; do line="${line//%$name%/${vars[$name]}}"; done
    line="${line//%%/%}"
    pc=$((pc + 1))
    if [ -z "$line" ] || [[ "$line" == :* ]]; then continue
    elif [[ "$line" =~ $re_set ]]; then vars[${BASH_REMATCH[1]}]=${BASH_REMATCH[2]}
    elif [[ "$line" =~ $re_add ]]; then vars[${BASH_REMATCH[1]}]=$((${vars[${BASH_REMATCH[1]}]:-0} + BASH_REMATCH[2]))
    elif [[ "$line" =~ $re_del ]]; then rm -f -- "$(host "${BASH_REMATCH[1]}")" 2>/dev/null
    elif [[ "$line" =~ $re_rmdir ]]; then rmdir -- "$(host "${BASH_REMATCH[1]}")" 2>/dev/null
    elif [[ "$line" =~ $re_exist ]]; then
        found=no; [ -e "$(host "${BASH_REMATCH[2]}")" ] && found=yes
        if { [ -z "${BASH_REMATCH[1]}" ] && [ $found = yes ]; } || { [ -n "${BASH_REMATCH[1]}" ] && [ $found = no ]; }; then
            pc=${labels[${BASH_REMATCH[3]}]}
        fi
    elif [[ "$line" =~ $re_cmp ]]; then
        a=${BASH_REMATCH[1]} op=${BASH_REMATCH[2]} b=${BASH_REMATCH[3]} label=${BASH_REMATCH[4]}
        if { [ "$op" = geq ] && [ "$a" -ge "$b" ]; } || { [ "$op" = lss ] && [ "$a" -lt "$b" ]; }; then pc=${labels[$label]}; fi
    elif [[ "$line" =~ $re_ping ]]; then echo pause >> "$JX_MACHINE_ROOT/cmd-pauses"
    elif [[ "$line" =~ $re_goto ]]; then pc=${labels[${BASH_REMATCH[1]}]}
    else echo "$line" >> "$JX_MACHINE_ROOT/cmd-unknown"; finish 9009
    fi
    [ -e "$script" ] || finish 0
done
finish 0
)CMD";

std::string ReadHost(const std::string& host) {
    std::ifstream in(host, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

size_t Pauses() {
    const std::string text = ReadHost(jxplat::MachinePath("cmd-pauses"));
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

std::vector<std::string> PendingDeletes() {
    std::vector<std::string> sources;
    for (const auto& operation : jxplat::ReadPendingFileOperations())
        sources.push_back(jxtext::N(operation.source));
    return sources;
}

class SelfDelete : public ::testing::Test {
protected:
    SelfDelete() {
        m_Data.m_ProductInfo.productid = kProductId;
        m_Data.SetProperty(u"CommonAppDataFolder", u"C:\\ProgramData", 1);
        m_Data.SetProperty(u"SystemFolder", kSystem, 1);
    }
    void TearDown() override {
        for (HANDLE handle : m_Handles)
            CloseHandle(handle);
    }

    // The setup program, its packages, the uninstaller and the update cache of an installed product.
    void Install() {
        for (const std::u16string& file : {kMaintenance + u"\\setup.exe", kMaintenance + u"\\data.wpk",
                                           kUpdate + u"\\u.wpk", kUninstaller + u"\\uninstall.exe"})
            jxtest::WriteMachineFile(file);
    }
    void PlaceCommandProcessor() {
        const std::string host = jxplat::WindowsToHostPath(kSystem + u"\\cmd.exe");
        std::filesystem::create_directories(std::filesystem::path(host).parent_path());
        std::ofstream(host, std::ios::binary) << kCommandProcessor;
        std::filesystem::permissions(host, std::filesystem::perms::owner_all);
    }
    // Opens the file without sharing, as Windows holds the image of a running program.
    void Lock(const std::u16string& path) {
        HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        m_Handles.push_back(handle);
    }
    // The command processors started on the machine, each waited for; their exit codes.
    static std::vector<DWORD> WaitForCommandProcessors() {
        std::vector<DWORD> codes;
        for (const auto& entry : jxplat::ReadProcessTable()) {
            std::u16string name = entry.name;
            const size_t slash = name.find_last_of(u"\\/");
            if (slash != std::u16string::npos)
                name.erase(0, slash + 1);
            if (!jxtext::EqualsNoCase(name, u"cmd.exe"))
                continue;
            if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.processId)) {
                EXPECT_EQ(WaitForSingleObject(process, 60000), WAIT_OBJECT_0);
                CloseHandle(process);
            }
            // The row holds the exit code once the process has ended.
            for (const auto& now : jxplat::ReadProcessTable())
                if (now.processId == entry.processId)
                    codes.push_back(now.exitCode);
        }
        return codes;
    }

    jxtest::TempMachineRoot m_Root;
    jxtest::CLogCapture m_Log;
    JxData m_Data;
    std::vector<HANDLE> m_Handles;
};

TEST_F(SelfDelete, EverythingGoesAtOnceWhenNothingIsLocked) {
    Install();
    jxtest::WriteMachineFile(u"C:\\ProgramData\\Tolvane\\Setups\\{Other}\\setup.exe");
    m_Data.SelfDelete();
    for (const std::u16string& folder :
         {kMaintenance, kUpdate, kUninstaller, kSetups + u"\\CommonUpdate", kSetups + u"\\Uninstaller"})
        EXPECT_FALSE(jxtest::MachinePathExists(folder)) << jxtext::N(folder);
    EXPECT_TRUE(jxtest::MachinePathExists(u"C:\\ProgramData\\Tolvane\\Setups\\{Other}\\setup.exe"));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "Directory not found: " + jxtext::N(kMaintenance)));
    EXPECT_TRUE(jxplat::ReadProcessTable().empty());
}

// The stored customization, the one folder the engine keeps in the maintenance folder, goes with
// it, also from a configured maintenance folder; a link inside it goes itself, never what it names.
// A maintenance folder that is a link keeps what lies behind it.
TEST_F(SelfDelete, TheStoredCustomizationGoesWithTheMaintenanceFolder) {
    const std::u16string kept = u"C:\\Keep";
    jxtest::WriteMachineFile(kept + u"\\keep.css");
    const std::u16string configured = u"C:\\Maintenance\\" + kProductId;
    for (const std::u16string& maintenance : {kMaintenance, configured}) {
        SCOPED_TRACE(jxtext::N(maintenance));
        m_Data.SetProperty(u"_MaintenanceDir", maintenance == kMaintenance ? u"" : maintenance, 1);
        Install();
        jxtest::WriteMachineFile(maintenance + u"\\setup.exe");
        jxtest::WriteMachineFile(maintenance + u"\\$CUSTOMIZE\\customize.xml");
        jxtest::WriteMachineFile(maintenance + u"\\$CUSTOMIZE\\theme\\colors.css");
        std::filesystem::create_directory_symlink(
            jxplat::WindowsToHostPath(kept),
            jxplat::WindowsToHostPath(maintenance + u"\\$CUSTOMIZE\\theme\\kept"));
        m_Data.SelfDelete();
        EXPECT_FALSE(jxtest::MachinePathExists(maintenance)) << m_Log.Dump();
        EXPECT_TRUE(jxtest::MachinePathExists(kept + u"\\keep.css"));
        EXPECT_TRUE(PendingDeletes().empty());
    }

    // The maintenance folder is a link into another tree: nothing behind it goes.
    m_Data.SetProperty(u"_MaintenanceDir", u"", 1);
    const std::u16string other = u"C:\\Other";
    jxtest::WriteMachineFile(other + u"\\$CUSTOMIZE\\customize.xml");
    std::filesystem::remove_all(jxplat::WindowsToHostPath(kMaintenance));
    std::filesystem::create_directories(jxplat::WindowsToHostPath(kSetups));
    std::filesystem::create_directory_symlink(jxplat::WindowsToHostPath(other),
                                              jxplat::WindowsToHostPath(kMaintenance));
    m_Data.SelfDelete();
    EXPECT_TRUE(jxtest::MachinePathExists(other + u"\\$CUSTOMIZE\\customize.xml"));
    EXPECT_TRUE(m_Log.Has("WARNING", "$CUSTOMIZE\": not removed."));
}

TEST_F(SelfDelete, ARunningSetupProgramIsLeftToTheScriptWhichRemovesItAfterTheEngineEnded) {
    Install();
    jxtest::WriteMachineFile(kMaintenance +
                             u"\\sub\\nested.txt"); // not this removal's: the folder is emptied, not wiped
    PlaceCommandProcessor();
    Lock(kMaintenance + u"\\setup.exe");
    m_Data.SelfDelete();

    EXPECT_FALSE(jxtest::MachinePathExists(kMaintenance + u"\\data.wpk"));
    EXPECT_FALSE(jxtest::MachinePathExists(kUpdate));
    EXPECT_EQ(WaitForCommandProcessors(), std::vector<DWORD>{0})
        << ReadHost(jxplat::MachinePath("cmd-unknown"));
    EXPECT_EQ(Pauses(), 0u); // the engine (here: the lock's handle) did not stop the first try

    EXPECT_FALSE(jxtest::MachinePathExists(kMaintenance + u"\\setup.exe"));
    EXPECT_FALSE(jxtest::MachinePathExists(kMaintenance + u"\\delme.bat"));
    EXPECT_TRUE(jxtest::MachinePathExists(kMaintenance + u"\\sub\\nested.txt"));
    const std::vector<std::string> pending = PendingDeletes();
    for (const std::u16string& path :
         {kMaintenance + u"\\setup.exe", kMaintenance + u"\\delme.bat", kMaintenance})
        EXPECT_NE(std::find(pending.begin(), pending.end(), jxtext::N(path)), pending.end())
            << jxtext::N(path);
    EXPECT_TRUE(
        m_Log.Has("LP_INFO", "Starting Process using CreateProcess " + jxtext::N(kSystem) + "\\cmd.exe"));
    EXPECT_TRUE(m_Log.Has("LP_INFO", "/c \"" + jxtext::N(kMaintenance) + "\\delme.bat\""));
}

TEST_F(SelfDelete, TheScriptWaitsBetweenItsTriesAndGivesUp) {
    // A setup program the script can never delete (a folder of that name).
    jxtest::WriteMachineFile(kMaintenance + u"\\setup.exe\\inside");
    jxtest::WriteMachineFile(kMaintenance + u"\\data.wpk");
    PlaceCommandProcessor();
    m_Data.SelfDelete();
    EXPECT_EQ(WaitForCommandProcessors(), std::vector<DWORD>{0})
        << ReadHost(jxplat::MachinePath("cmd-unknown"));
    EXPECT_EQ(Pauses(), 59u); // 60 tries, a pause between two of them
    EXPECT_FALSE(jxtest::MachinePathExists(kMaintenance + u"\\delme.bat"));
    EXPECT_TRUE(jxtest::MachinePathExists(kMaintenance + u"\\setup.exe\\inside"));
}

TEST_F(SelfDelete, TheScriptText) {
    // A "%" in the folder is doubled, as cmd would otherwise read it as a variable.
    const std::u16string folder = u"C:\\Setups 100%\\" + kProductId;
    m_Data.SetProperty(u"_MaintenanceDir", folder, 1);
    jxtest::WriteMachineFile(folder + u"\\setup.exe");
    Lock(folder + u"\\setup.exe");
    m_Data.SelfDelete(); // no command processor on this machine: the script stays
    const std::string f = "C:\\Setups 100%%\\" + jxtext::N(kProductId);
    EXPECT_EQ(ReadHost(jxplat::WindowsToHostPath(folder + u"\\delme.bat")),
              "set /a JxTries=0\r\n"
              ":Repeat\r\n"
              "del \"" +
                  f +
                  "\\setup.exe\"\r\n"
                  "if not exist \"" +
                  f +
                  "\\setup.exe\" goto Removed\r\n"
                  "set /a JxTries+=1\r\n"
                  "if %JxTries% geq 60 goto Removed\r\n"
                  "ping -n 2 127.0.0.1 >nul\r\n"
                  "goto Repeat\r\n"
                  ":Removed\r\n"
                  "del \"" +
                  f +
                  "\\delme.bat\"\r\n"
                  "rmdir \"" +
                  f + "\"\r\n");
    EXPECT_TRUE(m_Log.Has("ERROR", "Can't create Process using CreateProcess."));
}

TEST_F(SelfDelete, NothingIsTouchedAfterACancelOrWithAnUnsafeMaintenanceFolder) {
    Install();
    m_Data.m_UserCancelled = true;
    m_Data.SelfDelete();
    EXPECT_TRUE(jxtest::MachinePathExists(kMaintenance + u"\\setup.exe"));
    EXPECT_TRUE(jxtest::MachinePathExists(kUninstaller + u"\\uninstall.exe"));

    m_Data.m_UserCancelled = false;
    jxtest::WriteMachineFile(u"C:\\victim.txt");
    jxtest::WriteMachineFile(u"C:\\x\\victim.txt");
    std::vector<std::u16string> unsafeFolders = {u"C:\\ProgramData\\.."};
    // An empty or unexpanded folder stands for the default one; every other hostile one is refused.
    for (const std::u16string& folder : jxtest::HostileFolders())
        if (!folder.empty() && folder.find(u'[') == std::u16string::npos)
            unsafeFolders.push_back(folder);
    for (const std::u16string& unsafe : unsafeFolders) {
        SCOPED_TRACE(jxtext::N(unsafe));
        m_Data.SetProperty(u"_MaintenanceDir", unsafe, 1);
        m_Data.SelfDelete();
        EXPECT_TRUE(jxtest::MachinePathExists(u"C:\\victim.txt"));
        EXPECT_TRUE(jxtest::MachinePathExists(u"C:\\x\\victim.txt"));
        EXPECT_TRUE(jxtest::MachinePathExists(kMaintenance + u"\\setup.exe")); // not the folder the run named
        EXPECT_TRUE(m_Log.Has("WARNING", "Invalid maintenance folder"));
    }
}

// The product id names the folders below the shared setups folder: only an id in GUID form does.
// "." or " " would aim the removal at the setups folder itself, which every product shares.
TEST_F(SelfDelete, AProductIdThatIsNoGuidRemovesNothing) {
    Install();
    const std::vector<std::u16string> shared = {kSetups + u"\\shared.txt",
                                                kSetups + u"\\CommonUpdate\\shared.txt",
                                                kSetups + u"\\Uninstaller\\shared.txt"};
    for (const std::u16string& file : shared)
        jxtest::WriteMachineFile(file);
    for (const char16_t* id : {u"", u".", u" ", u"..", u"x.", u"{old}", u"..\\..", u"*"}) {
        SCOPED_TRACE(jxtext::N(id));
        m_Data.m_ProductInfo.productid = id;
        m_Data.SelfDelete();
        for (const std::u16string& file : shared)
            EXPECT_TRUE(jxtest::MachinePathExists(file)) << jxtext::N(file);
        EXPECT_TRUE(jxtest::MachinePathExists(kMaintenance + u"\\setup.exe"));
        EXPECT_TRUE(m_Log.Has("WARNING", "is no GUID: nothing removed"));
    }
}

} // namespace
