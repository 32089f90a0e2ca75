// The self-check of one carrier without the package manager: walks the carrier as mounting does,
// keeps each package's checked meta tree, and serves the file test a view of every package's files
// read straight from the carrier. The package tool (verify, list, extract), the fuzz target and the
// tests use it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "jxvfs/container/CMetaTree.h"
#include "jxvfs/container/PackageFormat.h"
#include "jxvfs/selfcheck/SelfcheckTree.h"

class CPkgAccessor;
class CSelfcheck;

class CCarrierCheck : public CSelfcheckOwner {
public:
    struct PACKAGE {
        std::u16string name;
        jxpkg::PACKAGE_HEADER header;
        ULONGLONG start = 0;
        ULONGLONG dataStart = 0;
        CMetaTree tree; // empty when the package has no elements
    };

    CCarrierCheck() = default;
    ~CCarrierCheck() override = default;

    // Attaches the carrier to the self-check, opens it and walks it; records 0x80000003 when it cannot
    // be opened. Returns the walk's judgement (true when no error that counts was recorded). The carrier
    // stays attached: call selfcheck.FinalizeCheck() next for the carrier's result (and the file test).
    bool Scan(CSelfcheck& selfcheck, CPkgAccessor& carrier);

    const std::vector<PACKAGE>& Packages() const { return m_packages; }
    CPkgAccessor* Carrier() const { return m_carrier; }

    // A directory holding every package's top entries (in name order); files read from the carrier.
    std::unique_ptr<CSelfcheckEntry> GetSelfcheckRoot() override;

private:
    std::vector<PACKAGE> m_packages;
    CPkgAccessor* m_carrier = nullptr;
};
