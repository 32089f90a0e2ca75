// The socket transport's exchange: connect and hello, the key request and key exchange, and one
// encrypted request with its encrypted answer.
#include <algorithm>
#include <cstring>

#include "RsaKeyPair.h"
#include "jxbase/textconv.h"
#include "jxplat/text.h"
#include "jxbase/trace.h"
#include "jxmms/MmsCmdFrame.h"
#include "jxmms/MmsCmdHost.h"
#include "jxmms/MmsCmdSession.h"

namespace {

constexpr char kRequestPrefix[] = "pbmmscmd";

std::u16string _SockComputerName() {
    std::u16string name = ReadProductRegistryString(MmsSubjectSettingsKey(-1), u"ComputerName", u"", 0);
    if (name.empty())
        name = MmsComputerNameKeyValue(false);
    name.erase(0, std::min(name.size(), name.find_first_not_of(u'\\')));
    return name;
}

} // namespace

MmsCmdSocketSession::MmsCmdSocketSession(MmsCmdHost& host) : MmsCmdSession(host) {}

MmsCmdSocketSession::~MmsCmdSocketSession() {
    _SockClose();
}

bool MmsCmdSocketSession::IsConnected() const {
    return m_Socket.Handle() != INVALID_SOCKET;
}

std::u16string MmsCmdSocketSession::GetPeerDescription() const {
    return IsConnected() ? jxtext::ToText(static_cast<unsigned>(m_Socket.LocalPort())) : u"-";
}

void MmsCmdSocketSession::_SockClose() {
    if (m_Socket.Handle() != INVALID_SOCKET)
        m_Socket.Close(false);
}

