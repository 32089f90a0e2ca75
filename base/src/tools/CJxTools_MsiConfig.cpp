// Removal of the Windows Installer registration of an older product version, in the process's own
// registry view (DeleteMSIConfig) or in the 64-bit view (DeleteMSIConfig64).
#include "jxbase/CJxTools.h"

#include <vector>

#include "jxbase/guards.h"
#include "jxbase/reg.h"
#include "jxbase/regkey.h"
#include "jxbase/trace.h"

namespace JxSetup::Data {
namespace {

constexpr WCHAR kFeatures[] = u"Installer\\Features";
constexpr WCHAR kProducts[] = u"Installer\\Products";
constexpr WCHAR kFolders[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\Folders";
constexpr WCHAR kComponents[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components";
constexpr WCHAR kSharedDlls[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
constexpr WCHAR kUserDataProducts[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products";
constexpr WCHAR kUninstall[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr DWORD kMaxKeyNameChars = 0x3FFF;

// The access masks of one registry view.
struct CMsiView {
    REGSAM view;     // view bits of the CReg helpers
    REGSAM keyWrite; // product and feature keys (steps 2 and 6)
    REGSAM keyRead;  // the enumerations (steps 3 to 5)
};

// Deletes root\parent\packed with everything below it; true when root\parent opened.
bool _msi_DeleteTree(HKEY root, const WCHAR* parent, const std::u16string& packed, REGSAM access) {
    CRegKeyEx key(root, parent, access);
    if (key.Status() != ERROR_SUCCESS)
        return false;
    key.RecurseDeleteKey(packed.c_str());
    return true;
}

bool _msi_ContainsAny(const std::u16string& text, std::initializer_list<std::u16string_view> parts) {
    const std::u16string lower = CJxTools::ToLower(text);
    for (std::u16string_view part : parts)
        if (!part.empty() && lower.find(part) != std::u16string::npos)
            return true;
    return false;
}

// Value names of HKLM\key that contain one of the lower-case parts.
std::vector<std::u16string> _msi_CollectValues(const WCHAR* key, REGSAM access,
                                               std::initializer_list<std::u16string_view> parts) {
    std::vector<std::u16string> names;
    CRegKeyEx folders(HKEY_LOCAL_MACHINE, key, access);
    if (folders.Status() != ERROR_SUCCESS)
        return names;
    std::u16string name;
    for (DWORD index = 0; folders.EnumValue(index, name) == ERROR_SUCCESS; ++index)
        if (_msi_ContainsAny(name, parts))
            names.push_back(name);
    return names;
}

// Component keys that hold a value named after the packed code.
std::vector<std::u16string> _msi_CollectComponents(const std::u16string& packed, const CMsiView& view) {
    std::vector<std::u16string> names;
    CRegKeyEx components(HKEY_LOCAL_MACHINE, kComponents, view.keyRead);
    if (components.Status() != ERROR_SUCCESS)
        return names;
    std::vector<WCHAR> buffer(kMaxKeyNameChars + 1);
    for (DWORD index = 0;; ++index) {
        DWORD chars = kMaxKeyNameChars + 1;
        if (RegEnumKeyExW(components.Key(), index, buffer.data(), &chars, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
            break;
        const std::u16string name(buffer.data(), chars);
        const std::u16string path = std::u16string(kComponents) + u"\\" + name;
        if (CReg::ValueExists(HKEY_LOCAL_MACHINE, path.c_str(), packed.c_str(), view.view))
            names.push_back(name);
    }
    return names;
}

// The steps of both views; the traces name the operation and the bitness.
void _msi_DeleteConfig(const std::u16string& productCode, const CMsiView& view, const WCHAR* context,
                       const WCHAR* bits) {
    const std::u16string packed = CJxTools::GetPackedProductCode(productCode);
    if (g_JxSetupEngineLibDebugLevel > 19)
        DebugTrace(u"(%u) JxSetupEngineLib: %s(): Rotated Productcode from MSI: %s", GetCurrentThreadId(),
                   context, packed.c_str());
    // Without a packed code (a product code not in GUID form) the deletions below would name whole
    // keys or match every component.
    if (!IsGuidFormId(productCode))
        return;
    _msi_DeleteTree(HKEY_CLASSES_ROOT, kFeatures, packed, view.keyWrite);
    const bool productsOpened = _msi_DeleteTree(HKEY_CLASSES_ROOT, kProducts, packed, view.keyWrite);

    const std::u16string code = CJxTools::ToLower(productCode);
    for (const std::u16string& name :
         _msi_CollectValues(kFolders, view.keyRead, {u"\\tolvane\\", u"\\tolvane software\\", code}))
        CReg::DeleteValueFromRegistry(HKEY_LOCAL_MACHINE, kFolders, name.c_str(), view.view);

    for (const std::u16string& name : _msi_CollectComponents(packed, view)) {
        if (g_JxSetupEngineLibDebugLevel > 4)
            DebugTrace(u"(%u) JxSetupEngineLib: %s(): Deleting %s Bit component %s...\n",
                       GetCurrentThreadId(), context, bits, name.c_str());
        CReg::DeleteKeyFromRegistry(HKEY_LOCAL_MACHINE, kComponents, name.c_str(), view.view);
    }

    for (const std::u16string& name :
         _msi_CollectValues(kSharedDlls, view.keyRead, {u"\\tolvane\\", u"\\jxscrsv.scr"}))
        CReg::DeleteValueFromRegistry(HKEY_LOCAL_MACHINE, kSharedDlls, name.c_str(), view.view);

    if (productsOpened) {
        _msi_DeleteTree(HKEY_LOCAL_MACHINE, kUserDataProducts, packed, view.keyWrite);
        _msi_DeleteTree(HKEY_LOCAL_MACHINE, kUninstall, packed, view.keyWrite);
    }
}

} // namespace

void CJxTools::DeleteMSIConfig(const std::u16string& productCode) {
    _msi_DeleteConfig(productCode, {0, KEY_READ | KEY_WRITE, KEY_READ},
                      u"JxSetup::Data::CJxTools::DeleteMSIConfig", u"32");
}

void CJxTools::DeleteMSIConfig64(const std::u16string& productCode) {
    _msi_DeleteConfig(productCode,
                      {KEY_WOW64_64KEY, KEY_ALL_ACCESS | KEY_WOW64_64KEY, KEY_READ | KEY_WOW64_64KEY},
                      u"JxSetup::Data::CJxTools::DeleteMSIConfig64", u"64");
}

} // namespace JxSetup::Data
