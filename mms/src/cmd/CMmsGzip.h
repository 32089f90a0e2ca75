// gzip streams of the HTTPS transport's bodies (zlib, default compression level).
#pragma once

#include <string>

// The gzip stream of the bytes; throws std::runtime_error when zlib fails.
std::string MmsGzip(const std::string& bytes);
// The bytes of a gzip stream; throws std::runtime_error when the stream is malformed or cut short.
std::string MmsGunzip(const std::string& stream);
