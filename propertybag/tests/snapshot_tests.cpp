#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "jxpropertybag/PropertyBag.h"
#include "jxpropertybag/Snapshot.h"
#include "jxtest/machine_root.h"

namespace {

// Writes records as a driver would.
class CRecord {
public:
    CRecord& U8(BYTE v) { return Raw(&v, 1); }
    CRecord& U16(WORD v) { return Raw(&v, 2); }
    CRecord& U32(DWORD v) { return Raw(&v, 4); }
    CRecord& U64(ULONGLONG v) { return Raw(&v, 8); }
    CRecord& Text(const std::u16string& text) {
        U16(static_cast<WORD>(text.size()));
        return Raw(text.data(), text.size() * 2);
    }
    CRecord& Raw(const void* data, size_t size) {
        const auto* bytes = static_cast<const BYTE*>(data);
        m_bytes.insert(m_bytes.end(), bytes, bytes + size);
        return *this;
    }
    // kind, length of the body, body
    std::vector<BYTE> Wrap(BYTE kind, long lengthDelta = 0) const {
        CRecord out;
        out.U8(kind).U32(static_cast<DWORD>(static_cast<long>(m_bytes.size()) + lengthDelta));
        out.Raw(m_bytes.data(), m_bytes.size());
        return out.m_bytes;
    }
    const std::vector<BYTE>& Bytes() const { return m_bytes; }

private:
    std::vector<BYTE> m_bytes;
};

class Snapshots : public ::testing::Test {
protected:
    // The bag after loading the bytes; how many bytes were left.
    size_t Load(const std::vector<BYTE>& bytes) {
        const BYTE* cursor = bytes.data();
        size_t left = bytes.size();
        m_Bag->LoadSnapshot(cursor, left);
        EXPECT_EQ(cursor, bytes.data() + (bytes.size() - left)) << "cursor and count move together";
        return left;
    }
    VARIANT Cached(const WCHAR* key) {
        VARIANT value;
        VariantInit(&value);
        // A bag without a connection answers only from its cache.
        m_Bag->GetCachedValue(CHashKey(key), value);
        return value;
    }
    bool Has(const WCHAR* key) {
        VARIANT value = Cached(key);
        const bool has = value.vt != VT_EMPTY;
        VariantClear(&value);
        return has;
    }

