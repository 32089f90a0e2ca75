// A command server of the tests on a loopback address of its own (127.x.y.n) and the channel's
// port: the hello, the RSA key exchange with the public-key blob, AES-128-CBC frames with their
// SHA-256 digest, session keys kept per machine GUID in one table that every server of the process
// shares, stale-key rejection, the legacy file transfer, and fault knobs. Written directly over
// libcrypto and POSIX sockets; it shares no code with the client.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mmscmd.pb.h"

namespace cmdtest {

namespace pb = Tolvane::Corvata::Business::Server::Service::Protobuf;

// What the server does with one request.
struct Reply {
    pb::MmsCmdResp answer;
    // A legacy upload follows the answer: this many file bytes are received.
    size_t uploadBytes = 0;
    // A legacy download follows the answer: these bytes are sent (the first chunk encrypted).
    std::string download;
    size_t downloadChunk = 65536;
};

enum class Fault {
    None,
    DropMidFrame,    // half the answer frame, then the connection is closed
    CorruptDigest,   // the answer's digest has one bit flipped
    OversizedLength, // a length above the limit, then the connection is closed
    SlowPeer,        // the answer goes out one byte per send
    BadPadding,      // the ciphertext's last block decrypts to bad padding (digest recomputed)
    KeyOf32Bytes,    // the key exchange sends a 32-byte key
    NoAnswer,        // the request is read and never answered; the connection stays open
    BadAck,          // the key request is acknowledged with 3
};

struct Hello {
    uint8_t marker = 0;
    std::string guid; // 16 bytes as sent
    uint8_t kind = 0;
    std::string name;
};

class CommandServer {
public:
    // Listens on 127.x.y.n (x, y from the process id) and port 7161.
    explicit CommandServer(int n);
    ~CommandServer();
    CommandServer(const CommandServer&) = delete;
    CommandServer& operator=(const CommandServer&) = delete;

    const std::string& Address() const { return m_address; }
    void SetHandler(std::function<Reply(const pb::MmsCmdReq&)> handler);
    // The fault applies to the next count answers (or key exchanges).
    void SetFault(Fault fault, int count = 1);

    std::vector<pb::MmsCmdReq> Requests();
    std::vector<Hello> Hellos();
    // Waits until at least that many uploads have arrived.
    std::vector<std::string> Uploads(size_t wait = 0);
    int KeyExchanges() const { return m_keyExchanges; }
    int Connections() const { return m_connections; }
    // Wakes the connections that hold a request unanswered (Fault::NoAnswer) and ends them.
    void ReleaseHeld();

    // The session-key table of every server of the process (machine GUID -> key).
    static std::map<std::string, std::string>& KeyTable();
    static std::mutex& KeyTableLock();
    // Forgets every key: the next encrypted request is rejected as stale.
    static void ForgetKeys();
    static int& KeyGeneration();

private:
    void _Accept();
    void _Serve(int fd);
    bool _SendAnswer(int fd, const std::string& key, const std::string& plain, Fault fault);
    Fault _TakeFault(bool keyExchange);

    std::string m_address;
    int m_listener = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_acceptor;
    std::mutex m_lock;
    std::condition_variable m_released;
    bool m_release = false;
    std::vector<std::thread> m_threads;
    std::vector<int> m_fds;
    std::function<Reply(const pb::MmsCmdReq&)> m_handler;
    Fault m_fault = Fault::None;
    int m_faultCount = 0;
    std::vector<pb::MmsCmdReq> m_requests;
    std::vector<Hello> m_hellos;
    std::vector<std::string> m_uploads;
    std::atomic<int> m_keyExchanges{0};
    std::atomic<int> m_connections{0};
};

// Frame helpers of the double (its own implementation of the wire format).
std::string EncryptFrame(const std::string& key, const std::string& plain);
bool DecryptFrame(const std::string& key, const std::string& payload, std::string& plain);
std::string Sha256(const std::string& bytes);

} // namespace cmdtest
