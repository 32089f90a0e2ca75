// Listing and extraction: the carrier is walked as mounting does and every file is read straight
// from it.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "jxpack.h"
#include "jxbase/guards.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxvfs/container/CPackedFileReader.h"
#include "jxvfs/container/CPkgAccessor.h"
#include "jxvfs/container/HostFiles.h"
#include "jxvfs/selfcheck/CCarrierCheck.h"
#include "jxvfs/selfcheck/CSelfcheck.h"

namespace jxpack {

namespace {

std::string ErrorText(const CSelfcheck& selfcheck) {
    std::string text;
    for (const ERROR_ENTRY& e : selfcheck.GetErrors()) {
        text += jxtext::N(jxtext::Format(u" %08X-%08X-%08X'%08X", e.code, e.detail, e.valueHigh, e.valueLow));
    }
    return text;
}

// Scans the carrier; false (with the error records as text) when the walk found errors that count.
bool ScanCarrier(const std::string& path, CFilePkgAccessor& carrier, CSelfcheck& selfcheck,
                 CCarrierCheck& check, std::string* error) {
    selfcheck.Configure(1, 0, nullptr);
    const bool ok = check.Scan(selfcheck, carrier) && selfcheck.FinalizeCheck();
    if (!ok && error != nullptr)
        *error = "the packages of " + path + " are damaged:" + ErrorText(selfcheck);
    return ok;
}

// Sets the host file's modification time to a FILETIME (100 ns since 1601).
void SetHostFileTime(int fd, const FILETIME& time) {
    const ULONGLONG ticks = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    const long long unixTicks = static_cast<long long>(ticks) - 116444736000000000LL;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = unixTicks / 10000000LL;
    times[1].tv_nsec = (unixTicks % 10000000LL) * 100;
    if (times[1].tv_nsec < 0) {
        times[1].tv_sec -= 1;
        times[1].tv_nsec += 1000000000L;
    }
    ::futimens(fd, times);
}

// Decodes one packed file block by block into "<host>.jxtmp" and renames it onto its name once the
// whole content matched its checksum, so that memory stays at one block whatever the file's size
// and a damaged file never appears under its name. Empty text on success, else the reason.
std::string ExtractOneFile(CPackedFileReader& reader, const std::string& host, const FILETIME& time) {
    const std::string temporary = host + ".jxtmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return "cannot write " + host + ": " + std::strerror(errno);
    std::string failure;
    std::vector<BYTE> block;
    while (failure.empty() && !reader.AtEnd()) {
        block.clear();
        if (!reader.ReadNextBlock(block))
            failure = "cannot decode " + host + " (block error " + std::to_string(reader.LastResult()) + ")";
        else if (!jxpkg::WriteAllToHostFd(fd, block.data(), block.size()))
            failure = "cannot write " + host + ": " + std::strerror(errno);
    }
    if (failure.empty() && !reader.VerifyContent())
        failure = "the content of " + host + " does not match its checksum";
    if (failure.empty())
        SetHostFileTime(fd, time);
    if (::close(fd) != 0 && failure.empty())
        failure = "cannot write " + host + ": " + std::strerror(errno);
    if (failure.empty() && ::rename(temporary.c_str(), host.c_str()) != 0)
        failure = "cannot write " + host + ": " + std::strerror(errno);
    if (!failure.empty())
        ::unlink(temporary.c_str());
    return failure;
}

} // namespace

bool ListPackages(const std::string& carrierPath, std::vector<ListedPackage>& packages, std::string* error) {
    packages.clear();
    CFilePkgAccessor carrier(jxplat::HostToWindowsPath(carrierPath));
    CSelfcheck selfcheck;
    CCarrierCheck check;
    if (!ScanCarrier(carrierPath, carrier, selfcheck, check, error))
        return false;
    for (const CCarrierCheck::PACKAGE& p : check.Packages()) {
        ListedPackage listed;
        listed.name = p.name;
        listed.packageWord = p.header.packageWord;
        listed.start = p.start;
        listed.dataStart = p.dataStart;
        listed.dataSize = p.header.dataSize;
        p.tree.Walk([&listed](const META_NODE& node, const std::u16string& path) {
            ListedEntry e;
            e.path = path;
            e.isDirectory = node.isDirectory;
            e.size = node.size;
            e.checksum = node.checksum;
            e.lastWrite = node.lastWrite;
            e.attributes = node.attributes;
            if (node.FindTag(jxpkg::kTagVersionHigh) != nullptr) {
                WORD w[4];
                jxpkg::VersionWordsOf(node.tags, w);
                e.version = jxtext::Format(u"%i.%i.%i.%i", w[0], w[1], w[2], w[3]);
            }
            e.hash = jxpkg::HashTextOf(node.tags);
            listed.entries.push_back(std::move(e));
        });
        packages.push_back(std::move(listed));
    }
    return true;
}

bool ExtractPackages(const std::string& carrierPath, const std::string& outFolder, std::string* error) {
    auto fail = [error](const std::string& text) {
        if (error != nullptr)
            *error = text;
        return false;
    };
    CFilePkgAccessor carrier(jxplat::HostToWindowsPath(carrierPath));
    CSelfcheck selfcheck;
    CCarrierCheck check;
    if (!ScanCarrier(carrierPath, carrier, selfcheck, check, error))
        return false;
    for (size_t slash = outFolder.find('/', 1); slash != std::string::npos;
         slash = outFolder.find('/', slash + 1))
        ::mkdir(outFolder.substr(0, slash).c_str(), 0755);
    if (::mkdir(outFolder.c_str(), 0755) != 0 && errno != EEXIST)
        return fail("cannot create " + outFolder + ": " + std::strerror(errno));
    for (const CCarrierCheck::PACKAGE& p : check.Packages()) {
        if (p.tree.Empty())
            continue;
        // Depth first with the host path of each directory.
        struct Item {
            size_t index;
            std::string host;
        };
        std::vector<Item> stack{{0, outFolder}};
        while (!stack.empty()) {
            const Item item = stack.back();
            stack.pop_back();
            for (size_t childIndex : p.tree.Node(item.index).children) {
                const META_NODE& node = p.tree.Node(childIndex);
                if (!IsSinglePathSegment(node.name))
                    return fail("refused the unsafe name \"" + jxtext::N(node.name) + "\" in package " +
                                jxtext::N(p.name));
                const std::string host = item.host + "/" + jxtext::N(node.name);
                if (node.isDirectory) {
                    if (::mkdir(host.c_str(), 0755) != 0 && errno != EEXIST)
                        return fail("cannot create " + host + ": " + std::strerror(errno));
                    stack.push_back({childIndex, host});
                    continue;
                }
                CPackedFileReader reader(carrier, p.header.packageWord, p.dataStart, node);
                if (std::string failure = ExtractOneFile(reader, host, node.lastWrite); !failure.empty())
                    return fail(failure);
            }
        }
    }
    return true;
}

} // namespace jxpack
