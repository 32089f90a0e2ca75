#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "jxpack.h"
#include "jxplat/machine.h"
#include "jxvfs/container/CarrierImage.h"
#include "jxvfs/container/CPkgAccessor.h"
#include "jxvfs/container/HostFiles.h"
#include "jxvfs/selfcheck/CCarrierCheck.h"
#include "jxvfs/selfcheck/CSelfcheck.h"

namespace jxpack {

namespace {} // namespace

bool AppendPackages(const std::string& programPath, const std::vector<std::string>& packagePaths,
                    std::string* error) {
    auto fail = [error](const std::string& text) {
        if (error != nullptr)
            *error = text;
        return false;
    };
    {
        CFilePkgAccessor program(jxplat::HostToWindowsPath(programPath));
        if (!program.Open())
            return fail("cannot open the program " + programPath);
        const jxpkg::CARRIER_LAYOUT layout = jxpkg::LocateCarrierLayout(program);
        program.Close();
        if (layout.kind == jxpkg::CarrierKind::PackageFile || layout.kind == jxpkg::CarrierKind::BadProgram)
            return fail(programPath + " is not a PE or ELF program");
        if (layout.hasCertificate)
            return fail(programPath +
                        " is signed: packages go before its certificate table, which would break it");
    }
    // Each package file must hold sound packages and nothing else.
    std::vector<std::vector<BYTE>> contents;
    for (const std::string& path : packagePaths) {
        CFilePkgAccessor carrier(jxplat::HostToWindowsPath(path));
        CSelfcheck selfcheck;
        CCarrierCheck check;
        selfcheck.Configure(1, 0, nullptr);
        if (!check.Scan(selfcheck, carrier) || !selfcheck.FinalizeCheck() || check.Packages().empty())
            return fail(path + " holds no sound package");
        contents.emplace_back();
        if (!jxpkg::ReadHostFileBytes(path, contents.back()))
            return fail("cannot read " + path);
    }
    const int fd = ::open(programPath.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0)
        return fail("cannot open " + programPath + " for writing: " + std::strerror(errno));
    off_t end = ::lseek(fd, 0, SEEK_END);
    static const BYTE kZeros[4] = {};
    bool ok = end >= 0;
    // The first package starts on a 4-byte boundary; every package is padded to the next one.
    if (ok && end % 4 != 0)
        ok = jxpkg::WriteAllToHostFd(fd, kZeros, 4 - static_cast<size_t>(end % 4));
    for (const std::vector<BYTE>& bytes : contents) {
        if (!ok)
            break;
        ok = jxpkg::WriteAllToHostFd(fd, bytes.data(), bytes.size());
        if (ok && bytes.size() % 4 != 0)
            ok = jxpkg::WriteAllToHostFd(fd, kZeros, 4 - bytes.size() % 4);
    }
    if (::close(fd) != 0)
        ok = false;
    return ok ? true : fail("cannot write " + programPath);
}

} // namespace jxpack
