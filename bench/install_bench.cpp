// The whole quiet installation of a product of 5,000 small files and 300 MB: the program with its
// packages beside it runs on a fresh machine root (initialization, update decision, install
// sequence, maintenance copy, log), against `tar -x` of the same tree stored uncompressed. Prints
// the ratio of the two times at the end (goal: the engine within 1.5 times tar's time).
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

constexpr int kLargeFiles = 3;
constexpr size_t kLargeFileSize = 93u << 20; // with the small files about 300 MB in all
const char* const kComponent = "{B0000000-0000-4000-8000-0000000000C0}";

struct BenchData {
    std::string work;    // everything of the benchmark
    std::string setup;   // the program and its packages
    std::string tarFile; // the tree as an uncompressed tar archive
    std::string machineJson;
    uint64_t totalBytes = 0;
};

BenchData g_data;

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

bool Prepare() {
    std::string pattern = (fs::temp_directory_path() / "jxbench-install-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        return false;
    g_data.work = pattern;
    const std::string tree = pattern + "/tree";
    g_data.totalBytes = jxbench::MakeTree(tree, kLargeFiles, kLargeFileSize);
    g_data.tarFile = pattern + "/tree.tar";
    if (!Run("tar -cf '" + g_data.tarFile + "' -C '" + tree + "' ."))
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
    g_data.setup = pattern + "/setup";
    fs::create_directories(g_data.setup);
    fs::copy_file(JX_PROGRAM, g_data.setup + "/setup.exe");
    const std::string jxpack = JX_JXPACK;
    const auto pack = [&](const std::string& out, const std::string& folder, const std::string& root) {
        return Run("'" + jxpack + "' make '" + g_data.setup + "/" + out + "' '" + folder + "' --root '" +
                   root + "' --name '" + root + "' > /dev/null");
    };
    if (!pack("$CONFIG.wpk", pattern + "/config", "$CONFIG") ||
        !pack("$UNINSTALL.wpk", pattern + "/uninstall", "$UNINSTALL") ||
        !pack(std::string(kComponent) + ".wpk", tree, kComponent))
        return false;
    // The program carries no signature here: the machine trusts it by its digest.
    g_data.machineJson = "{\"trustedFiles\": [{\"sha256\": \"" +
                         jxtest::HostFileSha256(g_data.setup + "/setup.exe") +
                         "\", \"signer\": \"Tolvane Software GmbH\"}]}\n";
    return true;
}

void BM_QuietInstall(benchmark::State& state) {
    const std::string root = g_data.work + "/machine";
    const std::string command = "JX_MACHINE_ROOT='" + root + "' JX_EXIT_CODE_FILE='" + g_data.work +
                                "/exit-code' '" + g_data.setup + "/setup.exe' /_QuietInstallation=true";
    for (auto _ : state) {
        state.PauseTiming();
        std::error_code error;
        fs::remove_all(root, error);
        fs::create_directories(root);
        std::ofstream(root + "/machine.json") << g_data.machineJson;
        jxbench::SettleDisk();
        state.ResumeTiming();
        Run(command);
        std::ifstream code(g_data.work + "/exit-code");
        int exitCode = -1;
        code >> exitCode;
        if (exitCode != 0) {
            state.SkipWithError("the installation failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_data.totalBytes));
}
BENCHMARK(BM_QuietInstall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_TarExtract(benchmark::State& state) {
    jxbench::RunTarExtract(state, g_data.tarFile, g_data.work + "/untarred", g_data.totalBytes);
}
BENCHMARK(BM_TarExtract)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    if (!Prepare()) {
        std::fprintf(stderr, "jx_bench_install: cannot prepare the product\n");
        return 1;
    }
    std::printf("product: %d files, %.1f MB of content\n", jxbench::kSmallFiles + kLargeFiles,
                g_data.totalBytes / 1048576.0);
    benchmark::Initialize(&argc, argv);
    jxbench::CFigureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double engine = reporter.Time("BM_QuietInstall");
    const double tar = reporter.Time("BM_TarExtract");
    if (engine > 0 && tar > 0)
        std::printf(
            "quiet install %.0f ms, tar -x of the uncompressed tree %.0f ms: ratio %.2f (goal <= 1.50)\n",
            engine, tar, engine / tar);
    benchmark::Shutdown();
    // JX_BENCH_KEEP keeps the prepared product and the last machine root, for profiling by hand.
    if (std::getenv("JX_BENCH_KEEP")) {
        std::printf("kept: %s\n", g_data.work.c_str());
        return 0;
    }
    std::error_code error;
    fs::remove_all(g_data.work, error);
    return 0;
}
