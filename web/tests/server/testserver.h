// Servers of the web tests on loopback (127.0.0.1, port 0), started and stopped by the test: a
// scripted HTTP(S) server that answers each connection's request with raw bytes (so answers can
// be broken on purpose), a CONNECT proxy with a Basic challenge, and certificates made at run time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace jxwebtest {

struct Request {
    std::string method, target;
    std::vector<std::pair<std::string, std::string>> headers; // in arrival order, names as sent
    std::string body;
    // The value of a header (name ignoring case); "" when absent.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

class Connection {
public:
    virtual ~Connection() = default;
    // Sends the bytes; false when the peer has gone.
    virtual bool Write(const std::string& bytes) = 0;
    // Resets the connection (no orderly close).
    virtual void Abort() = 0;
    // Waits up to the milliseconds, or less when the server stops; true when it stops.
    virtual bool WaitStop(int milliseconds) = 0;
};

using Script = std::function<void(const Request&, Connection&)>;

struct TlsFiles {
    std::string certificatePem, keyPem; // file paths
};

class TestServer {
public:
    // On the port given, or on a free one (0).
    explicit TestServer(Script script, const TlsFiles* tls = nullptr, uint16_t port = 0);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    uint16_t Port() const;
    // "http(s)://127.0.0.1:<port>" + path.
    std::u16string Url(const std::string& path) const;
    std::vector<Request> Requests() const;

    struct Impl;

private:
    std::unique_ptr<Impl> m;
};

// A proxy for CONNECT tunnels to loopback ports. A request without the Basic credentials of user
// and password is answered 407 with "Proxy-Authenticate: Basic".
class ConnectProxy {
public:
    ConnectProxy(std::string user, std::string password);
    ~ConnectProxy();
    uint16_t Port() const;
    std::vector<Request> Requests() const;

private:
    std::unique_ptr<TestServer::Impl> m;
};

// An answer: status line, the headers, Content-Length (unless told otherwise) and the body.
std::string Answer(int status, const std::string& body,
                   const std::vector<std::pair<std::string, std::string>>& headers = {},
                   bool withContentLength = true);

// A test CA and server certificates for 127.0.0.1 and "localhost", written below the folder.
struct TestPki {
    explicit TestPki(const std::string& folder);
    std::string caPem;
    TlsFiles valid, expired, wrongName, selfSigned, unknownCa;
    // For every name of the update-server domain (a wildcard) besides the loopback names.
    TlsFiles updateServer;
};

} // namespace jxwebtest
