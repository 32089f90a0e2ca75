// The three request operations of the protobuf layer.
#include "jxweb/ProtobufHttpClient.h"

#include <exception>
#include <google/protobuf/message_lite.h>
#include <vector>

#include "jxbase/textconv.h"
#include "jxbase/trace.h"

ProtobufHttpClient::ProtobufHttpClient(HttpClient::ProgressCallback progress, DWORD initialReceiveBufferSize,
                                       bool asynchronous, LONG bandwidthLimit)
    : HttpClientHelper([this](const HttpClient::Result& result) { return HasInvalidContentType(result); },
                       std::move(progress), initialReceiveBufferSize, asynchronous, bandwidthLimit) {}

bool ProtobufHttpClient::HasInvalidContentType(const HttpClient::Result& result) const {
    return !result.HasHeaderWithPrefix(u"Content-Type", kMediaType);
}

void ProtobufHttpClient::OnResponse(const HttpClient::Result&, const char16_t*) {}

bool ParseProtobufAnswer(const HttpClient::Result& result, google::protobuf::MessageLite& message) {
    const void* data = result.body && result.bodyLength ? static_cast<const void*>(result.body->data()) : "";
    return message.ParseFromArray(data, static_cast<int>(result.bodyLength));
}

HttpClient::Result ProtobufHttpClient::_PbException(const char16_t* callerName, const char* what) {
    if (g_JxSetupEngineLibDebugLevel >= 5)
        DebugTrace(u"(%u) JxSetupEngineLib: %s(): Exception: %s", GetCurrentThreadId(), callerName,
                   Utf8ToWide(what ? what : "").c_str());
    HttpClient::Result result;
    result.error = HttpClient::ErrException;
    result.errorName = HttpClient::Result::NameProtobufError;
    return result;
}

bool ProtobufHttpClient::_PbSetRequest(const google::protobuf::MessageLite& request,
                                       HttpClient::Result& result) {
    std::vector<BYTE> serialized(request.ByteSizeLong());
    if (!request.SerializeToArray(serialized.data(), static_cast<int>(serialized.size()))) {
        result.error = HttpClient::ErrProtobufSerialize;
        result.errorName = HttpClient::Result::NameProtobufError;
        return false;
    }
    // An empty message still goes out with its media type and an empty body (the body is copied).
    static const BYTE kNothing = 0;
    SetRequestBody(serialized.empty() ? &kNothing : serialized.data(), static_cast<DWORD>(serialized.size()),
                   true);
    SetRequestHeader(u"Accept", kMediaType);
    SetRequestHeader(u"Content-Type", kMediaType);
    return true;
}

HttpClient::Result ProtobufHttpClient::Get(google::protobuf::MessageLite& response,
                                           const std::u16string& url) {
    try {
        SetRequestHeader(u"Accept", kMediaType);
        SetRequestHeader(u"Content-Type", u""); // a Content-Type of an earlier Post is not sent
        ClearRequestBody();
        HttpClient::Result result = Send(HttpClient::Get, url, false, u"");
        OnResponse(result, u"ProtobufHttpClient::Get");
        // The status is the caller's to judge: an error answer's protobuf body is parsed too.
        if (result.error == 0 && result.body && !ParseProtobufAnswer(result, response)) {
            result.error = HttpClient::ErrProtobufDeserialize;
            result.errorName = HttpClient::Result::NameProtobufError;
        }
        return result;
    } catch (const std::exception& e) {
        return _PbException(u"ProtobufHttpClient::Get", e.what());
    }
}

HttpClient::Result ProtobufHttpClient::Post(const google::protobuf::MessageLite& request,
                                            google::protobuf::MessageLite& response,
                                            const std::u16string& url) {
    HttpClient::Result result = Post(request, url);
    if (result.error == 0 && result.body && !ParseProtobufAnswer(result, response)) {
        result.error = HttpClient::ErrProtobufDeserialize;
        result.errorName = HttpClient::Result::NameProtobufError;
    }
    return result;
}

HttpClient::Result ProtobufHttpClient::Post(const google::protobuf::MessageLite& request,
                                            const std::u16string& url) {
    try {
        HttpClient::Result result;
        if (!_PbSetRequest(request, result))
            return result;
        result = Send(HttpClient::Post, url, false, u"");
        OnResponse(result, u"ProtobufHttpClient::Post");
        return result;
    } catch (const std::exception& e) {
        return _PbException(u"ProtobufHttpClient::Post", e.what());
    }
}

HttpClient::Result ProtobufHttpClient::GetAsFile(google::protobuf::MessageLite& response,
                                                 const std::u16string& url, const std::u16string& filePath,
                                                 const std::u16string& acceptedType) {
    try {
        SetRequestHeader(u"Accept", acceptedType.empty() ? std::u16string(kMediaType) + u",*/*"
                                                         : std::u16string(kMediaType) + u"," + acceptedType);
        SetRequestHeader(u"Content-Type", u"");
        ClearRequestBody();
        HttpClient::Result result = Send(HttpClient::Get, url, true, filePath);
        OnResponse(result, u"ProtobufHttpClient::GetAsFile");
        if (result.error == 0 && result.status == 200) {
            if (result.HasHeaderWithPrefix(u"Content-Type", kMediaType) && result.body) {
                // A protobuf answer instead of the file.
                if (!ParseProtobufAnswer(result, response)) {
                    result.error = HttpClient::ErrProtobufDeserialize;
                    result.errorName = HttpClient::Result::NameProtobufError;
                }
            } else if (!acceptedType.empty() && !result.HasHeaderWithPrefix(u"Content-Type", acceptedType)) {
                result.error = HttpClient::ErrProtobufInvalidContentType;
                result.errorName = HttpClient::Result::NameProtobufError;
            }
        }
        return result;
    } catch (const std::exception& e) {
        return _PbException(u"ProtobufHttpClient::GetAsFile", e.what());
    }
}
