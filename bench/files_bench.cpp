// Installing files from a package: CopyFiles and CleanUp of 5,000 small files (a few KB each, in
// 50 folders) and three files of 100 MB, from a package mounted into the data object onto a fresh
// program folder, against `tar -x` of the same tree stored uncompressed. Prints the ratio of the
// two times at the end (goal: the engine within 1.5 times tar's time).
#include <benchmark/benchmark.h>

#include "bench_machine.h"
#include "bench_reporter.h"
#include "bench_tree.h"

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

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxvfs/PackageMgr.h"
#include "jxvfs/container/CPackageWriter.h"

namespace fs = std::filesystem;
using namespace JxSetup::Data;

namespace {

using jxbench::kFolders;
using jxbench::kSmallFiles;
constexpr int kLargeFiles = 3;
constexpr size_t kLargeFileSize = 100u << 20;
const std::u16string kCarrier = u"C:\\bench\\core.wpk";
const std::u16string kDestination = u"C:\\Program Files\\Prod";

struct BenchData {
    std::string root;    // the machine root
    std::string tree;    // the host tree that was packed
    std::string tarFile; // the same tree as an uncompressed tar archive
    uint64_t totalBytes = 0;
};

BenchData g_data;

bool Prepare() {
    const std::string pattern = jxbench::MakeBenchMachine("files");
    if (pattern.empty())
        return false;
    g_data.root = pattern;

    g_data.tree = pattern + "/tree";
    g_data.totalBytes = jxbench::MakeTree(g_data.tree, kLargeFiles, kLargeFileSize);
    PACKAGE_WRITER_OPTIONS options;
    options.name = "core";
    CPackageWriter writer(options);
    fs::create_directories(jxplat::WindowsToHostPath(u"C:\\bench"));
    if (!writer.AddHostFolder(g_data.tree, u"core") ||
        !writer.WriteToHostFile(jxplat::WindowsToHostPath(kCarrier)))
        return false;
    g_data.tarFile = pattern + "/tree.tar";
    const std::string tar = "tar -cf '" + g_data.tarFile + "' -C '" + g_data.tree + "' .";
    return std::system(tar.c_str()) == 0;
}

// The product: one component whose rows take each folder of the package with a wildcard.
void DefineProduct(JxData& data) {
    JxComponent component;
    component.id = u"core";
    component.destinationdir = kDestination;
    component.installmode = u"custom";
    JxFeature feature;
    feature.name = u"Main";
    feature.components.push_back(component);
    data.m_Features = {feature};
    std::vector<std::u16string> folders{u"large"};
    for (int i = 0; i < kFolders; ++i)
        folders.push_back(u"d" + jxtext::ToText(i));
    for (const std::u16string& folder : folders) {
        JxFile row;
        row.name = folder + u"\\*";
        row.featurename = u"Main";
        row.componentid = u"core";
        row.copymode = u"always";
        data.m_Files.push_back(row);
    }
    data.m_SequenceData.m_bInstallModeInstall = true;
    data.SetProperty(u"InstallMode", u"Install", 1);
    data.SetProperty(u"FeatureStateAbsent", u"$Main$", 1);
    data.SetProperty(u"FeatureActionInstall", u"$Main$", 1);
}

void ClearTarget(const std::string& host) {
    std::error_code error;
    fs::remove_all(host, error);
}

void BM_CopyAndCommitFiles(benchmark::State& state) {
    const std::string target = jxplat::WindowsToHostPath(kDestination);
    for (auto _ : state) {
        state.PauseTiming();
        ClearTarget(target);
        PackageMgr::Instance()->Cleanup();
        jxbench::SettleDisk();
        state.ResumeTiming();
        {
            JxData data;
            DefineProduct(data);
            if (!data.MountExternalPackage(kCarrier, kScanModeReplace)) {
                state.SkipWithError("the package does not mount");
                return;
            }
            data.FileActions_Initialize(JxSequenceAction(u"CopyFiles", u"[AT_COPYFILES]", 411));
            data.CopyFilesTemporary();
            data.CommitCopiedFiles();
            if (data.GetFileActionState().m_Copied.size() != kSmallFiles + kLargeFiles ||
                data.HasUncommittedFileCopies() || data.m_SequenceData.m_bFailure) {
                state.SkipWithError("not every file was installed");
                return;
            }
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_data.totalBytes));
}
BENCHMARK(BM_CopyAndCommitFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_TarExtract(benchmark::State& state) {
    jxbench::RunTarExtract(state, g_data.tarFile, g_data.root + "/untarred", g_data.totalBytes);
}
BENCHMARK(BM_TarExtract)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    if (!Prepare()) {
        std::fprintf(stderr, "jx_bench_files: cannot prepare the package\n");
        return 1;
    }
    std::printf("package: %d files, %.1f MB of content\n", kSmallFiles + kLargeFiles,
                g_data.totalBytes / 1048576.0);
    benchmark::Initialize(&argc, argv);
    jxbench::CFigureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double engine = reporter.Time("BM_CopyAndCommitFiles");
    const double tar = reporter.Time("BM_TarExtract");
    if (engine > 0 && tar > 0)
        std::printf(
            "copy and commit %.0f ms, tar -x of the uncompressed tree %.0f ms: ratio %.2f (goal <= 1.50)\n",
            engine, tar, engine / tar);
    benchmark::Shutdown();
    PackageMgr::Instance()->Cleanup();
    std::error_code error;
    fs::remove_all(g_data.root, error);
    return 0;
}
