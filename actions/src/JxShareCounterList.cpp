// The component counters of the shared-component list: read from HKEY_CLASSES_ROOT
// "JxSetup\Components\<component>\<feature>", decided per feature action, written back at the end.
#include "jxsetupdata/JxShareCounterList.h"

#include <algorithm>

#include "jxbase/guards.h"
#include "jxbase/reg.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {

constexpr const WCHAR* kModule = u"lib";
constexpr const WCHAR* kComponentsKey = u"JxSetup\\Components";
constexpr DWORD kKeyNameChars = 255;

// The names of the sub-keys of an open key, in enumeration order.
std::vector<std::u16string> _share_SubKeys(HKEY key) {
    std::vector<std::u16string> names;
    std::vector<WCHAR> name(kKeyNameChars + 1);
    for (DWORD index = 0;; ++index) {
        DWORD length = kKeyNameChars + 1;
        if (RegEnumKeyExW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name.data(), length);
    }
    return names;
}

std::vector<std::u16string> _share_SubKeysOf(const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    std::vector<std::u16string> names = _share_SubKeys(key);
    RegCloseKey(key);
    return names;
}

std::u16string _share_ComponentKey(const std::u16string& componentId) {
    return std::u16string(kComponentsKey) + u"\\" + componentId;
}

bool _share_IsAction(const std::u16string& action, const WCHAR* name) {
    return jxtext::EqualsNoCase(action, name);
}

} // namespace

JxShareCounterList::JxShareCounterList() {
    InitShareCounter();
}

JxShareCounterList::~JxShareCounterList() = default;

void JxShareCounterList::InitShareCounter() {
    const WCHAR* context = u"JxSetup::Data::JxShareCounterList::InitShareCounter";
    for (const std::u16string& componentId : _share_SubKeysOf(kComponentsKey)) {
        const std::u16string componentKey = _share_ComponentKey(componentId);
        for (const std::u16string& featureName : _share_SubKeysOf(componentKey)) {
            const std::u16string featureKey = componentKey + u"\\" + featureName;
            JxShareCounter counter;
            counter.m_ComponentId = componentId;
            counter.m_FeatureName = featureName;
            // A feature holds a component or it does not: any higher count is 1.
            counter.m_Count =
                CReg::GetIntFromRegistry(HKEY_CLASSES_ROOT, featureKey.c_str(), u"ShareCount", 0, 0) >= 1 ? 1
                                                                                                          : 0;
            counter.m_DestinationDir =
                CReg::GetStringFromRegistry(HKEY_CLASSES_ROOT, featureKey.c_str(), u"DestinationDir", u"", 0);
            Instance()->Log(LP_INFO, kModule, context, u"%s - %s => %s: %d", componentId.c_str(),
                            featureName.c_str(), counter.m_DestinationDir.c_str(),
                            static_cast<int>(counter.m_Count));
            m_Counters.push_back(std::move(counter));
        }
    }
}

void JxShareCounterList::Reload() {
    m_Counters.clear();
    InitShareCounter();
}

