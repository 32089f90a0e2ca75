// The whole quiet installation, run as the program with its packages beside it on a fresh machine
// root (initialization, update decision, install sequence, maintenance copy, log), against
// `tar -x` of the same tree stored uncompressed. Two products: 5,000 small files with three large
// ones (about 300 MB), and 20,000 small files. Prints at the end the ratio of each pair of times,
// the peak memory of one installation and the system calls per installed file (when strace is
// there).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_reporter.h"
#include "bench_tree.h"
#include "jxtest/host_sha256.h"

namespace fs = std::filesystem;

namespace {

const char* const kComponent = "{B0000000-0000-4000-8000-0000000000C0}";

struct Product {
    std::string work;    // everything of this product
    std::string setup;   // the program and its packages
    std::string tarFile; // the tree as an uncompressed tar archive
    std::string machineJson;
    uint64_t totalBytes = 0;
    int files = 0;
};

Product g_mixed; // 5,000 small and 3 large files
Product g_small; // 20,000 small files

bool Run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

std::string Definition() {
    std::string rows;
    for (int i = 0; i <= jxbench::kFolders; ++i) {
        const std::string folder = i == jxbench::kFolders ? "large" : "d" + std::to_string(i);
        rows += "    <SetupFile name=\"" + folder + "\\*\" featurename=\"Main\" componentid=\"" + kComponent +
                "\" copymode=\"always\"/>\n";
    }
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<Setup productid=\"{B0000000-0000-4000-8000-000000000001}\" productname=\"Bench\" "
                       "version=\"1.0.0.1\" languages=\"1033\" packagecode=\"PKG-BENCH\">\n"
                       "  <SetupFeatures>\n    <SetupFeature name=\"Main\" visible=\"true\" mode=\"force\">\n"
                       "      <SetupComponents>\n        <SetupComponent id=\"") +
           kComponent +
           "\" destinationdir=\"[INSTALLDIR]\" installmode=\"custom\"/>\n      </SetupComponents>\n"
           "    </SetupFeature>\n  </SetupFeatures>\n  <SetupProperties>\n"
           "    <SetupProperty name=\"PRODUCTNAME\" value=\"Bench\"/>\n"
           "    <SetupProperty name=\"INSTALLDIR\" value=\"[ProgramFilesFolder]\\Tolvane\\Bench\\\"/>\n"
           "    <SetupProperty name=\"FeatureActionInstall\" value=\"$Main$\"/>\n"
           "    <SetupProperty name=\"FeatureStateAbsent\" value=\"$Main$\"/>\n  </SetupProperties>\n"
           "  <SetupFiles>\n" +
           rows + "  </SetupFiles>\n</Setup>\n";
}

