// Snapshot records: one record of a bag's well-known values, read from a byte
// cursor into the bag's value cache. Every reader checks the bytes left before
// it reads.
#include <algorithm>
#include <cstring>

#include "jxpropertybag/CStreamOnMemory.h"
#include "jxpropertybag/PropertyBag.h"
#include "jxpropertybag/Snapshot.h"

namespace {

template <typename T> bool _snap_Read(const BYTE*& cursor, size_t& left, T& out) {
    if (left < sizeof(T))
        return false;
    std::memcpy(&out, cursor, sizeof(T));
    cursor += sizeof(T);
    left -= sizeof(T);
    return true;
}

bool _snap_Skip(const BYTE*& cursor, size_t& left, size_t count) {
    if (left < count)
        return false;
    cursor += count;
    left -= count;
    return true;
}

void _snap_Store(CMHPropertyBag& bag, const WCHAR* name, VARTYPE type, ULONGLONG number) {
    VARIANT value;
    VariantInit(&value);
    value.vt = type;
    if (type == VT_BOOL)
        value.boolVal = number ? VARIANT_TRUE : VARIANT_FALSE;
    else if (type == VT_UI4 || type == VT_I4)
        value.ulVal = static_cast<ULONG>(number);
    else
        value.ullVal = number;
    bag.StoreCachedValue(CHashKey(name), value);
}

void _snap_StoreText(CMHPropertyBag& bag, const WCHAR* name, const std::u16string& text) {
    if (text.empty())
        return;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (value.bstrVal)
        bag.StoreCachedValue(CHashKey(name), value);
}

bool _snap_StoreGuidText(CMHPropertyBag& bag, const WCHAR* name, const BYTE*& cursor, size_t& left) {
    GUID guid;
    if (!_snap_Read(cursor, left, guid))
        return false;
    WCHAR text[40] = {};
    StringFromGUID2(guid, text, 40);
    _snap_StoreText(bag, name, text);
    return true;
}

// The fields of the kinds 1 to 8; false when a field could not be read (the
// fields end there).
class CSnapshotFields {
public:
    CSnapshotFields(CMHPropertyBag& bag, const BYTE*& cursor, size_t& left)
        : m_bag(bag), m_at(cursor), m_left(left) {}

