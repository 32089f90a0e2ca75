// The socket sessions' AES keys: one raw 16-byte REG_BINARY value per subject in the restricted key,
// written into both registry views on 64-bit Windows and read from the process's own view.
#include <mutex>
#include <vector>

#include "jxmms/MmsAccessKeys.h"
#include "jxmms/MmsCmdFrame.h"
#include "jxmms/MmsCmdSession.h"

namespace {

std::u16string _KeyValueName(int subject) {
    if (subject == -1)
        subject = MmsAuthSubject.load();
    switch (subject) {
    case 1:
        return u"ClientAesKey";
    case 2:
        return u"ExchangeAesKey";
    case 3:
    case 4:
    case 5:
        return u"MmsAesKey";
    default:
        return {};
    }
}

bool _KeyStoreInView(const std::u16string& name, const std::string& key, REGSAM view) {
    CreateRestrictedKey(kMmsRestrictedSubKey, view);
    std::lock_guard<std::recursive_mutex> lock(MmsProductKeyLock());
    HKEY hkey = nullptr;
    const std::u16string path = GetMakerKeyPath(kMmsRestrictedSubKey);
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, 0x2001F | view, nullptr, &hkey,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const LSTATUS status =
        RegSetValueExW(hkey, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(key.data()),
                       static_cast<DWORD>(key.size()));
    RegCloseKey(hkey);
    return status == ERROR_SUCCESS;
}

} // namespace

std::string LoadSessionKey(int subject) {
    const std::u16string name = _KeyValueName(subject);
    if (name.empty())
        return {};
    std::lock_guard<std::recursive_mutex> lock(MmsProductKeyLock());
    HKEY hkey = nullptr;
    const std::u16string path = GetMakerKeyPath(kMmsRestrictedSubKey);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hkey) != ERROR_SUCCESS)
        return {};
    DWORD size = 0;
    std::string key;
    if (RegQueryValueExW(hkey, name.c_str(), nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS && size > 0) {
        std::vector<BYTE> data(size);
        DWORD read = size;
        if (RegQueryValueExW(hkey, name.c_str(), nullptr, nullptr, data.data(), &read) == ERROR_SUCCESS &&
            read == size)
            key.assign(data.begin(), data.end());
    }
    RegCloseKey(hkey);
    return key;
}

bool StoreSessionKey(int subject, const std::string& key) {
    const std::u16string name = _KeyValueName(subject);
    if (name.empty() || key.size() != MmsCmdFrame::kKeySize)
        return false;
    if (IsProcessorArchitecture64() && !_KeyStoreInView(name, key, KEY_WOW64_64KEY))
        return false;
    return _KeyStoreInView(name, key, KEY_WOW64_32KEY);
}
