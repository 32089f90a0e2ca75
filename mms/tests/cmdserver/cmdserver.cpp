#include "cmdserver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

namespace cmdtest {
namespace {

constexpr uint32_t kMaxLength = 0x1f400000;

bool SendAll(int fd, const char* data, size_t size, bool slow) {
    size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(fd, data + sent, slow ? 1 : size - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
        if (slow)
            sched_yield();
    }
    return true;
}

bool RecvAll(int fd, char* data, size_t size) {
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::recv(fd, data + got, size - got, 0);
        if (n <= 0)
            return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

std::string Header(uint32_t length) {
    std::string h(4, '\0');
    for (int i = 0; i < 4; ++i)
        h[i] = static_cast<char>(length >> (8 * i));
    return h;
}

bool SendFrame(int fd, const std::string& payload, bool slow = false) {
    const std::string frame = Header(static_cast<uint32_t>(payload.size())) + payload;
    return SendAll(fd, frame.data(), frame.size(), slow);
}

bool RecvFrame(int fd, std::string& payload) {
    char h[4];
    if (!RecvAll(fd, h, 4))
        return false;
    uint32_t length = 0;
    for (int i = 0; i < 4; ++i)
        length |= static_cast<uint32_t>(static_cast<unsigned char>(h[i])) << (8 * i);
    if (length > kMaxLength)
        return false;
    payload.assign(length, '\0');
    return length == 0 || RecvAll(fd, payload.data(), length);
}

std::string Cipher(bool encrypt, const std::string& key, const std::string& iv, const std::string& in,
                   bool* ok) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    std::string out(in.size() + 32, '\0');
    int a = 0, b = 0;
    *ok =
        EVP_CipherInit_ex(ctx, EVP_aes_128_cbc(), nullptr, reinterpret_cast<const unsigned char*>(key.data()),
                          reinterpret_cast<const unsigned char*>(iv.data()), encrypt) == 1 &&
        EVP_CipherUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &a,
                         reinterpret_cast<const unsigned char*>(in.data()),
                         static_cast<int>(in.size())) == 1 &&
        EVP_CipherFinal_ex(ctx, reinterpret_cast<unsigned char*>(out.data()) + a, &b) == 1;
    EVP_CIPHER_CTX_free(ctx);
    out.resize(*ok ? static_cast<size_t>(a + b) : 0);
    return out;
}

// The session key encrypted to the public-key blob's RSA key, most significant byte first.
bool EncryptToBlob(const std::string& blob, const std::string& key, std::string& out) {
    if (blob.size() != 148 || blob.compare(0, 4, std::string("\x06\x02\x00\x00", 4)) != 0 ||
        blob.compare(8, 4, "RSA1") != 0)
        return false;
    uint32_t exponent = 0;
    for (int i = 0; i < 4; ++i)
        exponent |= static_cast<uint32_t>(static_cast<unsigned char>(blob[16 + i])) << (8 * i);
    std::string modulus(blob.rbegin(), blob.rbegin() + 128); // little-endian in the blob
    BIGNUM* n = BN_bin2bn(reinterpret_cast<const unsigned char*>(modulus.data()), 128, nullptr);
    BIGNUM* e = BN_new();
    BN_set_word(e, exponent);
    OSSL_PARAM_BLD* build = OSSL_PARAM_BLD_new();
    OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_N, n);
    OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_E, e);
    OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(build);
    EVP_PKEY_CTX* from = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    EVP_PKEY* pkey = nullptr;
    bool ok =
        EVP_PKEY_fromdata_init(from) == 1 && EVP_PKEY_fromdata(from, &pkey, EVP_PKEY_PUBLIC_KEY, params) == 1;
    EVP_PKEY_CTX* enc = ok ? EVP_PKEY_CTX_new(pkey, nullptr) : nullptr;
    size_t length = 0;
    ok = ok && EVP_PKEY_encrypt_init(enc) == 1 && EVP_PKEY_CTX_set_rsa_padding(enc, RSA_PKCS1_PADDING) == 1 &&
         EVP_PKEY_encrypt(enc, nullptr, &length, reinterpret_cast<const unsigned char*>(key.data()),
                          key.size()) == 1;
    if (ok) {
        out.assign(length, '\0');
        ok = EVP_PKEY_encrypt(enc, reinterpret_cast<unsigned char*>(out.data()), &length,
                              reinterpret_cast<const unsigned char*>(key.data()), key.size()) == 1;
        out.resize(length);
    }
    EVP_PKEY_CTX_free(enc);
    EVP_PKEY_free(pkey);
    EVP_PKEY_CTX_free(from);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(build);
    BN_free(n);
    BN_free(e);
    return ok;
}

std::string RandomBytes(size_t n) {
    std::string s(n, '\0');
    RAND_bytes(reinterpret_cast<unsigned char*>(s.data()), static_cast<int>(n));
    return s;
}

} // namespace

