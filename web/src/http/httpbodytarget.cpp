// The body of the final response: in a growing memory buffer, or in a file that is written under a
// name of its own beside the target and moved onto the target only when the body is complete, so
// a failed download never leaves part of a file under the name the caller asked for.
#include <random>

#include "httpinternal.h"
#include "jxplat/oleauto.h"

namespace {

// "Jx" and a new GUID in the temporary folder; two random numbers when no GUID can be made.
std::u16string _target_TemporaryPath() {
    WCHAR folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    std::u16string path =
        length > 0 && length <= MAX_PATH ? std::u16string(folder, length) : std::u16string(u".\\");
    GUID guid;
    WCHAR text[40] = {};
    if (SUCCEEDED(CoCreateGuid(&guid)) && StringFromGUID2(guid, text, 40) > 0)
        return path + u"Jx" + text;
    std::random_device random;
    auto number = [&] {
        const unsigned long long value = (static_cast<unsigned long long>(random()) << 32) | random();
        std::u16string digits;
        for (char c : std::to_string(value))
            digits.push_back(static_cast<char16_t>(c));
        return digits;
    };
    return path + u"Jx{" + number() + u"-" + number() + u"}";
}

} // namespace

CHttpBodyTarget::CHttpBodyTarget(HttpClient::Result& result, DWORD initialCapacity, ULONGLONG maxMemoryBody)
    : m_Result(result), m_InitialCapacity(initialCapacity), m_MaxMemoryBody(maxMemoryBody) {}

CHttpBodyTarget::~CHttpBodyTarget() {
    if (m_File != INVALID_HANDLE_VALUE) {
        CloseHandle(m_File);
        DeleteFileW(m_PartPath.c_str());
    }
}

DWORD CHttpBodyTarget::OpenFile(const std::u16string& path) {
    m_ToFile = true;
    m_Result.downloadPath = path.empty() ? _target_TemporaryPath() : path;
    m_PartPath = m_Result.downloadPath + u".jxpart";
    // No sharing while it is written.
    m_File = CreateFileW(m_PartPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
    return m_File == INVALID_HANDLE_VALUE ? HttpClient::ErrCreateFile : 0;
}

void CHttpBodyTarget::UseMemory() {
    m_ToFile = false;
    m_Result.body = std::make_shared<std::vector<BYTE>>(m_InitialCapacity, 0);
}

DWORD CHttpBodyTarget::Append(const BYTE* data, size_t length) {
    const ULONGLONG total = static_cast<ULONGLONG>(m_Result.bodyLength) + length;
    if (total > 0xFFFFFFFFull)
        return ERROR_ARITHMETIC_OVERFLOW; // the body length is a 32-bit count
    if (m_ToFile) {
        DWORD written = 0;
        if (!WriteFile(m_File, data, static_cast<DWORD>(length), &written, nullptr) || written != length)
            return HttpClient::ErrWriteFile;
    } else {
        auto& buffer = *m_Result.body;
        if (total > buffer.size()) {
            // Grows to chunk + 2 x capacity, never past the limit of a body in memory.
            if (total > m_MaxMemoryBody)
                return ERROR_NOT_ENOUGH_MEMORY;
            const ULONGLONG grown = std::min<ULONGLONG>(length + 2ull * buffer.size(), m_MaxMemoryBody);
            auto bigger = std::make_shared<std::vector<BYTE>>(static_cast<size_t>(std::max(grown, total)), 0);
            std::copy(buffer.begin(), buffer.begin() + m_Result.bodyLength, bigger->begin());
            m_Result.body = bigger;
        }
        std::copy(data, data + length, m_Result.body->begin() + m_Result.bodyLength);
    }
    m_Result.bodyLength = static_cast<DWORD>(total);
    return 0;
}

DWORD CHttpBodyTarget::Commit() {
    if (m_File == INVALID_HANDLE_VALUE)
        return 0;
    const bool closed = CloseHandle(m_File);
    m_File = INVALID_HANDLE_VALUE;
    if (!closed ||
        !MoveFileExW(m_PartPath.c_str(), m_Result.downloadPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const DWORD error = GetLastError();
        DeleteFileW(m_PartPath.c_str());
        return error ? error : HttpClient::ErrWriteFile;
    }
    return 0;
}
