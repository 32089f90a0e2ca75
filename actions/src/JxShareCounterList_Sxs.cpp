// The side-by-side counters of the shared-component list: how many installed products (this one
// included) declare each counter name, kept as DWORD values below HKEY_LOCAL_MACHINE
// "SOFTWARE\TOLVANE" (the process's registry view).
#include "jxsetupdata/JxShareCounterList.h"

#include <algorithm>

#include "jxbase/ServiceController.h"
#include "jxbase/files.h"
#include "jxbase/reg.h"
#include "jxsetupdata/JxFile.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {

constexpr const WCHAR* kModule = u"lib";
constexpr const WCHAR* kSxsKey = u"SOFTWARE\\TOLVANE";

// The counter names of a product: its list split at ","; an empty name would address the key's
// default value and is no counter. Names are taken as written (not trimmed).
std::vector<std::u16string> _sxs_CounterNames(const JxProductCode& product) {
    std::vector<std::u16string> names;
    for (std::u16string& name : jxtext::Split(product.sxssharecounter, u','))
        if (!name.empty())
            names.push_back(std::move(name));
    return names;
}

bool _sxs_IsUninstall(const std::u16string& installMode) {
    return jxtext::EqualsNoCase(installMode, u"Uninstall");
}

} // namespace

bool JxShareCounterList::_sxs_IsInstalled(const JxProductCode& product) {
    const WCHAR* context = u"JxSetup::Data::JxShareCounterList::InitSxsShareCounter";
    JxLog* log = Instance();
    if (product.servicename.empty() || !ServiceController::IsRegistered(product.servicename.c_str(), nullptr))
        return false;
    log->Log(LP_INFO, kModule, context, u"Found installed SXS Product (%s) by service (%s)",
             product.name.c_str(), product.servicename.c_str());
    if (product.installdirhk.empty() || product.installdirkey.empty() || product.installdirsubkey.empty()) {
        log->Log(LP_WARNING, kModule, context, u"Invalid search options. Product identification failed.");
        return false;
    }
    const std::u16string folder =
        CReg::GetStringFromRegistry(GetRegistryRootFromName(product.installdirhk),
                                    product.installdirkey.c_str(), product.installdirsubkey.c_str(), u"", 0);
    if (folder.empty()) {
        log->Log(LP_INFO, kModule, context, u"%s\\%s => %s not found. Product is not installed.",
                 product.installdirhk.c_str(), product.installdirkey.c_str(),
                 product.installdirsubkey.c_str());
        return false;
    }
    // A folder value usually ends in a backslash, which a file search does not find.
    if (!FileExists(JxFile::RemoveTrailingBackslash(folder))) {
        log->Log(LP_INFO, kModule, context, u"File %s not found. Product is not installed", folder.c_str());
        return false;
    }
    log->Log(LP_INFO, kModule, context, u"File %s found. Product is installed.", folder.c_str());
    return true;
}

void JxShareCounterList::InitSxsShareCounter(const std::vector<JxProductCode>& products,
                                             const std::u16string& productId) {
    const WCHAR* context = u"JxSetup::Data::JxShareCounterList::InitSxsShareCounter";
    JxLog* log = Instance();
    log->Log(LOG_BEGIN, kModule, context, u"ProductId: %s", productId.c_str());
    m_SxsProducts = products;
    m_SxsCounters.clear();
    m_bSxsInitialized = false;
    for (const JxProductCode& product : m_SxsProducts) {
        bool counted = _sxs_IsInstalled(product);
        if (!counted && jxtext::EqualsNoCase(product.guid, productId)) {
            log->Log(LP_INFO, kModule, context, u"Identified myself %s.", product.guid.c_str());
            counted = true;
        }
        if (!counted)
            continue;
        m_bSxsInitialized = true;
        for (const std::u16string& name : _sxs_CounterNames(product)) {
            const int32_t count = ++m_SxsCounters[name];
            log->Log(LP_INFO, kModule, context, u"%s: %d", name.c_str(), static_cast<int>(count));
        }
    }
    log->Log(LOG_END, kModule, context, u"");
}

