// The legacy file transfer of the socket transport: after the answer, an upload sends the named file
// (the first chunk encrypted, the rest in clear) and a download receives the announced size.
#include <optional>

#include "CMmsFile.h"
#include "jxbase/textconv.h"
#include "jxbase/win32errortext.h"
#include "jxbase/trace.h"
#include "jxmms/MmsCmdFrame.h"
#include "jxmms/MmsCmdSession.h"
#include "jxplat/text.h"
#include "mmscmd.pb.h"

namespace {

constexpr size_t kChunk = 65536;
constexpr ULONGLONG kFreeMargin = 0x1400000; // 20 MiB kept free beyond the file

} // namespace

int MmsCmdSocketSession::_SockLegacyTransfer(const MmsPb::MmsCmdReq& request, const MmsPb::MmsCmdResp& answer,
                                             DWORD timeout) {
    for (const MmsPb::MmsCmdHeader& header : request.headers()) {
        if (header.name() == "TolvaneLegacyUploadFile")
            return UploadFile(Utf8ToWide(header.value()), timeout);
        if (header.name() == "TolvaneLegacyDownloadFile") {
            MmsPb::MmsCmdLegacyResp legacy;
            if (!legacy.ParseFromString(answer.body())) {
                JX_ENGINE_TRACE(0, u"MmsCmdSocketSession::Send",
                                u"Failed to deserialize inner MmsCmdLegacyResp\n");
                return 4;
            }
            return legacy.result() == 0 ? DownloadFile(legacy.filesize(), Utf8ToWide(header.value()), timeout)
                                        : 0;
        }
    }
    return 0;
}

int MmsCmdSocketSession::UploadFile(const std::u16string& path, DWORD timeout) {
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes))
        return 26;
    const ULONGLONG size = static_cast<ULONGLONG>(attributes.nFileSizeHigh) << 32 | attributes.nFileSizeLow;
    CMmsFile file(path, false);
    if (!file.IsOpen()) {
        JX_ENGINE_TRACE(0, u"MmsCmdSocketSession::UploadFile", u"<- Can't open\n");
        return 26;
    }
    std::vector<BYTE> chunk(kChunk);
    ULONGLONG sent = 0;
    bool first = true;
    while (sent < size) {
        const size_t want = static_cast<size_t>(std::min<ULONGLONG>(kChunk, size - sent));
        const size_t got = file.Read(chunk.data(), want);
        if (got == 0)
            return 26; // the file shrank or cannot be read: the server still waits for bytes
        bool ok;
        if (first) {
            std::vector<BYTE> payload;
            ok = MmsCmdFrame::Encrypt(m_SessionKey, chunk.data(), got, payload) == 0 &&
                 _SockSendFrame(payload.data(), payload.size(), timeout);
        } else {
            ok = _SockSendFrame(chunk.data(), got, timeout);
        }
        if (!ok)
            return 16;
        first = false;
        sent += got;
    }
    return 0;
}

int MmsCmdSocketSession::DownloadFile(const std::string& sizeText, const std::u16string& path,
                                      DWORD timeout) {
    const std::optional<long long> parsed = jxtext::TryParseInt(Utf8ToWide(sizeText), 10);
    if (!parsed || *parsed <= 0)
        return 27;
    const ULONGLONG size = static_cast<ULONGLONG>(*parsed);
    if (HasInsufficientDiskFreeSpace(path, size))
        return 28;
    // The bytes go to a file beside the target, which takes the target's name only when complete:
    // no partial file ever stands under the final name.
    const std::u16string partial = path + u".jxtmp";
    int result = 0;
    {
        CMmsFile file(partial, true);
        if (!file.IsOpen())
            return 27;
        try {
            ULONGLONG received = 0;
            bool first = true;
            std::vector<BYTE> frame, plain;
            while (result == 0 && received < size) {
                if (!_SockReceiveFrame(frame, timeout)) {
                    result = 18;
                    break;
                }
                const std::vector<BYTE>* data = &frame;
                if (first) {
                    if (frame.empty())
                        result = 17;
                    else if (!MmsCmdFrame::Check(frame.data(), frame.size()) ||
                             !MmsCmdFrame::Decrypt(m_SessionKey, frame.data(), frame.size(), plain))
                        result = 24;
                    data = &plain;
                    first = false;
                } else if (frame.empty()) {
                    result = 20;
                }
                if (result != 0)
                    break;
                if (received + data->size() > size) {
                    result = 20; // more than announced: malformed, nothing beyond the size is kept
                    break;
                }
                if (!file.Write(data->data(), data->size())) {
                    result = 27;
                    break;
                }
                received += data->size();
            }
        } catch (const std::exception&) {
            result = 27;
        }
    }
    if (result == 0 && !MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        JX_ENGINE_TRACE(0, u"MmsCmdSocketSession::DownloadFile", u"%s: %s\n", path.c_str(),
                        CWin32ErrorText(CWin32ErrorText::PrefixCode | CWin32ErrorText::KeepTabs).c_str());
        result = 27;
    }
    if (result != 0)
        DeleteFileW(partial.c_str());
    return result;
}

bool HasInsufficientDiskFreeSpace(const std::u16string& path, ULONGLONG size) {
    std::u16string folder = path;
    const size_t slash = folder.find_last_of(u"\\/");
    folder = slash == std::u16string::npos ? std::u16string() : folder.substr(0, slash + 1);
    ULARGE_INTEGER available{}, total{}, free{};
    if (!GetDiskFreeSpaceExW(folder.empty() ? nullptr : folder.c_str(), &available, &total, &free)) {
        JX_ENGINE_TRACE(6, u"HasInsufficientDiskFreeSpace", u"[ERROR] GetDiskFreeSpaceEx failed: %ls\n",
                        CWin32ErrorText(CWin32ErrorText::PrefixCode | CWin32ErrorText::KeepTabs).c_str());
        return false;
    }
    // The 20 MiB margin stays free beyond the file.
    return free.QuadPart < size || free.QuadPart - size < kFreeMargin;
}
