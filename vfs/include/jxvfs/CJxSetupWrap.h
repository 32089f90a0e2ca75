// The setup wrapper: the virtual file system of the setup program itself. InitializeWrapper reads
// the self-check options of the command line, offers "data.wpk" of the current directory to the
// package manager, mounts the program's own file with its appended packages and attaches the
// merged tree to this object. The engine-control object derives from it.
#pragma once

#include <string>
#include <vector>

#include "jxvfs/VirtualFS.h"
#include "jxvfs/wrapper/SelfcheckOptions.h"

class CJxSetupWrap : public VirtualFS {
public:
    CJxSetupWrap() = default;
    ~CJxSetupWrap() override = default;

    // True when the program's packages were mounted and attached and no self-check option was
    // given. The options always come from the process command line; the program to mount is named
    // by the argument, or by the process command line when it is null.
    bool InitializeWrapper(const WCHAR* commandLine);
    // The same with the process command line given (tests pass their own lines).
    bool InitializeWrapperFrom(std::u16string_view processCommandLine, const WCHAR* commandLine);

    // Ends the self-check and returns its result.
    bool GetSelfcheckResultOk();
    // Why the last carrier could not be mounted, one line per failed check (empty when it was).
    std::vector<std::u16string> GetMountFailures() const;
    std::u16string* GetWrapString() { return &m_wrapString; }
    // True when the process runs as the LocalSystem account.
    static bool IsLocalSystem();

    bool IsSelfcheckRequested() const { return m_bSelfcheck; }
    const SELFCHECK_OPTIONS& GetSelfcheckOptions() const { return m_selfcheckOptions; }

private:
    std::u16string _wrap_CurrentDirectory();

    std::u16string m_wrapString;
    bool m_bSelfcheck = false;
    SELFCHECK_OPTIONS m_selfcheckOptions;
};
