#include <gtest/gtest.h>

#include <windows.h>

#include "jxplat/machine.h"
#include "jxtest/machine_root.h"
#include "jxvfs/CStreamOnFileHandle.h"
#include "vfs_test_support.h"

using vfstest::Bytes;

namespace {

class FileHandleStreamTest : public ::testing::Test {
protected:
    HANDLE OpenWith(const Bytes& content, DWORD access = GENERIC_READ | GENERIC_WRITE) {
        vfstest::WriteWindowsFile(u"C:\\work\\s.bin", content);
        return CreateFileW(u"C:\\work\\s.bin", access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    }

    static Bytes ReadAll(IStream* stream, ULONG chunk) {
        Bytes out, buffer(chunk);
        ULONG got = 0;
        while (SUCCEEDED(stream->Read(buffer.data(), chunk, &got)) && got)
            out.insert(out.end(), buffer.begin(), buffer.begin() + got);
        return out;
    }

    static ULONGLONG SeekTo(IStream* stream, LONGLONG offset, DWORD origin, HRESULT* hr = nullptr) {
        ULARGE_INTEGER position{};
        HRESULT result = stream->Seek(MakeLargeInteger(offset), origin, &position);
        if (hr)
            *hr = result;
        return position.QuadPart;
    }

    jxtest::TempMachineRoot m_root;
};

} // namespace

TEST_F(FileHandleStreamTest, ReadsItsWindowAcrossViewBoundaries) {
    const Bytes content = vfstest::RandomBytes(200000, 1);
    HANDLE file = OpenWith(content, GENERIC_READ);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    // A window that starts inside the first view and ends in the third.
    auto* stream = new CStreamOnFileHandle(file, false, true, 65000, 70000);
    EXPECT_EQ(ReadAll(stream, 4099), Bytes(content.begin() + 65000, content.begin() + 135000));
    // At and past the end a read succeeds with nothing (a "copy all" ends there cleanly).
    BYTE byte = 0;
    ULONG got = 7;
    EXPECT_EQ(stream->Read(&byte, 1, &got), S_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(SeekTo(stream, 1000, STREAM_SEEK_CUR), 71000u);
    EXPECT_EQ(stream->Read(&byte, 1, &got), S_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(stream->Read(nullptr, 1, &got), STG_E_INVALIDPOINTER);
    stream->Release(); // owns the handle
    EXPECT_FALSE(CloseHandle(file));
}

TEST_F(FileHandleStreamTest, SeeksFromTheEndWithinTheLength) {
    HANDLE file = OpenWith(vfstest::ToBytes("0123456789"));
    auto* stream = new CStreamOnFileHandle(file, true, false);
    HRESULT hr = S_OK;
    EXPECT_EQ(SeekTo(stream, 0, STREAM_SEEK_END, &hr), 10u);
    EXPECT_EQ(SeekTo(stream, 3, STREAM_SEEK_END, &hr), 7u);
    EXPECT_EQ(SeekTo(stream, 11, STREAM_SEEK_END, &hr), 7u);
    EXPECT_EQ(hr, E_INVALIDARG);
    EXPECT_EQ(SeekTo(stream, 20, STREAM_SEEK_SET, &hr), 20u); // no bound from the start
    EXPECT_EQ(hr, S_OK);

    STATSTG stat{};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.type, STGTY_STREAM);
    EXPECT_EQ(stat.cbSize.QuadPart, 10u);
    EXPECT_EQ(stat.grfMode, STGM_READWRITE);
    EXPECT_EQ(stat.pwcsName, nullptr);
    stream->Release();
    // Not its handle: it stays open.
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FileHandleStreamTest, WritesGoToTheFileAndATemporaryFileGoesWithItsStream) {
    HANDLE file = OpenWith(vfstest::ToBytes("abcdef"));
    auto* stream = new CStreamOnFileHandle(file, true, true);
    SeekTo(stream, 2, STREAM_SEEK_SET);
    ULONG put = 0;
    ASSERT_EQ(stream->Write("XY", 2, &put), S_OK);
    EXPECT_EQ(put, 2u);
    ASSERT_EQ(stream->SetSize(MakeULargeInteger(5)), S_OK);
    EXPECT_EQ(SeekTo(stream, 0, STREAM_SEEK_CUR), 5u);
    stream->Release();
    EXPECT_EQ(vfstest::ReadWindowsFile(u"C:\\work\\s.bin"), vfstest::ToBytes("abXYe"));

    auto* scratch = new CStreamOnFileHandle(INVALID_HANDLE_VALUE, false, false);
    ASSERT_EQ(scratch->Write("hello", 5, &put), S_OK);
    STATSTG stat{};
    ASSERT_EQ(scratch->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    ASSERT_NE(stat.pwcsName, nullptr);
    const std::u16string name = stat.pwcsName;
    CoTaskMemFree(stat.pwcsName);
    EXPECT_TRUE(jxtext::StartsWithNoCase(name, u"C:\\Users\\Tester\\AppData\\Local\\Temp\\TFR"))
        << jxtext::N(name);
    EXPECT_EQ(stat.grfMode, STGM_READWRITE);
    EXPECT_NE(GetFileAttributesW(name.c_str()), INVALID_FILE_ATTRIBUTES);
    SeekTo(scratch, 0, STREAM_SEEK_SET);
    EXPECT_EQ(ReadAll(scratch, 3), vfstest::ToBytes("hello"));
    scratch->Release();
    EXPECT_EQ(GetFileAttributesW(name.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileHandleStreamTest, CloneCopiesTheContentAndKeepsThePosition) {
    const Bytes content = vfstest::RandomBytes(3 * 1024 * 1024 + 17, 2); // more than one copy block
    HANDLE file = OpenWith(content);
    auto* stream = new CStreamOnFileHandle(file, true, true);
    SeekTo(stream, 12345, STREAM_SEEK_SET);
    IStream* clone = nullptr;
    ASSERT_EQ(stream->Clone(&clone), S_OK);
    EXPECT_EQ(SeekTo(stream, 0, STREAM_SEEK_CUR), 12345u);
    EXPECT_EQ(SeekTo(clone, 0, STREAM_SEEK_CUR), 0u);
    EXPECT_EQ(ReadAll(clone, 1 << 20), content);

    // Interfaces: the stream itself with one more reference; nothing else.
    void* object = nullptr;
    for (const IID* iid : {&IID_IUnknown, &IID_ISequentialStream, &IID_IStream}) {
        ASSERT_EQ(stream->QueryInterface(*iid, &object), S_OK);
        EXPECT_EQ(object, static_cast<IStream*>(stream));
        stream->Release();
    }
    EXPECT_EQ(stream->QueryInterface(IID_IPackedFileStream, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(stream->Commit(0), E_NOTIMPL);
    clone->Release();
    stream->Release();
}

TEST_F(FileHandleStreamTest, CopyStreamStopsAtTheCountOrTheEnd) {
    HANDLE file = OpenWith(vfstest::ToBytes("0123456789"), GENERIC_READ);
    auto* source = new CStreamOnFileHandle(file, false, true);
    auto* target = new CStreamOnFileHandle(INVALID_HANDLE_VALUE, true, true);
    ULONGLONG read = 0, written = 0;
    EXPECT_EQ(CStreamImplBase::CopyStream(source, target, 4, &read, &written), S_OK);
    EXPECT_EQ(read, 4u);
    EXPECT_EQ(written, 4u);
    EXPECT_EQ(CStreamImplBase::CopyStream(source, target, ~0ULL, &read, &written), S_OK);
    EXPECT_EQ(written, 6u);
    EXPECT_EQ(CStreamImplBase::CopyStream(nullptr, target, 1, &read, &written), E_INVALIDARG);
    EXPECT_EQ(written, 0u);
    SeekTo(target, 0, STREAM_SEEK_SET);
    EXPECT_EQ(ReadAll(target, 64), vfstest::ToBytes("0123456789"));
    // Writing into a read-only file fails, and the copy reports it.
    SeekTo(source, 0, STREAM_SEEK_SET);
    EXPECT_EQ(CStreamImplBase::CopyStreamTotal(target, source, 10), 0u);
    source->Release();
    target->Release();
}
