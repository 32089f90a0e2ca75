#include "CMmsGzip.h"

#include <stdexcept>

#include <zlib.h>

namespace {

constexpr size_t kBuffer = 8192;
constexpr int kGzipWindow = 15 + 16; // the gzip wrapper instead of zlib's

} // namespace

std::string MmsGzip(const std::string& bytes) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindow, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    std::string out;
    char buffer[kBuffer];
    int status;
    do {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = kBuffer;
        status = deflate(&stream, Z_FINISH);
        out.append(buffer, kBuffer - stream.avail_out);
    } while (status == Z_OK);
    deflateEnd(&stream);
    if (status != Z_STREAM_END)
        throw std::runtime_error("deflate failed");
    return out;
}

std::string MmsGunzip(const std::string& input, size_t maxBytes) {
    z_stream stream{};
    if (inflateInit2(&stream, kGzipWindow) != Z_OK)
        throw std::runtime_error("inflateInit2 failed");
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    stream.avail_in = static_cast<uInt>(input.size());
    std::string out;
    char buffer[kBuffer];
    int status;
    do {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = kBuffer;
        status = inflate(&stream, Z_NO_FLUSH);
        const size_t produced = kBuffer - stream.avail_out;
        if (produced > maxBytes - out.size()) {
            inflateEnd(&stream);
            throw std::runtime_error("the body unfolds beyond its limit");
        }
        out.append(buffer, produced);
    } while (status == Z_OK && (stream.avail_in > 0 || stream.avail_out == 0));
    inflateEnd(&stream);
    if (status != Z_STREAM_END)
        throw std::runtime_error("the body is no complete gzip stream");
    return out;
}
