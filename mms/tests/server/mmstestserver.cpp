// The test management server (see mmstestserver.h).
#include "mmstestserver.h"

#include <fstream>
#include <mutex>
#include <sstream>

#include <windows.h>

#include "jxbase/scrambler.h"
#include "jxplat/text.h"
#include "mmslocalconfig.pb.h"
#include "mmssetup.pb.h"

namespace pb = Tolvane::Corvata::Business::Server::Service::Protobuf;

namespace jxmmstest {
namespace {

const std::string kApiRoot = "/tolvane/mms/api";

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    if (text.empty())
        return parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        parts.push_back(part);
    if (text.back() == separator)
        parts.emplace_back();
    return parts;
}

// The wire format by hand: a varint at the position, false at the end of the bytes.
bool ReadVarint(const std::string& bytes, size_t& at, uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 64 && at < bytes.size(); shift += 7) {
        const auto byte = static_cast<uint8_t>(bytes[at++]);
        value |= static_cast<uint64_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            return true;
    }
    return false;
}

// Field 1 (the access key) and field 4 (the subject) of a token request.
bool ParseTokenRequest(const std::string& bytes, std::string& key, int64_t& subject) {
    size_t at = 0;
    subject = -1;
    while (at < bytes.size()) {
        uint64_t tag = 0, value = 0;
        if (!ReadVarint(bytes, at, tag))
            return false;
        const int wire = static_cast<int>(tag & 7);
        if (wire == 0) {
            if (!ReadVarint(bytes, at, value))
                return false;
            if ((tag >> 3) == 4)
                subject = static_cast<int64_t>(value);
        } else if (wire == 2) {
            if (!ReadVarint(bytes, at, value) || value > bytes.size() - at)
                return false;
            if ((tag >> 3) == 1)
                key = bytes.substr(at, value);
            at += value;
        } else {
            return false;
        }
    }
    return true;
}

std::string LengthDelimited(int field, const std::string& bytes) {
    std::string out(1, static_cast<char>((field << 3) | 2));
    size_t length = bytes.size();
    do {
        uint8_t byte = length & 0x7F;
        length >>= 7;
        out.push_back(static_cast<char>(length ? byte | 0x80 : byte));
    } while (length);
    return out + bytes;
}

std::string StoredIncomingKey() {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TOLVANE\\Qrv ManagementServer\\Restricted", 0,
                          KEY_READ | view, &key) != ERROR_SUCCESS)
            continue;
        char16_t buffer[1024] = {};
        DWORD size = sizeof(buffer) - sizeof(char16_t);
        DWORD type = 0;
        const LSTATUS status = RegQueryValueExW(key, u"IncomingAccessKey", nullptr, &type,
                                                reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(key);
        if (status == ERROR_SUCCESS && type == REG_SZ)
            return jxtext::N(UnscrambleValue(buffer, kScrambleKeyHead));
    }
    return {};
}

std::string Protobuf(const google::protobuf::MessageLite& message) {
    return message.SerializeAsString();
}

} // namespace

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

std::string Unhex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string MmsServerSettings::Save() const {
    std::ostringstream out;
    out << "port=" << port << "\ncertificatePem=" << certificatePem << "\nkeyPem=" << keyPem
        << "\naccessKey=" << accessKey << "\ntoken=" << token << "\ntokenState=" << tokenState
        << "\nmachines=" << machines << "\ndatabases=" << databases << "\nopenCode=" << openCode
        << "\napplySuccess=" << (applySuccess ? 1 : 0) << "\napplyError=" << Hex(applyError)
        << "\napplyStatus=" << applyStatus << "\n";
    for (const auto& [path, status] : statusOf)
        out << "status=" << path << " " << status << "\n";
    for (const auto& [path, hex] : rawBodyHexOf)
        out << "rawBody=" << path << " " << hex << "\n";
    for (const auto& [path, size] : oversizedOf)
        out << "oversized=" << path << " " << size << "\n";
    for (const auto& path : silentPaths)
        out << "silent=" << path << "\n";
    return out.str();
}

