// The registry over its SQLite hives: opening a key and reading a value (what the engine does
// most), reading through an open key, and writing a value (one transaction each).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "jxplat/machine.h"
#include "jxplat/winreg.h"

namespace {

const char16_t kProductKey[] = u"SOFTWARE\\JxBench\\Vendor\\Product";
const char16_t kVersion[] = u"1.2.3.4";

// A fresh machine root for the run, with the key the benchmarks read.
std::string PrepareMachine() {
    std::string pattern = (std::filesystem::temp_directory_path() / "jxbench-registry-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        return "";
    jxplat::WriteMachineDescription(pattern, jxplat::MachineDescription{});
    setenv("JX_MACHINE_ROOT", pattern.c_str(), 1);
    jxplat::SetMachineRoot(pattern);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return "";
    RegSetValueExW(key, u"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(kVersion), sizeof(kVersion));
    RegCloseKey(key);
    return pattern;
}

void BM_RegistryOpenQueryClose(benchmark::State& state) {
    for (auto _ : state) {
        HKEY key = nullptr;
        char16_t buffer[64];
        DWORD size = sizeof(buffer);
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_READ, &key) != ERROR_SUCCESS ||
            RegQueryValueExW(key, u"Version", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
                ERROR_SUCCESS) {
            state.SkipWithError("open or query failed");
            break;
        }
        RegCloseKey(key);
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_RegistryOpenQueryClose);

void BM_RegistryQueryOpenKey(benchmark::State& state) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        state.SkipWithError("open failed");
        return;
    }
    for (auto _ : state) {
        char16_t buffer[64];
        DWORD size = sizeof(buffer);
        if (RegQueryValueExW(key, u"Version", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS) {
            state.SkipWithError("query failed");
            break;
        }
        benchmark::DoNotOptimize(buffer);
    }
    RegCloseKey(key);
}
BENCHMARK(BM_RegistryQueryOpenKey);

void BM_RegistrySetValue(benchmark::State& state) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        state.SkipWithError("open failed");
        return;
    }
    DWORD counter = 0;
    for (auto _ : state) {
        ++counter;
        if (RegSetValueExW(key, u"Counter", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&counter),
                           sizeof(counter)) != ERROR_SUCCESS) {
            state.SkipWithError("set failed");
            break;
        }
    }
    RegCloseKey(key);
}
BENCHMARK(BM_RegistrySetValue);

} // namespace

int main(int argc, char** argv) {
    std::string root = PrepareMachine();
    if (root.empty()) {
        fprintf(stderr, "jx_bench_registry: cannot prepare a machine root\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return 0;
}
