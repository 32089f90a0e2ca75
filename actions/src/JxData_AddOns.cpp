// Add-on functions and custom actions: an exported function of a module of the setup's packages,
// called with an argument; the properties it answers are set and its message is logged.
#include <exception>
#include <string>

#include <windows.h>

#include "jxplat/oleauto.h"
#include "jxplat/text.h"
#include "jxplat/winnls.h"
#include "jxsetupdata/JxAddOnAbi.h"
#include "jxsetupdata/JxData.h"
#include "jxbase/secretmask.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kAddOnContext = u"JxSetup::Data::JxData::ExecuteAddOn";
const WCHAR* const kCustomContext = u"JxSetup::Data::JxData::ExecuteCustomAction";

// The loaded add-on module, released when the call is over, however it ended (an exception
// included), the way it was loaded. On Windows versions before 6.0 a module stays loaded.
class CAddOnModule {
public:
    CAddOnModule(JxData& data, HMODULE module) : m_Data(data), m_Module(module) {}
    ~CAddOnModule() {
        if (m_Module && m_Data.GetConditionResult(u"[VersionNT]>=600"))
            m_Data.FreeDLL(m_Module);
    }
    CAddOnModule(const CAddOnModule&) = delete;
    CAddOnModule& operator=(const CAddOnModule&) = delete;
    HMODULE Get() const { return m_Module; }

private:
    JxData& m_Data;
    HMODULE m_Module;
};

// A BSTR output of the add-on, freed with the scope.
class CAddOnText {
public:
    CAddOnText() = default;
    ~CAddOnText() { SysFreeString(m_Text); }
    CAddOnText(const CAddOnText&) = delete;
    CAddOnText& operator=(const CAddOnText&) = delete;
    BSTR* Out() { return &m_Text; }
    bool Empty() const { return m_Text == nullptr; }
    std::u16string Text() const { return std::u16string(m_Text, SysStringLen(m_Text)); }

private:
    BSTR m_Text = nullptr;
};

// The export's name in the ANSI code page of the running thread.
std::string ExportName(const std::u16string& function) {
    const int size =
        WideCharToMultiByte(CP_THREAD_ACP, 0, function.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string name(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_THREAD_ACP, 0, function.c_str(), -1, name.data(), size, nullptr, nullptr);
    if (!name.empty())
        name.pop_back(); // the terminating zero
    return name;
}

} // namespace

std::vector<JxPropertyRow> JxData::SplitNameValuePairs(const std::u16string& text) {
    std::vector<std::u16string> pieces;
    size_t start = 0;
    while (start < text.size()) {
        const size_t tab = text.find(u'\t', start);
        const size_t end = tab == std::u16string::npos ? text.size() : tab;
        if (end > start) // a run of TABs is one separator
            pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::vector<JxPropertyRow> rows;
    for (size_t i = 0; i + 1 < pieces.size(); i += 2) { // a last name without a value is dropped
        JxPropertyRow row;
        row.name = pieces[i];
        row.value = pieces[i + 1];
        row.localizable = u"false";
        rows.push_back(row);
    }
    return rows;
}

bool JxData::ExecuteAddOn(const std::u16string& module, const std::u16string& function,
                          const std::u16string& argument) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    const std::u16string loggedArgument = MaskProtectedArguments(argument);
    log->Log(LOG_BEGIN, kModule, kAddOnContext, u"Module: %s Function: %s Argument: %s", module.c_str(),
             function.c_str(), loggedArgument.c_str());
    bool result = false;
    try {
        // A module beside the running program comes first, then the packaged one: deployments place
        // add-ons there, so the order stays (the program's folder must be one only it can write).
        CAddOnModule library(*this, LoadDLL(module, u"\\$SETUP\\"));
        if (!library.Get()) {
            log->Log(LOG_END, kModule, kAddOnContext, u"Couldn't initialize Module %s.", module.c_str());
            return false;
        }
        const auto call =
            reinterpret_cast<JxAddOnFunction>(GetProcAddress(library.Get(), ExportName(function).c_str()));
        if (!call) {
            log->Log(LP_ERROR, kModule, kAddOnContext, u"Error while initializing function %s",
                     function.c_str());
        } else {
            const std::u16string expanded = ExpandProperties(argument);
            log->Log(LP_INFO, kModule, kAddOnContext, u"Executing AddOn Module=%s Function=%s Argument=%s",
                     module.c_str(), function.c_str(), MaskProtectedArguments(expanded).c_str());
            CAddOnText properties;
            CAddOnText message;
            result = call(expanded.c_str(), properties.Out(), message.Out());
            if (!message.Empty())
                log->Log(HP_INFO, kModule, kAddOnContext, u"%s", message.Text().c_str());
            // Set even when the add-on answered false.
            if (!properties.Empty())
                for (const JxPropertyRow& row : SplitNameValuePairs(properties.Text()))
                    SetProperty(row.name, row.value, 1);
        }
    } catch (...) {
        log->Log(LP_ERROR, kModule, kAddOnContext, u"Error while executing addon %s, %s, %s", module.c_str(),
                 function.c_str(), loggedArgument.c_str());
    }
    log->Log(LOG_END, kModule, kAddOnContext, u"%s", result ? u"true" : u"false");
    return result;
}

void JxData::ExecuteCustomAction(const std::u16string& module, const std::u16string& function,
                                 const std::u16string& argument, const std::u16string& installMode,
                                 const std::u16string& componentId, const std::u16string& featureName,
                                 const JxSequenceAction& action) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kCustomContext, u"");
    JxFeature feature;
    GetFeature(feature, featureName);
    const JxComponent component = GetComponentOfFeature(componentId, feature);
    if (jxtext::EqualsNoCase(component.extractaswpk, u"true")) {
        log->Log(LP_INFO, kModule, kCustomContext, u"Skip action of component: %s", componentId.c_str());
    } else if (IsComponentToBeProcessed(
                   component, feature, action,
                   JxActivationPermissions{action.m_Entry.enablefeature, action.m_Entry.disablefeature})) {
        // The add-on's answer is its own: a custom action never stops the sequence.
        ExecuteAddOn(module, function, argument);
    }
    log->Log(LOG_END, kModule, kCustomContext, u"");
}

} // namespace JxSetup::Data
