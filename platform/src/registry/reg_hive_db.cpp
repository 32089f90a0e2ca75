// The connection of one hive database: opening and settings, the schema, cached statements,
// transactions and the translation of SQLite failures into registry errors.
#include <cstdio>

#include <sqlite3.h>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "registry/reg_clock.h"
#include "registry/reg_hive.h"
#include "registry/reg_statement.h"

namespace jxplat::registry {

namespace {

constexpr int kRegSchemaVersion = 1;
constexpr int kRegBusyTimeoutMs = 10000;

// keys: one row per key; the hive root is row 1 with no parent. Names keep the case they were
// created with (UTF-16LE); fold is the folded name used to find and order them. Ids are never
// reused (AUTOINCREMENT), so a handle to a deleted key cannot reach a later key.
// vals: the values of a key with their type and raw data. The security column is kept for
// security descriptors.
constexpr const char* kRegSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
    name BLOB NOT NULL,
    fold BLOB NOT NULL,
    class BLOB,
    volatile INTEGER NOT NULL DEFAULT 0,
    last_write INTEGER NOT NULL,
    security BLOB,
    UNIQUE(parent, fold));
CREATE TABLE IF NOT EXISTS vals(
    key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
    name BLOB NOT NULL,
    fold BLOB NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    PRIMARY KEY(key, fold)) WITHOUT ROWID;
)sql";

