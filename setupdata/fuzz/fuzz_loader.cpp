// Fuzz target of the setup definition loader: any bytes as "setup.jxsetup" must load or fail in
// an orderly way, never crash, and leave the object consistent (loading the same bytes twice gives
// the same rows).
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "jxplat/machine.h"
#include "jxsetupdata/JxData.h"

using JxSetup::Data::JxData;

namespace {

const std::u16string kAppDir = u"C:\\FuzzSetup\\";
std::string g_OwnMachineRoot;
std::string g_DefinitionPath;

void RemoveOwnMachineRoot() {
    std::error_code ec;
    std::filesystem::remove_all(g_OwnMachineRoot, ec);
}

// One data object for the whole run, as a run of the engine has; every load replaces the last.
JxData& Data() {
    static JxData* data = [] {
        auto* made = new JxData;
        made->SetAppDir(kAppDir);
        return made;
    }();
    return *data;
}

size_t RowCount(const JxData& data) {
    size_t components = 0;
    for (const auto& feature : data.m_Features)
        components += feature.components.size();
    return data.m_Files.size() + data.m_Prerequisites.size() + data.m_Features.size() + components +
           data.m_RegValuesInstall.size() + data.m_RegValuesUninstall.size() + data.m_ExecuteActions.size() +
           data.m_PropertyActions.size() + data.m_InstallConditions.size() + data.m_InstallServices.size() +
           data.m_InstallApps.size() + data.m_SelfRegFiles.size();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The data object and the log writer read the machine's registry: never a default machine root.
    if (const char* root = std::getenv("JX_MACHINE_ROOT"); !root || !*root) {
        char pattern[] = "/tmp/jx_fuzz_loader_XXXXXX";
        if (const char* made = mkdtemp(pattern)) {
            g_OwnMachineRoot = made;
            setenv("JX_MACHINE_ROOT", made, 1);
            std::atexit(RemoveOwnMachineRoot);
        }
    }
    g_DefinitionPath = jxplat::WindowsToHostPath(kAppDir + u"setup.jxsetup");
    std::filesystem::create_directories(std::filesystem::path(g_DefinitionPath).parent_path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    {
        std::ofstream out(g_DefinitionPath, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    }
    JxData& data = Data();
    const bool loaded = data.LoadConfiguration();
    const size_t rows = RowCount(data);
    if (!loaded && rows != 0)
        std::abort(); // a definition that did not load leaves no rows behind
    if (data.LoadConfiguration() != loaded || RowCount(data) != rows)
        std::abort(); // a second load replaces the rows instead of adding to them
    if (loaded) {
        data.InstallAllContainedRessources();
        for (const auto& feature : data.m_Features)
            (void)data.GetFeatureSize(feature.name);
        (void)data.GetComponent(u"{C1}");
    }
    return 0;
}
