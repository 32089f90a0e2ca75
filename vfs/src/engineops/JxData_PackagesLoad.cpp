// Loading a DLL that the setup needs: beside the program, from the packages, or from the folder of
// the component that installs it.
#include "JxData_Packages.h"
#include "jxplat/text.h"
#include "jxvfs/VirtualFS.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kContext = u"JxSetup::Data::JxData::LoadDLL";

} // namespace

HMODULE JxData::LoadDLL(const std::u16string& name, const std::u16string& vfsFolder) {
    CJxDataLock lock(*this);
    const std::u16string local = _pkg_Join(m_appDir, name);
    if (!m_appDir.empty() && _pkg_FileExists(local)) {
        HMODULE module = LoadLibraryW(local.c_str());
        if (module)
            GetLog()->Log(LP_INFO, kModule, kContext, u"DLL %s loaded.", local.c_str());
        return module;
    }
    // The folder is given with its closing "\".
    const std::u16string packaged = vfsFolder + name;
    if (m_Vfs && IsFileMountedInVfs(packaged)) {
        HMODULE module = m_Vfs->LoadDll(packaged, 0, nullptr);
        if (module) {
            m_PackagedDlls.insert(module);
            GetLog()->Log(LP_INFO, kModule, kContext, u"DLL %s loaded.", packaged.c_str());
        }
        return module;
    }
    std::u16string folder;
    for (const JxFile& file : m_Files) {
        if (!jxtext::EqualsNoCase(file.name, name))
            continue;
        JxFeature feature;
        GetFeature(feature, file.featurename);
        folder = ExpandProperties(GetComponentOfFeature(file.componentid, feature).destinationdir);
        break;
    }
    if (folder.empty()) {
        GetLog()->Log(LP_ERROR, kModule, kContext,
                      u"Can't find any alternative configured location of required DLL %s.", name.c_str());
        return nullptr;
    }
    const std::u16string installed = _pkg_Join(folder, name);
    if (!_pkg_FileExists(installed)) {
        GetLog()->Log(LP_ERROR, kModule, kContext, u"DLL %s not found", installed.c_str());
        return nullptr;
    }
    HMODULE module = LoadLibraryW(installed.c_str());
    if (module)
        GetLog()->Log(LP_INFO, kModule, kContext, u"DLL %s loaded.", installed.c_str());
    return module;
}

bool JxData::FreeDLL(HMODULE module) {
    CJxDataLock lock(*this);
    if (!module)
        return false;
    const auto packaged = m_PackagedDlls.find(module);
    if (packaged == m_PackagedDlls.end())
        return FreeLibrary(module) != FALSE;
    m_PackagedDlls.erase(packaged);
    return m_Vfs && m_Vfs->FreeDll(module) != FALSE;
}

} // namespace JxSetup::Data
