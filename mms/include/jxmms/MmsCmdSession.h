// The sessions of the command channel: one exchange at a time with one management server, over a
// TCP socket with the channel's own encryption or over HTTPS.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "jxbase/sockv2.h"
#include "jxmms/MmsCmd.h"

class MmsCmdHost;

class MmsCmdSession {
public:
    explicit MmsCmdSession(MmsCmdHost& host) : m_Host(host) {}
    virtual ~MmsCmdSession() = default;
    MmsCmdSession(const MmsCmdSession&) = delete;
    MmsCmdSession& operator=(const MmsCmdSession&) = delete;

    // The outcome is in the answer's status. The time-out is in seconds.
    virtual void Send(MmsPb::MmsCmdReq& request, MmsPb::MmsCmdResp& answer, int timeout) = 0;
    virtual bool IsConnected() const = 0;
    virtual std::u16string GetPeerDescription() const { return {}; }

protected:
    // The request's number within this session: the first request carries 1.
    int _SessionNextSequence() { return ++m_RequestCounter; }

    MmsCmdHost& m_Host;
    std::atomic<int> m_RequestCounter{0};
};

// The socket transport: length-prefixed frames, a hello that names this machine, an RSA key
// exchange for a 16-byte AES session key, encrypted requests and answers, and the legacy file
// transfer that two request headers ask for.
class MmsCmdSocketSession : public MmsCmdSession {
public:
    static constexpr unsigned short kPort = 7161;

    explicit MmsCmdSocketSession(MmsCmdHost& host);
    ~MmsCmdSocketSession() override;

    void Send(MmsPb::MmsCmdReq& request, MmsPb::MmsCmdResp& answer, int timeout) override;
    bool IsConnected() const override;
    // The local port of the connection, "-" when not connected.
    std::u16string GetPeerDescription() const override;

    // 0, or the channel status that ended the exchange (also in the answer's status).
    int Exchange(bool retry, MmsPb::MmsCmdReq& request, MmsPb::MmsCmdResp& answer, DWORD timeout);
    // 0, 16 (a frame not sent), 26 (the file cannot be opened or read).
    int UploadFile(const std::u16string& path, DWORD timeout);
    // 0 or a channel status; a file that was not received whole is deleted.
    int DownloadFile(const std::string& sizeText, const std::u16string& path, DWORD timeout);

private:
    bool _SockSendFrame(const void* payload, size_t size, DWORD timeout);
    // False when no frame arrived (time-out, closed, a length above the limit); the socket is closed then.
    bool _SockReceiveFrame(std::vector<BYTE>& payload, DWORD timeout);
    bool _SockSendHello(DWORD timeout);
    int _SockExchangeKeys(DWORD timeout);
    int _SockSendRequest(MmsPb::MmsCmdReq& request, DWORD timeout);
    int _SockReceiveResponse(MmsPb::MmsCmdResp& answer, DWORD timeout);
    int _SockLegacyTransfer(const MmsPb::MmsCmdReq& request, const MmsPb::MmsCmdResp& answer, DWORD timeout);
    void _SockClose();

    CSockv2 m_Socket;
    std::string m_SessionKey;
};

// The HTTPS transport: the request becomes an HTTPS request under "/tolvane/mms/" of the server.
class MmsCmdHttpSession : public MmsCmdSession {
public:
    class Client;

    explicit MmsCmdHttpSession(MmsCmdHost& host);
    ~MmsCmdHttpSession() override;

    void Send(MmsPb::MmsCmdReq& request, MmsPb::MmsCmdResp& answer, int timeout) override;
    bool IsConnected() const override;

    std::string BuildUrl(const std::string& path) const;
    static int ToHttpClientMethod(int method);

private:
    std::shared_ptr<Client> m_Client;
};

// True when the folder of the path has too little space for a file of the size, keeping 20 MiB free.
bool HasInsufficientDiskFreeSpace(const std::u16string& path, ULONGLONG size);

// The stored AES session key of a subject (-1: the current subject): 16 bytes, or empty.
std::string LoadSessionKey(int subject);
bool StoreSessionKey(int subject, const std::string& key);
