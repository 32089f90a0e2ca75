// driverdouble.exe: a test double of the product's drivers. It serves their control devices (Unix-
// domain sockets below the machine root, as the stand-in maps \\.\ device names) and answers the
// property-bag I/O controls with a decoder of its own, written from the protocol, not from the
// client. It counts the bags it handed out and that were not released.
//
//   driverdouble.exe --root ROOT [--device NAME]... [--service NAME] [--deny-untrusted]
//                    [--silent-after N] [--die-after N] [--no-process-list] [--bad-answers]
//
// It prints "ready" on its standard output once it listens (and with --service writes
// ROOT/services/<name>.ready for the service manager). After each request it rewrites
// ROOT/driverdouble.status: "openBags=N requests=N released=N trusted=N".
//   --deny-untrusted   the protected bag {0B1C2D3E-4F50-6172-8394-A5B6C7D8E9FA} opens only for a
//                      process it trusts (else ERROR_ACCESS_DENIED); "InvokeSync" or "InvokeAsync"
//                      on the trust bag makes the calling process trusted
//   --silent-after N   from request N+1 on it reads requests and never answers
//   --die-after N      request N+1 gets half an answer, then the double ends
//   --no-process-list  the process-list bag cannot be opened
//   --bad-answers      every value request is answered with a malformed buffer
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <poll.h>
#include <set>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint32_t kRelease = 0xA1110048, kGetValue = 0xA111004C, kGetBag = 0xA1110054, kInvoke = 0xA1110060;
constexpr uint32_t kAccessDenied = 5, kFileNotFound = 2, kMoreData = 234, kInvalidParameter = 87;
const uint8_t kProcessListGuid[16] = {0x06, 0xD0, 0x35, 0xCE, 0xD5, 0xA8, 0x46, 0x47,
                                      0x89, 0x4D, 0x22, 0x0A, 0x99, 0x72, 0x69, 0x32};
const uint8_t kTrustGuid[16] = {0x14, 0x9D, 0x36, 0x25, 0xC3, 0x6C, 0xB6, 0x43,
                                0x9E, 0x0F, 0x99, 0x2D, 0x32, 0xE7, 0x68, 0x95};
// {0B1C2D3E-4F50-6172-8394-A5B6C7D8E9FA}: a bag that only trusted processes may open.
const uint8_t kProtectedGuid[16] = {0x3E, 0x2D, 0x1C, 0x0B, 0x50, 0x4F, 0x72, 0x61,
                                    0x83, 0x94, 0xA5, 0xB6, 0xC7, 0xD8, 0xE9, 0xFA};

enum BagKind { kProcessList = 1, kTrust = 2, kProcess = 3, kProtected = 4 };

struct Options {
    std::string root;
    std::vector<std::string> devices;
    std::string service;
    bool denyUntrusted = false;
    long silentAfter = -1;
    long dieAfter = -1;
    bool noProcessList = false;
    bool badAnswers = false;
};

struct State {
    std::map<uint64_t, BagKind> bags; // open bags by id
    std::map<uint64_t, uint32_t> processOfBag;
    uint64_t nextId = 0x1000;
    std::set<uint32_t> trusted;
    long requests = 0;
    long released = 0;
};

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
    uint32_t v = 0;
    if (at + 4 <= b.size())
        std::memcpy(&v, b.data() + at, 4);
    return v;
}
uint64_t Get64(const std::vector<uint8_t>& b, size_t at) {
    uint64_t v = 0;
    if (at + 8 <= b.size())
        std::memcpy(&v, b.data() + at, 8);
    return v;
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    if (at + 4 <= b.size())
        std::memcpy(b.data() + at, &v, 4);
}
void Put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
    if (at + 8 <= b.size())
        std::memcpy(b.data() + at, &v, 8);
}

// The UTF-16 name at offset 100, as ASCII (the names of the protocol are ASCII).
std::string NameOf(const std::vector<uint8_t>& b) {
    std::string name;
    for (size_t at = 100; at + 1 < b.size(); at += 2) {
        const uint16_t c = static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
        if (c == 0)
            break;
        name += c < 128 ? static_cast<char>(c) : '?';
    }
    return name;
}

void WriteStatus(const Options& o, const State& s) {
    const std::string path = o.root + "/driverdouble.status";
    {
        std::ofstream out(path + ".tmp", std::ios::trunc);
        out << "openBags=" << s.bags.size() << " requests=" << s.requests << " released=" << s.released
            << " trusted=" << s.trusted.size() << "\n";
    }
    std::rename((path + ".tmp").c_str(), path.c_str());
}

struct Answer {
    uint32_t error = 0;
    std::vector<uint8_t> data;
};

