// Construction, destruction and the small accessors of the data object.
#include "jxsetupdata/JxData.h"

#include "jxbase/trace.h"

namespace JxSetup::Data {
namespace {

// Characters read of the module path (the application folder) and of the executable's path.
constexpr DWORD kModulePathMax = 520;
constexpr DWORD kExePathMax = MAX_PATH;

std::u16string ModulePath(DWORD capacity) {
    std::u16string path(capacity, u'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), capacity);
    path.resize(length < capacity ? length : 0);
    return path;
}

} // namespace

JxData::JxData() : m_FileActionState(std::make_unique<JxFileActionState>()) {
    // The folder of the module that holds the engine's code, cut after its last "\".
    const std::u16string module = ModulePath(kModulePathMax);
    const size_t folderEnd = module.rfind(u'\\');
    m_appDir = folderEnd == std::u16string::npos ? std::u16string() : module.substr(0, folderEnd + 1);
    const std::u16string exe = ModulePath(kExePathMax);
    m_ExeFileName = exe.substr(exe.rfind(u'\\') == std::u16string::npos ? 0 : exe.rfind(u'\\') + 1);
    m_PropertyAccessor = std::make_unique<CPropertyAccessor>(this);
}

JxData::~JxData() {
    _load_ResetLists();
    m_PropertyAccessor.reset();
    m_Gui = nullptr;
    m_RestorePoint.reset();
    m_Vfs = nullptr;
    // The run is over: the log file is closed for good (a later writer starts without a file).
    Instance()->Release();
}

JxLog* JxData::GetLog() {
    JxLog* log = Instance();
    // The writer's own flag (registry or command line) must survive: only a set flag is handed on.
    if (m_DoNotLog)
        log->SetDoNotLog(true);
    return log;
}

void JxData::SetGui(IJxExternalGUI* gui) {
    CJxDataLock lock(*this);
    JX_ENGINE_TRACE(4, u"JxSetup::Data::JxData::SetGui", u"<=\n");
    m_Gui = gui;
    JX_ENGINE_TRACE(4, u"JxSetup::Data::JxData::SetGui", u"=>\n");
}

void JxData::SetWrapString(const std::u16string& text) {
    CJxDataLock lock(*this);
    m_WrapString = text;
    m_NoWrapString = false;
}

} // namespace JxSetup::Data
