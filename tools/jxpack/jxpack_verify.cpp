#include "jxpack.h"
#include "jxplat/machine.h"
#include "jxvfs/container/CPkgAccessor.h"
#include "jxvfs/selfcheck/CCarrierCheck.h"
#include "jxvfs/selfcheck/CSelfcheck.h"

namespace jxpack {

bool VerifyPackages(const std::string& carrierPath, const VerifyOptions& options, std::u16string* report) {
    CFilePkgAccessor carrier(jxplat::HostToWindowsPath(carrierPath));
    CCarrierCheck check;
    CSelfcheck selfcheck(&check);
    DWORD bits = kSelfcheckDataCrc | kSelfcheckFileTest;
    if (options.md5)
        bits |= kSelfcheckMd5;
    if (options.sha1)
        bits |= kSelfcheckSha1;
    selfcheck.Configure(options.verbosity, bits, nullptr);
    const bool scanned = check.Scan(selfcheck, carrier);
    const bool finalized = selfcheck.FinalizeCheck();
    // The whole list, judged as the check's end judges it; the tool prints instead of writing a dump.
    const bool ok = scanned && finalized && !selfcheck.HasFileTestFailed();
    if (report != nullptr) {
        *report = selfcheck.GetDumpText();
        // What each error means, for a person.
        for (const std::u16string& line : selfcheck.DescribeErrors(0))
            *report += line + u"\r\n";
    }
    return ok;
}

} // namespace jxpack