bool Prepare(Product& product, const char* name, int smallFiles, int largeFiles, size_t largeFileSize) {
    std::string pattern = (fs::temp_directory_path() / (std::string("jxbench-") + name + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        return false;
    product.work = pattern;
    const std::string tree = pattern + "/tree";
    product.totalBytes = jxbench::MakeTree(tree, largeFiles, largeFileSize, smallFiles);
    product.files = smallFiles + largeFiles;
    fs::create_directories(tree + "/large"); // the definition names it even when it stays empty
    product.tarFile = pattern + "/tree.tar";
    if (!Run("tar -cf '" + product.tarFile + "' -C '" + tree + "' ."))
        return false;

    fs::create_directories(pattern + "/config");
    fs::create_directories(pattern + "/uninstall");
    std::ofstream(pattern + "/config/setup.jxsetup") << Definition();
    std::ofstream(pattern + "/config/metainfo.xml")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Files/>\n";
    std::ofstream(pattern + "/uninstall/requirements.xml")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Requirements><ProductCodes>"
           "<ProductCode guid=\"{B0000000-0000-4000-8000-000000000001}\" name=\"Bench\" version=\"1\"/>"
           "</ProductCodes></Requirements>\n";
    product.setup = pattern + "/setup";
    fs::create_directories(product.setup);
    fs::copy_file(JX_PROGRAM, product.setup + "/setup.exe");
    const std::string jxpack = JX_JXPACK;
    const auto pack = [&](const std::string& out, const std::string& folder, const std::string& root) {
        return Run("'" + jxpack + "' make '" + product.setup + "/" + out + "' '" + folder + "' --root '" +
                   root + "' --name '" + root + "' > /dev/null");
    };
    if (!pack("$CONFIG.wpk", pattern + "/config", "$CONFIG") ||
        !pack("$UNINSTALL.wpk", pattern + "/uninstall", "$UNINSTALL") ||
        !pack(std::string(kComponent) + ".wpk", tree, kComponent))
        return false;
    // The program carries no signature here: the machine trusts it by its digest.
    product.machineJson = "{\"trustedFiles\": [{\"sha256\": \"" +
                          jxtest::HostFileSha256(product.setup + "/setup.exe") +
                          "\", \"signer\": \"Tolvane Software GmbH\"}]}\n";
    return true;
}

// A fresh machine root for one installation; the command that installs the product into it.
std::string FreshMachine(const Product& product) {
    const std::string root = product.work + "/machine";
    std::error_code error;
    fs::remove_all(root, error);
    fs::create_directories(root);
    std::ofstream(root + "/machine.json") << product.machineJson;
    return "JX_MACHINE_ROOT='" + root + "' JX_EXIT_CODE_FILE='" + product.work + "/exit-code' '" +
           product.setup + "/setup.exe' /_QuietInstallation=true";
}

bool Succeeded(const Product& product) {
    std::ifstream code(product.work + "/exit-code");
    int exitCode = -1;
    code >> exitCode;
    return exitCode == 0;
}

void QuietInstall(benchmark::State& state, const Product& product) {
    for (auto _ : state) {
        state.PauseTiming();
        const std::string command = FreshMachine(product);
        jxbench::SettleDisk();
        state.ResumeTiming();
        Run(command);
        if (!Succeeded(product)) {
            state.SkipWithError("the installation failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * product.totalBytes));
}

void BM_QuietInstall(benchmark::State& state) {
    QuietInstall(state, g_mixed);
}
BENCHMARK(BM_QuietInstall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_TarExtract(benchmark::State& state) {
    jxbench::RunTarExtract(state, g_mixed.tarFile, g_mixed.work + "/untarred", g_mixed.totalBytes);
}
BENCHMARK(BM_TarExtract)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_QuietInstallSmallFiles(benchmark::State& state) {
    QuietInstall(state, g_small);
}
BENCHMARK(BM_QuietInstallSmallFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_TarExtractSmallFiles(benchmark::State& state) {
    jxbench::RunTarExtract(state, g_small.tarFile, g_small.work + "/untarred", g_small.totalBytes);
}
BENCHMARK(BM_TarExtractSmallFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void PrintRatio(const char* what, double engine, double tar, double goal) {
    if (engine > 0 && tar > 0)
        std::printf("%s: quiet install %.0f ms, tar -x %.0f ms: ratio %.2f (goal <= %.2f)\n", what, engine,
                    tar, engine / tar, goal);
}

// One more installation of each product outside the timed runs: its peak memory, and its system
// calls per installed file.
void PrintCosts(const char* what, const Product& product) {
    const jxbench::MeasuredRun run = jxbench::RunMeasured(FreshMachine(product));
    if (run.status == 0 && Succeeded(product))
        std::printf("%s: peak memory %.1f MB for %d files (%.2f KB per file)\n", what, run.peakKb / 1024.0,
                    product.files, static_cast<double>(run.peakKb) / product.files);
    const long calls = jxbench::CountSystemCalls(FreshMachine(product), product.work + "/strace.txt");
    if (calls > 0 && Succeeded(product))
        std::printf("%s: %ld system calls, %.1f per installed file (goal <= 30)\n", what, calls,
                    static_cast<double>(calls) / product.files);
    else
        std::printf("%s: system calls not counted (strace missing or the traced run failed)\n", what);
}

} // namespace

int main(int argc, char** argv) {
    if (!Prepare(g_mixed, "install", jxbench::kSmallFiles, 3, 93u << 20) ||
        !Prepare(g_small, "install-small", 20000, 0, 0)) {
        std::fprintf(stderr, "jx_bench_install: cannot prepare the products\n");
        return 1;
    }
    std::printf("products: %d files, %.1f MB; %d files, %.1f MB\n", g_mixed.files,
                g_mixed.totalBytes / 1048576.0, g_small.files, g_small.totalBytes / 1048576.0);
    benchmark::Initialize(&argc, argv);
    jxbench::CFigureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintRatio("5,003 files / 300 MB", reporter.Time("BM_QuietInstall/"), reporter.Time("BM_TarExtract/"),
               2.0);
    PrintRatio("20,000 small files", reporter.Time("BM_QuietInstallSmallFiles"),
               reporter.Time("BM_TarExtractSmallFiles"), 4.0);
    PrintCosts("5,003 files / 300 MB", g_mixed);
    PrintCosts("20,000 small files", g_small);
    benchmark::Shutdown();
    // JX_BENCH_KEEP keeps the prepared products and the last machine roots, for profiling by hand.
    if (std::getenv("JX_BENCH_KEEP")) {
        std::printf("kept: %s %s\n", g_mixed.work.c_str(), g_small.work.c_str());
        return 0;
    }
    std::error_code error;
    fs::remove_all(g_mixed.work, error);
    fs::remove_all(g_small.work, error);
    return 0;
}