std::string Sha256(const std::string& bytes) {
    unsigned char digest[32];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    return std::string(reinterpret_cast<char*>(digest), 32);
}

std::string EncryptFrame(const std::string& key, const std::string& plain) {
    const std::string iv = RandomBytes(16);
    bool ok = false;
    const std::string body = std::string(1, '\0') + iv + Cipher(true, key, iv, plain, &ok);
    return body + Sha256(body);
}

bool DecryptFrame(const std::string& key, const std::string& payload, std::string& plain) {
    if (payload.size() < 50 || payload[0] != 0 ||
        Sha256(payload.substr(0, payload.size() - 32)) != payload.substr(payload.size() - 32) ||
        key.size() != 16)
        return false;
    bool ok = false;
    plain = Cipher(false, key, payload.substr(1, 16), payload.substr(17, payload.size() - 49), &ok);
    return ok;
}

std::map<std::string, std::string>& CommandServer::KeyTable() {
    static std::map<std::string, std::string> table;
    return table;
}

std::mutex& CommandServer::KeyTableLock() {
    static std::mutex lock;
    return lock;
}

void CommandServer::ForgetKeys() {
    std::lock_guard<std::mutex> lock(KeyTableLock());
    KeyTable().clear();
    ++KeyGeneration();
}

int& CommandServer::KeyGeneration() {
    static int generation = 0;
    return generation;
}

CommandServer::CommandServer(int n) {
    const int pid = static_cast<int>(getpid());
    for (int attempt = 0; attempt < 64 && m_listener < 0; ++attempt) {
        const int x = 1 + (pid / 250 + attempt * 7) % 250, y = 1 + (pid + attempt) % 250;
        m_address = "127." + std::to_string(x) + "." + std::to_string(y) + "." + std::to_string(n);
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(7161);
        inet_pton(AF_INET, m_address.c_str(), &address.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd, 16) == 0)
            m_listener = fd;
        else
            ::close(fd);
    }
    m_acceptor = std::thread([this] { _Accept(); });
}

CommandServer::~CommandServer() {
    m_stop = true;
    ReleaseHeld();
    ::shutdown(m_listener, SHUT_RDWR);
    ::close(m_listener);
    m_acceptor.join();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (int fd : m_fds)
            ::shutdown(fd, SHUT_RDWR);
    }
    for (auto& t : m_threads)
        t.join();
}

void CommandServer::SetHandler(std::function<Reply(const pb::MmsCmdReq&)> handler) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_handler = std::move(handler);
}

void CommandServer::SetFault(Fault fault, int count) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_fault = fault;
    m_faultCount = count;
}

Fault CommandServer::_TakeFault(bool keyExchange) {
    std::lock_guard<std::mutex> lock(m_lock);
    const bool forKeys = m_fault == Fault::KeyOf32Bytes || m_fault == Fault::BadAck;
    if (m_faultCount <= 0 || forKeys != keyExchange)
        return Fault::None;
    --m_faultCount;
    return m_fault;
}

std::vector<pb::MmsCmdReq> CommandServer::Requests() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_requests;
}

std::vector<Hello> CommandServer::Hellos() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_hellos;
}

std::vector<std::string> CommandServer::Uploads(size_t wait) {
    std::unique_lock<std::mutex> lock(m_lock);
    m_released.wait(lock, [&] { return m_uploads.size() >= wait || m_stop; });
    return m_uploads;
}

void CommandServer::ReleaseHeld() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_release = true;
    m_released.notify_all();
}

void CommandServer::_Accept() {
    while (!m_stop) {
        const int fd = ::accept(m_listener, nullptr, nullptr);
        if (fd < 0)
            break;
        ++m_connections;
        std::lock_guard<std::mutex> lock(m_lock);
        m_fds.push_back(fd);
        m_threads.emplace_back([this, fd] {
            _Serve(fd);
            ::shutdown(fd, SHUT_RDWR);
        });
    }
}

bool CommandServer::_SendAnswer(int fd, const std::string& key, const std::string& plain, Fault fault) {
    std::string payload = EncryptFrame(key, plain);
    switch (fault) {
    case Fault::DropMidFrame: {
        const std::string frame =
            Header(static_cast<uint32_t>(payload.size())) + payload.substr(0, payload.size() / 2);
        SendAll(fd, frame.data(), frame.size(), false);
        return false;
    }
    case Fault::CorruptDigest:
        payload.back() = static_cast<char>(payload.back() ^ 1);
        break;
    case Fault::OversizedLength: {
        const std::string h = Header(kMaxLength + 1);
        SendAll(fd, h.data(), 4, false);
        return false;
    }
    case Fault::BadPadding: {
        // Encrypt a last block without valid padding under the right key, then a fresh digest.
        const std::string iv = payload.substr(1, 16);
        bool ok = false;
        std::string cipher = Cipher(true, key, iv, plain, &ok);
        std::string raw = std::string(16, '\x55');
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        unsigned char block[32];
        int a = 0;
        EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr,
                           reinterpret_cast<const unsigned char*>(key.data()), nullptr);
        EVP_CIPHER_CTX_set_padding(ctx, 0);
        std::string prev = cipher.substr(cipher.size() - 32, 16);
        for (int i = 0; i < 16; ++i)
            raw[i] = static_cast<char>(raw[i] ^ prev[i]);
        EVP_EncryptUpdate(ctx, block, &a, reinterpret_cast<const unsigned char*>(raw.data()), 16);
        EVP_CIPHER_CTX_free(ctx);
        cipher.replace(cipher.size() - 16, 16, reinterpret_cast<char*>(block), 16);
        const std::string body = std::string(1, '\0') + iv + cipher;
        payload = body + Sha256(body);
        break;
    }
    case Fault::NoAnswer: {
        std::unique_lock<std::mutex> lock(m_lock);
        m_released.wait(lock, [this] { return m_release; });
        return false;
    }
    default:
        break;
    }
    return SendFrame(fd, payload, fault == Fault::SlowPeer);
}

