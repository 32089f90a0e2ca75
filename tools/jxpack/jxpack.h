// jxpack: the package tool. Makes packages from folders, lists and extracts them, verifies them with
// the package self-check, and appends them to a program file. The tests and the demo call these
// functions directly or run the `jxpack` program. Paths are host paths (UTF-8).
#pragma once

#include <string>
#include <vector>

#include <windows.h>

namespace jxpack {

struct MakeOptions {
    // The package's top directory ("$CONFIG"); the folder's content goes below it. Empty: the
    // folder's own name.
    std::string root;
    // The package name (at most 16 bytes); empty: the top directory's name. A "{...}" text with 32
    // hexadecimal digits makes a GUID-named package.
    std::string name;
    DWORD blockSize = 512 * 1024;
    bool crcTag = false; // tag 16 (CRC-32 of the content) on every file
    bool best = false;   // lzo1x_999 instead of lzo1x_1
    struct FileVersion {
        std::string path; // relative to the folder, "/" separated
        WORD version[4] = {};
    };
    std::vector<FileVersion> versions;
};

// Makes one package of the folder's files (a ".wpk" carrier holding it).
bool MakePackage(const std::string& outPath, const std::string& folder, const MakeOptions& options,
                 std::string* error = nullptr);

struct ListedEntry {
    std::u16string path; // "$CONFIG\sub\file.txt"
    bool isDirectory = false;
    ULONGLONG size = 0;
    DWORD checksum = 0;
    FILETIME lastWrite = {};
    DWORD attributes = 0;
    std::u16string version; // "a.b.c.d" when the file has tag 40
    std::u16string hash;    // SHA-256, 64 upper-case hex digits, or empty
};

struct ListedPackage {
    std::u16string name;
    DWORD packageWord = 0;
    ULONGLONG start = 0;
    ULONGLONG dataStart = 0;
    ULONGLONG dataSize = 0;
    std::vector<ListedEntry> entries; // depth first in tree order
};

// Lists every package of a carrier (a .wpk file or a program with appended packages).
bool ListPackages(const std::string& carrierPath, std::vector<ListedPackage>& packages,
                  std::string* error = nullptr);

// Extracts every package's files below outFolder (top directories included), with their times.
// Each file is checked against its content checksum. Names that are not a single safe path
// component are refused.
bool ExtractPackages(const std::string& carrierPath, const std::string& outFolder,
                     std::string* error = nullptr);

struct VerifyOptions {
    bool md5 = false;
    bool sha1 = false;
    DWORD verbosity = 10;
};

// Runs the self-check with the data-area CRC check and the file test (plus optional digests).
// The report is the self-check's dump text. True when the carrier is sound.
bool VerifyPackages(const std::string& carrierPath, const VerifyOptions& options,
                    std::u16string* report = nullptr);

// Appends the packages of each package file to the program, each padded to 4 bytes, after the
// program's image (and after packages already appended). Refuses a signed PE program.
bool AppendPackages(const std::string& programPath, const std::vector<std::string>& packagePaths,
                    std::string* error = nullptr);

// The command line: make, list, extract, verify, append. Returns the exit status.
int Main(int argc, char** argv);

} // namespace jxpack