bool MmsCmdSocketSession::_SockSendFrame(const void* payload, size_t size, DWORD timeout) {
    if (size > MmsCmdFrame::kMaxLength || !IsConnected())
        return false;
    std::vector<char> frame(4 + size);
    const DWORD length = static_cast<DWORD>(size);
    for (int i = 0; i < 4; ++i)
        frame[i] = static_cast<char>(length >> (8 * i));
    if (size > 0)
        std::memcpy(frame.data() + 4, payload, size);
    // A send may take only part of the frame; the rest follows, each wait within the time-out.
    size_t sent = 0;
    while (sent < frame.size()) {
        const int chunk = static_cast<int>(std::min<size_t>(frame.size() - sent, 0x40000000));
        const int n = m_Socket.Send(frame.data() + sent, chunk, timeout);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool MmsCmdSocketSession::_SockReceiveFrame(std::vector<BYTE>& payload, DWORD timeout) {
    payload.clear();
    BYTE header[4];
    if (!IsConnected() || !m_Socket.ReceiveAll(reinterpret_cast<char*>(header), 4, timeout)) {
        _SockClose();
        return false;
    }
    const DWORD length = header[0] | header[1] << 8 | header[2] << 16 | static_cast<DWORD>(header[3]) << 24;
    if (length > MmsCmdFrame::kMaxLength) {
        JX_ENGINE_TRACE(0, u"MmsCmdSocketSession::ReceiveFrame", u"frame length %lu refused\n", length);
        _SockClose();
        return false;
    }
    if (length == 0)
        return true;
    payload.resize(length);
    if (!m_Socket.ReceiveAll(reinterpret_cast<char*>(payload.data()), static_cast<int>(length), timeout)) {
        payload.clear();
        _SockClose();
        return false;
    }
    return true;
}

bool MmsCmdSocketSession::_SockSendHello(DWORD timeout) {
    m_SessionKey = LoadSessionKey(-1);
    if (m_SessionKey.size() != MmsCmdFrame::kKeySize)
        m_SessionKey.clear();
    const GUID guid = MmsAccessParam::MachineGuid::Get(-1);
    const std::string name = WideToUtf8(_SockComputerName());
    std::vector<BYTE> hello(18 + name.size());
    hello[0] = 2;
    std::memcpy(hello.data() + 1, &guid, 16); // the GUID structure in memory order (little-endian fields)
    hello[17] = MmsAuthSubject.load() == 2 ? 5 : 2;
    std::memcpy(hello.data() + 18, name.data(), name.size());
    return _SockSendFrame(hello.data(), hello.size(), timeout);
}

int MmsCmdSocketSession::_SockExchangeKeys(DWORD timeout) {
    RsaKeyPair pair;
    const std::vector<BYTE>& blob = pair.PublicKeyBlob();
    if (blob.empty() || !_SockSendFrame(blob.data(), blob.size(), timeout))
        return 16;
    std::vector<BYTE> frame;
    if (!_SockReceiveFrame(frame, timeout))
        return 18;
    std::string key;
    if (frame.size() < 17 || frame[0] != 0 || !pair.Decrypt(frame.data() + 1, frame.size() - 1, key) ||
        key.size() != MmsCmdFrame::kKeySize)
        return 20;
    m_SessionKey = key;
    if (!StoreSessionKey(-1, key)) {
        m_SessionKey.clear();
        return 13;
    }
    return 0;
}

int MmsCmdSocketSession::_SockSendRequest(MmsPb::MmsCmdReq& request, DWORD timeout) {
    request.set_sequence(_SessionNextSequence());
    std::string plain(kRequestPrefix);
    if (!request.AppendToString(&plain))
        return 14;
    std::vector<BYTE> payload;
    const int result = MmsCmdFrame::Encrypt(m_SessionKey, plain.data(), plain.size(), payload);
    if (result != 0)
        return result;
    return _SockSendFrame(payload.data(), payload.size(), timeout) ? 0 : 16;
}

int MmsCmdSocketSession::_SockReceiveResponse(MmsPb::MmsCmdResp& answer, DWORD timeout) {
    std::vector<BYTE> frame;
    if (!_SockReceiveFrame(frame, timeout))
        return 18;
    if (frame.empty())
        return 17;
    if (!MmsCmdFrame::Check(frame.data(), frame.size()))
        return 24;
    std::vector<BYTE> plain;
    if (!MmsCmdFrame::Decrypt(m_SessionKey, frame.data(), frame.size(), plain))
        return 20;
    answer.Clear();
    return answer.ParseFromArray(plain.data(), static_cast<int>(plain.size())) ? 0 : 15;
}

int MmsCmdSocketSession::Exchange(bool retry, MmsPb::MmsCmdReq& request, MmsPb::MmsCmdResp& answer,
                                  DWORD timeout) {
    int result = 0;
    if (!IsConnected()) {
        const bool connected = m_Socket.Connect(Utf8ToWide(m_Host.ConnectAddress()), kPort, timeout * 1000);
        m_Host.TraceSend(*this);
        if (!connected)
            result = 11;
        else if (!_SockSendHello(timeout))
            result = 12;
    } else {
        m_Host.TraceSend(*this);
    }
    if (result == 0) {
        if (m_SessionKey.size() == MmsCmdFrame::kKeySize) {
            result = _SockSendRequest(request, timeout);
            if (result == 0)
                result = _SockReceiveResponse(answer, timeout);
        } else {
            const BYTE keyRequest = 2;
            std::vector<BYTE> ack;
            if (!_SockSendFrame(&keyRequest, 1, timeout))
                result = 16; // nothing is awaited after a failed send
            else if (!_SockReceiveFrame(ack, timeout) || ack.size() != 1 || ack[0] != 2)
                result = 18;
            else
                result = 24;
        }
    }
    if (result == 24 && !retry) {
        const int keys = _SockExchangeKeys(timeout);
        if (keys == 0)
            return Exchange(true, request, answer, timeout);
        result = keys;
    }
    if (result != 0) {
        _SockClose();
        answer.Clear();
        answer.set_status(result);
    }
    return result;
}

void MmsCmdSocketSession::Send(MmsPb::MmsCmdReq& request, MmsPb::MmsCmdResp& answer, int timeout) {
    const DWORD seconds = timeout < 1 ? 60 : static_cast<DWORD>(timeout);
    if (Exchange(false, request, answer, seconds) != 0 || answer.status() != 200)
        return;
    const int result = _SockLegacyTransfer(request, answer, seconds);
    if (result != 0) {
        // Frames of the transfer may be left unread: the connection is out of step with the server.
        _SockClose();
        answer.set_status(result);
    }
}
