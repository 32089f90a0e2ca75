// The pieces of one request of the HTTP client: the body target (memory or a file that appears
// under its name only when the download is complete), one request/response exchange over
// libcurl, and the connection-information record.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "jxweb/HttpClient.h"

// The error codes of the system's HTTP services.
#define ERROR_WINHTTP_TIMEOUT 12002L
#define ERROR_WINHTTP_INTERNAL_ERROR 12004L
#define ERROR_WINHTTP_INVALID_URL 12005L
#define ERROR_WINHTTP_UNRECOGNIZED_SCHEME 12006L
#define ERROR_WINHTTP_NAME_NOT_RESOLVED 12007L
#define ERROR_WINHTTP_CANNOT_CONNECT 12029L
#define ERROR_WINHTTP_CONNECTION_ERROR 12030L
#define ERROR_WINHTTP_INVALID_SERVER_RESPONSE 12152L
#define ERROR_WINHTTP_REDIRECT_FAILED 12156L
#define ERROR_WINHTTP_SECURE_FAILURE 12175L
#define ERROR_WINHTTP_HEADER_SIZE_OVERFLOW 12183L

// Where the body of the final response goes.
class CHttpBodyTarget {
public:
    CHttpBodyTarget(HttpClient::Result& result, DWORD initialCapacity, ULONGLONG maxMemoryBody);
    ~CHttpBodyTarget(); // a file not committed is removed
    CHttpBodyTarget(const CHttpBodyTarget&) = delete;
    CHttpBodyTarget& operator=(const CHttpBodyTarget&) = delete;

    // A file at the path (a new temporary file when it is empty); written aside and moved under its
    // name by Commit. Returns 0 or the error code.
    DWORD OpenFile(const std::u16string& path);
    void UseMemory();
    // Appends a chunk; returns 0 or the error code.
    DWORD Append(const BYTE* data, size_t length);
    // The body is complete: the file takes its name. Returns 0 or the error code.
    DWORD Commit();

private:
    HttpClient::Result& m_Result;
    DWORD m_InitialCapacity;
    ULONGLONG m_MaxMemoryBody;
    HANDLE m_File = INVALID_HANDLE_VALUE;
    std::u16string m_PartPath;
    bool m_ToFile = false;
};

// What the client decides once a response's headers are in.
struct CHttpHeaderBlock {
    LONG status = 0;
    std::map<std::u16string, std::u16string> headers;
    std::vector<std::string> offeredSchemes; // from every authenticate header of the block
};

// The inputs of one exchange.
struct CHttpExchange {
    std::string url;
    std::string host;
    long port = 0;
    bool https = false;
    int method = HttpClient::Get;
    bool sendBody = false;
    std::string authScheme; // "" or the scheme the proxy credentials go with
    // True when this response is not the final one (a redirect or an authentication repeat
    // follows); its body is then discarded.
    std::function<bool(const CHttpHeaderBlock&)> isIntermediate;
    // Called once for the final response's headers; returns 0 or the error code that ends it.
    std::function<DWORD(const CHttpHeaderBlock&, const std::string& localIp, long localPort,
                        const std::string& remoteIp, long remotePort)>
        onFinalHeaders;
    // Called for each body chunk of the final response; returns 0 or the error code that ends it.
    std::function<DWORD(const BYTE*, size_t)> onBody;
};

struct CHttpExchangeOutcome {
    CHttpHeaderBlock block; // the last header block
    bool intermediate = false;
    bool final = false;
    bool canceled = false;
};

// Runs one exchange with the client's settings; returns 0 or the error code.
class CHttpExchangeRunner {
public:
    static DWORD Run(HttpClient& client, const CHttpExchange& exchange, CHttpExchangeOutcome& outcome);
};

// Splits a URL into scheme, host, port and path; returns 0 or the error code.
DWORD _http_CrackUrl(const std::string& url, CHttpExchange& into);
// The absolute URL of a redirect target relative to the URL it came from; "" when it is none.
std::string _http_ResolveLocation(const std::string& base, const std::string& location);

// The connection-information record of a connection between two loopback addresses.
bool _http_MakeConnectionInfo(const std::string& localIp, long localPort, const std::string& remoteIp,
                              long remotePort, HttpClient::ConnectionInfo& info);
