// The engine's one HTTP(S) transport. One object holds the settings of its requests (headers,
// body, proxy, time-outs, certificate check, redirect policy, bandwidth limit, callbacks) and runs
// one request at a time; the transfer itself is libcurl's, confined to the machine's loopback
// network. Every failure is reported in the result, never by an exception.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

class HttpClient : public std::enable_shared_from_this<HttpClient> {
public:
    enum Method : int32_t { Get = 1, Post = 2, Put = 3, Delete = 4 };

    // Error values besides 0 and Windows error codes; each carries the bit 0x20000000.
    enum ResultCode : DWORD {
        ErrException = 0x20000001,
        ErrEmptyUrl = 0x20000002,
        ErrInvalidMethod = 0x20000003,
        ErrCreateFile = 0x20000004,
        ErrCanceled = 0x20000005,
        ErrWriteFile = 0x20000006,
        ErrConnectionRefused = 0x20000007,
        ErrReserved = 0x20000008,
        ErrAsyncTimeout = 0x20000009,
        ErrProtobufSerialize = 0x2000000B,
        ErrProtobufDeserialize = 0x2000000C,
        ErrProtobufInvalidContentType = 0x2000000D,
    };

    using Body = std::shared_ptr<std::vector<BYTE>>;
    using ErrorNameFunction = void (*)(DWORD code, std::u16string& text);

    struct Result {
        DWORD error = 0;
        LONG status = 0;
        DWORD bodyLength = 0;
        Body body; // capacity may exceed bodyLength; null when the body went to a file
        std::map<std::u16string, std::u16string> headers; // names compared exactly
        std::u16string downloadPath;
        ErrorNameFunction errorName = nullptr;

        std::u16string GetHeader(const std::u16string& name) const;
        bool HasHeaderWithPrefix(const std::u16string& name, const std::u16string& prefix) const;
        // Names 11, 12 and 13 (the code without bit 0x20000000) of the protobuf layer.
        static void NameProtobufError(DWORD code, std::u16string& text);
    };

    // The connection-information record of a response (260 bytes, as the system lays it out): the
    // local and remote addresses are SOCKADDR_STORAGE records (<winsock2.h>).
    struct ConnectionInfo {
        DWORD cbSize;
        BYTE LocalAddress[128];
        BYTE RemoteAddress[128];
    };

    using ProgressCallback = std::function<bool(DWORD chunk, DWORD received, DWORD total)>;
    using FileTargetCallback = std::function<bool(const Result&)>;
    using ConnectionInfoCallback = std::function<bool(const ConnectionInfo&)>;

    static constexpr DWORD kProgressEnd = 0xFFFFFFFF;
    static constexpr DWORD kRequestPiece = 65536;

    HttpClient(ProgressCallback progress, DWORD initialReceiveBufferSize);
    virtual ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    Result Send(int method, const std::u16string& url, bool toFile, const std::u16string& filePath,
                bool resetCancel);
    // Runs Send on a work item while this thread dispatches its window messages.
    Result SendAwait(int method, const std::u16string& url, bool toFile, const std::u16string& filePath);

    void SetRequestHeader(const std::u16string& name, const std::u16string& value);
    // Removes every request header, for a caller that starts a request afresh.
    void ClearRequestHeaders();
    void SetRequestBody(const void* data, DWORD length, bool copy);
    void ClearRequestBody();
    void SetProxy(const std::u16string& url, const std::u16string& user, const std::u16string& password);
    void SetTimeouts(DWORD resolve, DWORD connect, DWORD send, DWORD receive, DWORD receiveResponse);
    void SetConnectionInfoCallback(ConnectionInfoCallback callback);
    // Signals the cancel event and wakes a transfer that waits on the network.
    void Cancel();

    // The owner's settings.
    bool m_CheckCertificates = true;
    bool m_DisableRedirects = false;
    FileTargetCallback m_FileTargetCallback;
    LONG m_BandwidthLimit = 0;                // bytes per second; 0 or less: unlimited
    DWORD m_CancelWait = 5000;                // how long SendAwait waits for its worker after a cancel
    ULONGLONG m_MaxMemoryBody = 512ull << 20; // a body in memory never grows past this

    // The handshake with an asynchronous worker.
    std::atomic<bool> m_WaiterGone{false};
    std::atomic<bool> m_WorkerRunning{false};

    // The process-wide client lock (never destroyed, so a client destroyed late can still take it).
    static CRITICAL_SECTION& ClientLock();
    static void AddInvalidHttpClient(const HttpClient* client);
    // Only for a worker that holds the client lock: finds the client and removes it from the list.
    static bool IsInvalidHttpClient(const HttpClient* client);

    const std::u16string& UserAgent() const { return m_UserAgent; }

    // Test seams, so that no test waits for real time: the clock of the bandwidth limit (in the
    // performance counter's ticks) and its wait on the cancel event (true when canceled), and a look
    // at each piece of a request body as it is handed to the network.
    void SetThrottleForTesting(std::function<LONGLONG()> ticks, std::function<bool(DWORD)> wait);
    void SetRequestPieceObserverForTesting(std::function<void(DWORD)> observer);
    // The time-outs that clients made from now on start with, for tests of the layers above that
    // make their own clients; all 0 restores the system's defaults.
    static void SetDefaultTimeoutsForTesting(DWORD resolve, DWORD connect, DWORD send, DWORD receive,
                                             DWORD receiveResponse);

protected:
    bool OpenSession();
    bool IsCanceled(DWORD milliseconds) const;
    bool ReportProgress(DWORD chunk, DWORD received, DWORD total) const;

private:
    friend class CHttpExchangeRunner;

    ConnectionInfoCallback m_ConnectionInfoCallback;
    bool m_SessionOpen = false;
    ProgressCallback m_ProgressCallback;
    std::u16string m_UserAgentPrefix = u"TOLVANE Agent/1.0";
    std::u16string m_UserAgent;
    std::u16string m_ProxyUrl, m_ProxyUser, m_ProxyPassword;
    const BYTE* m_RequestBody = nullptr;
    DWORD m_RequestBodyLength = 0;
    std::vector<BYTE> m_OwnedBody;
    bool m_RequestBodyOwned = false;
    std::map<std::u16string, std::u16string> m_RequestHeaders;
    DWORD m_ResolveTimeout = 5000, m_ConnectTimeout = 60000, m_SendTimeout = 120000,
          m_ReceiveTimeout = 120000, m_ReceiveResponseTimeout = 120000;
    DWORD m_InitialReceiveBufferSize;
    HANDLE m_CancelEvent = nullptr;
    // The running transfer's multi handle (libcurl), woken by Cancel from another thread.
    void* m_RunningTransfer = nullptr;
    CRITICAL_SECTION m_TransferLock;
    std::function<LONGLONG()> m_ThrottleTicks;
    std::function<bool(DWORD)> m_ThrottleWait;
    std::function<void(DWORD)> m_RequestPieceObserver;
};