MmsServerSettings MmsServerSettings::Load(const std::string& text) {
    MmsServerSettings s;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string name = line.substr(0, equals), value = line.substr(equals + 1);
        const size_t blank = value.find(' ');
        const std::string first = value.substr(0, blank);
        const std::string second = blank == std::string::npos ? "" : value.substr(blank + 1);
        if (name == "port")
            s.port = static_cast<uint16_t>(std::stoi(value));
        else if (name == "certificatePem")
            s.certificatePem = value;
        else if (name == "keyPem")
            s.keyPem = value;
        else if (name == "accessKey")
            s.accessKey = value;
        else if (name == "token")
            s.token = value;
        else if (name == "tokenState")
            s.tokenState = value;
        else if (name == "machines")
            s.machines = value;
        else if (name == "databases")
            s.databases = value;
        else if (name == "openCode")
            s.openCode = std::stoi(value);
        else if (name == "applySuccess")
            s.applySuccess = value == "1";
        else if (name == "applyError")
            s.applyError = Unhex(value);
        else if (name == "applyStatus")
            s.applyStatus = std::stoi(value);
        else if (name == "status")
            s.statusOf[first] = std::stoi(second);
        else if (name == "rawBody")
            s.rawBodyHexOf[first] = second;
        else if (name == "oversized")
            s.oversizedOf[first] = std::stoul(second);
        else if (name == "silent")
            s.silentPaths.push_back(value);
    }
    return s;
}

std::string MmsRecordedRequest::Line() const {
    return method + " " + path + " " + (authorization.empty() ? "-" : Hex(authorization)) + " " +
           (body.empty() ? "-" : Hex(body));
}

bool MmsRecordedRequest::Parse(const std::string& line, MmsRecordedRequest& out) {
    std::istringstream in(line);
    std::string authorization, body;
    if (!(in >> out.method >> out.path >> authorization >> body))
        return false;
    out.authorization = authorization == "-" ? "" : Unhex(authorization);
    out.body = body == "-" ? "" : Unhex(body);
    return true;
}

struct MmsTestServer::Impl {
    MmsServerSettings settings;
    std::string recordFile;
    MmsExtraHandler extra;
    mutable std::mutex lock;
    std::vector<MmsRecordedRequest> requests;

    void Record(const MmsRecordedRequest& request) {
        std::lock_guard<std::mutex> hold(lock);
        requests.push_back(request);
        if (!recordFile.empty())
            std::ofstream(recordFile, std::ios::app) << request.Line() << "\n";
    }

    // The answer of one API call: {status, body}.
    std::pair<int, std::string> Answer(const MmsRecordedRequest& r) {
        if (r.path == "/common/serverinfo") {
            pb::ServerInfoRespMsg info;
            info.set_servertext("jxmms test server");
            return {200, Protobuf(info)};
        }
        if (r.path == "/auth/token") {
            std::string key;
            int64_t subject = 0;
            const std::string expected =
                settings.accessKey.empty() ? StoredIncomingKey() : settings.accessKey;
            if (!ParseTokenRequest(r.body, key, subject) || key.empty() || key != expected)
                return {401, ""};
            if (settings.tokenState == "absent")
                return {200, ""};
            return {200, LengthDelimited(1, settings.tokenState == "empty" ? "" : settings.token)};
        }
        if (r.authorization != "Bearer " + settings.token || settings.tokenState == "expired")
            return {401, ""};
        if (r.path == "/localconfig/sqlserverinstances") {
            pb::SqlServerInstancesResp answer;
            for (const std::string& entry : Split(settings.machines, ';')) {
                const size_t equals = entry.find('=');
                auto* machine = answer.add_machines();
                machine->set_servermachinename(entry.substr(0, equals));
                if (equals != std::string::npos)
                    for (const std::string& instance : Split(entry.substr(equals + 1), ','))
                        if (!instance.empty())
                            machine->add_instancenames(instance);
            }
            return {200, Protobuf(answer)};
        }
        if (r.path == "/localconfig/sqlserverdatabases") {
            pb::SqlServerDatabasesResp answer;
            answer.mutable_returnvalue()->set_code(pb::ReturnValueMsg_ReturnValue_Success);
            for (const std::string& name : Split(settings.databases, ','))
                answer.add_databasenames(name);
            return {200, Protobuf(answer)};
        }
        if (r.path == "/localconfig/opendatabase") {
            if (settings.openCode == 0)
                return {200, ""};
            // The code by hand, so that a value outside the known ones goes out too.
            std::string code(1, 0x08);
            for (uint64_t v = static_cast<uint32_t>(settings.openCode); v; v >>= 7)
                code.push_back(static_cast<char>(v >= 0x80 ? (v & 0x7F) | 0x80 : v));
            return {200, LengthDelimited(2, code)};
        }
        if (r.path == "/setup/apply") {
            pb::ApplySetupPropertiesResp answer;
            answer.set_success(settings.applySuccess);
            if (!settings.applyError.empty())
                answer.set_errormessage(settings.applyError);
            return {settings.applyStatus, Protobuf(answer)};
        }
        if (r.path == "/setup/getdeldbsettings") {
            pb::DbSettingsMsg answer;
            answer.set_field3("SQLHOST\\SQLEXPRESS");
            answer.set_field4("JxMms");
            answer.set_field5(true);
            // An unknown field 1, which the setup must send back unchanged.
            return {200, LengthDelimited(1, "kept") + Protobuf(answer)};
        }
        if (r.path == "/setup/dropdb")
            return {200, ""};
        return {404, ""};
    }