bool JxShareCounterList::GetSxsShareCountResult(const std::u16string& name,
                                                const std::u16string& installMode) {
    const WCHAR* context = u"JxSetup::Data::JxShareCounterList::GetSxsShareCountResult";
    JxLog* log = Instance();
    log->Log(LOG_BEGIN, kModule, context, u"ShareCounterName: %s, InstallMode: %s", name.c_str(),
             installMode.c_str());
    bool result = true;
    if (!m_bSxsInitialized) {
        log->Log(LP_WARNING, kModule, context, u"SXS is not initialized.");
    } else if (_sxs_IsUninstall(installMode)) {
        const auto found = m_SxsCounters.find(name);
        if (found == m_SxsCounters.end()) {
            log->Log(LP_INFO, kModule, context, u"ShareCounter %s not found.", name.c_str());
            result = false;
        } else {
            log->Log(LP_INFO, kModule, context, u"ShareCounter %s found with value: %d", name.c_str(),
                     static_cast<int>(found->second));
            // The last product that declares the counter removes what it counts.
            result = found->second < 2;
        }
    }
    log->Log(LOG_END, kModule, context, u"%s", result ? u"true" : u"false");
    return result;
}

void JxShareCounterList::SaveSxsShareCounter(const std::u16string& installMode) {
    const WCHAR* context = u"JxSetup::Data::JxShareCounterList::SaveSxsShareCounter";
    JxLog* log = Instance();
    log->Log(LOG_BEGIN, kModule, context, u"InstallMode: %s", installMode.c_str());
    if (!m_bSxsInitialized) {
        log->Log(LOG_END, kModule, context, u"");
        return;
    }
    if (m_SxsCounters.empty()) {
        for (const JxProductCode& product : m_SxsProducts)
            for (const std::u16string& name : _sxs_CounterNames(product)) {
                m_SxsCounters[name] = 1;
                log->Log(LP_INFO, kModule, context, u"%s: %d", name.c_str(), 1);
            }
    }
    const bool uninstall = _sxs_IsUninstall(installMode);
    std::vector<std::u16string> deleted;
    if (uninstall) {
        log->Log(LP_INFO, kModule, context,
                 u"InstallMode uninstall detected. Decrement all known SxsShareCounter");
        for (const auto& [name, count] : m_SxsCounters) {
            const int32_t value = count - 1;
            log->Log(LP_INFO, kModule, context, u"SxsShareCounter: %s with value: %d", name.c_str(),
                     static_cast<int>(value));
            if (value < 1) {
                CReg::DeleteValueFromRegistry(HKEY_LOCAL_MACHINE, kSxsKey, name.c_str(), 0);
                log->Log(LP_INFO, kModule, context, u"ShareCounter %s deleted.", name.c_str());
                deleted.push_back(name);
            }
        }
    }
    // The counters that were not deleted get their expected value too: a value left too high would
    // keep another product's shared files forever.
    for (const auto& [name, count] : m_SxsCounters) {
        if (std::find(deleted.begin(), deleted.end(), name) != deleted.end())
            continue;
        const DWORD expected = static_cast<DWORD>(uninstall ? count - 1 : count);
        const DWORD old = CReg::GetIntFromRegistry(HKEY_LOCAL_MACHINE, kSxsKey, name.c_str(), 0, 0);
        if (old == expected) {
            log->Log(LP_INFO, kModule, context, u"Sharecounter %s is ok. value: %d", name.c_str(),
                     static_cast<int>(expected));
            continue;
        }
        CReg::PutIntToRegistry(HKEY_LOCAL_MACHINE, kSxsKey, name.c_str(), expected, 0);
        log->Log(LP_INFO, kModule, context, u"ShareCounter %s fixed. Old value: %d, new value: %d",
                 name.c_str(), static_cast<int>(old), static_cast<int>(expected));
    }
    log->Log(LOG_END, kModule, context, u"");
}

} // namespace JxSetup::Data