void CommandServer::_Serve(int fd) {
    std::string frame;
    if (!RecvFrame(fd, frame) || frame.size() < 18)
        return;
    Hello hello;
    hello.marker = static_cast<uint8_t>(frame[0]);
    hello.guid = frame.substr(1, 16);
    hello.kind = static_cast<uint8_t>(frame[17]);
    hello.name = frame.substr(18);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_hellos.push_back(hello);
    }
    // The key this connection exchanged, accepted besides the table's until the keys are forgotten.
    std::string connectionKey;
    int connectionGeneration = -1;
    while (!m_stop && RecvFrame(fd, frame)) {
        if (frame == std::string(1, '\x02')) {
            // The key request: acknowledged; the public key follows.
            const bool bad = _TakeFault(true) == Fault::BadAck;
            if (!SendFrame(fd, std::string(1, bad ? '\x03' : '\x02')))
                return;
            continue;
        }
        if (frame.size() == 148 && frame[0] == 0x06) {
            // A public-key blob: after the acknowledgement, or after an answer the client refused.
            const Fault fault = _TakeFault(true);
            const std::string key = RandomBytes(16);
            std::string encrypted;
            if (!EncryptToBlob(frame, fault == Fault::KeyOf32Bytes ? RandomBytes(32) : key, encrypted))
                return;
            ++m_keyExchanges;
            if (fault != Fault::KeyOf32Bytes) {
                std::lock_guard<std::mutex> lock(KeyTableLock());
                KeyTable()[hello.guid] = key;
                connectionKey = key;
                connectionGeneration = KeyGeneration();
            }
            // OpenSSL gives the ciphertext most significant byte first, as the frame carries it.
            if (!SendFrame(fd, std::string(1, '\0') + encrypted))
                return;
            continue;
        }
        std::string key;
        {
            std::lock_guard<std::mutex> lock(KeyTableLock());
            auto it = KeyTable().find(hello.guid);
            if (it != KeyTable().end())
                key = it->second;
        }
        std::string plain;
        bool known = DecryptFrame(key, frame, plain) && plain.compare(0, 8, "pbmmscmd") == 0;
        int generation;
        {
            std::lock_guard<std::mutex> lock(KeyTableLock());
            generation = KeyGeneration();
        }
        if (!known && !connectionKey.empty() && generation == connectionGeneration) {
            key = connectionKey;
            known = DecryptFrame(key, frame, plain) && plain.compare(0, 8, "pbmmscmd") == 0;
        }
        if (!known) {
            // Not our key: a frame that fails the client's check makes it exchange keys again.
            if (!SendFrame(fd, std::string(1, '\x01')))
                return;
            continue;
        }
        pb::MmsCmdReq request;
        if (!request.ParseFromString(plain.substr(8)))
            return;
        std::function<Reply(const pb::MmsCmdReq&)> handler;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_requests.push_back(request);
            handler = m_handler;
        }
        Reply reply;
        if (handler)
            reply = handler(request);
        if (!_SendAnswer(fd, key, reply.answer.SerializeAsString(), _TakeFault(false)))
            return;
        if (reply.uploadBytes > 0) {
            std::string file, chunk;
            bool first = true;
            while (file.size() < reply.uploadBytes && RecvFrame(fd, frame)) {
                if (first) {
                    if (!DecryptFrame(key, frame, chunk))
                        return;
                    file += chunk;
                    first = false;
                } else {
                    file += frame;
                }
            }
            std::lock_guard<std::mutex> lock(m_lock);
            m_uploads.push_back(file);
            m_released.notify_all();
        }
        for (size_t at = 0; at < reply.download.size(); at += reply.downloadChunk) {
            const std::string chunk = reply.download.substr(at, reply.downloadChunk);
            if (!SendFrame(fd, at == 0 ? EncryptFrame(key, chunk) : chunk))
                return;
        }
    }
}

} // namespace cmdtest
