#include <atomic>
#include <thread>

#include "jxvfs/BlockCache.h"
#include "jxvfs/container/PackageFormat.h"
#include "vfs_test_support.h"

using namespace vfstest;

namespace {

class PackedStreamTest : public PackageStoreTest {
protected:
    InternalPackageObjBase* Entry(const std::u16string& path) {
        InternalPackageObjBase* entry = Vfs().ResolvePath(path);
        EXPECT_NE(entry, nullptr) << jxtext::N(path);
        return entry;
    }

    static HRESULT SeekTo(IStream* stream, LONGLONG offset, DWORD origin, ULONGLONG* position = nullptr) {
        ULARGE_INTEGER at{};
        HRESULT hr = stream->Seek(MakeLargeInteger(offset), origin, &at);
        if (position)
            *position = at.QuadPart;
        return hr;
    }

    static HRESULT ReadInto(IStream* stream, Bytes& out, ULONG count) {
        out.assign(count, 0);
        ULONG got = 0;
        HRESULT hr = stream->Read(out.data(), count, &got);
        out.resize(got);
        return hr;
    }
};

DWORD g_fakeTicks = 0;
DWORD FakeTicks() {
    return g_fakeTicks;
}

} // namespace

TEST_F(PackedStreamTest, SequentialReadsDeliverTheContentAndCheckIt) {
    PackageLayout layout;
    layout.files[u"$SETUP\\big.bin"] = RandomBytes(5 * 65536 + 123, 1);
    layout.files[u"$SETUP\\text.txt"] = TextBytes(3 * 65536, 2);
    layout.files[u"$SETUP\\empty.txt"] = {};
    ASSERT_TRUE(Mount(u"a.wpk", layout));
    for (const auto& [path, content] : layout.files) {
        for (ULONG chunk : {1000u, 65536u, 1u << 20}) {
            HRESULT last = E_FAIL;
            EXPECT_EQ(ReadThroughStream(Entry(u"\\" + path), 0, chunk, &last), content)
                << jxtext::N(path) << chunk;
            EXPECT_EQ(last, S_OK);
        }
    }
    IPackedFileStream* empty = Entry(u"\\$SETUP\\empty.txt")->OpenStream(0);
    Bytes out;
    EXPECT_EQ(ReadInto(empty, out, 10), S_OK);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(empty->VerifyContent(), S_OK);
    ULONGLONG position = 9;
    EXPECT_EQ(SeekTo(empty, 0, STREAM_SEEK_SET, &position), PACKEDSTREAM_E_SEEK);
    EXPECT_EQ(position, 0u);
    empty->Release();
}

TEST_F(PackedStreamTest, ABackwardSeekStartsTheChecksumAfresh) {
    PackageLayout layout;
    const Bytes content = RandomBytes(4 * 65536 + 99, 3);
    layout.files[u"$SETUP\\f.bin"] = content;
    layout.crcTag = true;
    ASSERT_TRUE(Mount(u"a.wpk", layout));
    IPackedFileStream* stream = Entry(u"\\$SETUP\\f.bin")->OpenStream(0);
    Bytes part;
    ASSERT_EQ(ReadInto(stream, part, 65536), S_OK); // block 0 straight into the caller's memory
    ASSERT_EQ(SeekTo(stream, 10, STREAM_SEEK_SET), S_OK);
    ASSERT_EQ(ReadInto(stream, part, 5), S_OK); // the same block again: decoded once more, not counted
    EXPECT_EQ(part, Bytes(content.begin() + 10, content.begin() + 15));
    ASSERT_EQ(SeekTo(stream, 0, STREAM_SEEK_SET), S_OK);
    ASSERT_EQ(ReadInto(stream, part, 3 * 65536), S_OK); // blocks 0..2 decoded and counted
    EXPECT_EQ(part, Bytes(content.begin(), content.begin() + 3 * 65536));
    ASSERT_EQ(SeekTo(stream, 70000, STREAM_SEEK_SET), S_OK);
    ASSERT_EQ(ReadInto(stream, part, 10), S_OK); // back into block 1: decoding starts again at block 0
    EXPECT_EQ(part, Bytes(content.begin() + 70000, content.begin() + 70010));
    ASSERT_EQ(SeekTo(stream, 0, STREAM_SEEK_SET), S_OK);
    Bytes whole;
    EXPECT_EQ(ReadInto(stream, whole, static_cast<ULONG>(content.size())), S_OK); // not S_FALSE
    EXPECT_EQ(whole, content);
    EXPECT_EQ(stream->VerifyContent(), S_OK);

    // A clone goes on where its stream stands, with the same sums.
    ASSERT_EQ(SeekTo(stream, 100, STREAM_SEEK_SET), S_OK);
    ASSERT_EQ(ReadInto(stream, part, 65536 + 10), S_OK);
    IStream* clone = nullptr;
    ASSERT_EQ(stream->Clone(&clone), S_OK);
    Bytes rest;
    ASSERT_EQ(ReadInto(clone, rest, static_cast<ULONG>(content.size())), S_OK);
    EXPECT_EQ(rest, Bytes(content.begin() + 65536 + 110, content.end()));
    EXPECT_EQ(static_cast<IPackedFileStream*>(clone)->VerifyContent(), S_OK);
    clone->Release();
    stream->Release();
}

