// CMachineWideLock: "Global\__TOLVANE_LOCK_<MD5 of boot value + lock name>__".
#include "jxbase/machinewidelock.h"

#include <algorithm>
#include <cstdio>

#include <openssl/evp.h>

#include "jxbase/reg.h"
#include "jxbase/trace.h"
#include "jxplat/text.h"

namespace {

const WCHAR* const kFallbackMachineGuid = u"8AC6B6B0-0CFA-4808-A065-9E519295454B";

// The workstation service's start time (changes with each boot), else the machine's GUID.
std::u16string _LockBootValue() {
    LPBYTE buffer = nullptr;
    if (NetStatisticsGet(nullptr, const_cast<LPWSTR>(SERVICE_WORKSTATION), 0, 0, &buffer) == NERR_Success &&
        buffer) {
        const auto* stats = reinterpret_cast<const STAT_WORKSTATION_0*>(buffer);
        std::u16string text = jxtext::Format(u"%.16I64x-", stats->StatisticsStartTime.QuadPart);
        NetApiBufferFree(buffer);
        return text;
    }
    return CReg::GetStringFromRegistry(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Cryptography",
                                       u"MachineGuid", kFallbackMachineGuid, KEY_WOW64_64KEY);
}

// 32 upper-case hexadecimal digits of the MD5 digest of the text's UTF-16LE bytes.
std::u16string _LockDigest(const std::u16string& text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
    static const char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0x0F];
    }
    return hex;
}

HANDLE _LockCreate(const WCHAR* name) {
    return CreateMutexW(nullptr, FALSE, name);
}

DWORD _LockWait(HANDLE mutex, DWORD milliseconds) {
    return WaitForSingleObject(mutex, milliseconds);
}

const CMachineWideLock::KernelCalls kRealCalls = {_LockCreate, _LockWait, Sleep};
const CMachineWideLock::KernelCalls* g_calls = &kRealCalls;

} // namespace

void CMachineWideLock::SetKernelCallsForTesting(const KernelCalls* calls) {
    g_calls = calls ? calls : &kRealCalls;
}

CMachineWideLock::CMachineWideLock(const WCHAR* lockName) {
    const std::u16string name = lockName ? lockName : u"";
    m_Name = u"Global\\__TOLVANE_LOCK_" + _LockDigest(_LockBootValue() + name) + u"__";
}

bool CMachineWideLock::Acquire(DWORD timeoutMs) {
    if (m_Mutex)
        return true;
    DWORD left = timeoutMs;
    HANDLE mutex = g_calls->createMutex(m_Name.c_str());
    while (!mutex) {
        if (left == 0) {
            DebugTrace(u"CMachineWideLock: %s cannot be created (error %lu)", m_Name.c_str(), GetLastError());
            return false;
        }
        const DWORD pause = std::min<DWORD>(50, left);
        g_calls->sleep(pause);
        left -= pause;
        mutex = g_calls->createMutex(m_Name.c_str());
    }
    const DWORD result = g_calls->wait(mutex, left);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
        m_Mutex = mutex;
        return true;
    }
    // A time-out, and also a failed wait: the lock is not held.
    if (result == WAIT_FAILED)
        DebugTrace(u"CMachineWideLock: waiting for %s failed (error %lu)", m_Name.c_str(), GetLastError());
    CloseHandle(mutex);
    return false;
}

void CMachineWideLock::Release() {
    if (!m_Mutex)
        return;
    ReleaseMutex(m_Mutex);
    CloseHandle(m_Mutex);
    m_Mutex = nullptr;
}