    jxtest::TempMachineRoot m_Root;
    std::shared_ptr<CMHPropertyBag> m_Bag = MakePropertyBag({}, 0);
};

TEST_F(Snapshots, ThreadRecordsOfTwoVersions) {
    CRecord v1;
    v1.U8(1).U64(42).U64(7).U32(100).U32(200).U8(1).U8(0);
    EXPECT_EQ(Load(v1.Wrap(2)), 0u);
    for (const WCHAR* key : {u"#__UniqueID__", u"#__UniqueProcessID__", u"#__TID__", u"#__PID__",
                             u"#__Injected__", u"#__InitialThread__"})
        EXPECT_TRUE(Has(key)) << jxtest::BuildDir();
    EXPECT_FALSE(Has(u"#__External__"));
    EXPECT_EQ(m_Bag->GetId(), 42u);
    CRecord v2;
    v2.U8(2).U64(43).U64(7).U32(100).U32(200).U8(1).U8(0).U8(1);
    Load(v2.Wrap(2));
    EXPECT_TRUE(Has(u"#__External__"));
    VARIANT injected = Cached(u"#__Injected__");
    EXPECT_EQ(injected.vt, VT_BOOL);
    EXPECT_EQ(injected.boolVal, VARIANT_TRUE);
}

TEST_F(Snapshots, ProcessRecordDerivesTrustAndApproval) {
    CRecord r;
    r.U8(1).U64(9).U32(1234).U32(4).U32(2).U32(0).U32(1).U32(0).U32(5).Text(
        u"\\Device\\HarddiskVolume2\\a.exe");
    Load(r.Wrap(1));
    VARIANT trusted = Cached(u"#__IsTrusted__");
    EXPECT_EQ(trusted.vt, VT_BOOL);
    EXPECT_EQ(trusted.boolVal, VARIANT_TRUE);
    VARIANT approved = Cached(u"#__IsApproved__");
    EXPECT_EQ(approved.boolVal, VARIANT_TRUE);
    EXPECT_EQ(m_Bag->GetStringProperty(), u"\\Device\\HarddiskVolume2\\a.exe");
    VARIANT pid = Cached(u"#__PID__");
    EXPECT_EQ(pid.vt, VT_UI4);
    EXPECT_EQ(pid.ulVal, 1234u);
}

TEST_F(Snapshots, LengthDecidesWhereTheNextRecordStarts) {
    // Bytes the fields do not use are skipped after the named items found there.
    CRecord r;
    r.U8(1).U64(1).U64(2).U32(3).U32(4).U8(0).U8(0);
    r.U32(1).Text(u"Extra").U32(19).U32(77).U32(0).U32(0).U32(0);
    r.U8(0xEE).U8(0xEE);
    std::vector<BYTE> bytes = r.Wrap(2);
    const size_t recordSize = bytes.size();
    CRecord next;
    next.U8(1).U64(5).U64(2).U32(3).U32(4).U8(0).U8(0);
    const std::vector<BYTE> second = next.Wrap(2);
    bytes.insert(bytes.end(), second.begin(), second.end());
    EXPECT_EQ(Load(bytes), bytes.size() - recordSize);
    VARIANT extra = Cached(u"Extra");
    EXPECT_EQ(extra.vt, VT_UI4);
    EXPECT_EQ(extra.ulVal, 77u);
}

// Records cut short: a declared length beyond the buffer ends at the buffer's
// end, fewer than four bytes after the kind end everything, and nothing is read
// beyond the bytes given.
TEST_F(Snapshots, ShortRecordsStayInsideTheBuffer) {
    CRecord r;
    r.U8(1).U64(1).U64(2);
    EXPECT_EQ(Load(r.Wrap(2, 1000)), 0u);
    EXPECT_TRUE(Has(u"#__UniqueID__"));
    EXPECT_EQ(Load({2, 1, 0}), 0u);
    EXPECT_EQ(Load({2, 0, 0, 0, 0, 9}), 1u) << "a length of 0 ends after the length";
}

TEST_F(Snapshots, ItemsStopAtAnObjectAndBlobsMustFitThirtyTwoBits) {
    CRecord items;
    items.U32(4);
    items.Text(u"first").U32(8).Text(u"text");
    items.Text(u"blob").U32(65).U64(3).U32(0).U8('a').U8('b').U8('c');
    items.Text(u"object").U32(9);
    items.Text(u"after").U32(19).U32(1).U32(0).U32(0).U32(0);
    Load(items.Wrap(5));
    EXPECT_TRUE(Has(u"first"));
    VARIANT blob = Cached(u"blob");
    EXPECT_EQ(blob.vt, VT_UNKNOWN);
    VariantClear(&blob);
    EXPECT_FALSE(Has(u"object"));
    EXPECT_FALSE(Has(u"after")) << "an item of type 9 ends the list";

    CRecord huge;
    huge.U32(1).Text(u"huge").U32(65).U64(0x100000003ull).U32(0).U8('a').U8('b').U8('c');
    Load(huge.Wrap(5));
    EXPECT_FALSE(Has(u"huge")) << "a size of 2^32 or more is refused, not cut to its low half";
}

TEST_F(Snapshots, NetworkRecordKeysAreMadeWhenRead) {
    CRecord r;
    const BYTE address[16] = {1, 0, 0, 0, 2, 0, 3, 0, 4, 5, 6, 7, 8, 9, 10, 11};
    r.U8(1).U32(3).U32(4).U64(5).U32(80).U32(443).Raw(address, 16).Raw(address, 16);
    Load(r.Wrap(8));
    VARIANT local = Cached(u"#__LocalAddr__");
    ASSERT_EQ(local.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(local.bstrVal), u"{00000001-0002-0003-0405-060708090A0B}");
    VariantClear(&local);
    EXPECT_TRUE(Has(u"#__InterfaceSubIndex__"));
    EXPECT_EQ(m_Bag->GetId(), 0u) << "kind 8 leaves the unique id alone";
}

} // namespace