TEST_F(PackedStreamTest, ADamagedPayloadThatStillDecodesIsReported) {
    PackageLayout layout;
    const Bytes content = RandomBytes(20, 4);
    layout.files[u"$SETUP\\small.bin"] = content;
    Bytes package = BuildPackage(layout);
    // The only block starts the data area: a literal-run length, then the 20 bytes as they are.
    const ULONGLONG dataStart = jxpkg::kHeaderSize + jxpkg::PaddedMetaSize(jxpkg::LoadU32(&package[28]));
    ASSERT_EQ(package[dataStart], 17 + 20);
    package[dataStart + 5] ^= 0x5A;
    WriteWindowsFile(u"C:\\pkgs\\bad.wpk", package);
    ASSERT_TRUE(m_pManager->MountPackageFile(u"C:\\pkgs\\bad.wpk"));

    IPackedFileStream* stream = Entry(u"\\$SETUP\\small.bin")->OpenStream(0);
    Bytes out;
    EXPECT_EQ(ReadInto(stream, out, 100), S_FALSE);
    ASSERT_EQ(out.size(), content.size());
    EXPECT_NE(out, content);
    EXPECT_EQ(stream->VerifyContent(), S_FALSE);
    EXPECT_EQ(stream->Commit(0), S_FALSE);
    stream->Release();
}

