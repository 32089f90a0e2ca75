// Loading a setup definition of 10,000 and of 50,000 file rows into the data object, against
// libxml2 parsing the same file alone (the floor: reading and parsing the UTF-16 file, nothing
// kept). Prints the ratio at each size at the end: the loader is linear when both are the same.
#include <benchmark/benchmark.h>

#include <libxml/parser.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "bench_reporter.h"
#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

using JxSetup::Data::JxData;

namespace {

const std::u16string kAppDir = u"C:\\BenchSetup\\";

// A definition as the setup carries it: UTF-16LE with a byte-order mark, a few features and
// components, and file rows with the attributes real rows have.
std::string MakeDefinition(int fileRows) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-16\" standalone=\"yes\"?>\r\n"
                      "<Setup productid=\"{6F1C2A34-0B7D-4E8A-9C21-5D3E7F0A1B2C}\" productname=\"Brellwick\" "
                      "version=\"5.2.0.118\" languages=\"1033;1031\">\r\n  <SetupFeatures>\r\n";
    for (int f = 0; f < 10; ++f) {
        xml += "    <SetupFeature name=\"Feature" + std::to_string(f) +
               "\" visible=\"true\" mode=\"install\">\r\n"
               "      <SetupComponents>\r\n";
        for (int c = 0; c < 10; ++c)
            xml += "        <SetupComponent id=\"{C" + std::to_string(f * 10 + c) +
                   "}\" destinationdir=\"[INSTALLDIR]bin\\\" installmode=\"shared\"/>\r\n";
        xml += "      </SetupComponents>\r\n    </SetupFeature>\r\n";
    }
    xml += "  </SetupFeatures>\r\n  <SetupFiles>\r\n";
    for (int i = 0; i < fileRows; ++i) {
        const std::string n = std::to_string(i);
        xml += "    <SetupFile name=\"module" + n + ".dll\" featurename=\"Feature" + std::to_string(i % 10) +
               "\" componentid=\"{C" + std::to_string(i % 100) +
               "}\" resource=\"false\" copymode=\"byversion\" "
               "sha=\"9F86D081884C7D659A2FEAA0C55AD015A3BF4F1B2B0B822CD15D6C15B0F00A08\" size=\"" +
               std::to_string(1000 + i) +
               "\" is64bit=\"false\" stopprocess=\"false\" isstopable=\"true\" "
               "condition=\"VersionNT &gt;= 601\" ignorerebootrequest=\"false\"/>\r\n";
    }
    xml += "  </SetupFiles>\r\n</Setup>\r\n";
    const std::u16string text = jxtext::W(xml);
    std::string bytes("\xFF\xFE", 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

// A machine root of its own with a definition of each size in an application folder of its own.
struct BenchMachine {
    std::string root;

    BenchMachine() {
        char pattern[] = "/tmp/jx_bench_loader_XXXXXX";
        root = mkdtemp(pattern);
        setenv("JX_MACHINE_ROOT", root.c_str(), 1);
        jxplat::SetMachineRoot(root);
    }
    ~BenchMachine() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    // The application folder of the definition with that many file rows, written on first use.
    std::u16string AppDir(int fileRows) {
        const std::u16string folder = kAppDir + jxtext::W(std::to_string(fileRows)) + u"\\";
        const std::string path = DefinitionPath(fileRows);
        if (!std::filesystem::exists(path)) {
            std::filesystem::create_directories(std::filesystem::path(path).parent_path());
            const std::string bytes = MakeDefinition(fileRows);
            std::ofstream(path, std::ios::binary)
                .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        return folder;
    }
    std::string DefinitionPath(int fileRows) const {
        return jxplat::WindowsToHostPath(kAppDir + jxtext::W(std::to_string(fileRows)) + u"\\setup.jxsetup");
    }
};

BenchMachine& Machine() {
    static BenchMachine machine;
    return machine;
}

// One load into a fresh data object, as a run does it. Making and destroying the object (and
// with it the records and the document) is not timed, as the floor's freeing of its tree is not.
void BM_LoadConfiguration(benchmark::State& state) {
    const int fileRows = static_cast<int>(state.range(0));
    const std::u16string appDir = Machine().AppDir(fileRows);
    for (auto _ : state) {
        state.PauseTiming();
        auto data = std::make_unique<JxData>();
        data->SetAppDir(appDir);
        state.ResumeTiming();
        const bool loaded = data->LoadConfiguration();
        state.PauseTiming();
        const bool complete = loaded && data->m_Files.size() == static_cast<size_t>(fileRows);
        data.reset();
        state.ResumeTiming();
        if (!complete) {
            state.SkipWithError("the definition did not load");
            break;
        }
    }
    state.counters["rows"] = fileRows;
}
BENCHMARK(BM_LoadConfiguration)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

// Loading again into the same object: the earlier rows and document are freed on the way.
void BM_LoadConfigurationAgain(benchmark::State& state) {
    const int fileRows = static_cast<int>(state.range(0));
    JxData data;
    data.SetAppDir(Machine().AppDir(fileRows));
    for (auto _ : state) {
        if (!data.LoadConfiguration() || data.m_Files.size() != static_cast<size_t>(fileRows)) {
            state.SkipWithError("the definition did not load");
            break;
        }
    }
}
BENCHMARK(BM_LoadConfigurationAgain)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_Libxml2ParseAlone(benchmark::State& state) {
    const int fileRows = static_cast<int>(state.range(0));
    Machine().AppDir(fileRows);
    const std::string path = Machine().DefinitionPath(fileRows);
    for (auto _ : state) {
        // The file's bytes, then the parse: the engine's wrappers keep libxml2 from opening files
        // itself, so the floor reads the file the same way the loader does.
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        xmlDocPtr doc = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), "setup.jxsetup", nullptr,
                                      XML_PARSE_NONET | XML_PARSE_NOBLANKS);
        state.PauseTiming();
        const bool parsed = doc != nullptr;
        xmlFreeDoc(doc);
        state.ResumeTiming();
        if (!parsed) {
            state.SkipWithError("libxml2 did not parse the definition");
            break;
        }
    }
}
BENCHMARK(BM_Libxml2ParseAlone)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    jxbench::CFigureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* rows : {"10000", "50000"}) {
        const double loader = reporter.Time(std::string("BM_LoadConfiguration/") + rows);
        const double floor = reporter.Time(std::string("BM_Libxml2ParseAlone/") + rows);
        if (loader > 0 && floor > 0)
            std::printf(
                "%s file rows: loader %.1f ms, libxml2's parse alone %.1f ms: ratio %.2f (goal <= 2.50)\n",
                rows, loader, floor, loader / floor);
    }
    benchmark::Shutdown();
    return 0;
}
