#include "jxvfs/DecompressionLock.h"

CDecompressionLock& CDecompressionLock::Instance() {
    static CDecompressionLock lock;
    return lock;
}

CDecompressionLock::CDecompressionLock() {
    InitializeCriticalSectionAndSpinCount(&m_section, 0);
}

CDecompressionLock::~CDecompressionLock() {
    DeleteCriticalSection(&m_section);
}