// Writes a text value into the answer buffer; with more than the capacity, the part that fits
// and ERROR_MORE_DATA.
void AnswerText(std::vector<uint8_t>& b, Answer& a, const std::u16string& text, uint16_t vt = 8) {
    const uint32_t gathered = Get32(b, 12);
    const uint32_t capacity = Get32(b, 96);
    const size_t total = text.size() * 2;
    const size_t from = std::min<size_t>(gathered, total);
    const size_t chunk = std::min<size_t>(total - from, capacity);
    Put32(b, 0, vt);
    Put32(b, 96, static_cast<uint32_t>(chunk));
    std::memcpy(b.data() + 100, reinterpret_cast<const uint8_t*>(text.data()) + from, chunk);
    a.error = from + chunk < total ? kMoreData : 0;
    a.data.assign(b.begin(), b.begin() + std::min(b.size(), size_t{100} + chunk));
}

void AnswerScalar(std::vector<uint8_t>& b, Answer& a, uint16_t vt, uint32_t value32, uint64_t value64 = 0) {
    Put32(b, 0, vt);
    Put32(b, 4, value32);
    Put64(b, 64, value64);
    Put32(b, 96, 0);
    a.data.assign(b.begin(), b.begin() + std::min<size_t>(b.size(), 100));
}

uint64_t OpenBag(State& s, BagKind kind, uint32_t process = 0) {
    const uint64_t id = ++s.nextId;
    s.bags[id] = kind;
    s.processOfBag[id] = process;
    return id;
}

Answer Handle(const Options& o, State& s, uint32_t pid, uint32_t code, std::vector<uint8_t> in,
              uint32_t outSize) {
    Answer a;
    std::vector<uint8_t> b = in;
    b.resize(std::max<size_t>(outSize, in.size()), 0);
    if (code == kRelease) {
        if (in.size() != 8 || !s.bags.count(Get64(in, 0))) {
            a.error = kInvalidParameter;
            return a;
        }
        s.bags.erase(Get64(in, 0));
        ++s.released;
        return a;
    }
    if (code == kGetBag) {
        if (in.size() < 104 || outSize < 100) {
            a.error = kInvalidParameter;
            return a;
        }
        BagKind kind;
        if (std::memcmp(in.data(), kProcessListGuid, 16) == 0 && !o.noProcessList)
            kind = kProcessList;
        else if (std::memcmp(in.data(), kTrustGuid, 16) == 0)
            kind = kTrust;
        else if (std::memcmp(in.data(), kProtectedGuid, 16) == 0)
            kind = kProtected;
        else {
            a.error = kFileNotFound;
            return a;
        }
        if (kind == kProtected && o.denyUntrusted && !s.trusted.count(pid)) {
            a.error = kAccessDenied;
            return a;
        }
        Put32(b, 0, 1);
        Put64(b, 64, OpenBag(s, kind));
        a.data.assign(b.begin(), b.begin() + 104);
        return a;
    }
    if (code != kGetValue && code != kInvoke) {
        a.error = kInvalidParameter;
        return a;
    }
    if (in.size() < 102 || Get32(in, 96) != in.size() - 100) {
        a.error = kInvalidParameter;
        return a;
    }
    const uint64_t bag = Get64(in, 64);
    auto found = s.bags.find(bag);
    if (found == s.bags.end()) {
        a.error = kInvalidParameter;
        return a;
    }
    const std::string name = NameOf(in);
    if (o.denyUntrusted && !s.trusted.count(pid) && found->second != kTrust &&
        found->second != kProcessList && name != "#__IsTrusted__") {
        a.error = kAccessDenied;
        return a;
    }
    if (o.badAnswers) {
        // A VT_BSTR whose count lies beyond the bytes sent.
        Put32(b, 0, 8);
        Put32(b, 96, 0x7FFFFFF0);
        a.data.assign(b.begin(), b.begin() + std::min<size_t>(b.size(), 100));
        return a;
    }
    if (found->second == kTrust) {
        if (code == kInvoke && name == "InvokeSync") {
            s.trusted.insert(pid);
            AnswerScalar(b, a, 11, 1);
        } else if (code == kInvoke && name == "InvokeAsync") {
            s.trusted.insert(pid);
            a.data.clear();
        } else {
            a.error = kFileNotFound;
        }
        return a;
    }
    if (found->second == kProcessList) {
        if (name == "#__GetItemByID__") {
            AnswerScalar(b, a, 9, 0, OpenBag(s, kProcess, Get32(in, 0)));
            return a;
        }
        a.error = kFileNotFound;
        return a;
    }
    // A process bag.
    const uint32_t process = s.processOfBag[bag];
    if (name == "#__IsTrusted__")
        AnswerScalar(b, a, 11, s.trusted.count(process) ? 1 : 0);
    else if (name == "#__Path__")
        AnswerText(b, a, u"\\Device\\HarddiskVolume2\\Windows\\notepad.exe");
    else if (name == "#__UniqueID__")
        AnswerScalar(b, a, 21, 0, 0x1122334455667788ull);
    else if (name == "#__PID__")
        AnswerScalar(b, a, 19, process);
    else if (name == "LongText")
        AnswerText(b, a, std::u16string(5000, u'x') + std::u16string(5000, u'y'));
    else if (name == "Blob") {
        const std::u16string bytes = u"blob";
        AnswerText(b, a, bytes, 65);
    } else if (name == "Clsid") {
        Put32(b, 0, 72);
        Put32(b, 96, 16);
        std::memcpy(b.data() + 100, kTrustGuid, 16);
        a.data.assign(b.begin(), b.begin() + 116);
    } else if (name == "Child")
        AnswerScalar(b, a, 9, 0, OpenBag(s, kProcess, process));
    else
        a.error = kFileNotFound;
    return a;
}

