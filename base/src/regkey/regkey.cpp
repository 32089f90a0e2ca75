// CRegKeyEx: lifetime, opening and closing, deleting children.
#include "jxbase/regkey.h"

namespace {

constexpr REGSAM kRegViewMask = KEY_WOW64_32KEY | KEY_WOW64_64KEY;

// A 32-bit process on 64-bit Windows: only there does a delete need the view named.
bool _regkey_IsWow64() {
    static const bool wow64 = [] {
        BOOL answer = FALSE;
        return IsWow64Process(GetCurrentProcess(), &answer) && answer;
    }();
    return wow64;
}

bool _regkey_IsEmpty(const WCHAR* name) {
    return name == nullptr || name[0] == 0;
}

} // namespace

DWORD CRegValueBuffer::GetDword() const {
    if (m_Type != REG_DWORD || m_Size < 4 || m_Data == nullptr)
        return 0;
    return static_cast<DWORD>(m_Data[0]) | static_cast<DWORD>(m_Data[1]) << 8 |
           static_cast<DWORD>(m_Data[2]) << 16 | static_cast<DWORD>(m_Data[3]) << 24;
}

CRegKeyEx::CRegKeyEx() = default;

CRegKeyEx::CRegKeyEx(HKEY key, REGSAM access)
    : m_Key(key), m_ViewBits(access & kRegViewMask), m_Access(KEY_READ), m_Status(ERROR_INVALID_HANDLE) {}

CRegKeyEx::CRegKeyEx(HKEY root, const WCHAR* subKey, REGSAM access, bool create)
    : m_ViewBits(access & kRegViewMask), m_Access(access) {
    m_Status = create ? Create(root, subKey, access) : Open(root, subKey, access);
}

CRegKeyEx::~CRegKeyEx() {
    Close();
}

LONG CRegKeyEx::Open(HKEY root, const WCHAR* subKey, REGSAM access) {
    HKEY opened = nullptr;
    LONG status = RegOpenKeyExW(root, subKey ? subKey : u"", 0, access, &opened);
    if (status != ERROR_SUCCESS)
        return status;
    status = Close();
    m_Key = opened;
    m_Access = access;
    m_ViewBits = access & kRegViewMask;
    return status;
}

LONG CRegKeyEx::Create(HKEY root, const WCHAR* subKey, REGSAM access) {
    HKEY opened = nullptr;
    LONG status = RegCreateKeyExW(root, subKey ? subKey : u"", 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                  nullptr, &opened, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    status = Close();
    m_Key = opened;
    m_Access = access;
    m_ViewBits = access & kRegViewMask;
    return status;
}

LONG CRegKeyEx::Close() {
    LONG status = ERROR_SUCCESS;
    if (m_Key != nullptr) {
        status = RegCloseKey(m_Key);
        m_Key = nullptr;
    }
    m_ViewBits = 0;
    return status;
}

// Every Windows the engine supports has RegDeleteKeyExW, so it is called directly.
LONG CRegKeyEx::_regkey_DeleteChild(const WCHAR* name) {
    if (m_ViewBits != 0 && _regkey_IsWow64())
        return RegDeleteKeyExW(m_Key, name, m_ViewBits, 0);
    return RegDeleteKeyW(m_Key, name);
}

LONG CRegKeyEx::DeleteSubKey(const WCHAR* name) {
    // An empty name would name this key itself.
    if (_regkey_IsEmpty(name))
        return ERROR_INVALID_PARAMETER;
    return _regkey_DeleteChild(name);
}

LONG CRegKeyEx::RecurseDeleteKey(const WCHAR* name) {
    if (_regkey_IsEmpty(name))
        return ERROR_INVALID_PARAMETER;
    CRegKeyEx child;
    LONG status = child.Open(m_Key, name, KEY_READ | KEY_WRITE | m_ViewBits);
    if (status != ERROR_SUCCESS)
        return status;
    for (;;) {
        WCHAR subName[256];
        DWORD length = 256;
        if (RegEnumKeyExW(child.m_Key, 0, subName, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        status = child.RecurseDeleteKey(subName);
        if (status != ERROR_SUCCESS)
            return status;
    }
    child.Close();
    return _regkey_DeleteChild(name);
}
