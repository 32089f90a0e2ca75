// gzip streams of the HTTPS transport's bodies (zlib, default compression level).
#pragma once

#include <cstddef>
#include <string>

// The gzip stream of the bytes; throws std::runtime_error when zlib fails.
std::string MmsGzip(const std::string& bytes);
// The bytes of a gzip stream; throws std::runtime_error when the stream is malformed or cut short, or
// when it would give more than maxBytes (a small body must not unfold into unbounded memory).
std::string MmsGunzip(const std::string& stream, size_t maxBytes);