    // One integer field of type T, stored under the key (none: read and not stored).
    template <typename T> bool Number(const WCHAR* key, VARTYPE type, T* out = nullptr) {
        T v;
        if (!_snap_Read(m_at, m_left, v))
            return false;
        if (key)
            _snap_Store(m_bag, key, type, v);
        if (out)
            *out = v;
        return true;
    }
    bool U8(const WCHAR* key, VARTYPE type) { return Number<BYTE>(key, type); }
    bool U32(const WCHAR* key, VARTYPE type, DWORD* out = nullptr) { return Number<DWORD>(key, type, out); }
    bool U64(const WCHAR* key, VARTYPE type, ULONGLONG* out = nullptr) {
        return Number<ULONGLONG>(key, type, out);
    }
    bool Text(const WCHAR* key) {
        std::u16string text;
        if (!ReadCountedString(m_at, m_left, text))
            return false;
        _snap_StoreText(m_bag, key, text);
        return true;
    }
    bool UniqueId() {
        ULONGLONG id = 0;
        if (!U64(u"#__UniqueID__", VT_UI8, &id))
            return false;
        m_bag.SetUniqueIdFromSnapshot(id);
        return true;
    }
    bool ReadByte(BYTE& out) { return _snap_Read(m_at, m_left, out); }
    CMHPropertyBag& Bag() const { return m_bag; }
    bool Guid(const WCHAR* key) { return _snap_StoreGuidText(m_bag, key, m_at, m_left); }
    bool Value(const WCHAR* key) {
        VARIANT value;
        VariantInit(&value);
        if (!ReadTypedValue(m_at, m_left, value))
            return false;
        m_bag.StoreCachedValue(CHashKey(key), value);
        return true;
    }

private:
    CMHPropertyBag& m_bag;
    const BYTE*& m_at;
    size_t& m_left;
};

void _snap_ReadFields(CSnapshotFields& f, BYTE kind, BYTE version) {
    switch (kind) {
    case 1: {
        DWORD trust = 0, approved = 0;
        if (!f.UniqueId() || !f.U32(u"#__PID__", VT_UI4) || !f.U32(u"#__ParentPID__", VT_UI4) ||
            !f.U32(u"#__TrustState__", VT_I4, &trust))
            return;
        _snap_Store(f.Bag(), u"#__IsTrusted__", VT_BOOL, trust == 2);
        if (!f.U32(u"#__IsLocalSystem__", VT_I4) || !f.U32(u"#__IsTolvane__", VT_I4) ||
            !f.U32(u"#__Approved_State__", VT_I4, &approved))
            return;
        _snap_Store(f.Bag(), u"#__IsApproved__", VT_BOOL, approved == 0);
        if (!f.U32(u"#__SID__", VT_UI4) || !f.Text(u"#__Path__"))
            return;
        if (version >= 2 && !f.U64(u"#__FileID__", VT_UI8))
            return;
        if (version >= 3 && !f.U32(u"#__StreamFlags__", VT_UI4))
            return;
        if (version >= 4)
            f.U64(u"#__UniqueSessionID__", VT_UI8);
        return;
    }
    case 2:
        if (f.UniqueId() && f.U64(u"#__UniqueProcessID__", VT_UI8) && f.U32(u"#__TID__", VT_UI4) &&
            f.U32(u"#__PID__", VT_UI4) && f.U8(u"#__Injected__", VT_BOOL) &&
            f.U8(u"#__InitialThread__", VT_BOOL) && version >= 2)
            f.U8(u"#__External__", VT_BOOL);
        return;
    case 3:
    case 4: {
        if (!f.UniqueId() || !f.U32(u"#__AVStatus__", VT_UI4) || !f.U64(u"#__FastHash__", VT_UI8) ||
            !f.U32(u"#__StreamFlags__", VT_UI4) || !f.Text(u"#__Path__"))
            return;
        if (version >= 2 && !f.U32(u"#__StreamAttr__", VT_UI4))
            return;
        if (version >= 3 && !f.U64(u"#__FileID__", VT_UI8))
            return;
        if (kind != 3 || version > 3)
            return;
        DWORD handleVersion = 0;
        BYTE h = 0;
        if (!f.ReadByte(h) || h == 0)
            return;
        handleVersion = h;
        if (!f.U32(u"#__HandleFlags__", VT_UI4) || !f.U32(u"#__HandleInfo__", VT_UI4))
            return;
        if (handleVersion >= 2 && !f.U32(u"#__ReqAttr__", VT_UI4))
            return;
        if (handleVersion >= 3 && !f.Text(u"#__ProxyID__"))
            return;
        DWORD record = 0;
        if (handleVersion >= 4 && f.U32(nullptr, VT_UI4, &record) && record != 0)
            _snap_Store(f.Bag(), u"#__EventRecordID__", VT_UI4, record);
        return;
    }
    case 6:
    case 7: {
        if (!f.UniqueId() || !f.U32(u"#__RegKeyFlags__", VT_UI4))
            return;
        for (int i = 0; i < 4; ++i)
            if (!f.U32(nullptr, VT_UI4))
                return;
        if (!f.Text(u"#__Path__") || kind != 7)
            return;
        BYTE w = 0;
        if (!f.ReadByte(w) || w == 0)
            return;
        if (!f.U32(u"#__DesiredAccess__", VT_UI4) || !f.U32(u"#__Type__", VT_UI4) || !f.Text(u"__Name__"))
            return;
        if (w >= 2)
            f.Value(u"__Value__");
        return;
    }
    case 8:
        // Keys of their own, made when the record is read.
        if (f.U32(u"#__InterfaceIndex__", VT_UI4) && f.U32(u"#__InterfaceSubIndex__", VT_UI4) &&
            f.U64(u"#__LuidAdapter__", VT_UI8) && f.U32(u"#__LocalPort__", VT_UI4) &&
            f.U32(u"#__RemotePort__", VT_UI4) && f.Guid(u"#__LocalAddr__"))
            f.Guid(u"#__RemoteAddr__");
        return;
    default:
        return;
    }
}

} // namespace

bool ReadCountedString(const BYTE*& cursor, size_t& left, std::u16string& text) {
    WORD count = 0;
    const BYTE* at = cursor;
    size_t rest = left;
    if (!_snap_Read(at, rest, count) || rest < size_t{count} * 2)
        return false;
    text.resize(count);
    std::memcpy(text.data(), at, size_t{count} * 2);
    cursor = at + size_t{count} * 2;
    left = rest - size_t{count} * 2;
    return true;
}

