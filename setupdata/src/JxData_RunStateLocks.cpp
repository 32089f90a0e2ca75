// Cross-process locks of a run: the single-instance lock of an exclusive setup and the
// machine-wide locks taken while services and processes are shut down.
#include "jxsetupdata/JxData.h"

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {
const WCHAR* const kModule = u"lib";
const WCHAR* const kMutexContext = u"JxSetup::Data::JxData::OpenGlobalMutex";
} // namespace

bool JxData::OpenGlobalMutex() {
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kMutexContext, u"");
    bool result = true;
    const std::u16string productId = GetProductId();
    if (!jxtext::EqualsNoCase(m_ProductInfo.exclusive, u"true")) {
        // Not exclusive: no lock.
    } else if (productId.empty()) {
        // An unnamed mutex would be private to this process and lock nothing.
        log->Log(LP_ERROR, kModule, kMutexContext,
                 u"The product has no id: the launch of a second instance cannot be prevented.");
    } else {
        log->Log(LP_INFO, kModule, kMutexContext,
                 u"Setup was configrured to prevent the launch of a second instance of this install "
                 u"configuration...\n");
        if (jxtext::EqualsNoCase(GetPropertyValue(u"_AllowSecondInstance"), u"true")) {
            log->Log(LP_INFO, kModule, kMutexContext,
                     u"Setup temoprary allows the launch of a second instance...\n");
            if (!m_InstanceMutex)
                m_InstanceMutex = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, productId.c_str());
        } else {
            log->Log(LP_INFO, kModule, kMutexContext,
                     u"Setup doesn't temporary allows the launch of a second instance...\n");
            HANDLE mutex = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, productId.c_str());
            bool other = mutex != nullptr;
            if (!mutex) {
                mutex = CreateMutexW(nullptr, FALSE, productId.c_str());
                // Created meanwhile by another run: that run holds the lock, not this one.
                other = mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
                if (!mutex)
                    log->Log(LP_WARNING, kModule, kMutexContext,
                             u"Setup doesn't locked the launch. Error %d...\n",
                             static_cast<int>(GetLastError()));
                else if (!other)
                    log->Log(LP_INFO, kModule, kMutexContext,
                             u"Setup locked the launch of a second instance successfully...\n");
            }
            if (other) {
                log->Log(LP_INFO, kModule, kMutexContext,
                         u"Setup detected another instance. This instance would be aborted...\n");
                SetProperty(u"_CloseSecondInstance", u"true", 1);
                result = false;
            }
            if (mutex && !m_InstanceMutex)
                m_InstanceMutex = mutex; // open until the process ends
            else if (mutex)
                CloseHandle(mutex);
        }
    }
    log->Log(LOG_END, kModule, kMutexContext, u"%s", result ? u"true" : u"false");
    return result;
}

void JxData::AcquireShutdownLocks() {
    const std::u16string names = GetPropertyValue(u"ShutdownArguments");
    if (!names.empty()) {
        size_t begin = 0;
        for (;;) {
            const size_t comma = names.find(u',', begin);
            const std::u16string part =
                names.substr(begin, comma == std::u16string::npos ? comma : comma - begin);
            m_GlobalLocks.push_back(std::make_unique<CMachineWideLock>(part.c_str()));
            if (comma == std::u16string::npos)
                break;
            begin = comma + 1;
        }
    }
    for (auto& lock : m_GlobalLocks)
        lock->Acquire(0);
}

void JxData::ReleaseGlobalLocks() {
    for (auto& lock : m_GlobalLocks)
        lock->Release();
}

} // namespace JxSetup::Data
