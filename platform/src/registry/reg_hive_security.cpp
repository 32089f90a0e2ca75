// Key security descriptors and the table of loaded hives in a hive database.
#include <sqlite3.h>

#include "registry/reg_hive.h"
#include "registry/reg_statement.h"

namespace jxplat::registry {

LSTATUS JxRegHive::GetSecurity(int64_t id, std::vector<BYTE>* descriptor) {
    CRegStatement st(_RegStatement("SELECT security FROM keys WHERE id=?1"));
    if (!st.Ready())
        return m_prepareStatus;
    st.BindInt(1, id);
    int code = st.Step();
    if (code == SQLITE_DONE)
        return ERROR_KEY_DELETED;
    if (code != SQLITE_ROW)
        return _RegFail(code, "reading a key's security");
    const auto* data = static_cast<const BYTE*>(st.Blob(0));
    descriptor->assign(data, data + (data ? st.BlobSize(0) : 0));
    return ERROR_SUCCESS;
}

LSTATUS JxRegHive::SetSecurity(int64_t id, const std::vector<BYTE>& descriptor) {
    CRegStatement st(_RegStatement("UPDATE keys SET security=?2 WHERE id=?1"));
    if (!st.Ready())
        return m_prepareStatus;
    st.BindInt(1, id);
    st.BindBlob(2, descriptor.data(), descriptor.size());
    int code = st.Step();
    if (code != SQLITE_DONE)
        return _RegFail(code, "writing a key's security");
    return sqlite3_changes(m_db) == 0 ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

LSTATUS JxRegHive::_RegEnsureLoadedTable() {
    return _RegExec("CREATE TABLE IF NOT EXISTS loaded(fold BLOB PRIMARY KEY, name BLOB NOT NULL, "
                    "file TEXT NOT NULL) WITHOUT ROWID",
                    "creating the table of loaded hives");
}

LSTATUS JxRegHive::FindLoaded(std::u16string_view name, CRegLoadedHive* loaded, bool* found) {
    CRegStatement st(_RegStatement("SELECT name, file FROM loaded WHERE fold=?1"));
    if (!st.Ready())
        return m_prepareStatus;
    std::string fold = RegFoldedBytes(name);
    st.BindBytes(1, fold);
    int code = st.Step();
    *found = code == SQLITE_ROW;
    if (code == SQLITE_ROW) {
        loaded->name = st.Name(0);
        const auto* file = static_cast<const char*>(st.Blob(1));
        loaded->file.assign(file ? file : "", st.BlobSize(1));
        return ERROR_SUCCESS;
    }
    return code == SQLITE_DONE ? ERROR_SUCCESS : _RegFail(code, "reading the loaded hives");
}

LSTATUS JxRegHive::AllLoaded(std::vector<CRegLoadedHive>* loaded) {
    CRegStatement st(_RegStatement("SELECT name, file FROM loaded ORDER BY fold"));
    if (!st.Ready())
        return m_prepareStatus;
    int code = SQLITE_ROW;
    while ((code = st.Step()) == SQLITE_ROW) {
        const auto* file = static_cast<const char*>(st.Blob(1));
        loaded->push_back({st.Name(0), std::string(file ? file : "", st.BlobSize(1))});
    }
    return code == SQLITE_DONE ? ERROR_SUCCESS : _RegFail(code, "reading the loaded hives");
}

LSTATUS JxRegHive::AddLoaded(const CRegLoadedHive& loaded) {
    CRegStatement st(_RegStatement("INSERT INTO loaded(fold, name, file) VALUES(?1, ?2, ?3)"));
    if (!st.Ready())
        return m_prepareStatus;
    std::string fold = RegFoldedBytes(loaded.name);
    st.BindBytes(1, fold);
    st.BindName(2, loaded.name);
    st.BindBytes(3, loaded.file);
    int code = st.Step();
    if ((code & 0xFF) == SQLITE_CONSTRAINT)
        return ERROR_ALREADY_EXISTS;
    return code == SQLITE_DONE ? ERROR_SUCCESS : _RegFail(code, "recording a loaded hive");
}

LSTATUS JxRegHive::RemoveLoaded(std::u16string_view name) {
    CRegStatement st(_RegStatement("DELETE FROM loaded WHERE fold=?1"));
    if (!st.Ready())
        return m_prepareStatus;
    std::string fold = RegFoldedBytes(name);
    st.BindBytes(1, fold);
    int code = st.Step();
    return code == SQLITE_DONE ? ERROR_SUCCESS : _RegFail(code, "forgetting a loaded hive");
}

} // namespace jxplat::registry