bool ReadTypedValue(const BYTE*& cursor, size_t& left, VARIANT& value) {
    VariantClear(&value);
    DWORD type = 0;
    if (!_snap_Read(cursor, left, type))
        return true; // no type field: VT_EMPTY
    switch (type) {
    case VT_EMPTY:
        return true;
    case VT_NULL:
        value.vt = VT_NULL;
        return true;
    case VT_BSTR: {
        std::u16string text;
        if (!ReadCountedString(cursor, left, text))
            return false;
        value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!value.bstrVal)
            return false;
        value.vt = VT_BSTR;
        return true;
    }
    case VT_DISPATCH:
        return false;
    case VT_BLOB:
    case 500: {
        ULONGLONG size = 0;
        // The high half of the size must be 0; the 4 bytes after the size are
        // padding and skipped.
        if (!_snap_Read(cursor, left, size) || (size >> 32) != 0 || !_snap_Skip(cursor, left, 4) ||
            left < size)
            return false;
        CStreamOnMemory* stream = nullptr;
        try {
            stream = new CStreamOnMemory(cursor, static_cast<ULONG>(size));
        } catch (const std::bad_alloc&) {
            return false;
        }
        _snap_Skip(cursor, left, static_cast<size_t>(size));
        value.vt = VT_UNKNOWN;
        value.punkVal = static_cast<IStream*>(stream);
        return true;
    }
    default: {
        BYTE payload[16];
        if (!_snap_Read(cursor, left, payload))
            return false;
        DWORD first32;
        std::memcpy(&first32, payload, 4);
        if (type == VT_BOOL) {
            value.vt = VT_BOOL;
            value.boolVal = first32 ? VARIANT_TRUE : VARIANT_FALSE;
        } else if (type == VT_UI4) {
            value.vt = VT_UI4;
            value.ulVal = first32;
        } else if (type == VT_I8 || type == VT_UI8) {
            value.vt = static_cast<VARTYPE>(type);
            std::memcpy(&value.ullVal, payload, 8);
        } else if (type == VT_CLSID) {
            GUID guid;
            std::memcpy(&guid, payload, 16);
            WCHAR text[40] = {};
            StringFromGUID2(guid, text, 40);
            value.bstrVal = SysAllocString(text);
            if (!value.bstrVal)
                return false;
            value.vt = VT_BSTR;
        } else {
            value.vt = VT_I4;
            value.lVal = static_cast<LONG>(first32);
        }
        return true;
    }
    }
}

bool ReadSnapshotItems(CMHPropertyBag& bag, const BYTE*& cursor, size_t& left) {
    DWORD count = 0;
    if (!_snap_Read(cursor, left, count))
        return false;
    for (DWORD i = 0; i < count; ++i) {
        std::u16string name;
        VARIANT value;
        VariantInit(&value);
        if (!ReadCountedString(cursor, left, name) || !ReadTypedValue(cursor, left, value))
            return false;
        bag.StoreCachedValue(CHashKey::Plain(name), value);
    }
    return true;
}

void CMHPropertyBag::LoadSnapshot(const BYTE*& cursor, size_t& bytesLeft) {
    if (!cursor || bytesLeft == 0)
        return;
    const BYTE* at = cursor;
    size_t left = bytesLeft;
    BYTE kind = 0;
    DWORD length = 0;
    _snap_Read(at, left, kind);
    if (!_snap_Read(at, left, length)) {
        // Fewer than 4 bytes follow the kind: the record ends, and so do the bytes.
        cursor += bytesLeft;
        bytesLeft = 0;
        return;
    }
    if (length == 0) {
        cursor = at;
        bytesLeft = left;
        return;
    }
    // A length beyond the bytes left ends the record at the end of the buffer.
    const size_t recordSize = std::min<size_t>(length, left);
    const BYTE* body = at;
    size_t bodyLeft = recordSize;
    if (kind >= 1 && kind <= 8 && kind != 5) {
        BYTE version = 0;
        if (_snap_Read(body, bodyLeft, version) && version != 0) {
            CSnapshotFields fields(*this, body, bodyLeft);
            _snap_ReadFields(fields, kind, version);
        }
    }
    if (bodyLeft > 0)
        ReadSnapshotItems(*this, body, bodyLeft);
    cursor = at + recordSize;
    bytesLeft = left - recordSize;
}
