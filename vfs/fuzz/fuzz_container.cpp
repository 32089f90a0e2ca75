// The package container reader under libFuzzer: the input is a carrier. Each input is walked as
// mounting walks it and every file of every package is read; then once more with the data CRC check,
// the file test and a digest, as the self-check options run it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "jxvfs/container/CPackedFileReader.h"
#include "jxvfs/container/CPkgAccessor.h"
#include "jxvfs/selfcheck/CCarrierCheck.h"
#include "jxvfs/selfcheck/CSelfcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        CMemoryPkgAccessor carrier(u"Z:\\fuzz\\carrier.wpk", data, size);
        CCarrierCheck check;
        CSelfcheck selfcheck(&check);
        selfcheck.Configure(10, 0, nullptr);
        check.Scan(selfcheck, carrier);
        for (const CCarrierCheck::PACKAGE& package : check.Packages()) {
            package.tree.Walk([&](const META_NODE& node, const std::u16string&) {
                if (node.isDirectory)
                    return;
                CPackedFileReader reader(carrier, package.header.packageWord, package.dataStart, node);
                std::vector<BYTE> content;
                if (reader.ReadAll(content))
                    (void)reader.VerifyContent();
            });
        }
        selfcheck.FinalizeCheck();
    }
    {
        CMemoryPkgAccessor carrier(u"Z:\\fuzz\\carrier.wpk", data, size);
        CCarrierCheck check;
        CSelfcheck selfcheck(&check);
        selfcheck.Configure(10, kSelfcheckDataCrc | kSelfcheckFileTest | kSelfcheckMd5, nullptr);
        check.Scan(selfcheck, carrier);
        selfcheck.FinalizeCheck();
        (void)selfcheck.GetDumpText();
    }
    return 0;
}
