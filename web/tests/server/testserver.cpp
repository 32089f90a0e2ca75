// The scripted HTTP(S) server and the CONNECT proxy of the web tests, on Poco's sockets.
#include "testserver.h"

#include <Poco/Base64Encoder.h>
#include <Poco/Net/Context.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/SSLManager.h>
#include <Poco/Net/SecureServerSocket.h>
#include <Poco/Net/SecureStreamSocket.h>
#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/StreamSocket.h>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <thread>

namespace jxwebtest {
namespace {

std::string _Lower(std::string text) {
    for (auto& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::string Request::Header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (_Lower(key) == _Lower(name))
            return value;
    return {};
}

bool Request::HasHeader(const std::string& name) const {
    for (const auto& header : headers)
        if (_Lower(header.first) == _Lower(name))
            return true;
    return false;
}

struct TestServer::Impl {
    std::unique_ptr<Poco::Net::ServerSocket> listener;
    bool tls = false;
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::condition_variable stopped;
    std::vector<Request> requests;
    std::vector<std::thread> connections;
    std::thread acceptor;
    std::function<void(Poco::Net::StreamSocket&, Impl&)> serve;

    void Start(const TlsFiles* files, uint16_t port = 0) {
        const Poco::Net::SocketAddress address("127.0.0.1", port);
        if (files) {
            Poco::Net::initializeSSL();
            Poco::Net::Context::Ptr context =
                new Poco::Net::Context(Poco::Net::Context::TLS_SERVER_USE, files->keyPem,
                                       files->certificatePem, "", Poco::Net::Context::VERIFY_NONE);
            listener = std::make_unique<Poco::Net::SecureServerSocket>(address, 16, context);
            tls = true;
        } else {
            listener = std::make_unique<Poco::Net::ServerSocket>(address, 16);
        }
        acceptor = std::thread([this] { Accept(); });
    }

    void Accept() {
        while (!stop) {
            try {
                if (!listener->poll(Poco::Timespan(0, 20000), Poco::Net::Socket::SELECT_READ))
                    continue;
                Poco::Net::StreamSocket socket = listener->acceptConnection();
                std::lock_guard<std::mutex> hold(lock);
                connections.emplace_back([this, socket]() mutable {
                    try {
                        serve(socket, *this);
                    } catch (const Poco::Exception&) {
                        // a client that went away, or refused our certificate
                    }
                    try {
                        socket.close();
                    } catch (const Poco::Exception&) {
                    }
                });
            } catch (const Poco::Exception&) {
            }
        }
    }

    void Stop() {
        {
            std::lock_guard<std::mutex> hold(lock);
            stop = true;
        }
        stopped.notify_all();
        acceptor.join();
        std::vector<std::thread> running;
        {
            std::lock_guard<std::mutex> hold(lock);
            running.swap(connections);
        }
        for (auto& t : running)
            t.join();
        listener->close();
    }

    // Reads one request: the header up to the empty line, then Content-Length bytes of body.
    bool ReadRequest(Poco::Net::StreamSocket& socket, Request& request) {
        std::string data;
        char buffer[8192];
        size_t end;
        socket.setReceiveTimeout(Poco::Timespan(2, 0));
        while ((end = data.find("\r\n\r\n")) == std::string::npos) {
            const int n = socket.receiveBytes(buffer, sizeof buffer);
            if (n <= 0 || data.size() > (1u << 20))
                return false;
            data.append(buffer, static_cast<size_t>(n));
        }
        std::istringstream head(data.substr(0, end));
        std::string line;
        std::getline(head, line);
        std::istringstream first(line);
        first >> request.method >> request.target;
        while (std::getline(head, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const size_t colon = line.find(':');
            if (colon == std::string::npos)
                continue;
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(" \t"));
            request.headers.emplace_back(line.substr(0, colon), value);
        }
        request.body = data.substr(end + 4);
        const size_t length = std::strtoul(request.Header("Content-Length").c_str(), nullptr, 10);
        while (request.body.size() < length) {
            const int n = socket.receiveBytes(buffer, sizeof buffer);
            if (n <= 0)
                return false;
            request.body.append(buffer, static_cast<size_t>(n));
        }
        std::lock_guard<std::mutex> hold(lock);
        requests.push_back(request);
        return true;
    }

    bool WaitStop(int milliseconds) {
        std::unique_lock<std::mutex> hold(lock);
        return stopped.wait_for(hold, std::chrono::milliseconds(milliseconds),
                                [this] { return stop.load(); });
    }
};

namespace {

class CConnection : public Connection {
public:
    CConnection(Poco::Net::StreamSocket& socket, TestServer::Impl& server)
        : m_socket(socket), m_server(server) {}
    bool Write(const std::string& bytes) override {
        try {
            m_socket.sendBytes(bytes.data(), static_cast<int>(bytes.size()));
            return true;
        } catch (const Poco::Exception&) {
            return false;
        }
    }
    void Abort() override {
        try {
            m_socket.setLinger(true, 0);
            m_socket.close();
        } catch (const Poco::Exception&) {
        }
    }
    bool WaitStop(int milliseconds) override { return m_server.WaitStop(milliseconds); }

private:
    Poco::Net::StreamSocket& m_socket;
    TestServer::Impl& m_server;
};

} // namespace

TestServer::TestServer(Script script, const TlsFiles* tls, uint16_t port) : m(std::make_unique<Impl>()) {
    m->serve = [script](Poco::Net::StreamSocket& socket, Impl& server) {
        Request request;
        if (!server.ReadRequest(socket, request))
            return;
        CConnection connection(socket, server);
        script(request, connection);
    };
    m->Start(tls, port);
}

TestServer::~TestServer() {
    m->Stop();
}

uint16_t TestServer::Port() const {
    return m->listener->address().port();
}

std::u16string TestServer::Url(const std::string& path) const {
    const std::string url =
        std::string(m->tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(Port()) + path;
    return std::u16string(url.begin(), url.end());
}

std::vector<Request> TestServer::Requests() const {
    std::lock_guard<std::mutex> hold(m->lock);
    return m->requests;
}

ConnectProxy::ConnectProxy(std::string user, std::string password) : m(std::make_unique<TestServer::Impl>()) {
    std::ostringstream expected;
    {
        Poco::Base64Encoder encoder(expected);
        encoder << user << ":" << password;
    }
    const std::string credentials = "Basic " + expected.str();
    m->serve = [credentials](Poco::Net::StreamSocket& client, TestServer::Impl& server) {
        Request request;
        if (!server.ReadRequest(client, request))
            return;
        if (request.method != "CONNECT") {
            const std::string answer = Answer(405, "");
            client.sendBytes(answer.data(), static_cast<int>(answer.size()));
            return;
        }
        if (request.Header("Proxy-Authorization") != credentials) {
            const std::string answer =
                Answer(407, "", {{"Proxy-Authenticate", "Basic realm=\"jx\""}, {"Connection", "close"}});
            client.sendBytes(answer.data(), static_cast<int>(answer.size()));
            return;
        }
        // Tunnels reach loopback ports only.
        const size_t colon = request.target.rfind(':');
        const std::string host = request.target.substr(0, colon);
        if (host != "127.0.0.1" && host != "localhost")
            return;
        Poco::Net::StreamSocket target(
            Poco::Net::SocketAddress("127.0.0.1", request.target.substr(colon + 1)));
        const std::string established = "HTTP/1.1 200 Connection established\r\n\r\n";
        client.sendBytes(established.data(), static_cast<int>(established.size()));
        char buffer[16384];
        while (!server.stop) {
            Poco::Net::Socket::SocketList readable{client, target}, writable, failed;
            if (Poco::Net::Socket::select(readable, writable, failed, Poco::Timespan(0, 20000)) == 0)
                continue;
            for (auto& ready : readable) {
                Poco::Net::StreamSocket from(ready);
                Poco::Net::StreamSocket to = from == client ? target : client;
                const int n = from.receiveBytes(buffer, sizeof buffer);
                if (n <= 0)
                    return;
                to.sendBytes(buffer, n);
            }
        }
    };
    m->Start(nullptr);
}

ConnectProxy::~ConnectProxy() {
    m->Stop();
}

uint16_t ConnectProxy::Port() const {
    return m->listener->address().port();
}

std::vector<Request> ConnectProxy::Requests() const {
    std::lock_guard<std::mutex> hold(m->lock);
    return m->requests;
}

std::string Answer(int status, const std::string& body,
                   const std::vector<std::pair<std::string, std::string>>& headers, bool withContentLength) {
    std::string text = "HTTP/1.1 " + std::to_string(status) + " Scripted\r\n";
    for (const auto& [name, value] : headers)
        text += name + ": " + value + "\r\n";
    if (withContentLength)
        text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    text += "Connection: close\r\n\r\n" + body;
    return text;
}

} // namespace jxwebtest
