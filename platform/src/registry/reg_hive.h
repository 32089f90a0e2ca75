// One hive database: its SQLite connection with cached statements, and the key and value rows.
//
// Every process of the machine opens the same files, so the database runs in WAL mode with a
// busy timeout and each change is one transaction. Durability: synchronous=NORMAL in WAL mode
// keeps every committed change across a crash of the process (the WAL is in the file system)
// and may lose the last commits only when the host itself goes down before the WAL reaches the
// disk, much like Windows flushes its hives lazily. RegFlushKey runs a full checkpoint, which
// syncs the WAL and the database file.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "registry/reg_types.h"

struct sqlite3;
struct sqlite3_stmt;

namespace jxplat::registry {

class JxRegHive {
public:
    JxRegHive(RegHiveId id, std::string hostPath);
    ~JxRegHive();
    JxRegHive(const JxRegHive&) = delete;
    JxRegHive& operator=(const JxRegHive&) = delete;

    RegHiveId Id() const { return m_id; }
    const std::string& HostPath() const { return m_hostPath; }

    // Opens the database on first use (creating it when missing). A file that is not a sound
    // database is reported on stderr with its name and answered ERROR_REGISTRY_CORRUPT; it is
    // left as it is. Called by every operation that touches the hive. The reads of one registry
    // call share one read transaction (one snapshot, and one lock of the WAL instead of one per
    // statement); EndCall closes it.
    LSTATUS Open();
    void EndCall();
    // In a child process after fork: forgets the parent's connection without closing it.
    void Abandon();

    // Write transactions (BEGIN IMMEDIATE, so that writers queue on the busy timeout).
    LSTATUS Begin();
    LSTATUS Commit();
    void Rollback();
    // Copies the WAL into the database file and syncs both (RegFlushKey).
    LSTATUS Checkpoint();

    // Key rows. Missing rows answer ERROR_FILE_NOT_FOUND.
    LSTATUS FindChild(int64_t parent, std::u16string_view name, int64_t* id, bool* isVolatile);
    LSTATUS KeyRow(int64_t id, CRegKeyRow* row);
    LSTATUS KeyExists(int64_t id, bool* exists);
    LSTATUS CreateChild(int64_t parent, std::u16string_view name, std::u16string_view keyClass,
                        bool isVolatile, uint64_t now, int64_t* id);
    LSTATUS HasChildren(int64_t id, bool* has);
    // Deletes a key row and its values; the parent's last-write time becomes now.
    LSTATUS DeleteKey(int64_t id, uint64_t now);
    LSTATUS Touch(int64_t id, uint64_t now);
    // Subkeys ordered by name ignoring case. ChildAt answers ERROR_NO_MORE_ITEMS past the end.
    LSTATUS ChildAt(int64_t id, DWORD index, CRegKeyRow* row);
    LSTATUS Children(int64_t id, std::vector<CRegKeyRow>* rows);
    LSTATUS DeleteVolatileKeys();

    // Value rows, ordered by name ignoring case.
    LSTATUS GetValue(int64_t key, std::u16string_view name, CRegValue* value);
    LSTATUS ValueAt(int64_t key, DWORD index, CRegValue* value);
    LSTATUS Values(int64_t key, std::vector<CRegValue>* values);
    LSTATUS SetValue(int64_t key, std::u16string_view name, DWORD type, const BYTE* data, DWORD size);
    LSTATUS DeleteValue(int64_t key, std::u16string_view name);

    // Counts and longest lengths of one key's subkeys and values.
    LSTATUS Stats(int64_t id, CRegKeyStats* stats);

    // The self-relative security descriptor kept with a key (empty when none is kept).
    LSTATUS GetSecurity(int64_t id, std::vector<BYTE>* descriptor);
    LSTATUS SetSecurity(int64_t id, const std::vector<BYTE>& descriptor);

    // Hives loaded below this hive's root (RegLoadKeyW): name and host path of the hive file.
    // Kept in the HKEY_USERS database, so that every process sees the same loaded hives.
    LSTATUS FindLoaded(std::u16string_view name, CRegLoadedHive* loaded, bool* found);
    LSTATUS AllLoaded(std::vector<CRegLoadedHive>* loaded);
    LSTATUS AddLoaded(const CRegLoadedHive& loaded);
    LSTATUS RemoveLoaded(std::u16string_view name);

private:
    sqlite3_stmt* _RegStatement(const char* sql);
    LSTATUS _RegFail(int code, const char* what);
    LSTATUS _RegOpenConnection();
    LSTATUS _RegCheckIdentity(bool* isNew);
    LSTATUS _RegUseWal();
    LSTATUS _RegCreateSchema();
    LSTATUS _RegBeginRead();
    LSTATUS _RegExec(const char* sql, const char* what);
    LSTATUS _RegSeed();
    LSTATUS _RegEnsureLoadedTable();
    void _RegClose();

    RegHiveId m_id;
    std::string m_hostPath;
    sqlite3* m_db = nullptr;
    bool m_broken = false;                   // a corrupt answer was seen: reopen before the next use
    LSTATUS m_prepareStatus = ERROR_SUCCESS; // why the last statement could not be prepared
    std::unordered_map<const char*, sqlite3_stmt*> m_statements;
};

// The folded form of a name as stored for lookups: UTF-16BE, so that the byte order SQLite
// sorts by is the code-unit order of the folded text.
std::string RegFoldedBytes(std::u16string_view name);

} // namespace jxplat::registry
