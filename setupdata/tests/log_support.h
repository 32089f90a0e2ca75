// Helpers of the log writer's tests: a fresh writer on a fresh machine root, and the log file read
// back by libxml2, an independent XML reader.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <map>
#include <string>
#include <vector>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "jxsetupdata/JxLog.h"
#include "jxtest/machine_root.h"

namespace jxlogtest {

inline const std::u16string kLogsFolder = u"C:\\ProgramData\\Tolvane\\Setups\\Logs";

// One element below <LogFile>, as a reader sees it.
struct Record {
    std::string element;
    std::map<std::string, std::u16string> attributes;
    std::u16string text;
    std::u16string Attr(const std::string& name) const {
        auto found = attributes.find(name);
        return found == attributes.end() ? u"" : found->second;
    }
};

struct ParsedLog {
    bool wellFormed = false;
    std::string rootName;
    std::vector<Record> records;
    // The entries of one module, in file order.
    std::vector<Record> Entries(const std::u16string& module) const {
        std::vector<Record> out;
        for (const Record& r : records)
            if (r.element == "Entry" && r.Attr("module") == module)
                out.push_back(r);
        return out;
    }
};

// The raw bytes of a log file given by its Windows path; after a final close, the one entry of
// "<file>.zip" that the writer packed it into.
inline std::string ReadLogBytes(const std::u16string& windowsPath) {
    const std::string host = jxplat::WindowsToHostPath(windowsPath);
    if (std::filesystem::exists(host))
        return jxtest::ReadHostFile(host);
    const std::string zip = jxplat::WindowsToHostPath(windowsPath + u".zip");
    if (zip.empty() || !std::filesystem::exists(zip))
        return "";
    std::string bytes;
    if (FILE* pipe = ::popen(("unzip -p '" + zip + "'").c_str(), "r")) {
        char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0)
            bytes.append(buffer, n);
        ::pclose(pipe);
    }
    return bytes;
}

// The bytes as UTF-16LE code units.
inline std::u16string AsUtf16(const std::string& bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return text;
}

inline std::u16string FromXml(const xmlChar* text) {
    return jxtext::Utf8ToUtf16(text ? reinterpret_cast<const char*>(text) : "");
}

// Parses the bytes as they are on disk: the reader finds the encoding itself.
inline ParsedLog ParseLogBytes(const std::string& bytes) {
    ParsedLog log;
    xmlDocPtr doc = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), "log.xml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!doc)
        return log;
    log.wellFormed = true;
    xmlNodePtr root = xmlDocGetRootElement(doc);
    log.rootName = root ? reinterpret_cast<const char*>(root->name) : "";
    for (xmlNodePtr node = root ? root->children : nullptr; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE)
            continue;
        Record record;
        record.element = reinterpret_cast<const char*>(node->name);
        for (xmlAttrPtr attr = node->properties; attr; attr = attr->next) {
            xmlChar* value = xmlNodeListGetString(doc, attr->children, 1);
            record.attributes[reinterpret_cast<const char*>(attr->name)] = FromXml(value);
            xmlFree(value);
        }
        xmlChar* content = xmlNodeGetContent(node);
        record.text = FromXml(content);
        xmlFree(content);
        log.records.push_back(std::move(record));
    }
    xmlFreeDoc(doc);
    return log;
}

inline ParsedLog ParseLog(const std::u16string& windowsPath) {
    return ParseLogBytes(ReadLogBytes(windowsPath));
}

// A fresh machine root and a writer that has read its settings from it.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override { JxSetup::Data::Instance()->Release(); }
    void TearDown() override {
        JxSetup::Data::Instance()->Release();
        JxSetup::Data::JxLog::SetCaptureForTesting(nullptr);
        jxplat::SetDebugOutputCapture(nullptr);
    }
    JxSetup::Data::JxLog* Log() { return JxSetup::Data::Instance(); }

    jxtest::TempMachineRoot m_root;
};

} // namespace jxlogtest
