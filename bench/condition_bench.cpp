// Condition evaluation: the texts of a setup definition's rows, evaluated through the data object
// as the engine does it, with the log on (formatting its lines) and off (the parser alone).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxExpressionParser.h"
#include "jxsetupdata/JxLog.h"

using JxSetup::Data::JxData;

namespace {

JxData& Data() {
    static JxData* data = [] {
        auto* d = new JxData;
        d->SetProperty(u"VersionNT", u"601", 0);
        d->SetProperty(u"INSTALLDIR", u"C:\\Program Files (x86)\\Tolvane\\Brellwick", 0);
        d->SetProperty(u"ProductVersion", u"281483566841860", 0);
        d->SetProperty(u"_UpdateMode", u"Update", 0);
        d->SetProperty(u"Flags", u"12", 0);
        for (int i = 0; i < 64; ++i)
            d->SetProperty(u"P" + std::u16string(1, u'A' + i % 26) + std::u16string(1, u'a' + i / 26), u"1",
                           0);
        return d;
    }();
    return *data;
}

void SetLog(bool on) {
    JxSetup::Data::Instance()->SetDoNotLog(!on);
}

void Run(benchmark::State& state, const std::u16string& condition, bool expected) {
    SetLog(state.range(0) != 0);
    JxData& data = Data();
    for (auto _ : state) {
        const bool result = data.ParseExpression(condition);
        benchmark::DoNotOptimize(result);
        if (result != expected) {
            state.SkipWithError("unexpected result");
            break;
        }
    }
    state.SetLabel(state.range(0) ? "log on" : "log off");
}

void BM_Condition_Simple(benchmark::State& state) {
    Run(state, u"[VersionNT]>=600", true);
}

void BM_Condition_Typical(benchmark::State& state) {
    Run(state,
        u"([VersionNT] >= 601 && _[INSTALLDIR]) || (![ProductVersion] && [_UpdateMode] != 'Upgrade') "
        u"&& [Flags]&4 == 4",
        true);
}

// An "&&" chain of 64 comparisons, each of them true, so that every term is evaluated.
void BM_Condition_LongChain(benchmark::State& state) {
    std::u16string condition;
    for (int i = 0; i < 64; ++i) {
        if (i)
            condition += u" && ";
        condition += u"[P" + std::u16string(1, u'A' + i % 26) + std::u16string(1, u'a' + i / 26) + u"] == 1";
    }
    Run(state, condition, true);
}

// Forty levels of brackets around one comparison.
void BM_Condition_Nested(benchmark::State& state) {
    Run(state, std::u16string(40, u'(') + u"[VersionNT] > 600" + std::u16string(40, u')'), true);
}

BENCHMARK(BM_Condition_Simple)->Arg(1)->Arg(0);
BENCHMARK(BM_Condition_Typical)->Arg(1)->Arg(0);
BENCHMARK(BM_Condition_LongChain)->Arg(1)->Arg(0);
BENCHMARK(BM_Condition_Nested)->Arg(1)->Arg(0);

} // namespace

int main(int argc, char** argv) {
    // The log writer reads the machine's registry: the benchmark gets a machine of its own.
    std::string ownRoot;
    if (const char* root = std::getenv("JX_MACHINE_ROOT"); !root || !*root) {
        char pattern[] = "/tmp/jx_bench_condition_XXXXXX";
        if (const char* made = mkdtemp(pattern)) {
            ownRoot = made;
            setenv("JX_MACHINE_ROOT", made, 1);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!ownRoot.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(ownRoot, ec);
    }
    return 0;
}
