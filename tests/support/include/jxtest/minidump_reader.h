// Reads a minidump file back with an independent reader (a Python script over `struct`) and shows
// what it found: header, system information, threads, modules and the exception stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jxtest {

struct MinidumpView {
    std::string error; // "" when the file is a well-formed minidump
    uint32_t streams = 0;
    uint64_t flags = 0; // the dump type
    uint32_t architecture = 0, major = 0, minor = 0, build = 0;
    std::vector<uint32_t> threads;
    std::vector<std::string> modules; // UTF-8 module names
    bool hasException = false;
    uint32_t exceptionThread = 0, exceptionCode = 0;
};

// `hostPath`: the dump file on the host.
MinidumpView ReadMinidump(const std::string& hostPath);

} // namespace jxtest
