// A registry key kept open across several calls: enumerating values, reading several values of
// one key, deleting a key tree. It remembers the 32/64-bit view it was opened in, so that deletes
// below it stay in that view, and the outcome of its constructor (Status). Built on the stack,
// used in one scope, never copied; the destructor closes the key.
#pragma once

#include <string>

#include <windows.h>

// One value read by CRegKeyEx::EnumValue. The caller owns the data and releases it with free.
struct CRegValueBuffer {
    DWORD m_Type = 0;
    BYTE* m_Data = nullptr; // malloc/realloc/free
    DWORD m_Size = 0;       // capacity before a read, size of the data after it

    // The first 4 bytes as a number when the value is a REG_DWORD of at least 4 bytes; else 0.
    DWORD GetDword() const;
};

// Expansion of QueryStringValue: which stored types are expanded.
enum CRegExpandMode : int {
    kRegExpandNone = 0,     // never
    kRegExpandSz = 1,       // REG_SZ values
    kRegExpandExpandSz = 2, // REG_EXPAND_SZ values
    kRegExpandBoth = 3,     // both
};

class CRegKeyEx {
public:
    // No key; status ERROR_INVALID_HANDLE.
    CRegKeyEx();
    // Adopts an open key (closed by this object); its view is taken from the access mask.
    CRegKeyEx(HKEY key, REGSAM access);
    // Opens root\subKey (with create: creates it when missing, non-volatile). Test Status() before use.
    CRegKeyEx(HKEY root, const WCHAR* subKey, REGSAM access, bool create = false);
    ~CRegKeyEx();
    CRegKeyEx(const CRegKeyEx&) = delete;
    CRegKeyEx& operator=(const CRegKeyEx&) = delete;

    // Win32 codes, 0 on success. A failed Open or Create keeps the key held before.
    LONG Open(HKEY root, const WCHAR* subKey, REGSAM access);
    LONG Create(HKEY root, const WCHAR* subKey, REGSAM access);
    // Closes the key (without flushing it) and forgets its view.
    LONG Close();

    // Deletes a child without sub-keys, in this key's view. An empty name: ERROR_INVALID_PARAMETER.
    LONG DeleteSubKey(const WCHAR* name);
    // Deletes a child and everything below it, in this key's view. An empty name: ERROR_INVALID_PARAMETER.
    LONG RecurseDeleteKey(const WCHAR* name);

    // The value at index (with a buffer also its type and data); ERROR_NO_MORE_ITEMS past the last.
    // Data of 0x100000 bytes or more: ERROR_OUTOFMEMORY.
    LONG EnumValue(DWORD index, std::u16string& name, CRegValueBuffer* buffer = nullptr);
    // A REG_SZ or REG_EXPAND_SZ value as text (ERROR_INVALID_DATA for other types).
    LONG QueryStringValue(const WCHAR* name, std::u16string& text, int expandMode = kRegExpandNone);
    // The text, or the default when the key is not open or the value cannot be read; sets Status().
    std::u16string GetStringValue(const WCHAR* name, const std::u16string& defaultValue,
                                  int expandMode = kRegExpandNone);
    // A REG_MULTI_SZ value into buffer (chars in characters; without a buffer: the size only).
    LONG QueryMultiStringValue(const WCHAR* name, WCHAR* buffer, ULONG* chars);
    bool ValueExists(const WCHAR* name);

    HKEY Key() const { return m_Key; }
    REGSAM ViewBits() const { return m_ViewBits; }
    REGSAM Access() const { return m_Access; }
    LONG Status() const { return m_Status; }

private:
    LONG _regkey_DeleteChild(const WCHAR* name);

    HKEY m_Key = nullptr;
    REGSAM m_ViewBits = 0;
    REGSAM m_Access = 0;
    LONG m_Status = ERROR_INVALID_HANDLE;
};

// Creates or opens root\subKey (KEY_WRITE with the view bits) and writes the text with its
// terminating zero as REG_SZ (typeIndex 0) or REG_EXPAND_SZ (typeIndex 1). True on success.
bool WriteRegistryValue(const std::u16string& text, HKEY root, const WCHAR* subKey, const WCHAR* valueName,
                        REGSAM viewBits, DWORD typeIndex);

// Replaces the text by its environment-expanded form; false (text unchanged) when that fails.
bool ExpandEnvironmentInPlace(std::u16string& text);