TEST_F(PackedStreamTest, SeeksStayInsideTheFile) {
    PackageLayout layout;
    layout.files[u"$SETUP\\f.bin"] = TextBytes(1000, 5);
    ASSERT_TRUE(Mount(u"a.wpk", layout));
    IPackedFileStream* stream = Entry(u"\\$SETUP\\f.bin")->OpenStream(0);
    ASSERT_EQ(SeekTo(stream, 10, STREAM_SEEK_SET), S_OK);
    struct {
        LONGLONG offset;
        DWORD origin;
        HRESULT result;
        ULONGLONG position;
    } rows[] = {
        {999, STREAM_SEEK_SET, S_OK, 999},
        {1000, STREAM_SEEK_SET, PACKEDSTREAM_E_SEEK, 999},
        {-1, STREAM_SEEK_SET, PACKEDSTREAM_E_SEEK, 999},
        {-999, STREAM_SEEK_CUR, S_OK, 0},
        {-1, STREAM_SEEK_CUR, PACKEDSTREAM_E_SEEK, 0},
        {0, STREAM_SEEK_END, S_OK, 1000}, // the end
        {1, STREAM_SEEK_END, S_OK, 999},
        {1000, STREAM_SEEK_END, PACKEDSTREAM_E_SEEK, 999},
        {0, 7, E_INVALIDARG, 999},
    };
    for (const auto& row : rows) {
        ULONGLONG position = 0;
        EXPECT_EQ(SeekTo(stream, row.offset, row.origin, &position), row.result)
            << row.offset << " " << row.origin;
        EXPECT_EQ(position, row.position) << row.offset << " " << row.origin;
    }

    // The storage answers of a read-only stream, and its interfaces.
    ULONG done = 1;
    EXPECT_EQ(stream->Write("x", 1, &done), STG_E_CANTSAVE);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(stream->SetSize(MakeULargeInteger(1)), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(stream->LockRegion(MakeULargeInteger(0), MakeULargeInteger(1), 0), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(stream->Revert(), S_OK);
    DWORD blockSize = 0;
    EXPECT_EQ(stream->GetBlockSize(&blockSize), S_OK);
    EXPECT_EQ(blockSize, 65536u);
    IStream* asStream = nullptr;
    ASSERT_EQ(stream->QueryInterface(IID_IStream, reinterpret_cast<void**>(&asStream)), S_OK);
    asStream->Release(); // the stream stays alive
    void* own = nullptr;
    ASSERT_EQ(stream->QueryInterface(IID_IPackedFileStream, &own), S_OK);
    EXPECT_EQ(own, static_cast<IStream*>(stream));
    stream->Release();
    EXPECT_EQ(stream->CopyTo(nullptr, MakeULargeInteger(1), nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(SeekTo(stream, 0, STREAM_SEEK_CUR), S_OK); // still alive after the extra references went
    stream->Release();
}

TEST_F(PackedStreamTest, TheBlockCacheKeepsTenBlocksAndForgetsClosedFiles) {
    PackageLayout layout;
    std::vector<Bytes> contents;
    for (int i = 0; i < 11; ++i) {
        contents.push_back(RandomBytes(2 * 65536 + 7, 10 + i));
        layout.files[jxtext::Format(u"$SETUP\\f%02d.bin", i)] = contents.back();
    }
    ASSERT_TRUE(Mount(u"a.wpk", layout));
    CBlockCache& cache = CBlockCache::Instance();
    ASSERT_EQ(cache.GetCount(), 0u);
    std::vector<IPackedFileStream*> streams;
    for (int i = 0; i < 11; ++i) {
        IPackedFileStream* stream =
            Entry(jxtext::Format(u"\\$SETUP\\f%02d.bin", i))->OpenStream(kStreamBlockCached);
        // Straight to the second block: the table walks the first one to find it.
        ASSERT_EQ(SeekTo(stream, 65536 + 5, STREAM_SEEK_SET), S_OK);
        Bytes out;
        ASSERT_EQ(ReadInto(stream, out, 100), S_OK);
        EXPECT_EQ(out, Bytes(contents[i].begin() + 65536 + 5, contents[i].begin() + 65536 + 105));
        streams.push_back(stream);
        EXPECT_LE(cache.GetCount(), CBlockCache::kMaxBlocks);
    }
    EXPECT_EQ(cache.GetCount(), CBlockCache::kMaxBlocks);
    // An evicted block is decoded again on demand.
    Bytes again;
    ASSERT_EQ(SeekTo(streams[0], 65536, STREAM_SEEK_SET), S_OK);
    ASSERT_EQ(ReadInto(streams[0], again, 10), S_OK);
    EXPECT_EQ(again, Bytes(contents[0].begin() + 65536, contents[0].begin() + 65546));
    for (IPackedFileStream* stream : streams)
        stream->Release();
    EXPECT_EQ(cache.GetCount(), 0u); // closed files take their blocks out of the list

    // Private blocks are never cached; both modes read every byte.
    auto* entry = Entry(u"\\$SETUP\\f03.bin");
    EXPECT_EQ(ReadThroughStream(entry, kStreamBlockCached | kStreamPrivateBlocks, 50000), contents[3]);
    EXPECT_EQ(cache.GetCount(), 0u);
    EXPECT_EQ(ReadThroughStream(entry, kStreamBlockCached, 50000), contents[3]);
}

TEST_F(PackedStreamTest, IdleBlocksLeaveTheCacheList) {
    PackageLayout layout;
    layout.files[u"$SETUP\\a.bin"] = RandomBytes(3 * 65536, 30);
    ASSERT_TRUE(Mount(u"a.wpk", layout));
    CBlockCache::SetTickSource(&FakeTicks);
    g_fakeTicks = 1000;
    IPackedFileStream* stream = Entry(u"\\$SETUP\\a.bin")->OpenStream(kStreamBlockCached);
    Bytes out;
    ASSERT_EQ(ReadInto(stream, out, 100), S_OK);
    EXPECT_EQ(CBlockCache::Instance().GetCount(), 1u);
    g_fakeTicks += CBlockCache::kIdleMilliseconds + 1;
    ASSERT_EQ(SeekTo(stream, 2 * 65536, STREAM_SEEK_SET), S_OK);
    ASSERT_EQ(ReadInto(stream, out, 100), S_OK); // block 2 joins; block 0 has been idle too long
    EXPECT_EQ(CBlockCache::Instance().GetCount(), 1u);
    // The idle block still serves its file.
    ASSERT_EQ(SeekTo(stream, 0, STREAM_SEEK_SET), S_OK);
    ASSERT_EQ(ReadInto(stream, out, 100), S_OK);
    EXPECT_EQ(out,
              Bytes(layout.files[u"$SETUP\\a.bin"].begin(), layout.files[u"$SETUP\\a.bin"].begin() + 100));
    stream->Release();
    CBlockCache::SetTickSource(nullptr);
    EXPECT_EQ(CBlockCache::Instance().GetCount(), 0u);
}

TEST_F(PackedStreamTest, PackagesWithTinyBlocksListButCannotDeliver) {
    PackageLayout layout;
    layout.blockSize = 512;
    layout.files[u"$SETUP\\f.txt"] = TextBytes(2000, 6);
    ASSERT_TRUE(Mount(u"a.wpk", layout));
    auto* entry = Entry(u"\\$SETUP\\f.txt");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->GetSize64(), 2000u);
    for (DWORD mode : {0u, kStreamBlockCached, kStreamBlockCached | kStreamPrivateBlocks}) {
        IPackedFileStream* stream = entry->OpenStream(mode);
        Bytes out;
        EXPECT_EQ(ReadInto(stream, out, 10), E_FAIL) << mode;
        stream->Release();
    }
}

TEST_F(PackedStreamTest, StreamsReadFromSeveralThreadsAtOnce) {
    PackageLayout layout;
    std::vector<Bytes> contents;
    for (int i = 0; i < 6; ++i) {
        contents.push_back(RandomBytes(3 * 65536 + 100 * i, 60 + i));
        layout.files[jxtext::Format(u"$SETUP\\t%d.bin", i)] = contents.back();
    }
    ASSERT_TRUE(Mount(u"a.wpk", layout));
    std::vector<InternalPackageObjBase*> entries;
    for (int i = 0; i < 6; ++i)
        entries.push_back(Entry(jxtext::Format(u"\\$SETUP\\t%d.bin", i)));
    // Every thread reads every file: one through the block cache (a second one could time out
    // waiting for the cache's lock on a slow machine), the others sequentially or with private
    // blocks, which share the files' block tables.
    std::vector<std::thread> threads;
    std::atomic<int> mismatches{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const DWORD mode = t == 0  ? kStreamBlockCached
                               : t % 2 ? 0
                                       : kStreamBlockCached | kStreamPrivateBlocks;
            for (int round = 0; round < 3; ++round)
                for (size_t i = 0; i < entries.size(); ++i)
                    if (ReadThroughStream(entries[(i + t) % entries.size()], mode, 30000) !=
                        contents[(i + t) % entries.size()])
                        ++mismatches;
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(CBlockCache::Instance().GetCount(), 0u);
}
