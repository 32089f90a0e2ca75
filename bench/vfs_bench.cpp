// Reading packaged files: every file of a 200 MB package (many small files, a few large ones)
// read through the virtual file system, against a loop that only decodes the same LZO1X blocks
// with the LZO library (in memory, no carrier reads, no streams), and against `tar -x` of the same
// tree stored uncompressed. Prints the throughput ratios at the end.
#include <benchmark/benchmark.h>

#include "bench_machine.h"
#include "bench_reporter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <lzo1x.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxvfs/IPackedFileStream.h"
#include "jxvfs/PackageMgr.h"
#include "jxvfs/VirtualFS.h"
#include "jxvfs/container/CPackageWriter.h"

namespace fs = std::filesystem;

namespace {

constexpr DWORD kBlockSize = 512 * 1024;
constexpr int kSmallFiles = 5000;
constexpr size_t kLargeFileSize = 30u << 20;
constexpr int kLargeFiles = 4;

struct BenchData {
    std::string root;                      // the machine root
    std::string tree;                      // the host tree that was packed
    std::string tarFile;                   // the same tree as an uncompressed tar archive
    std::vector<std::u16string> vfsPaths;  // every file in the package
    std::vector<std::vector<BYTE>> blocks; // every compressed block of every file, in order
    std::vector<DWORD> blockLengths;       // their decoded lengths
    uint64_t totalBytes = 0;
    std::unique_ptr<VirtualFS> vfs;
};

BenchData g_data;

// Content that compresses about as well as a product's files: runs of text with numbers and
// stretches of noise, mixed by the seed.
std::vector<BYTE> MakeContent(size_t size, unsigned seed) {
    static const char* words[] = {"Setup",       "Package",   "Component", "Registry", "Service",
                                  "<File Id=\"", "\" />\r\n", "Version",   "0x",       "Install",
                                  " ",           "\t",        "Feature"};
    std::mt19937_64 generator(seed);
    std::vector<BYTE> out;
    out.reserve(size);
    while (out.size() < size) {
        const uint64_t r = generator();
        if (r % 5 == 0) { // noise
            for (int i = 0; i < 32 && out.size() < size; ++i)
                out.push_back(static_cast<BYTE>(generator()));
        } else {
            const char* word = words[r % 13];
            out.insert(out.end(), word, word + std::strlen(word));
            const std::string number = std::to_string(r >> 40);
            out.insert(out.end(), number.begin(), number.end());
        }
    }
    out.resize(size);
    return out;
}

void WriteHostFile(const fs::path& path, const std::vector<BYTE>& content) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
}

void KeepBlocks(const std::vector<BYTE>& content) {
    for (size_t at = 0; at < content.size(); at += kBlockSize) {
        const size_t length = std::min<size_t>(kBlockSize, content.size() - at);
        std::vector<BYTE> packed;
        jxpkg::CompressBlockLzo(content.data() + at, length, false, packed);
        g_data.blocks.push_back(std::move(packed));
        g_data.blockLengths.push_back(static_cast<DWORD>(length));
    }
}

bool Prepare() {
    const std::string pattern = jxbench::MakeBenchMachine("vfs");
    if (pattern.empty())
        return false;
    g_data.root = pattern;

    g_data.tree = pattern + "/tree";
    std::mt19937 sizes(7);
    for (int i = 0; i < kSmallFiles + kLargeFiles; ++i) {
        const bool large = i >= kSmallFiles;
        const size_t size = large ? kLargeFileSize + i : 1024 + sizes() % (32 * 1024);
        const std::string relative =
            large ? "large/file" + std::to_string(i) + ".bin"
                  : "small/d" + std::to_string(i % 50) + "/f" + std::to_string(i) + ".dat";
        const std::vector<BYTE> content = MakeContent(size, static_cast<unsigned>(i));
        WriteHostFile(fs::path(g_data.tree) / relative, content);
        KeepBlocks(content);
        g_data.totalBytes += size;
        std::u16string vfsPath = u"\\$SETUP\\" + jxtext::W(relative);
        for (char16_t& c : vfsPath)
            if (c == u'/')
                c = u'\\';
        g_data.vfsPaths.push_back(vfsPath);
    }

    PACKAGE_WRITER_OPTIONS options;
    options.name = "$SETUP";
    options.blockSize = kBlockSize;
    CPackageWriter writer(options);
    const std::u16string carrier = u"C:\\bench\\data.wpk";
    fs::create_directories(jxplat::WindowsToHostPath(u"C:\\bench"));
    if (!writer.AddHostFolder(g_data.tree, u"$SETUP") ||
        !writer.WriteToHostFile(jxplat::WindowsToHostPath(carrier)))
        return false;
    if (PackageMgr::Instance()->MountPackageFile(carrier.c_str()) == 0)
        return false;
    g_data.vfs.reset(PackageMgr::Instance()->CreateVirtualFS());

    g_data.tarFile = pattern + "/tree.tar";
    const std::string tar = "tar -cf '" + g_data.tarFile + "' -C '" + g_data.tree + "' .";
    return g_data.vfs && std::system(tar.c_str()) == 0;
}

