// Starting a worker thread and handing it to its start, body and end operations.
#include "jxbase/CThread.h"

#include "jxplat/excpt.h"

struct CThread::CStartRecord {
    CThread* self;
    bool initResult;
};

CThread::CThread(int comMode, bool syncInit, bool returnInit)
    : m_bSyncInit(syncInit), m_bReturnInit(returnInit), m_ComMode(comMode) {}

CThread::~CThread() {
    if (m_hThread)
        CloseHandle(m_hThread);
    _thread_CloseEvents();
}

void CThread::_thread_CloseEvents() {
    if (m_hStartEvent)
        CloseHandle(m_hStartEvent);
    m_hStartEvent = nullptr;
    if (m_hGoEvent)
        CloseHandle(m_hGoEvent);
    m_hGoEvent = nullptr;
}

bool CThread::Create(const char* name, DWORD creationFlags, LPSECURITY_ATTRIBUTES security,
                     unsigned stackSize) {
    if (m_hThread)
        return false;
    m_hStartEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!m_hStartEvent)
        return false;
    m_hGoEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!m_hGoEvent) {
        _thread_CloseEvents();
        return false;
    }
    m_Name = name ? name : "CThread";
    CStartRecord start = {this, false};
    DWORD threadId = 0;
    m_hThread = CreateThread(security, stackSize, &CThread::_thread_Proc, &start,
                             creationFlags | CREATE_SUSPENDED, &threadId);
    if (!m_hThread) {
        _thread_CloseEvents();
        return false;
    }
    m_ThreadId = threadId;
    ResumeThread(m_hThread);
    // A thread that ends before its start point (a crash in Init) never sets the start event.
    const HANDLE answers[2] = {m_hStartEvent, m_hThread};
    if (WaitForMultipleObjects(2, answers, FALSE, INFINITE) != WAIT_OBJECT_0) {
        _thread_CloseEvents();
        CloseHandle(m_hThread);
        m_hThread = nullptr;
        m_ThreadId = 0;
        return false;
    }
    CloseHandle(m_hStartEvent);
    m_hStartEvent = nullptr;
    if (creationFlags & CREATE_SUSPENDED)
        SuspendThread(m_hThread); // it goes on past the go event once resumed
    // The thread closes the go event once it has seen it.
    const HANDLE go = m_hGoEvent;
    m_hGoEvent = nullptr;
    SetEvent(go);
    return m_bSyncInit && m_bReturnInit ? start.initResult : true;
}

DWORD CThread::_thread_Proc(LPVOID parameter) {
    CStartRecord& start = *static_cast<CStartRecord*>(parameter);
    CThread* self = start.self;
    DWORD exitCode = 0;
    const bool crashed =
        jxplat::TryExcept([&] { exitCode = self->_thread_Body(start); },
                          [self](PEXCEPTION_POINTERS pointers) { return self->_thread_Filter(pointers); });
    return crashed ? 0 : exitCode;
}

DWORD CThread::_thread_Body(CStartRecord& start) {
    bool comStarted = false;
    if (m_ComMode == ComMultiThreaded)
        comStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    else if (m_ComMode == ComApartmentThreaded)
        comStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    DWORD exitCode = 0;
    bool initialized = true;
    if (m_bSyncInit) {
        initialized = Init();
        if (!initialized)
            exitCode = Exit();
        start.initResult = initialized;
    }
    // From the start event on, the creator owns `start` and the events again; only the go event's
    // handle is taken along.
    const HANDLE go = m_hGoEvent;
    SetEvent(m_hStartEvent);
    WaitForSingleObject(go, INFINITE);
    CloseHandle(go);
    if (!m_bSyncInit) {
        initialized = Init();
        if (!initialized)
            exitCode = Exit();
    }
    if (initialized) {
        exitCode = Run();
        Exit();
    }
    if (comStarted)
        CoUninitialize();
    return exitCode;
}

LONG CThread::_thread_Filter(PEXCEPTION_POINTERS pointers) {
    WriteMiniDump(pointers->ExceptionRecord->ExceptionCode, pointers, m_Name.c_str());
    if (m_bCatchCrashes && !(QaFlags() & 2)) {
        OutputDebugStringA("Silent thread crash\n");
        return EXCEPTION_EXECUTE_HANDLER;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

bool CThread::Init() {
    m_Running = 1;
    return true;
}

DWORD CThread::Exit() {
    return 0;
}

DWORD CThread::Run() {
    for (int look = 0; look < 2048 && m_Running.load(); ++look) {
    }
    return 0;
}

void CThread::Stop() {
    m_Running = 0;
}
