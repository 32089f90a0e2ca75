// Decoding a PNG image of 1 and 4 megapixels (RGB with alpha, the start image's format, written by
// libpng with its default filters and compression) with the engine's own decoder, against libpng
// reading the same file to the same R, G, B, A pixels. Prints the ratios at the end. The engine's
// decoder is built to be simple (one bit at a time through code trees, one call per byte), not fast.
#include <benchmark/benchmark.h>

#include "bench_reporter.h"

#include <cstdio>
#include <map>

#include "jxengine/png/LwPngDecoder.h"
#include "jxtest/png_files.h"

namespace {

const jxtest::PngBytes& Image(int side) {
    static std::map<int, jxtest::PngBytes> images;
    auto found = images.find(side);
    if (found == images.end()) {
        jxtest::PngSpec spec;
        spec.width = side;
        spec.height = side;
        spec.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
        found = images.emplace(side, jxtest::WritePng(spec)).first;
    }
    return found->second;
}

void BM_DecodeEngine(benchmark::State& state) {
    const jxtest::PngBytes& file = Image(int(state.range(0)));
    for (auto _ : state) {
        JxSetup::Data::LwRawPngDecoder decoder;
        if (decoder.Decode(file.data(), file.size()) != 1) {
            state.SkipWithError("the engine's decoder failed");
            break;
        }
        benchmark::DoNotOptimize(decoder.GetPixels().data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0) * state.range(0) * 4);
}
BENCHMARK(BM_DecodeEngine)->Arg(1024)->Arg(2048)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodeLibpng(benchmark::State& state) {
    const jxtest::PngBytes& file = Image(int(state.range(0)));
    for (auto _ : state) {
        jxtest::PngImage image = jxtest::ReadPngRgba(file);
        benchmark::DoNotOptimize(image.rgba.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0) * state.range(0) * 4);
}
BENCHMARK(BM_DecodeLibpng)->Arg(1024)->Arg(2048)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    jxbench::CFigureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* size : {"1024", "2048"}) {
        const double engine = reporter.Time(std::string("BM_DecodeEngine/") + size);
        const double libpng = reporter.Time(std::string("BM_DecodeLibpng/") + size);
        if (engine > 0 && libpng > 0)
            std::printf("%sx%s RGBA: engine %.1f ms, libpng %.1f ms: ratio %.2f\n", size, size, engine,
                        libpng, engine / libpng);
    }
    benchmark::Shutdown();
    return 0;
}