bool JxShareCounterList::GetShareCountResult(const std::u16string& componentId,
                                             const std::u16string& featureName,
                                             const std::u16string& destinationDir,
                                             const std::u16string& featureAction) {
    const WCHAR* context = u"JxSetup::Data::JxShareCounterList::GetShareCountResult";
    JxLog* log = Instance();
    log->Log(LOG_BEGIN, kModule, context, u"ComponentID: %s, Feature: %s", componentId.c_str(),
             featureName.c_str());
    const auto sameComponent = [&](const JxShareCounter& c) {
        return jxtext::EqualsNoCase(c.m_ComponentId, componentId);
    };
    const auto sameFeature = [&](const JxShareCounter& c) {
        return sameComponent(c) && jxtext::EqualsNoCase(c.m_FeatureName, featureName);
    };

    int total = 0;
    const auto current = std::find_if(m_Counters.begin(), m_Counters.end(), sameFeature);
    if (current != m_Counters.end()) {
        log->Log(LP_INFO, kModule, context, u"Current component's sharecounter: %s - %s => %s",
                 current->m_ComponentId.c_str(), current->m_FeatureName.c_str(),
                 current->m_DestinationDir.c_str());
        total = static_cast<int>(current->m_Count);
        // A component below the installation folder belongs to its product alone.
        if (current->m_DestinationDir.find(u"[INSTALLDIR]") == std::u16string::npos) {
            for (const JxShareCounter& other : m_Counters) {
                if (!sameComponent(other) || jxtext::EqualsNoCase(other.m_FeatureName, featureName) ||
                    !jxtext::EqualsNoCase(other.m_DestinationDir, destinationDir))
                    continue;
                log->Log(LP_INFO, kModule, context, u"Found related sharcounter:  %s - %s => %s",
                         other.m_ComponentId.c_str(), other.m_FeatureName.c_str(),
                         other.m_DestinationDir.c_str());
                total += static_cast<int>(other.m_Count);
            }
        }
    }
    log->Log(LP_INFO, kModule, context, u"Total sharecounter value of current component: %d", total);

    JxShareCounter entry;
    entry.m_ComponentId = componentId;
    entry.m_FeatureName = featureName;
    entry.m_DestinationDir = destinationDir;
    const auto same = std::find_if(m_Counters.begin(), m_Counters.end(), [&](const JxShareCounter& c) {
        return sameFeature(c) && jxtext::EqualsNoCase(c.m_DestinationDir, destinationDir);
    });
    if (same != m_Counters.end()) {
        entry.m_Count = same->m_Count;
        entry.m_bIncrement = same->m_bIncrement;
        entry.m_bDecrement = same->m_bDecrement;
        m_Counters.erase(same);
    }

    bool result = false;
    if (_share_IsAction(featureAction, u"FeatureActionInstall")) {
        entry.m_bIncrement = true;
        result = true;
    } else if (_share_IsAction(featureAction, u"FeatureActionRemove")) {
        entry.m_bDecrement = true;
        result = total < 2; // no other feature holds the component
    }
    m_Counters.push_back(std::move(entry));
    log->Log(LOG_END, kModule, context, u"%s", result ? u"true" : u"false");
    return result;
}

// Entries are written in list order; the entries this run recorded come after those read from the
// registry, so where two entries share a component and feature (its destination changed between
// versions) the one of this run is written last and decides the key.
void JxShareCounterList::SaveShareCounter(const std::u16string& installMode) {
    const WCHAR* context = u"JxSetup::Data::JxShareCounterList::SaveShareCounter";
    JxLog* log = Instance();
    log->Log(LOG_BEGIN, kModule, context, u"InstallMode: %s", installMode.c_str());
    for (const JxShareCounter& counter : m_Counters) {
        log->Log(LP_INFO, kModule, context, u"Old ShareCount of %s was %d", counter.m_ComponentId.c_str(),
                 static_cast<int>(counter.m_Count));
        DWORD count = 0;
        if (counter.m_Count == 0)
            count = counter.m_bIncrement ? 1 : 0;
        else if (!m_bUpdate)
            count = (counter.m_bIncrement ? 1 : counter.m_Count) - (counter.m_bDecrement ? 1 : 0);
        else
            count = counter.m_Count;

        // The ids become key names below "JxSetup\Components" and nowhere else.
        if (!IsSinglePathSegment(counter.m_ComponentId) || !IsSinglePathSegment(counter.m_FeatureName)) {
            log->Log(LP_WARNING, kModule, context, u"ShareCount of %s - %s is not saved: not a key name.",
                     counter.m_ComponentId.c_str(), counter.m_FeatureName.c_str());
            continue;
        }
        const std::u16string componentKey = _share_ComponentKey(counter.m_ComponentId);
        const std::u16string featureKey = componentKey + u"\\" + counter.m_FeatureName;
        if (count != 0) {
            CReg::PutStringToRegistry(HKEY_CLASSES_ROOT, featureKey.c_str(), u"DestinationDir",
                                      counter.m_DestinationDir, CRegStringType::Sz, 0);
            CReg::PutIntToRegistry(HKEY_CLASSES_ROOT, featureKey.c_str(), u"ShareCount", count, 0);
            log->Log(LP_INFO, kModule, context, u"New ShareCount of %s is %d", counter.m_ComponentId.c_str(),
                     static_cast<int>(count));
            continue;
        }
        CReg::DeleteKeyFromRegistry(HKEY_CLASSES_ROOT, componentKey.c_str(), counter.m_FeatureName.c_str(),
                                    0);
        if (CReg::IsValidPath(HKEY_CLASSES_ROOT, componentKey.c_str(), 0) &&
            _share_SubKeysOf(componentKey).empty())
            CReg::DeleteKeyFromRegistry(HKEY_CLASSES_ROOT, kComponentsKey, counter.m_ComponentId.c_str(), 0);
        log->Log(LP_INFO, kModule, context, u"ShareCount of %s deleted", counter.m_ComponentId.c_str());
    }
    SaveSxsShareCounter(installMode);
    log->Log(LOG_END, kModule, context, u"");
}

} // namespace JxSetup::Data
