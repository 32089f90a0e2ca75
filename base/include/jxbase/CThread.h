// The base of the system's worker threads: Create starts a thread that runs Init, Run and Exit of
// the derived class, optionally inside a COM apartment, guarded by a crash filter. A crash (an
// exception that leaves the thread's operations) can write a dump of the process and then ends the
// thread quietly while the process goes on, unless the machine's "QAFlags" say otherwise:
//   bit value 1: a crash writes a dump (GetMiniDumpPath) first;
//   bit value 2: a crash is passed on and ends the process.
//
// The destructor neither stops nor waits for the thread: whoever owns a CThread must let its thread
// end (Stop, then wait on GetThreadHandle) before destroying it, because the thread calls the
// object's virtual operations.
#pragma once

#include <atomic>
#include <string>

#include <windows.h>

class CThread {
public:
    enum ComMode { NoCom = 0, ComMultiThreaded = 1, ComApartmentThreaded = 2 };

    // syncInit: Init runs before Create returns; returnInit (with syncInit): Create returns Init's
    // result.
    explicit CThread(int comMode = NoCom, bool syncInit = false, bool returnInit = false);
    virtual ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Starts the thread under the name ("CThread" without one). False when a thread exists already,
    // when it cannot be started, or when it ended before it reached its start point; with syncInit
    // and returnInit also when Init failed. With CREATE_SUSPENDED in the flags the thread waits,
    // before its own Init (without syncInit) and Run, until it is resumed.
    bool Create(const char* name = nullptr, DWORD creationFlags = 0, LPSECURITY_ATTRIBUTES security = nullptr,
                unsigned stackSize = 0);

    // Start hook: the default sets the running flag; false ends the thread through Exit.
    virtual bool Init();
    // End hook; its result is the thread's exit code when Init failed.
    virtual DWORD Exit();
    // Body: the default looks at the running flag at most 2048 times, leaving when it is clear.
    virtual DWORD Run();
    // The default clears the running flag.
    virtual void Stop();

    HANDLE GetThreadHandle() const { return m_hThread; }
    DWORD GetThreadId() const { return m_ThreadId; }
    const std::string& GetName() const { return m_Name; }
    bool IsRunning() const { return m_Running.load() != 0; }

    // The machine's "QAFlags" as read on first need; ReloadQaFlags reads them again (the value is
    // process-wide: tests change it between cases).
    static DWORD QaFlags();
    static void ReloadQaFlags();

protected:
    std::atomic<LONG> m_Running{0};

private:
    struct CStartRecord;
    static DWORD _thread_Proc(LPVOID parameter);
    DWORD _thread_Body(CStartRecord& start);
    LONG _thread_Filter(PEXCEPTION_POINTERS pointers);
    void _thread_CloseEvents();

    HANDLE m_hThread = nullptr;
    DWORD m_ThreadId = 0;
    std::string m_Name = "CThread";
    HANDLE m_hStartEvent = nullptr;
    HANDLE m_hGoEvent = nullptr;
    bool m_bSyncInit;
    bool m_bReturnInit;
    int m_ComMode;
    bool m_bCatchCrashes = true;
};

// Names a thread for an attached debugger (thread id -1: the calling thread).
void SetThreadName(const char* name, DWORD threadId);
// Where a crash dump of the named thread goes: the product's "LogPath", else the client's
// "settings" folder + "log", else the temporary folder; the file is "<name>_<thread id in hex>
// _mini.dmp" ("thread_" without a name) with unusual characters replaced by "_".
std::string GetMiniDumpPath(const char* name);
// Writes a dump of this process for the exception when "QAFlags" ask for it and the dump folder
// holds less than 512 MiB of dumps; says on the debugger output what happened.
void WriteMiniDump(DWORD exceptionCode, PEXCEPTION_POINTERS pointers, const char* name);
