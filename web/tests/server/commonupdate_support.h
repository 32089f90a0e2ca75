// An update server of the tests for the common update: the update-server API, the common-update
// information, the redirection list, "SetupInformation.xml" and the files, served on loopback and
// reached through the machine's names (see updatemachine.h).
#pragma once

#include <openssl/evp.h>

#include <map>
#include <string>
#include <vector>

#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"
#include "upupdate.pb.h"
#include "updatemachine.h"

namespace jxcutest {

namespace pb = Tolvane::Corvata::UpdateServer::Service::Protobuf;
using jxwebtest::Answer;
using jxwebtest::Request;

inline std::string Sha256Hex(const std::string& bytes) {
    unsigned char digest[32];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

struct ServedFile {
    std::string name;
    std::string bytes;
    std::string sha;      // "" for the checksum of the bytes
    std::string extra;    // attributes and children of the SetupFile element
    std::string sizeText; // "" for the size of the bytes
};

// The update server of one component ("Core") on the host n127-0-0-1 of the update domain.
class CommonUpdateServer {
public:
    CommonUpdateServer() {
        m_Host = jxwebtest::ServerName("127.0.0.1");
        machine.Serve("/api/update/commoninfo", [this](const Request& q) {
            pb::CommonUpdateInfo request;
            request.ParseFromString(q.body);
            m_Components.push_back(request.component());
            pb::CommonUpdateInfoResult answer;
            answer.set_serverresult(serverResult);
            answer.set_uri("//%host%/cu/");
            answer.set_configfile("Core\\info.xml");
            return Answer(200, answer.SerializeAsString(), {{"Content-Type", "application/x-protobuf"}});
        });
        // The configuration file's "\" travels as "|", raw or percent-encoded.
        for (const char* path : {"/cu/Core|info.xml", "/cu/Core%7Cinfo.xml", "/cu/Core%7cinfo.xml"})
            machine.Serve(path, [this](const Request&) { return Text(info); });
        info = "<cu version=\"2.1.0.1\" redirection=\"https://" + m_Host + "/cu/redirect.xml\"/>";
        redirect =
            "<list><item version=\"2.1.0.1\" type=\"software\" url=\"https://" + m_Host + "/sw/\"/></list>";
        machine.Serve("/cu/redirect.xml", [this](const Request&) { return Text(redirect); });
        machine.Serve("/sw/SetupInformation.xml",
                      [this](const Request&) { return Text(SetupInformation()); });
    }

    static std::string Text(const std::string& ascii) {
        return Answer(200, jxwebtest::Utf16Le(ascii), {{"Content-Type", "text/xml"}});
    }

    // Offers the file in "SetupInformation.xml" and serves its bytes below /sw/.
    void Offer(const ServedFile& file) {
        m_Files.push_back(file);
        const std::string bytes = file.bytes;
        machine.Serve("/sw/" + file.name, [bytes](const Request&) {
            return Answer(200, bytes, {{"Content-Type", "application/octet-stream"}});
        });
    }

    std::string SetupInformation() const {
        std::string xml = "<SetupInformation version=\"" + version + "\">";
        for (const ServedFile& f : m_Files)
            xml += "<SetupFile name=\"" + f.name + "\" sha=\"" +
                   (f.sha.empty() ? Sha256Hex(f.bytes) : f.sha) + "\" size=\"" +
                   (f.sizeText.empty() ? std::to_string(f.bytes.size()) : f.sizeText) + "\"" + f.extra + "/>";
        return xml + "</SetupInformation>";
    }

    // The setup data of an installation of version 2.1.0.0 that asks this server.
    void Prepare(JxSetup::Data::JxData& data, const std::u16string& cacheFolder = u"C:\\cu") {
        data.m_ProductInfo.version = u"2.1.0.0";
        data.m_ProductInfo.productid = u"{11111111-2222-3333-4444-555555555555}";
        data.m_ProductInfo.packagecode = u"{PKG}";
        data.SetProperty(u"InstallMode", u"Install", 1);
        data.SetProperty(u"_UpdateServer", jxtext::W(m_Host), 1);
        for (const WCHAR* property : {u"JXCU_SOFTWARE_DIR", u"JXCU_SIGNATURE_DIR", u"JXCU_UNINSTALL_DIR"})
            data.SetProperty(property, cacheFolder, 1);
    }

    const std::string& Host() const { return m_Host; }
    const std::vector<std::string>& Components() const { return m_Components; }

    jxwebtest::UpdateMachine machine;
    std::string info, redirect;
    std::string version = "2.1.0.1";
    int serverResult = 0;

private:
    std::string m_Host;
    std::vector<ServedFile> m_Files;
    std::vector<std::string> m_Components;
};

} // namespace jxcutest
