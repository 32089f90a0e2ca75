// The decoder's running log (see LwGenericPngDecoder::SetLogSink).
#pragma once

namespace JxSetup::Data {

void _png_Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Counts Huffman tree nodes made (positive) and freed (negative).
void _png_CountNodes(int delta);

} // namespace JxSetup::Data
