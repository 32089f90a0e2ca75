// The tree of product files the installation benchmarks pack and install: 5,000 small files (a few
// KB each, in 50 folders "d0".."d49") and large files in "large", with content that compresses
// about as well as a product's files.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace jxbench {

constexpr int kSmallFiles = 5000;
constexpr int kFolders = 50;

inline std::vector<unsigned char> MakeContent(size_t size, unsigned seed) {
    static const char* words[] = {"Setup",     "Package", "Component", "<File Id=\"",
                                  "\" />\r\n", "Version", " "};
    std::mt19937_64 generator(seed);
    std::vector<unsigned char> out;
    out.reserve(size);
    while (out.size() < size) {
        const uint64_t r = generator();
        if (r % 5 == 0) {
            for (int i = 0; i < 32 && out.size() < size; ++i)
                out.push_back(static_cast<unsigned char>(generator()));
        } else {
            const char* word = words[r % 7];
            out.insert(out.end(), word, word + std::strlen(word));
            const std::string number = std::to_string(r >> 40);
            out.insert(out.end(), number.begin(), number.end());
        }
    }
    out.resize(size);
    return out;
}

// Writes the tree below folder (smallFiles small files and the large ones); the total size of its
// files.
inline uint64_t MakeTree(const std::string& folder, int largeFiles, size_t largeFileSize,
                         int smallFiles = kSmallFiles) {
    uint64_t total = 0;
    std::mt19937 sizes(11);
    for (int i = 0; i < smallFiles + largeFiles; ++i) {
        const bool large = i >= smallFiles;
        const size_t size = large ? largeFileSize : 2048 + sizes() % (6 * 1024);
        const std::string relative =
            large ? "large/file" + std::to_string(i) + ".bin"
                  : "d" + std::to_string(i % kFolders) + "/f" + std::to_string(i) + ".dat";
        const std::vector<unsigned char> content = MakeContent(size, static_cast<unsigned>(i));
        const std::filesystem::path path = std::filesystem::path(folder) / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(content.data()),
                   static_cast<std::streamsize>(content.size()));
        total += size;
    }
    return total;
}

// Lets the disk write out what the last iteration left in the page cache, so that no iteration pays
// for the write-back of another one.
inline void SettleDisk() {
    ::sync();
}

// The yardstick: `tar -x` of the tree stored uncompressed into a fresh folder, once per iteration.
inline void RunTarExtract(benchmark::State& state, const std::string& tarFile, const std::string& target,
                          uint64_t totalBytes) {
    const std::string command = "tar -xf '" + tarFile + "' -C '" + target + "'";
    for (auto _ : state) {
        state.PauseTiming();
        std::error_code error;
        std::filesystem::remove_all(target, error);
        std::filesystem::create_directories(target);
        SettleDisk();
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("tar failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * totalBytes));
}

// One run of a shell command with what it cost: its exit status, and the peak resident memory of
// the largest process it started (the shell's children included), in KB.
struct MeasuredRun {
    int status = -1;
    long peakKb = 0;
};

inline MeasuredRun RunMeasured(const std::string& command) {
    MeasuredRun run;
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (child < 0)
        return run;
    int status = 0;
    struct rusage usage {};
    if (::wait4(child, &status, 0, &usage) != child)
        return run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    // The figure wait4 gives is the larger of the shell's own peak and that of the processes it
    // waited for.
    run.peakKb = usage.ru_maxrss;
    return run;
}

// The number of system calls a shell command makes (every process it starts), counted by strace;
// -1 when strace is missing or fails.
inline long CountSystemCalls(const std::string& command, const std::string& reportFile) {
    const std::string traced =
        "strace -f -c -U name,calls -o '" + reportFile + "' sh -c \"" + command + "\" > /dev/null 2>&1";
    if (std::system("command -v strace > /dev/null 2>&1") != 0 || std::system(traced.c_str()) != 0)
        return -1;
    std::ifstream report(reportFile);
    std::string name;
    long calls = -1;
    // Lines of "<name> <calls>"; the last one is "total <calls>".
    for (std::string line; std::getline(report, line);) {
        std::istringstream fields(line);
        long count = 0;
        if (fields >> name >> count && name == "total")
            calls = count;
    }
    return calls;
}

} // namespace jxbench
