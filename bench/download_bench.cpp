// A 100 MB download from a loopback server into a file: the engine's HTTP client against `curl`
// the program on the same URL. Prints the ratio of the two times.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "bench_machine.h"
#include "bench_reporter.h"
#include "jxplat/machine.h"
#include "jxweb/HttpClient.h"
#include "testserver.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kBodyBytes = 100u << 20;

struct BenchData {
    std::string root;
    std::unique_ptr<jxwebtest::TestServer> server;
    std::string url;
};

BenchData g_data;

bool Prepare() {
    const std::string pattern = jxbench::MakeBenchMachine("download");
    if (pattern.empty())
        return false;
    g_data.root = pattern;
    fs::create_directories(jxplat::WindowsToHostPath(u"C:\\bench"));
    g_data.server =
        std::make_unique<jxwebtest::TestServer>([](const jxwebtest::Request&, jxwebtest::Connection& c) {
            static const std::string block(1u << 20, 'b');
            if (!c.Write("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                         std::to_string(kBodyBytes) + "\r\nConnection: close\r\n\r\n"))
                return;
            for (size_t sent = 0; sent < kBodyBytes && c.Write(block); sent += block.size()) {
            }
        });
    const std::u16string url = g_data.server->Url("/payload.bin");
    g_data.url.assign(url.begin(), url.end());
    return true;
}

void BM_HttpClientDownload(benchmark::State& state) {
    HttpClient client({}, 65536);
    const std::u16string url(g_data.url.begin(), g_data.url.end());
    for (auto _ : state) {
        const HttpClient::Result r = client.Send(HttpClient::Get, url, true, u"C:\\bench\\payload.bin", true);
        if (r.error || r.bodyLength != kBodyBytes)
            state.SkipWithError("the download failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBodyBytes));
}
BENCHMARK(BM_HttpClientDownload)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_CurlProgramDownload(benchmark::State& state) {
    const std::string target = g_data.root + "/curl-payload.bin";
    const std::string command = "curl -s -o '" + target + "' '" + g_data.url + "'";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("curl failed");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBodyBytes));
}
BENCHMARK(BM_CurlProgramDownload)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    if (!Prepare()) {
        std::fprintf(stderr, "jx_bench_download: cannot prepare the machine\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    jxbench::CFigureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double engine = reporter.Time("BM_HttpClientDownload");
    const double curl = reporter.Time("BM_CurlProgramDownload");
    if (engine > 0 && curl > 0)
        std::printf("100 MB download to a file: HttpClient %.0f ms, curl %.0f ms: ratio %.2f\n", engine, curl,
                    engine / curl);
    benchmark::Shutdown();
    g_data.server.reset();
    std::error_code error;
    fs::remove_all(g_data.root, error);
    return 0;
}
