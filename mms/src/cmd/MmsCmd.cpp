// The command envelope: an inner request wrapped into an MmsCmdReq, routed, and the MmsCmdResp
// unwrapped; a 401 refreshes the token once and sends again.
#include <cstring>

#include "CMmsFile.h"
#include "jxbase/textconv.h"
#include "jxbase/trace.h"
#include "jxmms/MmsCmd.h"
#include "jxmms/MmsCmdHost.h"
#include "jxmms/MmsCmdNames.h"
#include "jxplat/combaseapi.h"
#include "jxplat/fileapi.h"

namespace {

// The body goes to a file beside the target that takes the target's name only when it is whole: a
// failed write leaves neither a partial file nor a damaged earlier one under that name.
int _cmd_WriteTarget(const std::u16string& target, const std::string& body) {
    const std::u16string partial = target + u".jxtmp";
    {
        CMmsFile file(partial, true);
        if (!file.IsOpen()) {
            JX_ENGINE_TRACE(0, u"MmsCmd::Send", u"Can't open file '%s'\n", target.c_str());
            return MmsCmd::TargetNotOpened;
        }
        if (!file.Write(body.data(), body.size())) {
            JX_ENGINE_TRACE(0, u"MmsCmd::Send", u"Can't write to file '%s'\n", target.c_str());
            file.Close();
            DeleteFileW(partial.c_str());
            return MmsCmd::TargetNotWritten;
        }
    }
    if (!MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        JX_ENGINE_TRACE(0, u"MmsCmd::Send", u"Can't open file '%s'\n", target.c_str());
        DeleteFileW(partial.c_str());
        return MmsCmd::TargetNotOpened;
    }
    return 200;
}

} // namespace

MmsCmdImpl::MmsCmdImpl(int selector, TokenCallback tokenCallback)
    : m_Selector(selector), m_TokenCallback(std::move(tokenCallback)) {}

void MmsCmdImpl::ExecuteSerialized(const BYTE* request, DWORD requestSize, BYTE** answer, DWORD* answerSize,
                                   int timeout) {
    MmsPb::MmsCmdReq parsed;
    MmsPb::MmsCmdResp response;
    if (!parsed.ParseFromArray(request, static_cast<int>(requestSize)))
        response.set_status(6);
    else
        MmsCmdHostRegistry::Instance().Execute(m_Selector, parsed, response, timeout);
    const size_t size = response.ByteSizeLong();
    *answer = static_cast<BYTE*>(CoTaskMemAlloc(size > 0 ? size : 1));
    *answerSize = 0;
    if (*answer != nullptr && response.SerializeToArray(*answer, static_cast<int>(size)))
        *answerSize = static_cast<DWORD>(size);
}

void MmsCmdImpl::Execute(const MmsPb::MmsCmdReq& request, MmsPb::MmsCmdResp& answer, int timeout) {
    MmsPb::MmsCmdReq routed = request; // the hosts add their authorization to it
    MmsCmdHostRegistry::Instance().Execute(m_Selector, routed, answer, timeout);
}

int MmsCmdImpl::UpdateToken() {
    return MmsCmdHostRegistry::Instance().UpdateToken(m_Selector, *this);
}

void MmsCmdImpl::OnTokenUpdated(const std::string& token) {
    if (m_TokenCallback)
        m_TokenCallback(token);
}

std::string MmsCmd::WideToUtf8(std::u16string_view text) {
    return MmsCmdWideToUtf8(text);
}

int MmsCmd::Get(const std::string& path, google::protobuf::MessageLite& response, int timeout,
                const Headers* extraHeaders, HeaderList* answerHeaders) {
    const MmsPb::MmsCmdReq empty;
    return Send(false, path, empty, response, MmsPb::MmsCmdReq::Get, nullptr, nullptr, timeout, extraHeaders,
                answerHeaders);
}

