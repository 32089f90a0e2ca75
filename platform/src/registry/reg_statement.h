// One use of a cached prepared statement: binds, steps, and resets it when the use ends.
#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <string_view>

#include <sqlite3.h>

namespace jxplat::registry {

// Names are stored as UTF-16LE bytes; the host's char16_t memory is that encoding.
static_assert(std::endian::native == std::endian::little, "the registry stores UTF-16LE as in memory");

class CRegStatement {
public:
    explicit CRegStatement(sqlite3_stmt* statement) : m_statement(statement) {}
    ~CRegStatement() {
        if (m_statement) {
            sqlite3_reset(m_statement);
            sqlite3_clear_bindings(m_statement);
        }
    }
    CRegStatement(const CRegStatement&) = delete;
    CRegStatement& operator=(const CRegStatement&) = delete;

    bool Ready() const { return m_statement != nullptr; }

    void BindInt(int index, int64_t value) { sqlite3_bind_int64(m_statement, index, value); }
    // A zero-length blob must not be bound from a null pointer: that would bind NULL.
    void BindBlob(int index, const void* data, size_t size) {
        static const char kEmpty = 0;
        sqlite3_bind_blob64(m_statement, index, size ? data : &kEmpty, size, SQLITE_STATIC);
    }
    void BindName(int index, std::u16string_view name) {
        BindBlob(index, name.data(), name.size() * sizeof(char16_t));
    }
    void BindBytes(int index, const std::string& bytes) { BindBlob(index, bytes.data(), bytes.size()); }

    int Step() { return sqlite3_step(m_statement); }

    int64_t Int(int column) const { return sqlite3_column_int64(m_statement, column); }
    std::u16string Name(int column) const {
        const void* data = sqlite3_column_blob(m_statement, column);
        size_t size = static_cast<size_t>(sqlite3_column_bytes(m_statement, column)) / sizeof(char16_t);
        return data ? std::u16string(static_cast<const char16_t*>(data), size) : std::u16string();
    }
    const void* Blob(int column) const { return sqlite3_column_blob(m_statement, column); }
    size_t BlobSize(int column) const {
        return static_cast<size_t>(sqlite3_column_bytes(m_statement, column));
    }

private:
    sqlite3_stmt* m_statement;
};

} // namespace jxplat::registry
