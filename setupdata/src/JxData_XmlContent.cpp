// The text of an XML file, read from the disk or from the mounted packages and decoded by its
// byte-order mark.
#include "jxsetupdata/JxData.h"

#include "jxplat/text.h"

namespace JxSetup::Data {
namespace {

const WCHAR* const kModule = u"lib";
const WCHAR* const kContext = u"JxSetup::Data::JxData::GetXMLContentFromFile";

std::u16string DecodeUtf16Le(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (size_t at = 0; at + 1 < bytes.size(); at += 2)
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[at]) |
                                             (static_cast<unsigned char>(bytes[at + 1]) << 8)));
    return text;
}

std::u16string DecodeXmlBytes(std::string_view bytes) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return jxtext::Utf8ToUtf16(bytes.substr(3));
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE")
        return DecodeUtf16Le(bytes.substr(2));
    // Without a mark, a zero fourth byte ("<\0?\0") tells UTF-16LE text; shorter content is ANSI
    // (never read past its end), and an odd last byte of UTF-16 is dropped.
    if (bytes.size() >= 4 && bytes[3] == 0)
        return DecodeUtf16Le(bytes);
    return jxtext::AnsiToUtf16(bytes);
}

} // namespace

bool JxData::GetXMLContentFromFile(std::u16string& out, const std::u16string& path, bool fromVfs) {
    CJxDataLock lock(*this);
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, kContext, u"Load xml file %s. Open from VFS = %s.", path.c_str(),
             fromVfs ? u"Yes" : u"No");
    out.clear();
    std::string bytes;
    bool found = false;
    bool readable = false;
    if (fromVfs) {
        // The package store reads packaged files; without an attached one nothing is found there.
        if (m_Vfs && m_ReadPackagedFile) {
            const JxPackagedRead read = m_ReadPackagedFile(*m_Vfs, path, bytes);
            found = read != JxPackagedRead::NotFound;
            readable = read == JxPackagedRead::Ok;
        }
    } else if (_disk_FileExists(path)) {
        found = true;
        readable = _disk_ReadFile(path, bytes);
    }
    if (!found)
        log->Log(LP_WARNING, kModule, kContext, u"File %s not found.", path.c_str());
    else if (!readable)
        log->Log(LP_ERROR, kModule, kContext, u"Read error while loading xml file %s.", path.c_str());
    else if (bytes.empty())
        log->Log(LP_WARNING, kModule, kContext, u"Content of file is empty %s", path.c_str());
    else
        out = DecodeXmlBytes(bytes);
    log->Log(LOG_END, kModule, kContext, u"");
    return !out.empty();
}

} // namespace JxSetup::Data
