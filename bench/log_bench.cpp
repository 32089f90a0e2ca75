// The log writer: lines per second from Log calls to the file on disk (formatting, queueing, the
// worker's writes, the close that drains the queue), the caller's share alone, and fwrite of the
// very same bytes as the yardstick. Prints the ratio fwrite / log writer at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "jxplat/machine.h"
#include "jxsetupdata/JxLog.h"

using namespace JxSetup::Data;

namespace {

constexpr int kLinesPerRun = 20000;

std::string PrepareMachine() {
    std::string pattern = (std::filesystem::temp_directory_path() / "jxbench-log-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        return "";
    jxplat::WriteMachineDescription(pattern, jxplat::MachineDescription{});
    setenv("JX_MACHINE_ROOT", pattern.c_str(), 1);
    jxplat::SetMachineRoot(pattern);
    return pattern;
}

// A typical engine line: a qualified context and a message with a text and a number.
void LogOneLine(JxLog* log, int i) {
    log->Log(MP_INFO, u"lib", u"JxSetup::Data::JxData::InitProperties", u"Property %s set to \"%s\" (%d)",
             u"INSTALLDIR", u"C:\\Program Files (x86)\\Tolvane\\Product", i);
}

// Opens a new log file; returns its host path.
std::string OpenFreshLog(JxLog* log) {
    log->Release();
    if (!Instance()->OpenLogFile())
        return "";
    return jxplat::WindowsToHostPath(Instance()->GetLogFileName());
}

void BM_LogWriterToDisk(benchmark::State& state) {
    int64_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string path = OpenFreshLog(Instance());
        if (path.empty()) {
            state.SkipWithError("cannot open the log file");
            break;
        }
        JxLog* log = Instance();
        state.ResumeTiming();
        for (int i = 0; i < kLinesPerRun; ++i)
            LogOneLine(log, i);
        log->CloseLogFile(false); // every line is on disk when this returns
        state.PauseTiming();
        std::error_code error;
        bytes += static_cast<int64_t>(std::filesystem::file_size(path, error));
        // The final close packs the file into a zip archive: not part of the writing.
        log->CloseLogFile(true);
        std::filesystem::remove(path + ".zip", error);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kLinesPerRun);
    state.SetBytesProcessed(bytes);
}
// Wall-clock time: the worker thread's share is part of the cost.
BENCHMARK(BM_LogWriterToDisk)->Unit(benchmark::kMillisecond)->UseRealTime();

// What a caller pays per line; the worker writes meanwhile.
void BM_LogCallerOnly(benchmark::State& state) {
    const std::string path = OpenFreshLog(Instance());
    if (path.empty()) {
        state.SkipWithError("cannot open the log file");
        return;
    }
    JxLog* log = Instance();
    int i = 0;
    for (auto _ : state)
        LogOneLine(log, ++i);
    log->CloseLogFile(true); // after the timed loop
    std::error_code error;
    std::filesystem::remove(path + ".zip", error);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogCallerOnly);

// The bytes of kLinesPerRun lines exactly as the writer put them in a file, one string per line.
std::vector<std::string> WrittenLines() {
    const std::string path = OpenFreshLog(Instance());
    for (int i = 0; i < kLinesPerRun; ++i)
        LogOneLine(Instance(), i);
    // Read before the final close, which packs the file into an archive and removes it.
    Instance()->CloseLogFile(false);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    std::string bytes;
    if (file) {
        char chunk[65536];
        for (size_t n; (n = std::fread(chunk, 1, sizeof(chunk), file)) > 0;)
            bytes.append(chunk, n);
        std::fclose(file);
    }
    Instance()->CloseLogFile(true);
    std::filesystem::remove(path + ".zip");
    std::vector<std::string> lines;
    // Lines end with CR LF as UTF-16LE: 0D 00 0A 00.
    const std::string lineEnd("\r\0\n\0", 4);
    for (size_t from = 0, at; (at = bytes.find(lineEnd, from)) != std::string::npos; from = at + 4)
        lines.push_back(bytes.substr(from, at + 4 - from));
    return lines;
}

void BM_FwriteSameBytes(benchmark::State& state) {
    static const std::vector<std::string> lines = WrittenLines();
    const std::string path = jxplat::MachinePath("fwrite.log");
    int64_t bytes = 0;
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) {
            state.SkipWithError("cannot open the file");
            break;
        }
        for (const std::string& line : lines)
            std::fwrite(line.data(), 1, line.size(), file);
        std::fclose(file);
        for (const std::string& line : lines)
            bytes += static_cast<int64_t>(line.size());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(lines.size()));
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_FwriteSameBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps the lines-per-second figure of each benchmark for the ratio.
class CRateReporter : public benchmark::ConsoleReporter {
public:
    CRateReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            auto found = run.counters.find("items_per_second");
            if (found != run.counters.end() && run.run_type == Run::RT_Iteration)
                m_rates[run.benchmark_name()] = found->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // The rate of the benchmark whose name begins with `name` ("BM_X" finds "BM_X/real_time").
    double Rate(const std::string& name) const {
        auto found = m_rates.lower_bound(name);
        return found != m_rates.end() && found->first.starts_with(name) ? found->second : 0.0;
    }

private:
    std::map<std::string, double> m_rates;
};

} // namespace

int main(int argc, char** argv) {
    const std::string root = PrepareMachine();
    if (root.empty()) {
        std::fprintf(stderr, "jx_bench_log: cannot prepare a machine root\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    CRateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double log = reporter.Rate("BM_LogWriterToDisk");
    const double fwrite = reporter.Rate("BM_FwriteSameBytes");
    if (log > 0 && fwrite > 0)
        std::printf("log writer: %.0f lines/s, fwrite of the same bytes: %.0f lines/s, ratio fwrite/log %.2f "
                    "(goal <= 1.20)\n",
                    log, fwrite, fwrite / log);
    benchmark::Shutdown();
    Instance()->Release();
    std::error_code error;
    std::filesystem::remove_all(root, error);
    return 0;
}
