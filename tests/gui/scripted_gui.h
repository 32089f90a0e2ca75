// The scripted GUI module: a GUI object that walks the page sequence as its script says, answers
// message boxes and cancel queries from it, and journals every call it receives.
//
// The script (UTF-8, one command a line, "#" starts a comment) comes from the file that the
// environment variable JX_GUI_SCRIPT names, else from "guiScript" of the machine's machine.json
// (a host path, or relative to the machine root); without one every page is answered "next".
//   page NAME|* next|cancel [set PROPERTY=VALUE ...]   what to do on a page (first match wins)
//   box TEXT ANSWER         a message box whose caption or text contains TEXT answers ANSWER
//                           (1 OK/Yes, 2 Cancel, 4 Retry, 5 Ignore, 7 No); otherwise 1
//   cancel progress N       the cancel query answers 1 once progress position N was shown
//   cancel text TEXT        ... once a progress text containing TEXT was shown
//   initialize fail         Initialize answers 0
//   restart true            GetBoolProperty("_PerformRestart") answers true
//   call NAME|* OPERATION [server=S] [database=D] [windows=true] [user=U] [password=P]
//                           on the page, before it goes on, calls a management-server operation
//                           of the data object and journals "call OPERATION -> RESULT": instances,
//                           databases, check (with the SQL request of the words), configure,
//                           deletedb, accesskey, authorize
// The journal is "gui-journal.txt" in the machine root (JX_MACHINE_ROOT): one line per call.
#pragma once

#include <string>
#include <vector>

namespace jxgui {

struct PageRule {
    std::u16string page; // "*" for every page
    bool cancel = false;
    std::vector<std::pair<std::u16string, std::u16string>> sets;
};

struct CallRule {
    std::u16string page; // "*" for every page
    std::string operation;
    std::u16string server, database, user, password;
    bool windows = false;
};

struct BoxRule {
    std::u16string contains;
    int answer = 1;
};

struct Script {
    std::vector<PageRule> pages;
    std::vector<BoxRule> boxes;
    std::vector<CallRule> calls;
    int cancelAtProgress = -1;
    std::u16string cancelAtText;
    bool failInitialize = false;
    bool performRestart = false;
};

// The script named for this process; an empty one when there is none.
Script LoadScript();
Script ParseScript(const std::string& text);
std::u16string FromUtf8(const std::string& text);
std::string ToUtf8(const std::u16string& text);
bool ContainsNoCase(const std::u16string& text, const std::u16string& part);

} // namespace jxgui
