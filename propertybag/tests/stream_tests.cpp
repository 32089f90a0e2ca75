#include <gtest/gtest.h>

#include <vector>

#include "jxpropertybag/CStreamOnMemory.h"

namespace {

ULONGLONG Position(CStreamOnMemory& stream) {
    ULARGE_INTEGER at{};
    stream.Seek(MakeLargeInteger(0), STREAM_SEEK_CUR, &at);
    return at.QuadPart;
}

TEST(StreamOnMemory, GrowsLinearlyAndSeeksFromTheEnd) {
    CStreamOnMemory* stream = new CStreamOnMemory;
    std::vector<BYTE> bytes(5000, 0xAB);
    ULONG written = 0;
    ASSERT_EQ(stream->Write(bytes.data(), 5000, &written), S_OK);
    EXPECT_EQ(stream->GetCapacity(), 5000u);
    stream->Write(bytes.data(), 1, nullptr);
    EXPECT_EQ(stream->GetCapacity(), 9096u);
    stream->SetSize(MakeULargeInteger(10));
    ULARGE_INTEGER at{};
    ASSERT_EQ(stream->Seek(MakeLargeInteger(-2), STREAM_SEEK_END, &at), S_OK);
    EXPECT_EQ(at.QuadPart, 8u);
    stream->Release();
}

// A seek before the start or beyond 32 bits is refused and the position stays.
TEST(StreamOnMemory, RefusesPositionsOutsideThirtyTwoBits) {
    CStreamOnMemory stream("abcdef", 6);
    stream.Seek(MakeLargeInteger(3), STREAM_SEEK_SET, nullptr);
    const struct {
        LONGLONG move;
        DWORD origin;
    } cases[] = {{-1, STREAM_SEEK_SET},           {-4, STREAM_SEEK_CUR},
                 {-7, STREAM_SEEK_END},           {0x100000000ll, STREAM_SEEK_SET},
                 {0xFFFFFFFFll, STREAM_SEEK_END}, {0, 7}};
    for (const auto& c : cases) {
        EXPECT_EQ(stream.Seek(MakeLargeInteger(c.move), c.origin, nullptr), STG_E_INVALIDFUNCTION) << c.move;
        EXPECT_EQ(Position(stream), 3u);
    }
    EXPECT_EQ(stream.SetSize(MakeULargeInteger(0x100000000ull)), STG_E_INVALIDFUNCTION);
}

TEST(StreamOnMemory, ReadsSizesAndClones) {
    CStreamOnMemory stream("0123456789", 10);
    char buffer[8] = {};
    ULONG read = 0;
    EXPECT_EQ(stream.Read(buffer, 4, &read), S_OK);
    EXPECT_EQ(read, 4u);
    EXPECT_EQ(stream.Read(buffer, 8, &read), S_FALSE) << "fewer bytes than asked";
    EXPECT_EQ(read, 6u);
    EXPECT_EQ(stream.Read(buffer, 1, &read), S_FALSE);
    EXPECT_EQ(stream.Read(nullptr, 1, &read), STG_E_INVALIDPOINTER);
    EXPECT_EQ(stream.Read(buffer, 0, &read), S_OK);

    stream.SetSize(MakeULargeInteger(4));
    EXPECT_EQ(Position(stream), 4u) << "positions beyond a cut come back";
    stream.SetSize(MakeULargeInteger(6000));
    EXPECT_EQ(stream.GetSize(), 6000u);
    EXPECT_EQ(stream.GetData()[5999], 0);

    IStream* clone = nullptr;
    ASSERT_EQ(stream.Clone(&clone), S_OK);
    STATSTG stat{};
    ASSERT_EQ(clone->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 6000u);
    EXPECT_EQ(stat.type, STGTY_STREAM);
    ULARGE_INTEGER at{};
    clone->Seek(MakeLargeInteger(0), STREAM_SEEK_CUR, &at);
    EXPECT_EQ(at.QuadPart, 0u);
    clone->Release();
    stream.SetSize(MakeULargeInteger(0));
    EXPECT_EQ(stream.GetSize(), 0u);
}

} // namespace
