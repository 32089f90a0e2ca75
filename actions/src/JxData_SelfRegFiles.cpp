// Self-registration of the COM servers among the installed files: the system's registration
// program ("regsvr32.exe" of the 32-bit or the 64-bit system folder) registers or unregisters each
// one silently. Its outcome shows only in the lines of ExecAppWait; the run goes on either way.
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxFile.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kRegContext = u"JxSetup::Data::JxData::SelfRegFile";
const WCHAR* const kUnregContext = u"JxSetup::Data::JxData::SelfUnRegFiles";
const WCHAR* const kUpdateContext = u"JxSetup::Data::JxData::SelfUnRegOnUpdate";

bool IsTrueText(const std::u16string& text) {
    return jxtext::EqualsNoCase(text, u"true");
}

// The BEGIN and END lines and the object lock of one operation.
class CSelfRegScope {
public:
    CSelfRegScope(JxData& data, const WCHAR* context) : m_Data(data), m_Lock(data), m_Context(context) {
        m_Data.GetLog()->Log(LOG_BEGIN, kModule, m_Context, u"");
    }
    ~CSelfRegScope() { m_Data.GetLog()->Log(LOG_END, kModule, m_Context, u""); }
    CSelfRegScope(const CSelfRegScope&) = delete;
    CSelfRegScope& operator=(const CSelfRegScope&) = delete;

private:
    JxData& m_Data;
    CJxDataLock m_Lock;
    const WCHAR* m_Context;
};

} // namespace

bool JxData::_selfreg_Component(const JxSelfRegFile& row, const WCHAR* context, JxFeature& feature,
                                JxComponent& component) {
    GetFeature(feature, row.featurename);
    component = GetComponentOfFeature(row.componentid, feature);
    if (IsTrueText(component.extractaswpk)) {
        GetLog()->Log(LP_INFO, kModule, context, u"Skip action of component: %s", component.id.c_str());
        return false;
    }
    return true;
}

std::vector<std::u16string> JxData::_selfreg_Paths(const JxSelfRegFile& row, const JxComponent& component) {
    std::vector<std::u16string> paths;
    // Every file row of the component with that name: two rows for one name (say, with different
    // target conditions) register both paths.
    for (const JxFile& file : m_Files)
        if (file.componentid == row.componentid && file.name == row.file)
            paths.push_back(ExpandProperties(component.destinationdir + u"\\" + file.name));
    return paths;
}

void JxData::_selfreg_Run(const JxSelfRegFile& row, const std::u16string& path, bool unregister) {
    // Only "x64" in this case names a 64-bit server; its program is found with redirection off.
    const bool is64Bit = row.plattform.find(u"x64") != std::u16string::npos;
    const std::u16string program =
        ExpandProperties(is64Bit ? u"[System64Folder]\\regsvr32.exe" : u"[SystemFolder]\\regsvr32.exe");
    // The path is expanded already: a bracket in a folder name stays as it is.
    const std::u16string arguments = std::u16string(unregister ? u"/s /u" : u"/s") + u" \"" + path + u"\"";
    ExecAppWait(program, arguments, false, true, true, is64Bit, kExecNoTimeLimit);
}

void JxData::SelfRegFile(const JxSequenceAction& action) {
    CSelfRegScope scope(*this, kRegContext);
    JxLog* log = GetLog();
    for (const JxSelfRegFile& row : m_SelfRegFiles) {
        JxFeature feature;
        JxComponent component;
        if (!_selfreg_Component(row, kRegContext, feature, component) ||
            !IsComponentToBeProcessed(component, feature, action,
                                      JxActivationPermissions{row.enablefeature, row.disablefeature}))
            continue;
        for (const std::u16string& path : _selfreg_Paths(row, component)) {
            // A server is always unregistered before it is registered; a row that is unregistered
            // on update is only unregistered here.
            log->Log(LP_INFO, kModule, kRegContext, u"Uregister %s.", path.c_str());
            _selfreg_Run(row, path, true);
            if (IsTrueText(row.unregonupdate))
                continue;
            log->Log(LP_INFO, kModule, kRegContext, u"Register file %s.", path.c_str());
            _selfreg_Run(row, path, false);
        }
    }
}

void JxData::SelfUnRegFiles(const JxSequenceAction& action) {
    CSelfRegScope scope(*this, kUnregContext);
    for (const JxSelfRegFile& row : m_SelfUnregFiles) {
        JxFeature feature;
        JxComponent component;
        if (!_selfreg_Component(row, kUnregContext, feature, component) ||
            !IsComponentToBeProcessed(component, feature, action,
                                      JxActivationPermissions{row.enablefeature, row.disablefeature}))
            continue;
        for (const std::u16string& path : _selfreg_Paths(row, component)) {
            GetLog()->Log(LP_INFO, kModule, kUnregContext, u"SelfReg of file %s.", path.c_str());
            _selfreg_Run(row, path, true);
        }
    }
}

void JxData::SelfUnRegOnUpdate() {
    CSelfRegScope scope(*this, kUpdateContext);
    if (m_UpdateMode != 1 && m_UpdateMode != 2) // UPDATE or UPGRADE
        return;
    for (const JxSelfRegFile& row : m_SelfRegFiles) {
        if (!IsTrueText(row.unregonupdate))
            continue;
        JxFeature feature;
        JxComponent component;
        // The servers of the installed build go, whatever this run does with their component.
        if (!_selfreg_Component(row, kUpdateContext, feature, component))
            continue;
        for (const std::u16string& path : _selfreg_Paths(row, component)) {
            GetLog()->Log(LP_INFO, kModule, kUpdateContext, u"Uregister %s.\n", path.c_str());
            _selfreg_Run(row, path, true);
        }
    }
}

} // namespace JxSetup::Data
