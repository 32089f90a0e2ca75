// The test management server: the setup API of a local management server over HTTPS on 127.0.0.1,
// with protobuf bodies and a bearer token, built on the web tests' scripted server. It checks the
// access key of a logon, hands out its token, answers the setup and local-configuration calls from
// its settings and records every request. It runs inside a test (MmsTestServer) or as the service
// program "jxmms.exe" that the stand-in's Service Control Manager starts (tests/programs); the
// settings and the record then pass through files of the machine root (MmsServerFiles).
//
// Another test reaches more of the API by a handler of its own, asked first for every request.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "testserver.h"

namespace jxmmstest {

struct MmsServerSettings {
    uint16_t port = 0;                  // 0: any free port
    std::string certificatePem, keyPem; // the server's certificate (host paths)
    // The access key a logon must carry; empty: the incoming access key stored in the registry of
    // the machine root (unscrambled), read at each logon.
    std::string accessKey;
    std::string token = "jx-test-token-5f1c9a";
    // "valid"; "expired": every request with the token is refused 401; "empty": a logon answers
    // 200 with an empty token; "absent": a logon answers 200 without a token field.
    std::string tokenState = "valid";
    // The SQL machines and their instances: "M1=MSSQLSERVER,SQLEXPRESS;M2=".
    std::string machines = "SQLHOST=MSSQLSERVER,SQLEXPRESS";
    std::string databases = "master,JxMms"; // comma-separated
    // The code of "/opendatabase": 1..6, another number sent as it is, 0: no ReturnValueMsg.
    int openCode = 2;
    bool applySuccess = true;
    std::string applyError;
    int applyStatus = 200;
    // Per API path ("/setup/dropdb"): a status, a raw body (hex) instead of the normal answer, an
    // answer body of that many bytes, or no answer at all (the connection stays open).
    std::map<std::string, int> statusOf;
    std::map<std::string, std::string> rawBodyHexOf;
    std::map<std::string, size_t> oversizedOf;
    std::vector<std::string> silentPaths;

    std::string Save() const;
    static MmsServerSettings Load(const std::string& text);
};

// One request as the server saw it (after the TLS layer).
struct MmsRecordedRequest {
    std::string method, path; // path below "/tolvane/mms/api"
    std::string authorization;
    std::string body;
    std::string Line() const;
    static bool Parse(const std::string& line, MmsRecordedRequest& out);
};

// The answer of a handler: true when it answered the request itself.
using MmsExtraHandler = std::function<bool(const jxwebtest::Request&, jxwebtest::Connection&)>;

class MmsTestServer {
public:
    // Records go to the file when one is named, else only into memory.
    MmsTestServer(MmsServerSettings settings, std::string recordFile = {}, MmsExtraHandler extra = {});
    ~MmsTestServer();
    uint16_t Port() const;
    std::vector<MmsRecordedRequest> Requests() const;

private:
    struct Impl;
    std::shared_ptr<Impl> m;
    std::unique_ptr<jxwebtest::TestServer> m_Server;
};

// The files of a server run as a service, below the machine root's "mmsserver" folder.
struct MmsServerFiles {
    static std::string Folder(const std::string& machineRoot);
    static std::string Settings(const std::string& machineRoot);
    static std::string Record(const std::string& machineRoot);
    static std::vector<MmsRecordedRequest> ReadRecord(const std::string& machineRoot);
};

// Encodes and reads the wire format by hand, apart from the client's generated code.
std::string Hex(const std::string& bytes);
std::string Unhex(const std::string& hex);

} // namespace jxmmstest
