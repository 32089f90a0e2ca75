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
#include <unistd.h>
#include <string>
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

// Writes the tree below folder; the total size of its files.
inline uint64_t MakeTree(const std::string& folder, int largeFiles, size_t largeFileSize) {
    uint64_t total = 0;
    std::mt19937 sizes(11);
    for (int i = 0; i < kSmallFiles + largeFiles; ++i) {
        const bool large = i >= kSmallFiles;
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

} // namespace jxbench
