// The text of "delme.bat": it deletes the setup program once the engine that runs it has ended,
// then itself. It waits between its tries and gives up after a bounded number of them.
#include "JxData_SelfDelete.h"

#include <string_view>

namespace JxSetup::Data {
namespace {

// Windows-1252 at 0x80 to 0x9F (0 where the code page has no character there).
constexpr char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// One character in the ANSI code page of the thread (Windows-1252 on the machines the setup
// supports); a character the code page lacks becomes "?", as the system conversion makes it.
char _selfdel_Ansi(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] != 0 && kCp1252High[i] == c)
            return static_cast<char>(0x80 + i);
    return '?';
}

std::string _selfdel_Narrow(std::u16string_view text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (char16_t c : text)
        narrow.push_back(_selfdel_Ansi(c));
    return narrow;
}

// A path in double quotes; "%" doubled, as cmd would read a single one as a variable.
std::string _selfdel_Quoted(const std::u16string& path) {
    std::string quoted = "\"";
    for (char c : _selfdel_Narrow(path)) {
        quoted.push_back(c);
        if (c == '%')
            quoted.push_back('%');
    }
    return quoted + "\"";
}

} // namespace

std::string _selfdel_ScriptText(const std::u16string& setupProgram, const std::u16string& script,
                                const std::u16string& folder) {
    const std::string setup = _selfdel_Quoted(setupProgram);
    const std::string lines[] = {
        "set /a JxTries=0",
        ":Repeat",
        "del " + setup,
        "if not exist " + setup + " goto Removed",
        "set /a JxTries+=1",
        "if %JxTries% geq " + std::to_string(kSelfDeleteTries) + " goto Removed",
        // The pause: ping waits about a second between its two echo requests to the loopback.
        "ping -n 2 127.0.0.1 >nul",
        "goto Repeat",
        ":Removed",
        "del " + _selfdel_Quoted(script),
        // Once the script is gone cmd reads no further line; the reboot entry removes the folder.
        "rmdir " + _selfdel_Quoted(folder),
    };
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

} // namespace JxSetup::Data
