// jxmachine msgbox, trace, pending and root: what the machine recorded.
#include <cstdio>
#include <string>

#include <windows.h>

#include "jxmachine/commands.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"

namespace {

int PrintMessageBoxes(int, char**, int) {
    for (const auto& box : jxplat::ReadRecordedMessageBoxes()) {
        std::printf("[%s] type 0x%x, answer %d\n%s\n\n", jxtext::Utf16ToUtf8(box.caption).c_str(), box.type,
                    box.answer, jxtext::Utf16ToUtf8(box.text).c_str());
    }
    return 0;
}

int PrintFile(const std::string& path) {
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return 0; // nothing was written yet
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), in)) > 0)
        std::fwrite(buffer, 1, n, stdout);
    std::fclose(in);
    return 0;
}

// One line per pending operation, in the order the restart carries them out.
int PrintPendingFileOperations(int, char**, int) {
    for (const auto& operation : jxplat::ReadPendingFileOperations()) {
        const std::string source = jxtext::Utf16ToUtf8(operation.source);
        if (operation.target.empty())
            std::printf("delete %s\n", source.c_str());
        else
            std::printf("%s %s -> %s\n", operation.replaceExisting ? "replace" : "move", source.c_str(),
                        jxtext::Utf16ToUtf8(operation.target).c_str());
    }
    return 0;
}

int PrintTrace(int, char**, int) {
    return PrintFile(jxplat::MachinePath("trace.log"));
}

int PrintRoot(int, char**, int) {
    std::printf("%s\n", jxplat::MachineRoot().c_str());
    return 0;
}

jxtools::JxMachineCommand g_MsgBox("msgbox",
                                   "msgbox                   print the message boxes shown on the machine",
                                   PrintMessageBoxes);
jxtools::JxMachineCommand
    g_Trace("trace", "trace                    print the debugger output of the machine", PrintTrace);
jxtools::JxMachineCommand
    g_Pending("pending", "pending                  print the file operations pending for the next restart",
              PrintPendingFileOperations);
jxtools::JxMachineCommand g_Root("root", "root                     print the machine root's host path",
                                 PrintRoot);

} // namespace
