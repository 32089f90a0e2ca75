// A scripted TCP server of the tests on loopback (127.0.0.1 or ::1, port 0). Each accepted
// connection runs the script on its own thread; the destructor closes the listener and joins.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace jxtest {

class LoopbackTcpServer {
public:
    // The script gets the host descriptor of the connection; the server closes it afterwards.
    explicit LoopbackTcpServer(std::function<void(int fd)> script, bool ipv6 = false);
    ~LoopbackTcpServer();
    LoopbackTcpServer(const LoopbackTcpServer&) = delete;
    LoopbackTcpServer& operator=(const LoopbackTcpServer&) = delete;

    uint16_t Port() const { return m_port; }

private:
    void _Run();

    std::function<void(int)> m_script;
    int m_listener = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_acceptor;
    std::vector<std::thread> m_connections;
};

// Helpers of scripts, on host descriptors.
bool SendAllTo(int fd, const std::string& bytes);
// Receives up to count bytes, fewer when the peer closes first.
std::string ReceiveFrom(int fd, size_t count);
// Reads until the peer closes; reset tells whether it reset the connection.
std::string ReadUntilClosed(int fd, bool* reset);
// A port of 127.0.0.1 that refuses connections (bound, never listening, held until the end of the
// process, so no other test takes it).
uint16_t RefusingLoopbackPort();

} // namespace jxtest