bool ReadAll(int fd, void* data, size_t size) {
    auto* at = static_cast<uint8_t*>(data);
    while (size) {
        const ssize_t got = ::recv(fd, at, size, 0);
        if (got <= 0)
            return false;
        at += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const void* data, size_t size) {
    auto* at = static_cast<const uint8_t*>(data);
    while (size) {
        const ssize_t sent = ::send(fd, at, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        at += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

int Listen(const std::string& path) {
    ::unlink(path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof(address.sun_path))
        return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(fd, 16) != 0)
        return -1;
    return fd;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&]() { return i + 1 < argc ? std::string(argv[++i]) : std::string(); };
        if (arg == "--root")
            o.root = next();
        else if (arg == "--device")
            o.devices.push_back(next());
        else if (arg == "--service")
            o.service = next();
        else if (arg == "--deny-untrusted")
            o.denyUntrusted = true;
        else if (arg == "--silent-after")
            o.silentAfter = std::stol(next());
        else if (arg == "--die-after")
            o.dieAfter = std::stol(next());
        else if (arg == "--no-process-list")
            o.noProcessList = true;
        else if (arg == "--bad-answers")
            o.badAnswers = true;
        else {
            std::fprintf(stderr, "driverdouble: unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    if (o.root.empty()) {
        std::fprintf(stderr, "driverdouble: --root is missing\n");
        return 2;
    }
    if (o.devices.empty())
        o.devices = {"QuorvelMasterControlDevice3", "QuorvelControlDevice3"};
    ::mkdir((o.root + "/devices").c_str(), 0755);
    std::vector<pollfd> fds;
    for (std::string device : o.devices) {
        std::transform(device.begin(), device.end(), device.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        const int fd = Listen(o.root + "/devices/" + device);
        if (fd < 0) {
            std::fprintf(stderr, "driverdouble: cannot listen on %s\n", device.c_str());
            return 1;
        }
        fds.push_back({fd, POLLIN, 0});
    }
    const size_t listeners = fds.size();
    State s;
    WriteStatus(o, s);
    if (!o.service.empty()) {
        std::string name = o.service;
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        std::ofstream(o.root + "/services/" + name + ".ready") << "ready\n";
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        if (::poll(fds.data(), fds.size(), -1) < 0)
            continue;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            if (i < listeners) {
                const int client = ::accept(fds[i].fd, nullptr, nullptr);
                if (client >= 0)
                    fds.push_back({client, POLLIN, 0});
                continue;
            }
            uint32_t header[4];
            std::vector<uint8_t> input;
            bool ok = ReadAll(fds[i].fd, header, sizeof(header)) && header[0] >= 12 &&
                      header[0] - 12 <= (64u << 20);
            if (ok) {
                input.resize(header[0] - 12);
                ok = input.empty() || ReadAll(fds[i].fd, input.data(), input.size());
            }
            if (!ok) {
                ::close(fds[i].fd);
                fds.erase(fds.begin() + static_cast<long>(i));
                --i;
                continue;
            }
            ++s.requests;
            if (o.silentAfter >= 0 && s.requests > o.silentAfter) {
                WriteStatus(o, s);
                continue; // read, never answered
            }
            Answer a = Handle(o, s, header[1], header[2], input, header[3]);
            const uint32_t head[2] = {a.error, static_cast<uint32_t>(a.data.size())};
            // The status is written before the answer: a caller that has its answer sees the status.
            WriteStatus(o, s);
            if (o.dieAfter >= 0 && s.requests > o.dieAfter) {
                WriteAll(fds[i].fd, head, sizeof(head));
                WriteAll(fds[i].fd, a.data.data(), a.data.size() / 2);
                return 0;
            }
            WriteAll(fds[i].fd, head, sizeof(head));
            WriteAll(fds[i].fd, a.data.data(), a.data.size());
        }
    }
}