    void Serve(const jxwebtest::Request& request, jxwebtest::Connection& connection) {
        if (extra && extra(request, connection))
            return;
        MmsRecordedRequest r;
        r.method = request.method;
        r.path =
            request.target.rfind(kApiRoot, 0) == 0 ? request.target.substr(kApiRoot.size()) : request.target;
        r.authorization = request.Header("Authorization");
        r.body = request.body;
        Record(r);
        for (const std::string& silent : settings.silentPaths)
            if (silent == r.path) {
                connection.WaitStop(60000);
                return;
            }
        auto [status, body] = Answer(r);
        if (auto it = settings.statusOf.find(r.path); it != settings.statusOf.end())
            status = it->second;
        if (auto it = settings.rawBodyHexOf.find(r.path); it != settings.rawBodyHexOf.end())
            body = Unhex(it->second);
        if (auto it = settings.oversizedOf.find(r.path); it != settings.oversizedOf.end())
            body.assign(it->second, '\x0a');
        connection.Write(jxwebtest::Answer(status, body, {{"Content-Type", "application/x-protobuf"}}));
    }
};

MmsTestServer::MmsTestServer(MmsServerSettings settings, std::string recordFile, MmsExtraHandler extra)
    : m(std::make_shared<Impl>()) {
    m->settings = std::move(settings);
    m->recordFile = std::move(recordFile);
    m->extra = std::move(extra);
    jxwebtest::TlsFiles tls{m->settings.certificatePem, m->settings.keyPem};
    std::shared_ptr<Impl> impl = m;
    m_Server = std::make_unique<jxwebtest::TestServer>(
        [impl](const jxwebtest::Request& request, jxwebtest::Connection& connection) {
            impl->Serve(request, connection);
        },
        &tls, m->settings.port);
}

MmsTestServer::~MmsTestServer() = default;

uint16_t MmsTestServer::Port() const {
    return m_Server->Port();
}

std::vector<MmsRecordedRequest> MmsTestServer::Requests() const {
    std::lock_guard<std::mutex> hold(m->lock);
    return m->requests;
}

std::string MmsServerFiles::Folder(const std::string& machineRoot) {
    return machineRoot + "/mmsserver";
}

std::string MmsServerFiles::Settings(const std::string& machineRoot) {
    return Folder(machineRoot) + "/settings.txt";
}

std::string MmsServerFiles::Record(const std::string& machineRoot) {
    return Folder(machineRoot) + "/requests.txt";
}

std::vector<MmsRecordedRequest> MmsServerFiles::ReadRecord(const std::string& machineRoot) {
    std::vector<MmsRecordedRequest> list;
    std::ifstream in(Record(machineRoot));
    std::string line;
    while (std::getline(in, line)) {
        MmsRecordedRequest r;
        if (MmsRecordedRequest::Parse(line, r))
            list.push_back(r);
    }
    return list;
}

} // namespace jxmmstest
