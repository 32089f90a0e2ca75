// The key and value rows of a hive database.
#include <cstring>

#include <sqlite3.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "registry/reg_clock.h"
#include "registry/reg_hive.h"
#include "registry/reg_statement.h"

namespace jxplat::registry {

namespace {

// The keys every Windows machine has, made with a new machine hive.
constexpr const char16_t* kRegMachineSkeleton[] = {
    u"SOFTWARE\\Classes",
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
    u"SOFTWARE\\Policies",
    u"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion",
    u"SYSTEM\\CurrentControlSet\\Control",
    u"SYSTEM\\CurrentControlSet\\Services",
    u"SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current",
};

// The UAC policy of Windows 10; "EnableLUA" follows the machine description's user.uac.
constexpr char16_t kRegUacPolicyKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

// Columns id, name, class, volatile, last_write.
CRegKeyRow _RegReadKeyRow(const CRegStatement& st) {
    CRegKeyRow row;
    row.id = st.Int(0);
    row.name = st.Name(1);
    row.keyClass = st.Name(2);
    row.isVolatile = st.Int(3) != 0;
    row.lastWrite = static_cast<uint64_t>(st.Int(4));
    return row;
}

// Columns name, type, data.
CRegValue _RegReadValue(const CRegStatement& st) {
    CRegValue value;
    value.name = st.Name(0);
    value.type = static_cast<DWORD>(st.Int(1));
    const BYTE* data = static_cast<const BYTE*>(st.Blob(2));
    size_t size = st.BlobSize(2);
    if (data && size)
        value.data.assign(data, data + size);
    return value;
}

} // namespace

LSTATUS JxRegHive::_RegSeed() {
    if (m_id != RegHiveId::Machine)
        return ERROR_SUCCESS;
    uint64_t now = RegNow();
    auto ensureKey = [this, now](const char16_t* path, int64_t* key) {
        int64_t id = kRegRootKeyId;
        for (const std::u16string& name : jxtext::Split(path, u'\\')) {
            int64_t child = 0;
            bool isVolatile = false;
            LSTATUS status = FindChild(id, name, &child, &isVolatile);
            if (status == ERROR_FILE_NOT_FOUND)
                status = CreateChild(id, name, u"", false, now, &child);
            if (status != ERROR_SUCCESS)
                return status;
            id = child;
        }
        *key = id;
        return static_cast<LSTATUS>(ERROR_SUCCESS);
    };
    int64_t key = 0;
    for (const char16_t* path : kRegMachineSkeleton) {
        if (LSTATUS status = ensureKey(path, &key); status != ERROR_SUCCESS)
            return status;
    }
    if (LSTATUS status = ensureKey(kRegUacPolicyKey, &key); status != ERROR_SUCCESS)
        return status;
    const std::pair<const char16_t*, DWORD> uacPolicy[] = {
        {u"EnableLUA", jxplat::Machine().user.uac ? 1u : 0u},
        {u"ConsentPromptBehaviorAdmin", 5},
        {u"ConsentPromptBehaviorUser", 3},
        {u"PromptOnSecureDesktop", 1},
    };
    for (const auto& [name, number] : uacPolicy) {
        CRegValue existing;
        LSTATUS status = GetValue(key, name, &existing);
        if (status == ERROR_FILE_NOT_FOUND) {
            BYTE data[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                            static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
            status = SetValue(key, name, REG_DWORD, data, sizeof(data));
        }
        if (status != ERROR_SUCCESS)
            return status;
    }
    return ERROR_SUCCESS;
}

LSTATUS JxRegHive::FindChild(int64_t parent, std::u16string_view name, int64_t* id, bool* isVolatile) {
    CRegStatement st(_RegStatement("SELECT id, volatile FROM keys WHERE parent=?1 AND fold=?2"));
    if (!st.Ready())
        return m_prepareStatus;
    std::string fold = RegFoldedBytes(name);
    st.BindInt(1, parent);
    st.BindBytes(2, fold);
    int code = st.Step();
    if (code == SQLITE_ROW) {
        *id = st.Int(0);
        *isVolatile = st.Int(1) != 0;
        return ERROR_SUCCESS;
    }
    return code == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : _RegFail(code, "finding a key");
}

LSTATUS JxRegHive::KeyRow(int64_t id, CRegKeyRow* row) {
    CRegStatement st(_RegStatement("SELECT id, name, class, volatile, last_write FROM keys WHERE id=?1"));
    if (!st.Ready())
        return m_prepareStatus;
    st.BindInt(1, id);
    int code = st.Step();
    if (code == SQLITE_ROW) {
        *row = _RegReadKeyRow(st);
        return ERROR_SUCCESS;
    }
    return code == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : _RegFail(code, "reading a key");
}

LSTATUS JxRegHive::KeyExists(int64_t id, bool* exists) {
    CRegStatement st(_RegStatement("SELECT 1 FROM keys WHERE id=?1"));
    if (!st.Ready())
        return m_prepareStatus;
    st.BindInt(1, id);
    int code = st.Step();
    if (code != SQLITE_ROW && code != SQLITE_DONE)
        return _RegFail(code, "reading a key");
    *exists = code == SQLITE_ROW;
    return ERROR_SUCCESS;
}

LSTATUS JxRegHive::CreateChild(int64_t parent, std::u16string_view name, std::u16string_view keyClass,
                               bool isVolatile, uint64_t now, int64_t* id) {
    {
        CRegStatement st(_RegStatement("INSERT INTO keys(parent, name, fold, class, volatile, last_write) "
                                       "VALUES(?1, ?2, ?3, ?4, ?5, ?6)"));
        if (!st.Ready())
            return m_prepareStatus;
        std::string fold = RegFoldedBytes(name);
        st.BindInt(1, parent);
        st.BindName(2, name);
        st.BindBytes(3, fold);
        if (!keyClass.empty())
            st.BindName(4, keyClass);
        st.BindInt(5, isVolatile ? 1 : 0);
        st.BindInt(6, static_cast<int64_t>(now));
        int code = st.Step();
        if (code != SQLITE_DONE)
            return _RegFail(code, "creating a key");
        *id = sqlite3_last_insert_rowid(m_db);
    }
    // A new subkey changes its parent.
    return Touch(parent, now);
}

LSTATUS JxRegHive::HasChildren(int64_t id, bool* has) {
    CRegStatement st(_RegStatement("SELECT 1 FROM keys WHERE parent=?1 LIMIT 1"));
    if (!st.Ready())
        return m_prepareStatus;
    st.BindInt(1, id);
    int code = st.Step();
    if (code != SQLITE_ROW && code != SQLITE_DONE)
        return _RegFail(code, "reading subkeys");
    *has = code == SQLITE_ROW;
    return ERROR_SUCCESS;
}

LSTATUS JxRegHive::DeleteKey(int64_t id, uint64_t now) {
    {
        CRegStatement st(
            _RegStatement("UPDATE keys SET last_write=?2 WHERE id=(SELECT parent FROM keys WHERE id=?1)"));
        if (!st.Ready())
            return m_prepareStatus;
        st.BindInt(1, id);
        st.BindInt(2, static_cast<int64_t>(now));
        int code = st.Step();
        if (code != SQLITE_DONE)
            return _RegFail(code, "deleting a key");
    }
    // The values go with the key (ON DELETE CASCADE).
    CRegStatement st(_RegStatement("DELETE FROM keys WHERE id=?1"));
    if (!st.Ready())
        return m_prepareStatus;
    st.BindInt(1, id);
    int code = st.Step();
    if (code != SQLITE_DONE)
        return _RegFail(code, "deleting a key");
    return sqlite3_changes(m_db) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LSTATUS JxRegHive::Touch(int64_t id, uint64_t now) {
    CRegStatement st(_RegStatement("UPDATE keys SET last_write=?2 WHERE id=?1"));
    if (!st.Ready())
        return m_prepareStatus;
    st.BindInt(1, id);
    st.BindInt(2, static_cast<int64_t>(now));
    int code = st.Step();
    return code == SQLITE_DONE ? ERROR_SUCCESS : _RegFail(code, "writing a key");
}

LSTATUS JxRegHive::ChildAt(int64_t id, DWORD index, CRegKeyRow* row) {
    CRegStatement st(_RegStatement("SELECT id, name, class, volatile, last_write FROM keys WHERE parent=?1 "
                                   "ORDER BY fold LIMIT 1 OFFSET ?2"));
    if (!st.Ready())
        return m_prepareStatus;
    st.BindInt(1, id);
    st.BindInt(2, index);
    int code = st.Step();
    if (code == SQLITE_ROW) {
        *row = _RegReadKeyRow(st);
        return ERROR_SUCCESS;
    }
    return code == SQLITE_DONE ? ERROR_NO_MORE_ITEMS : _RegFail(code, "enumerating subkeys");
}

LSTATUS JxRegHive::Children(int64_t id, std::vector<CRegKeyRow>* rows) {
    CRegStatement st(_RegStatement(
        "SELECT id, name, class, volatile, last_write FROM keys WHERE parent=?1 ORDER BY fold"));
    if (!st.Ready())
        return m_prepareStatus;
    st.BindInt(1, id);
    int code;
    while ((code = st.Step()) == SQLITE_ROW)
        rows->push_back(_RegReadKeyRow(st));
    return code == SQLITE_DONE ? ERROR_SUCCESS : _RegFail(code, "enumerating subkeys");
}

LSTATUS JxRegHive::DeleteVolatileKeys() {
    // Subkeys of a volatile key are volatile too; the cascade takes them and all values.
    CRegStatement st(_RegStatement("DELETE FROM keys WHERE volatile=1"));
    if (!st.Ready())
        return m_prepareStatus;
    int code = st.Step();
    return code == SQLITE_DONE ? ERROR_SUCCESS : _RegFail(code, "deleting volatile keys");
}

LSTATUS JxRegHive::GetValue(int64_t key, std::u16string_view name, CRegValue* value) {
    CRegStatement st(_RegStatement("SELECT name, type, data FROM vals WHERE key=?1 AND fold=?2"));
    if (!st.Ready())
        return m_prepareStatus;
    std::string fold = RegFoldedBytes(name);
    st.BindInt(1, key);
    st.BindBytes(2, fold);
    int code = st.Step();
    if (code == SQLITE_ROW) {
        *value = _RegReadValue(st);
        return ERROR_SUCCESS;
    }
    return code == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : _RegFail(code, "reading a value");
}

LSTATUS JxRegHive::ValueAt(int64_t key, DWORD index, CRegValue* value) {
    CRegStatement st(
        _RegStatement("SELECT name, type, data FROM vals WHERE key=?1 ORDER BY fold LIMIT 1 OFFSET ?2"));
    if (!st.Ready())
        return m_prepareStatus;
    st.BindInt(1, key);
    st.BindInt(2, index);
    int code = st.Step();
    if (code == SQLITE_ROW) {
        *value = _RegReadValue(st);
        return ERROR_SUCCESS;
    }
    return code == SQLITE_DONE ? ERROR_NO_MORE_ITEMS : _RegFail(code, "enumerating values");
}

LSTATUS JxRegHive::Values(int64_t key, std::vector<CRegValue>* values) {
    CRegStatement st(_RegStatement("SELECT name, type, data FROM vals WHERE key=?1 ORDER BY fold"));
    if (!st.Ready())
        return m_prepareStatus;
    st.BindInt(1, key);
    int code;
    while ((code = st.Step()) == SQLITE_ROW)
        values->push_back(_RegReadValue(st));
    return code == SQLITE_DONE ? ERROR_SUCCESS : _RegFail(code, "enumerating values");
}

LSTATUS JxRegHive::SetValue(int64_t key, std::u16string_view name, DWORD type, const BYTE* data, DWORD size) {
    // An existing value keeps the case of its name; only its type and data change.
    CRegStatement st(
        _RegStatement("INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
                      "ON CONFLICT(key, fold) DO UPDATE SET type=excluded.type, data=excluded.data"));
    if (!st.Ready())
        return m_prepareStatus;
    std::string fold = RegFoldedBytes(name);
    st.BindInt(1, key);
    st.BindName(2, name);
    st.BindBytes(3, fold);
    st.BindInt(4, type);
    st.BindBlob(5, data, size);
    int code = st.Step();
    return code == SQLITE_DONE ? ERROR_SUCCESS : _RegFail(code, "writing a value");
}

LSTATUS JxRegHive::DeleteValue(int64_t key, std::u16string_view name) {
    CRegStatement st(_RegStatement("DELETE FROM vals WHERE key=?1 AND fold=?2"));
    if (!st.Ready())
        return m_prepareStatus;
    std::string fold = RegFoldedBytes(name);
    st.BindInt(1, key);
    st.BindBytes(2, fold);
    int code = st.Step();
    if (code != SQLITE_DONE)
        return _RegFail(code, "deleting a value");
    return sqlite3_changes(m_db) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LSTATUS JxRegHive::Stats(int64_t id, CRegKeyStats* stats) {
    {
        CRegStatement st(_RegStatement("SELECT COUNT(*), COALESCE(MAX(length(name)), 0), "
                                       "COALESCE(MAX(length(class)), 0) FROM keys WHERE parent=?1"));
        if (!st.Ready())
            return m_prepareStatus;
        st.BindInt(1, id);
        int code = st.Step();
        if (code != SQLITE_ROW)
            return _RegFail(code, "counting subkeys");
        stats->subKeys = static_cast<DWORD>(st.Int(0));
        stats->maxSubKeyLen = static_cast<DWORD>(st.Int(1) / 2);
        stats->maxClassLen = static_cast<DWORD>(st.Int(2) / 2);
    }
    CRegStatement st(_RegStatement("SELECT COUNT(*), COALESCE(MAX(length(name)), 0), "
                                   "COALESCE(MAX(length(data)), 0) FROM vals WHERE key=?1"));
    if (!st.Ready())
        return m_prepareStatus;
    st.BindInt(1, id);
    int code = st.Step();
    if (code != SQLITE_ROW)
        return _RegFail(code, "counting values");
    stats->values = static_cast<DWORD>(st.Int(0));
    stats->maxValueNameLen = static_cast<DWORD>(st.Int(1) / 2);
    stats->maxValueLen = static_cast<DWORD>(st.Int(2));
    return ERROR_SUCCESS;
}

} // namespace jxplat::registry
