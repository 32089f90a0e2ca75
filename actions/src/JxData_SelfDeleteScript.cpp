// The text of "delme.bat": it deletes the setup program once the engine that runs it has ended,
// then itself. It waits between its tries and gives up after a bounded number of them.
#include "JxData_SelfDelete.h"

#include <string_view>

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

// A path in double quotes; "%" doubled, as cmd would read a single one as a variable.
std::string _selfdel_Quoted(const std::u16string& path) {
    std::string quoted = "\"";
    // The script is ANSI text; a character the code page lacks becomes "?", as the system
    // conversion makes it.
    for (char c : jxtext::Utf16ToAnsi(path)) {
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
