// The client side of the management server's command channel: the interface through which a
// caller reaches the channel, the envelope that wraps an inner request into an MmsCmdReq and
// unwraps the MmsCmdResp, and the setup's one client operation.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

#include "mmscmd.pb.h"

namespace google::protobuf {
class MessageLite;
}

namespace JxSetup::Data {
class JxLog;
}

namespace MmsPb = Tolvane::Corvata::Business::Server::Service::Protobuf;

// The channel as a caller sees it. No virtual destructor: the owner destroys the concrete object.
class IMmsCmdImpl {
public:
    // The request and answer as serialized bytes; the answer buffer comes from CoTaskMemAlloc.
    virtual void ExecuteSerialized(const BYTE* request, DWORD requestSize, BYTE** answer, DWORD* answerSize,
                                   int timeout) = 0;
    virtual void Execute(const MmsPb::MmsCmdReq& request, MmsPb::MmsCmdResp& answer, int timeout) = 0;
    // 200 when a token was obtained or is fresh.
    virtual int UpdateToken() = 0;
    virtual void OnTokenUpdated(const std::string& token) = 0;
};

// Routes through the process's host registry under one selector (an MmsHostRole).
class MmsCmdImpl : public IMmsCmdImpl {
public:
    using TokenCallback = std::function<void(const std::string& token)>;

    MmsCmdImpl(int selector, TokenCallback tokenCallback);
    virtual ~MmsCmdImpl() = default;

    void ExecuteSerialized(const BYTE* request, DWORD requestSize, BYTE** answer, DWORD* answerSize,
                           int timeout) override;
    void Execute(const MmsPb::MmsCmdReq& request, MmsPb::MmsCmdResp& answer, int timeout) override;
    int UpdateToken() override;
    void OnTokenUpdated(const std::string& token) override;

private:
    const int m_Selector;
    const TokenCallback m_TokenCallback;
};

// The envelope. It holds no state of its own: any number of threads may send through one.
class MmsCmd {
public:
    enum SendResult {
        NoImplementation = 1,
        InnerRequestNotSerialized = 2,
        OuterRequestNotSerialized = 3,
        // The same number as the socket session's status for a legacy answer that is not an
        // MmsCmdLegacyResp; a caller sees both as 4.
        InnerAnswerNotParsed = 4,
        OuterAnswerNotParsed = 5,
        TargetNotOpened = 7,
        TargetNotWritten = 8,
    };
    using Headers = std::map<std::string, std::string>;
    using HeaderList = std::vector<std::pair<std::string, std::string>>;

    MmsCmd(IMmsCmdImpl* impl, bool serialized) : m_Impl(impl), m_Serialized(serialized) {}

    // The retry flag is false for callers; set, a 401 is returned as it is (no token refresh). The
    // time-out is in seconds, below 1 for each transport's default. The result is a SendResult or the
    // answer's status (200 on success).
    int Send(bool retry, const std::string& path, const google::protobuf::MessageLite& request,
             google::protobuf::MessageLite& response, int method, const std::u16string* targetFile,
             const std::string* accept, int timeout, const Headers* extraHeaders, HeaderList* answerHeaders);
    int Get(const std::string& path, google::protobuf::MessageLite& response, int timeout,
            const Headers* extraHeaders, HeaderList* answerHeaders);

    // UTF-8 bytes of the text up to its first zero character.
    static std::string WideToUtf8(std::u16string_view text);

private:
    IMmsCmdImpl* m_Impl;
    bool m_Serialized;
};

// The setup's one command-channel request: the server information of a management server.
class MmsClient {
public:
    // Kind "mms" (any case) asks as a secondary or sub server, which the log is told; anything else
    // as a client.
    static int GetServerInfo(const std::u16string& hostName, google::protobuf::MessageLite& answer,
                             const std::u16string& kind, JxSetup::Data::JxLog* log);
};

// True when this machine's management service is configured as a secondary server.
bool IsSecondaryMMS();
