// The package tool on whole products: `jxpack make` against `tar -c | lzop -1` of the same tree,
// and `jxpack extract` against `lzop -dc | tar -x`, for a product of about 300 MB (5,003 files) and
// one of about 1 GB (5,003 files, three of them large). Prints the ratio of each pair and the peak
// memory of jxpack at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_reporter.h"
#include "bench_tree.h"

namespace fs = std::filesystem;

namespace {

struct Tree {
    const char* label;
    std::string work;
    std::string tree;
    std::string package; // made once, for the extraction
    std::string lzop;    // tar | lzop -1 of the tree, for its extraction
    uint64_t totalBytes = 0;
};

Tree g_trees[2] = {{"300 MB", {}, {}, {}, {}, 0}, {"1 GB", {}, {}, {}, {}, 0}};

std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

std::string MakeCommand(const Tree& t, const std::string& out) {
    return Quote(JX_JXPACK) + " make " + Quote(out) + " " + Quote(t.tree) +
           " --root '{B0000000-0000-4000-8000-0000000000C0}' > /dev/null";
}
std::string ExtractCommand(const Tree& t, const std::string& out) {
    return Quote(JX_JXPACK) + " extract " + Quote(t.package) + " " + Quote(out) + " > /dev/null";
}

bool Prepare(Tree& t, size_t largeFileSize) {
    std::string pattern = (fs::temp_directory_path() / "jxbench-jxpack-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        return false;
    t.work = pattern;
    t.tree = pattern + "/tree";
    t.totalBytes = jxbench::MakeTree(t.tree, 3, largeFileSize);
    t.package = pattern + "/product.wpk";
    t.lzop = pattern + "/product.tar.lzo";
    return std::system(MakeCommand(t, t.package).c_str()) == 0 &&
           std::system(("tar -cf - -C " + Quote(t.tree) + " . | lzop -1 > " + Quote(t.lzop)).c_str()) == 0;
}

// Runs the command once per iteration after emptying `out` (a file or a folder).
void RunEach(benchmark::State& state, const Tree& t, const std::string& out, const std::string& command) {
    for (auto _ : state) {
        state.PauseTiming();
        std::error_code error;
        fs::remove_all(out, error);
        jxbench::SettleDisk();
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("the command failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * t.totalBytes));
}

void BM_JxpackMake(benchmark::State& state) {
    const Tree& t = g_trees[state.range(0)];
    RunEach(state, t, t.work + "/made.wpk", MakeCommand(t, t.work + "/made.wpk"));
}
void BM_TarLzopMake(benchmark::State& state) {
    const Tree& t = g_trees[state.range(0)];
    RunEach(state, t, t.work + "/made.tar.lzo",
            "tar -cf - -C " + Quote(t.tree) + " . | lzop -1 > " + Quote(t.work + "/made.tar.lzo"));
}
void BM_JxpackExtract(benchmark::State& state) {
    const Tree& t = g_trees[state.range(0)];
    RunEach(state, t, t.work + "/out", ExtractCommand(t, t.work + "/out"));
}
void BM_LzopTarExtract(benchmark::State& state) {
    const Tree& t = g_trees[state.range(0)];
    const std::string out = t.work + "/untarred";
    RunEach(state, t, out,
            "mkdir -p " + Quote(out) + " && lzop -dc " + Quote(t.lzop) + " | tar -xf - -C " + Quote(out));
}
BENCHMARK(BM_JxpackMake)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_TarLzopMake)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_JxpackExtract)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_LzopTarExtract)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

} // namespace

int main(int argc, char** argv) {
    if (!Prepare(g_trees[0], 93u << 20) || !Prepare(g_trees[1], 330u << 20)) {
        std::fprintf(stderr, "jx_bench_jxpack: cannot prepare the trees (is lzop installed?)\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    jxbench::CFigureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (int i = 0; i < 2; ++i) {
        Tree& t = g_trees[i];
        const std::string arg = "/" + std::to_string(i) + "/";
        const double make = reporter.Time("BM_JxpackMake" + arg);
        const double tarMake = reporter.Time("BM_TarLzopMake" + arg);
        const double extract = reporter.Time("BM_JxpackExtract" + arg);
        const double tarExtract = reporter.Time("BM_LzopTarExtract" + arg);
        if (make > 0 && tarMake > 0)
            std::printf("%s: jxpack make %.0f ms, tar -c | lzop -1 %.0f ms: ratio %.2f (goal <= 1.50)\n",
                        t.label, make, tarMake, make / tarMake);
        if (extract > 0 && tarExtract > 0)
            std::printf("%s: jxpack extract %.0f ms, lzop -dc | tar -x %.0f ms: ratio %.2f (goal <= 1.10)\n",
                        t.label, extract, tarExtract, extract / tarExtract);
        const jxbench::MeasuredRun made = jxbench::RunMeasured(MakeCommand(t, t.work + "/made.wpk"));
        std::error_code error;
        fs::remove_all(t.work + "/out", error);
        const jxbench::MeasuredRun extracted = jxbench::RunMeasured(ExtractCommand(t, t.work + "/out"));
        if (made.status == 0 && extracted.status == 0)
            std::printf("%s: peak memory of jxpack make %.1f MB, of jxpack extract %.1f MB (goal <= 32 MB)\n",
                        t.label, made.peakKb / 1024.0, extracted.peakKb / 1024.0);
    }
    benchmark::Shutdown();
    std::error_code error;
    for (Tree& t : g_trees)
        fs::remove_all(t.work, error);
    return 0;
}