// A hive that cannot be read is as unusable as a corrupt one: both answer ERROR_REGISTRY_CORRUPT.
LSTATUS _RegMapCode(int code) {
    switch (code & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_READONLY:
        return ERROR_REGISTRY_CORRUPT;
    case SQLITE_FULL:
        return ERROR_DISK_FULL;
    case SQLITE_NOMEM:
        return ERROR_OUTOFMEMORY;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

} // namespace

std::string RegFoldedBytes(std::u16string_view name) {
    std::string bytes;
    bytes.reserve(name.size() * 2);
    for (char16_t c : name) {
        char16_t folded = jxtext::FoldChar(c);
        bytes.push_back(static_cast<char>(folded >> 8));
        bytes.push_back(static_cast<char>(folded & 0xFF));
    }
    return bytes;
}

JxRegHive::JxRegHive(RegHiveId id, std::string hostPath) : m_id(id), m_hostPath(std::move(hostPath)) {}

JxRegHive::~JxRegHive() {
    _RegClose();
}

void JxRegHive::_RegClose() {
    for (auto& [sql, statement] : m_statements)
        sqlite3_finalize(statement);
    m_statements.clear();
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_broken = false;
}

void JxRegHive::Abandon() {
    // The connection belongs to the parent process: closing it here could disturb the parent's
    // locks, so the child only forgets it.
    m_statements.clear();
    m_db = nullptr;
    m_broken = false;
}

LSTATUS JxRegHive::_RegFail(int code, const char* what) {
    LSTATUS status = _RegMapCode(code);
    const char* detail = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(code);
    if (status == ERROR_REGISTRY_CORRUPT) {
        fprintf(
            stderr,
            "jxplat registry: the hive database %s is corrupt, unreadable or not a database (%s: %s); it is "
            "left as it is\n",
            m_hostPath.c_str(), what, detail);
        m_broken = true;
    } else {
        fprintf(stderr, "jxplat registry: %s failed on the hive database %s: %s (SQLite %d)\n", what,
                m_hostPath.c_str(), detail, code);
    }
    return status;
}

LSTATUS JxRegHive::_RegExec(const char* sql, const char* what) {
    char* message = nullptr;
    int code = sqlite3_exec(m_db, sql, nullptr, nullptr, &message);
    sqlite3_free(message);
    return code == SQLITE_OK ? ERROR_SUCCESS : _RegFail(code, what);
}

LSTATUS JxRegHive::Open() {
    if (m_broken)
        _RegClose();
    if (m_db)
        return _RegBeginRead();
    bool isNew = false;
    LSTATUS status = _RegOpenConnection();
    // Nothing is written to the file before it is known to be a hive of ours (or empty).
    if (status == ERROR_SUCCESS)
        status = _RegCheckIdentity(&isNew);
    if (status == ERROR_SUCCESS)
        status = _RegUseWal();
    if (status == ERROR_SUCCESS && isNew)
        status = _RegCreateSchema();
    if (status == ERROR_SUCCESS && m_id == RegHiveId::Users)
        status = _RegEnsureLoadedTable();
    if (status == ERROR_SUCCESS)
        status = _RegBeginRead();
    if (status != ERROR_SUCCESS)
        _RegClose();
    return status;
}

LSTATUS JxRegHive::_RegBeginRead() {
    if (!sqlite3_get_autocommit(m_db))
        return ERROR_SUCCESS;
    CRegStatement st(_RegStatement("BEGIN"));
    if (!st.Ready())
        return m_prepareStatus;
    int code = st.Step();
    return code == SQLITE_DONE ? ERROR_SUCCESS : _RegFail(code, "starting a read");
}

void JxRegHive::EndCall() {
    // Every change has committed or rolled back by now: what is open is a read, and rolling it
    // back only lets the snapshot go.
    if (m_db && !sqlite3_get_autocommit(m_db)) {
        CRegStatement st(_RegStatement("ROLLBACK"));
        if (st.Ready())
            st.Step();
    }
}

LSTATUS JxRegHive::_RegOpenConnection() {
    size_t slash = m_hostPath.rfind('/');
    if (slash != std::string::npos)
        EnsureHostDirectory(m_hostPath.substr(0, slash));
    // The registry serializes its own calls, so the connection needs no mutex of its own.
    int code = sqlite3_open_v2(m_hostPath.c_str(), &m_db,
                               SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (code != SQLITE_OK)
        return _RegFail(code, "opening");
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, kRegBusyTimeoutMs);
    return _RegExec("PRAGMA foreign_keys=ON", "setting up");
}

LSTATUS JxRegHive::_RegCheckIdentity(bool* isNew) {
    // The first read of the file: a file that is not a database at all fails here.
    sqlite3_stmt* statement = nullptr;
    int code = sqlite3_prepare_v2(m_db,
                                  "SELECT (SELECT user_version FROM pragma_user_version), "
                                  "(SELECT COUNT(*) FROM sqlite_master)",
                                  -1, &statement, nullptr);
    int64_t version = 0;
    int64_t objects = 0;
    if (code == SQLITE_OK) {
        code = sqlite3_step(statement);
        if (code == SQLITE_ROW) {
            version = sqlite3_column_int64(statement, 0);
            objects = sqlite3_column_int64(statement, 1);
        }
        int finalized = sqlite3_finalize(statement);
        code = code == SQLITE_ROW ? finalized : code;
    }
    if (code != SQLITE_OK)
        return _RegFail(code, "reading");
    *isNew = version == 0 && objects == 0;
    if (version == kRegSchemaVersion || *isNew)
        return ERROR_SUCCESS;
    fprintf(
        stderr,
        "jxplat registry: the hive database %s is corrupt or not a database (a database of schema version "
        "%lld, not a registry hive); it is left as it is\n",
        m_hostPath.c_str(), static_cast<long long>(version));
    return ERROR_REGISTRY_CORRUPT;
}

LSTATUS JxRegHive::_RegUseWal() {
    sqlite3_stmt* statement = nullptr;
    int code = sqlite3_prepare_v2(m_db, "PRAGMA journal_mode=WAL", -1, &statement, nullptr);
    bool wal = false;
    if (code == SQLITE_OK) {
        code = sqlite3_step(statement);
        const unsigned char* mode = code == SQLITE_ROW ? sqlite3_column_text(statement, 0) : nullptr;
        wal = mode && std::string_view(reinterpret_cast<const char*>(mode)) == "wal";
        int finalized = sqlite3_finalize(statement);
        code = code == SQLITE_ROW ? finalized : code;
    }
    if (code != SQLITE_OK)
        return _RegFail(code, "switching to WAL mode");
    if (!wal) {
        fprintf(stderr, "jxplat registry: the hive database %s cannot use WAL mode\n", m_hostPath.c_str());
        return ERROR_REGISTRY_IO_FAILED;
    }
    return _RegExec("PRAGMA synchronous=NORMAL", "setting up");
}

LSTATUS JxRegHive::_RegCreateSchema() {
    // Made in one transaction, so that a second process waits and sees it whole; the statements
    // leave a hive that another process has just made as it is.
    LSTATUS status = Begin();
    if (status != ERROR_SUCCESS)
        return status;
    status = _RegExec(kRegSchema, "creating the schema");
    if (status == ERROR_SUCCESS) {
        CRegStatement root(_RegStatement("INSERT OR IGNORE INTO keys(id, parent, name, fold, last_write) "
                                         "VALUES(1, NULL, x'', x'', ?1)"));
        if (!root.Ready()) {
            status = m_prepareStatus;
        } else {
            root.BindInt(1, static_cast<int64_t>(RegNow()));
            int code = root.Step();
            if (code != SQLITE_DONE)
                status = _RegFail(code, "creating the hive root");
        }
    }
    if (status == ERROR_SUCCESS)
        status = _RegSeed();
    if (status == ERROR_SUCCESS) {
        char sql[64];
        snprintf(sql, sizeof(sql), "PRAGMA user_version=%d", kRegSchemaVersion);
        status = _RegExec(sql, "writing the schema version");
    }
    if (status != ERROR_SUCCESS) {
        Rollback();
        return status;
    }
    return Commit();
}

sqlite3_stmt* JxRegHive::_RegStatement(const char* sql) {
    auto found = m_statements.find(sql);
    if (found != m_statements.end())
        return found->second;
    sqlite3_stmt* statement = nullptr;
    int code = sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    if (code != SQLITE_OK) {
        if ((code & 0xFF) == SQLITE_ERROR) {
            // Our statements fail to compile only in a database that is not a hive of ours.
            fprintf(stderr, "jxplat registry: the hive database %s does not hold a registry hive (%s)\n",
                    m_hostPath.c_str(), sqlite3_errmsg(m_db));
            m_broken = true;
            m_prepareStatus = ERROR_REGISTRY_CORRUPT;
        } else {
            m_prepareStatus = _RegFail(code, "preparing a statement");
        }
        return nullptr;
    }
    m_statements.emplace(sql, statement);
    return statement;
}

LSTATUS JxRegHive::Begin() {
    // A change starts from the newest state: the call's read snapshot ends first.
    EndCall();
    CRegStatement st(_RegStatement("BEGIN IMMEDIATE"));
    if (!st.Ready())
        return m_prepareStatus;
    int code = st.Step();
    return code == SQLITE_DONE ? ERROR_SUCCESS : _RegFail(code, "starting a transaction");
}

LSTATUS JxRegHive::Commit() {
    CRegStatement st(_RegStatement("COMMIT"));
    if (!st.Ready())
        return m_prepareStatus;
    int code = st.Step();
    if (code == SQLITE_DONE)
        return ERROR_SUCCESS;
    LSTATUS status = _RegFail(code, "committing");
    Rollback();
    return status;
}

void JxRegHive::Rollback() {
    if (m_db && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

LSTATUS JxRegHive::Checkpoint() {
    EndCall(); // a read of this connection would hold the checkpoint back
    int code = sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_FULL, nullptr, nullptr);
    return code == SQLITE_OK ? ERROR_SUCCESS : _RegFail(code, "checkpointing");
}

} // namespace jxplat::registry
