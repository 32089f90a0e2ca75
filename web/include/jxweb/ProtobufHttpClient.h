// Protobuf-lite messages over HTTP: a request message becomes the body, the answer is parsed into
// the response message, and the layer's own failures are result codes in the one result of the
// request.
#pragma once

#include <string>

#include "jxweb/HttpClientHelper.h"

namespace google::protobuf {
class MessageLite;
}

class ProtobufHttpClient : public HttpClientHelper {
public:
    ProtobufHttpClient(HttpClient::ProgressCallback progress, DWORD initialReceiveBufferSize,
                       bool asynchronous, LONG bandwidthLimit);
    ~ProtobufHttpClient() override = default;

    // True when the answer's "Content-Type" does not begin with the protobuf media type: the body
    // may then go to the file asked for.
    virtual bool HasInvalidContentType(const HttpClient::Result& result) const;
    // Called with every answer of this layer; the hook of a derived client.
    virtual void OnResponse(const HttpClient::Result& result, const char16_t* callerName);

    HttpClient::Result Get(google::protobuf::MessageLite& response, const std::u16string& url);
    HttpClient::Result Post(const google::protobuf::MessageLite& request,
                            google::protobuf::MessageLite& response, const std::u16string& url);
    // Sends the request and leaves the answer's body unparsed.
    HttpClient::Result Post(const google::protobuf::MessageLite& request, const std::u16string& url);
    HttpClient::Result GetAsFile(google::protobuf::MessageLite& response, const std::u16string& url,
                                 const std::u16string& filePath = {},
                                 const std::u16string& acceptedType = {});

    static constexpr const char16_t* kMediaType = u"application/x-protobuf";

private:
    // Serialises the request into the body with the protobuf headers; false (and the result's
    // error) when it does not serialise.
    bool _PbSetRequest(const google::protobuf::MessageLite& request, HttpClient::Result& result);
    HttpClient::Result _PbException(const char16_t* callerName, const char* what);
};

// Parses a protobuf answer body into a message: false when it does not parse (the layer's
// ErrProtobufDeserialize). The one decoding step of every answer of this layer.
bool ParseProtobufAnswer(const HttpClient::Result& result, google::protobuf::MessageLite& message);