int MmsCmd::Send(bool retry, const std::string& path, const google::protobuf::MessageLite& request,
                 google::protobuf::MessageLite& response, int method, const std::u16string* targetFile,
                 const std::string* accept, int timeout, const Headers* extraHeaders,
                 HeaderList* answerHeaders) {
    if (m_Impl == nullptr)
        return NoImplementation;
    GUID id{};
    CoCreateGuid(&id);
    if (retry)
        JX_ENGINE_TRACE(0, u"MmsCmd::Send", u"retry %hs:%hs {%hs}\n", MmsHttpMethodName(method), path.c_str(),
                        MmsGuidText(id).c_str());
    else
        JX_ENGINE_TRACE(0, u"MmsCmd::Send", u"%hs:%hs {%hs}\n", MmsHttpMethodName(method), path.c_str(),
                        MmsGuidText(id).c_str());

    MmsPb::MmsCmdReq envelope;
    if (method != MmsPb::MmsCmdReq::Post && MmsPb::MmsCmdReq::HttpMethod_IsValid(method))
        envelope.set_method(static_cast<MmsPb::MmsCmdReq::HttpMethod>(method));
    envelope.set_path(path);
    if (extraHeaders != nullptr)
        for (const auto& [name, value] : *extraHeaders) {
            MmsPb::MmsCmdHeader* header = envelope.add_headers();
            header->set_name(name);
            header->set_value(value);
        }
    if (accept != nullptr) {
        MmsPb::MmsCmdHeader* header = envelope.add_headers();
        header->set_name("Accept");
        header->set_value(*accept);
    }
    if (method == MmsPb::MmsCmdReq::Post || method == MmsPb::MmsCmdReq::Put) {
        if (!request.SerializeToString(envelope.mutable_body())) {
            JX_ENGINE_TRACE(0, u"MmsCmd::Send", u"Failed to serialize inner req\n");
            return InnerRequestNotSerialized;
        }
    }
    envelope.set_requestid(reinterpret_cast<const char*>(&id), sizeof(id));

    MmsPb::MmsCmdResp answer;
    if (m_Serialized) {
        std::string bytes;
        if (!envelope.SerializeToString(&bytes)) {
            JX_ENGINE_TRACE(0, u"MmsCmd::Send", u"Failed to serialize outer req\n");
            return OuterRequestNotSerialized;
        }
        BYTE* buffer = nullptr;
        DWORD size = 0;
        m_Impl->ExecuteSerialized(reinterpret_cast<const BYTE*>(bytes.data()),
                                  static_cast<DWORD>(bytes.size()), &buffer, &size, timeout);
        const bool parsed = buffer != nullptr && answer.ParseFromArray(buffer, static_cast<int>(size));
        CoTaskMemFree(buffer);
        if (!parsed) {
            JX_ENGINE_TRACE(0, u"MmsCmd::Send", u"Failed to deserialize outer resp\n");
            return OuterAnswerNotParsed;
        }
    } else {
        m_Impl->Execute(envelope, answer, timeout);
    }
    const int status = answer.status();
    JX_ENGINE_TRACE(0, u"MmsCmd::Send", u"httpStatus:%d\n", status);

    if (status == 200) {
        if (method != MmsPb::MmsCmdReq::Get && method != MmsPb::MmsCmdReq::Post)
            return 200;
        if (targetFile != nullptr)
            return _cmd_WriteTarget(*targetFile, answer.body());
        if (!response.ParseFromString(answer.body())) {
            JX_ENGINE_TRACE(0, u"MmsCmd::Send", u"Failed to deserialize inner resp\n");
            return InnerAnswerNotParsed;
        }
        if (answerHeaders != nullptr)
            for (const auto& header : answer.headers())
                answerHeaders->emplace_back(header.name(), header.value());
        return 200;
    }
    if (status == 401 && !retry) {
        const int refreshed = m_Impl->UpdateToken();
        if (refreshed != 200)
            return refreshed;
        // The retry carries the caller's headers and fills the caller's answer headers as the first try
        // would.
        return Send(true, path, request, response, method, targetFile, accept, timeout, extraHeaders,
                    answerHeaders);
    }
    return status;
}
