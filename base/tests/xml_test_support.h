// Helpers of the XML wrapper tests: a fresh machine root with a folder C:\xml, and files in it.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "jxbase/xml/xmldom.h"
#include "jxplat/text.h"
#include "jxtest/machine_root.h"

namespace xmltest {

// UTF-16 bytes of a text, little- or big-endian, with or without a byte-order mark.
inline std::string Utf16Bytes(std::u16string_view text, bool bigEndian, bool bom) {
    std::string bytes;
    auto put = [&](char16_t unit) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    };
    if (bom)
        put(0xFEFF);
    for (char16_t unit : text)
        put(unit);
    return bytes;
}

class XmlFiles : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(m_root.Path() + "/drive_c/xml"); }

    // Host path and Windows path of a file in C:\xml.
    std::string HostPath(const std::string& name) const { return m_root.Path() + "/drive_c/xml/" + name; }
    static std::u16string WindowsPath(const std::string& name) { return u"C:\\xml\\" + jxtext::W(name); }

    void WriteFile(const std::string& name, const std::string& bytes) const {
        std::ofstream(HostPath(name), std::ios::binary) << bytes;
    }
    std::string ReadFile(const std::string& name) const { return jxtest::ReadHostFile(HostPath(name)); }

    jxtest::TempMachineRoot m_root;
};

inline CXMLDOMDocument NewDocument() {
    CXMLDOMDocument document;
    EXPECT_TRUE(document.Create());
    return document;
}

} // namespace xmltest
