// This machine's identity per authentication subject: its machine GUID and the computer name last
// seen, stored as values of the product key.
#include <cstdio>
#include <cstring>
#include <mutex>

#include "jxbase/textconv.h"
#include "jxbase/trace.h"
#include "jxmms/MmsCmdHost.h"
#include "jxplat/combaseapi.h"

namespace {

std::mutex g_MachineGuidLock;

int _ParamSubject(int subject) {
    return subject == -1 ? MmsAuthSubject.load() : subject;
}

const WCHAR* _ParamGuidValue(int subject) {
    switch (_ParamSubject(subject)) {
    case 1:
        return u"client_MachineGuid";
    case 2:
        return u"exchange_MachineGuid";
    case 3:
        return u"main_MachineGuid";
    case 4:
        return u"sub_MachineGuid";
    case 5:
        return u"secondary_MachineGuid";
    default:
        return nullptr;
    }
}

int _ParamHexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

bool _ParamIsNil(const GUID& guid) {
    static const GUID kNil{};
    return std::memcmp(&guid, &kNil, sizeof(GUID)) == 0;
}

// The GUID of a text of groups of 8, 4, 4, 4 and 12 hexadecimal digits, with or without braces.
bool _ParamParseGuid(std::string text, GUID& guid) {
    if (text.size() == 38 && text.front() == '{' && text.back() == '}')
        text = text.substr(1, 36);
    if (text.size() != 36)
        return false;
    BYTE bytes[16];
    size_t at = 0;
    for (size_t i = 0; i < 36;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i++] != '-')
                return false;
            continue;
        }
        const int high = _ParamHexDigit(text[i]), low = _ParamHexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes[at++] = static_cast<BYTE>(high << 4 | low);
        i += 2;
    }
    guid.Data1 = static_cast<DWORD>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
    guid.Data2 = static_cast<WORD>(bytes[4] << 8 | bytes[5]);
    guid.Data3 = static_cast<WORD>(bytes[6] << 8 | bytes[7]);
    std::memcpy(guid.Data4, bytes + 8, 8);
    return true;
}

} // namespace

std::u16string MmsSubjectSettingsKey(int subject) {
    return _ParamSubject(subject) == 2 ? u"Exchange" : u"QrvClient";
}

std::string MmsGuidText(const GUID& guid) {
    char text[40];
    snprintf(text, sizeof text, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
             static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
             guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

namespace MmsAccessParam {

GUID MachineGuid::Get(int subject) {
    GUID guid{};
    const WCHAR* name = _ParamGuidValue(subject);
    if (name == nullptr)
        return guid;
    std::lock_guard<std::mutex> lock(g_MachineGuidLock);
    const std::string stored = WideToUtf8(ReadProductRegistryString(u"", name, u"", 0));
    if (_ParamParseGuid(stored, guid) && !_ParamIsNil(guid))
        return guid;
    CoCreateGuid(&guid);
    WriteProductRegistryString(u"", name, Utf8ToWide(MmsGuidText(guid)), 0);
    return guid;
}

bool MachineGuid::Persist(const std::string& text, int subject) {
    const WCHAR* name = _ParamGuidValue(subject);
    GUID guid{};
    if (text.empty()) {
        JX_ENGINE_TRACE(0, u"MmsAccessParam::MachineGuid::Persist", u"No machineGuid\n");
        return false;
    }
    if (name == nullptr || !_ParamParseGuid(text, guid) || _ParamIsNil(guid)) {
        JX_ENGINE_TRACE(0, u"MmsAccessParam::MachineGuid::Persist", u"Invalid machineGuid\n");
        return false;
    }
    std::lock_guard<std::mutex> lock(g_MachineGuidLock);
    return WriteProductRegistryString(u"", name, Utf8ToWide(text), 0);
}

bool MachineGuid::Delete(int subject) {
    const WCHAR* name = _ParamGuidValue(subject);
    if (name == nullptr)
        return false;
    std::lock_guard<std::mutex> lock(g_MachineGuidLock);
    std::lock_guard<std::recursive_mutex> keyLock(MmsProductKeyLock());
    HKEY hkey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, GetMakerKeyPath(u"").c_str(), 0, KEY_SET_VALUE, &hkey) !=
        ERROR_SUCCESS)
        return false;
    const LSTATUS status = RegDeleteValueW(hkey, name);
    RegCloseKey(hkey);
    return status == ERROR_SUCCESS;
}

bool LastKnownLocalComputerName::HasChanged(int subject) {
    const WCHAR* guidName = _ParamGuidValue(subject);
    if (guidName == nullptr)
        return false;
    const std::u16string name = std::u16string(guidName) + u"_Name";
    const std::u16string stored = ReadProductRegistryString(u"", name, u"", 0);
    const std::u16string current = MmsComputerNameKeyValue(true);
    if (stored == current)
        return false;
    bool changed = false;
    if (!stored.empty()) {
        JX_ENGINE_TRACE(0, u"MmsAccessParam::LastKnownLocalComputerName::HasChanged",
                        u"Detected a change in ActiveComputerName\n");
        WriteAccessKey(u"", _ParamSubject(subject));
        MachineGuid::Delete(subject);
        changed = true;
    }
    WriteProductRegistryString(u"", name, current, 0);
    return changed;
}

} // namespace MmsAccessParam
