// Bounds-checked LZO1X decoding. The stream is a sequence of instructions, each a literal run or a
// back-reference (match) into the output decoded so far; the instruction byte's range selects the
// kind (M1 < 16 after a match, literal run < 16 otherwise, M4 16..31, M3 32..63, M2 64..255), the
// low two bits of a match's last distance byte give 0-3 literals that follow it, and an M4 match
// with distance 0 is the end-of-stream sequence. Every read of the input, write of the output and
// look-behind is checked before it happens; positions are indexes, never pointers out of range.
#include "jxvfs/lzo/Lzo1xDecoder.h"

#include <cstring>

namespace jxlzo {

namespace {

constexpr size_t kM2MaxOffset = 0x0800;

// Copies n bytes in whole 8-byte pieces: up to 7 bytes past n are read and written, so the caller
// has checked that both areas hold n + 7 more bytes. The source may overlap the destination only
// from at least 8 bytes behind it (each piece then reads bytes that are already final).
inline void CopyPieces(uint8_t* to, const uint8_t* from, size_t n) {
    for (size_t i = 0; i < n; i += 8)
        std::memcpy(to + i, from + i, 8);
}

} // namespace

LZO_DECODE_RESULT Lzo1xDecompressSafe(const uint8_t* in, size_t inLength, uint8_t* out, size_t outCapacity) {
    LZO_DECODE_RESULT r;
    size_t ip = 0;
    size_t op = 0;
    size_t t = 0;
    size_t distance = 0;

// Room checks: the input holds n more bytes / the output takes n more bytes.
#define LZO_NEED_IP(n)                                                                                       \
    do {                                                                                                     \
        if (inLength - ip < static_cast<size_t>(n))                                                          \
            goto input_overrun;                                                                              \
    } while (0)
#define LZO_NEED_OP(n)                                                                                       \
    do {                                                                                                     \
        if (outCapacity - op < static_cast<size_t>(n))                                                       \
            goto output_overrun;                                                                             \
    } while (0)
// A match may reach back at most to the first output byte.
#define LZO_TEST_LB(d)                                                                                       \
    do {                                                                                                     \
        if ((d) == 0 || (d) > op)                                                                            \
            goto lookbehind_overrun;                                                                         \
    } while (0)

    if (in == nullptr || (out == nullptr && outCapacity != 0))
        return r;
    LZO_NEED_IP(1);
    if (in[ip] > 17) {
        t = in[ip++] - 17u;
        if (t < 4)
            goto match_next;
        LZO_NEED_OP(t);
        LZO_NEED_IP(t + 3);
        do
            out[op++] = in[ip++];
        while (--t > 0);
        goto first_literal_run;
    }

    for (;;) {
        LZO_NEED_IP(3);
        t = in[ip++];
        if (t >= 16)
            goto match;
        // A literal run of t + 3 bytes; t == 0 extends the length with the bytes that follow.
        if (t == 0) {
            while (in[ip] == 0) {
                t += 255;
                ip++;
                LZO_NEED_IP(1);
            }
            t += 15 + in[ip++];
        }
        // With room for whole pieces on both sides the run goes in pieces; otherwise exactly, after
        // the same checks.
        if (outCapacity - op >= t + 10 && inLength - ip >= t + 10) {
            CopyPieces(out + op, in + ip, t + 3);
        } else {
            LZO_NEED_OP(t + 3);
            LZO_NEED_IP(t + 6);
            std::memcpy(out + op, in + ip, t + 3);
        }
        op += t + 3;
        ip += t + 3;

    first_literal_run:
        t = in[ip++];
        if (t >= 16)
            goto match;
        // A three-byte match right after a literal run, 2 KiB further back than an M1 match.
        distance = 1 + kM2MaxOffset + (t >> 2) + (static_cast<size_t>(in[ip++]) << 2);
        LZO_TEST_LB(distance);
        LZO_NEED_OP(3);
        for (int i = 0; i < 3; ++i, ++op)
            out[op] = out[op - distance];
        goto match_done;

        for (;;) {
        match:
            if (t >= 64) { // M2: length 3..8, distance up to 2 KiB
                distance = 1 + ((t >> 2) & 7) + (static_cast<size_t>(in[ip++]) << 3);
                t = (t >> 5) - 1;
                LZO_TEST_LB(distance);
                LZO_NEED_OP(t + 2);
                goto copy_match;
            } else if (t >= 32) { // M3: distance up to 16 KiB
                t &= 31;
                if (t == 0) {
                    while (in[ip] == 0) {
                        t += 255;
                        ip++;
                        LZO_NEED_IP(1);
                    }
                    t += 31 + in[ip++];
                    LZO_NEED_IP(2);
                }
                distance = 1 + ((in[ip] | (static_cast<size_t>(in[ip + 1]) << 8)) >> 2);
                ip += 2;
            } else if (t >= 16) { // M4: distance 16 KiB..48 KiB, or the end of the stream
                distance = (t & 8) << 11;
                t &= 7;
                if (t == 0) {
                    while (in[ip] == 0) {
                        t += 255;
                        ip++;
                        LZO_NEED_IP(1);
                    }
                    t += 7 + in[ip++];
                    LZO_NEED_IP(2);
                }
                distance += (in[ip] | (static_cast<size_t>(in[ip + 1]) << 8)) >> 2;
                ip += 2;
                if (distance == 0)
                    goto eof_found;
                distance += 0x4000;
            } else { // M1: two bytes, distance up to 1 KiB
                distance = 1 + (t >> 2) + (static_cast<size_t>(in[ip++]) << 2);
                LZO_TEST_LB(distance);
                LZO_NEED_OP(2);
                out[op] = out[op - distance];
                ++op;
                out[op] = out[op - distance];
                ++op;
                goto match_done;
            }
            LZO_TEST_LB(distance);
            LZO_NEED_OP(t + 2);

        copy_match:
            // A source that overlaps the bytes being written (a run) is copied byte by byte, so that
            // each byte sees the ones written before it; the others in one piece. A source at least
            // 8 bytes back goes in pieces when the output has room for the last whole piece.
            if (distance >= 8 && outCapacity - op >= t + 9) {
                CopyPieces(out + op, out + op - distance, t + 2);
                op += t + 2;
            } else if (distance >= t + 2) {
                std::memcpy(out + op, out + op - distance, t + 2);
                op += t + 2;
            } else {
                for (size_t i = 0; i < t + 2; ++i, ++op)
                    out[op] = out[op - distance];
            }

        match_done:
            t = in[ip - 2] & 3u;
            if (t == 0)
                break;

        match_next:
            LZO_NEED_OP(t);
            LZO_NEED_IP(t + 3);
            // One to three literals: with room for four on the output, as one four-byte piece (the
            // input holds t + 3 >= 4 more bytes).
            if (outCapacity - op >= 4) {
                std::memcpy(out + op, in + ip, 4);
                op += t;
                ip += t;
            } else {
                do
                    out[op++] = in[ip++];
                while (--t > 0);
            }
            t = in[ip++];
        }
    }

eof_found:
    r.outLength = op;
    r.consumed = ip;
    r.result = ip == inLength ? kLzoOk : kLzoInputNotConsumed;
    return r;

input_overrun:
    r.outLength = op;
    r.result = kLzoInputOverrun;
    return r;

output_overrun:
    r.outLength = op;
    r.result = kLzoOutputOverrun;
    return r;

lookbehind_overrun:
    r.outLength = op;
    r.result = kLzoLookbehindOverrun;
    return r;

#undef LZO_NEED_IP
#undef LZO_NEED_OP
#undef LZO_TEST_LB
}

} // namespace jxlzo
