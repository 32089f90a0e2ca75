// filecopy_crash.exe <extract|commit> <n> <package>: runs CopyFiles and CleanUp of the file-action
// test product ("*" rows of the package's files, copied always) against the machine root, and kills
// itself (SIGKILL, no clean-up of any kind) once the n-th file was extracted or committed. With
// n = 0 it runs to the end and exits with 0.
#include <csignal>
#include <cstdlib>
#include <string>

#include "file_copy_fixture.h"

int main(int argc, char** argv) {
    using namespace jxfilecopytest;
    if (argc != 4)
        return 2;
    const std::string point = argv[1] == std::string("extract") ? "extracted" : "committed";
    const int killAt = std::atoi(argv[2]);
    int seen = 0;
    JxData data;
    DefineProduct(data, {CopyRow(u"*", u"always"), CopyRow(u"sub\\*", u"always")});
    data.GetFileActionState().m_HookForTesting = [&](const char* reached) {
        if (point == reached && ++seen == killAt)
            std::raise(SIGKILL);
    };
    if (!MountAndCopy(data, jxtext::W(argv[3])))
        return 3;
    if (data.m_SequenceData.m_bFailure)
        return 4;
    data.CommitCopiedFiles();
    return data.HasUncommittedFileCopies() ? 5 : 0;
}
