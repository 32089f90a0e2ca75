// The command line of jxpack.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "jxpack.h"
#include "jxplat/text.h"
#include "jxvfs/container/PackageFormat.h"

namespace jxpack {

namespace {

const char kUsage[] = "usage:\n"
                      "  jxpack make OUT.wpk FOLDER [--root NAME] [--name NAME|{GUID}] [--block-size BYTES]\n"
                      "                             [--crc-tag] [--best] [--file-version PATH=A.B.C.D]...\n"
                      "  jxpack list PKG\n"
                      "  jxpack extract PKG DIR\n"
                      "  jxpack verify PKG [--md5] [--sha1] [-v N]\n"
                      "  jxpack append PROGRAM PKG...\n"
                      "PKG is a package file (.wpk) or a program with appended packages.\n"
                      "--root names the package's top directory (\"$CONFIG\"; default: the folder's name).\n";

// A wrong command line: the usage on stderr, exit code 2.
int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

bool IsHelp(const std::string& arg) {
    return arg == "--help" || arg == "-h" || arg == "help";
}

// A whole decimal number within `most`; false for anything else.
bool ParseCount(const char* text, unsigned long most, unsigned long& out) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (!*text || *text == '-' || *end != 0 || errno != 0 || value > most)
        return false;
    out = static_cast<unsigned long>(value);
    return true;
}

bool ParseVersion(const std::string& text, WORD out[4]) {
    int parts[4] = {};
    char extra = 0;
    if (std::sscanf(text.c_str(), "%d.%d.%d.%d%c", &parts[0], &parts[1], &parts[2], &parts[3], &extra) != 4)
        return false;
    for (int i = 0; i < 4; ++i) {
        if (parts[i] < 0 || parts[i] > 0xFFFF)
            return false;
        out[i] = static_cast<WORD>(parts[i]);
    }
    return true;
}

std::string FileTimeText(const FILETIME& time) {
    const ULONGLONG ticks = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    const long long seconds = static_cast<long long>(ticks / 10000000ULL) - 11644473600LL;
    const time_t t = static_cast<time_t>(seconds);
    struct tm tm {};
    char text[32] = "-";
    if (gmtime_r(&t, &tm) != nullptr)
        std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

int Make(int argc, char** argv) {
    if (argc < 4)
        return Usage();
    MakeOptions options;
    for (int i = 4; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--root" && hasValue) {
            options.root = argv[++i];
        } else if (arg == "--name" && hasValue) {
            options.name = argv[++i];
        } else if (arg == "--block-size" && hasValue) {
            unsigned long size = 0;
            if (!ParseCount(argv[++i], 0xFFFFFFFFul, size))
                return Usage();
            options.blockSize = static_cast<DWORD>(size);
        } else if (arg == "--crc-tag") {
            options.crcTag = true;
        } else if (arg == "--best") {
            options.best = true;
        } else if (arg == "--file-version" && hasValue) {
            const std::string text = argv[++i];
            const size_t eq = text.rfind('=');
            MakeOptions::FileVersion v;
            if (eq == std::string::npos || !ParseVersion(text.substr(eq + 1), v.version))
                return Usage();
            v.path = text.substr(0, eq);
            options.versions.push_back(v);
        } else {
            return Usage();
        }
    }
    std::string error;
    if (!MakePackage(argv[2], argv[3], options, &error)) {
        std::fprintf(stderr, "jxpack: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

int List(int argc, char** argv) {
    if (argc != 3)
        return Usage();
    std::vector<ListedPackage> packages;
    std::string error;
    if (!ListPackages(argv[2], packages, &error)) {
        std::fprintf(stderr, "jxpack: %s\n", error.c_str());
        return 1;
    }
    for (const ListedPackage& p : packages) {
        std::printf("package %s at %llu: word %08X, block size %d, data %llu bytes\n",
                    jxtext::N(p.name).c_str(), static_cast<unsigned long long>(p.start), p.packageWord,
                    jxpkg::BlockSizeOf(p.packageWord), static_cast<unsigned long long>(p.dataSize));
        for (const ListedEntry& e : p.entries) {
            if (e.isDirectory) {
                std::printf("  %-10s %-19s %-8s %s\\\n", "<dir>", "", "", jxtext::N(e.path).c_str());
                continue;
            }
            std::printf("  %-10llu %-19s %08X %s", static_cast<unsigned long long>(e.size),
                        FileTimeText(e.lastWrite).c_str(), e.checksum, jxtext::N(e.path).c_str());
            if (!e.version.empty())
                std::printf("  version %s", jxtext::N(e.version).c_str());
            if (e.attributes & 1)
                std::printf("  read-only");
            if (e.attributes & 2)
                std::printf("  hidden");
            std::printf("\n");
        }
    }
    return 0;
}

int Extract(int argc, char** argv) {
    if (argc != 4)
        return Usage();
    std::string error;
    if (!ExtractPackages(argv[2], argv[3], &error)) {
        std::fprintf(stderr, "jxpack: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

int Verify(int argc, char** argv) {
    if (argc < 3)
        return Usage();
    VerifyOptions options;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--md5")
            options.md5 = true;
        else if (arg == "--sha1")
            options.sha1 = true;
        else if (arg == "-v" && i + 1 < argc) {
            unsigned long level = 0;
            if (!ParseCount(argv[++i], 0xFFFFFFFFul, level))
                return Usage();
            options.verbosity = static_cast<DWORD>(level);
        } else
            return Usage();
    }
    std::u16string report;
    const bool ok = VerifyPackages(argv[2], options, &report);
    std::fputs(jxtext::N(report).c_str(), stdout);
    std::printf("%s\n", ok ? "verify: ok" : "verify: FAILED");
    return ok ? 0 : 1;
}

int Append(int argc, char** argv) {
    if (argc < 4)
        return Usage();
    std::vector<std::string> packages(argv + 3, argv + argc);
    std::string error;
    if (!AppendPackages(argv[2], packages, &error)) {
        std::fprintf(stderr, "jxpack: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int Main(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    const std::string command = argv[1];
    // "--help" asked for the usage: it goes to stdout and is no failure.
    if (IsHelp(command) || (argc > 2 && IsHelp(argv[2]))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "make")
        return Make(argc, argv);
    if (command == "list")
        return List(argc, argv);
    if (command == "extract")
        return Extract(argc, argv);
    if (command == "verify")
        return Verify(argc, argv);
    if (command == "append")
        return Append(argc, argv);
    std::fprintf(stderr, "jxpack: unknown command \"%s\"\n", command.c_str());
    return Usage();
}

} // namespace jxpack
