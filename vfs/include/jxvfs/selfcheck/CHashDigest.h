// One digest over a stream of bytes: 1 MD5, 2 SHA-1, 3 SHA-224, 4 SHA-256. The text is the digest
// in lower-case hexadecimal, produced once; the digest takes no further input afterwards.
#pragma once

#include <cstddef>
#include <string>

#include <windows.h>

class CHashDigest {
public:
    enum Type { MD5 = 1, SHA1 = 2, SHA224 = 3, SHA256 = 4 };

    explicit CHashDigest(int type);
    ~CHashDigest();
    CHashDigest(const CHashDigest&) = delete;
    CHashDigest& operator=(const CHashDigest&) = delete;

    bool IsValid() const { return m_context != nullptr || m_finished; }
    void Update(const void* data, size_t length);
    // Finishes the digest on first call; later calls return the same text.
    const std::u16string& GetText();
    // The raw digest bytes (after GetText).
    const std::basic_string<BYTE>& GetBytes() const { return m_bytes; }

private:
    void* m_context = nullptr;
    bool m_finished = false;
    std::u16string m_text;
    std::basic_string<BYTE> m_bytes;
};