void BM_VfsReadEveryFile(benchmark::State& state) {
    std::vector<BYTE> buffer(1 << 20);
    for (auto _ : state) {
        uint64_t read = 0;
        for (const std::u16string& path : g_data.vfsPaths) {
            IPackedFileStream* stream = g_data.vfs->OpenStreamByPath(path, 0);
            if (!stream) {
                state.SkipWithError("a file cannot be opened");
                return;
            }
            ULONG got = 0;
            while (SUCCEEDED(stream->Read(buffer.data(), static_cast<ULONG>(buffer.size()), &got)) && got)
                read += got;
            stream->Release();
        }
        if (read != g_data.totalBytes) {
            state.SkipWithError("the files did not read back whole");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_data.totalBytes));
}
BENCHMARK(BM_VfsReadEveryFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LzoDecodeOnly(benchmark::State& state) {
    std::vector<BYTE> out(kBlockSize);
    for (auto _ : state) {
        uint64_t decoded = 0;
        for (size_t i = 0; i < g_data.blocks.size(); ++i) {
            lzo_uint length = out.size();
            if (lzo1x_decompress_safe(g_data.blocks[i].data(), g_data.blocks[i].size(), out.data(), &length,
                                      nullptr) != LZO_E_OK ||
                length != g_data.blockLengths[i]) {
                state.SkipWithError("a block does not decode");
                return;
            }
            decoded += length;
        }
        benchmark::DoNotOptimize(decoded);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_data.totalBytes));
}
BENCHMARK(BM_LzoDecodeOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TarExtract(benchmark::State& state) {
    const std::string target = g_data.root + "/untarred";
    const std::string command = "tar -xf '" + g_data.tarFile + "' -C '" + target + "'";
    for (auto _ : state) {
        state.PauseTiming();
        std::error_code error;
        fs::remove_all(target, error);
        fs::create_directories(target);
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("tar failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_data.totalBytes));
}
BENCHMARK(BM_TarExtract)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    if (!Prepare()) {
        std::fprintf(stderr, "jx_bench_vfs: cannot prepare the package\n");
        return 1;
    }
    std::printf("package: %zu files, %.1f MB of content, %zu blocks\n", g_data.vfsPaths.size(),
                g_data.totalBytes / 1048576.0, g_data.blocks.size());
    benchmark::Initialize(&argc, argv);
    jxbench::CFigureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double vfs = reporter.Rate("BM_VfsReadEveryFile");
    const double lzo = reporter.Rate("BM_LzoDecodeOnly");
    const double tar = reporter.Rate("BM_TarExtract");
    if (vfs > 0 && lzo > 0)
        std::printf(
            "virtual file system %.0f MB/s, LZO library decode only %.0f MB/s: ratio %.2f (goal >= 0.90)\n",
            vfs / 1048576, lzo / 1048576, vfs / lzo);
    if (vfs > 0 && tar > 0)
        std::printf("virtual file system %.0f MB/s, tar -x of the uncompressed tree %.0f MB/s: ratio %.2f\n",
                    vfs / 1048576, tar / 1048576, vfs / tar);
    benchmark::Shutdown();
    g_data.vfs.reset();
    PackageMgr::Instance()->Cleanup();
    std::error_code error;
    fs::remove_all(g_data.root, error);
    return 0;
}
