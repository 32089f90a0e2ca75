// Reference counts of shared components, per component and feature, below HKEY_CLASSES_ROOT
// "JxSetup\Components", so that an uninstallation removes a shared component only when no other
// feature holds it; and the counters of products installed side by side, one DWORD per counter
// name below HKEY_LOCAL_MACHINE "SOFTWARE\TOLVANE". Nothing is written before SaveShareCounter.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <windows.h>

#include "jxplat/text.h"
#include "jxsetupdata/JxRecords.h"

namespace JxSetup::Data {

// One counter of a component in a feature, with what this run does to it.
struct JxShareCounter {
    std::u16string m_ComponentId;
    std::u16string m_FeatureName;
    std::u16string m_DestinationDir; // as the definition writes it, properties not expanded
    DWORD m_Count = 0;               // 0 or 1
    bool m_bIncrement = false;
    bool m_bDecrement = false;
};

// Counter names compare as the registry compares value names: ignoring case.
struct CShareCounterNameLess {
    bool operator()(const std::u16string& a, const std::u16string& b) const {
        return jxtext::CompareNoCase(a, b) < 0;
    }
};

class JxShareCounterList {
public:
    // Reads the component counters of the registry.
    JxShareCounterList();
    virtual ~JxShareCounterList();

    void InitShareCounter();
    // Forgets what a pass recorded and reads the counters again.
    void Reload();
    // Whether the feature action may be carried out on the component; records the action.
    bool GetShareCountResult(const std::u16string& componentId, const std::u16string& featureName,
                             const std::u16string& destinationDir, const std::u16string& featureAction);
    // Counts the counter names of the side-by-side products that are installed (and of this one).
    void InitSxsShareCounter(const std::vector<JxProductCode>& products, const std::u16string& productId);
    bool GetSxsShareCountResult(const std::u16string& name, const std::u16string& installMode);
    void SaveShareCounter(const std::u16string& installMode);
    void SaveSxsShareCounter(const std::u16string& installMode);
    // An UPDATE or UPGRADE run never lowers nor raises an existing count.
    void SetUpdate(bool update) { m_bUpdate = update; }

    const std::vector<JxShareCounter>& GetCounters() const { return m_Counters; }
    const std::map<std::u16string, int32_t, CShareCounterNameLess>& GetSxsCounters() const {
        return m_SxsCounters;
    }
    bool IsSxsInitialized() const { return m_bSxsInitialized; }

private:
    bool _sxs_IsInstalled(const JxProductCode& product);

    std::vector<JxShareCounter> m_Counters;
    std::vector<JxProductCode> m_SxsProducts;
    std::map<std::u16string, int32_t, CShareCounterNameLess> m_SxsCounters;
    bool m_bUpdate = false;
    bool m_bSxsInitialized = false;
};

} // namespace JxSetup::Data
