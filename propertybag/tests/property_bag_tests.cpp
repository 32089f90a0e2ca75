#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "jxpropertybag/CStreamOnMemory.h"
#include "jxpropertybag/DriverConnection.h"
#include "jxpropertybag/MhvIoctl.h"
#include "jxpropertybag/PropertyBag.h"
#include "jxtest/driver_double.h"

namespace {

std::string Trace() {
    return jxtest::ReadHostFile(jxplat::MachinePath("trace.log"));
}

class PropertyBags : public ::testing::Test {
protected:
    // The process bag of this process, through the driver's process list.
    std::shared_ptr<CMHProcessBag> OwnProcess(CFileManager& manager) {
        std::shared_ptr<CMHProcessList> list;
        if (!manager.GetDriverBag(list))
            return nullptr;
        std::shared_ptr<CMHPropertyBag> item;
        if (!list->GetBagProperty(u"#__GetItemByID__", item, GetCurrentProcessId()))
            return nullptr;
        std::shared_ptr<CMHProcessBag> process;
        CMHPropertyBag::MoveTo(*item, process);
        return process;
    }

    jxtest::TempMachineRoot m_Root;
};

TEST_F(PropertyBags, ValuesAreReadIntoTheCacheAndEveryBagIsReleased) {
    jxtest::CDriverDouble driver;
    ASSERT_TRUE(driver.Ready());
    {
        CProcessManager manager(true);
        ASSERT_TRUE(manager.Connect(true, false));
        std::shared_ptr<CMHProcessBag> process = OwnProcess(manager);
        ASSERT_TRUE(process);
        EXPECT_EQ(process->GetName(), u"notepad.exe") << "named by its Win32 path";
        EXPECT_EQ(process->GetPathProperty(), u"C:\\Windows\\notepad.exe");
        EXPECT_EQ(process->GetStringProperty(), u"\\Device\\HarddiskVolume2\\Windows\\notepad.exe");
        const std::string before = jxtest::CDriverDouble::Status();
        EXPECT_EQ(process->GetStringProperty(), u"\\Device\\HarddiskVolume2\\Windows\\notepad.exe");
        EXPECT_EQ(jxtest::CDriverDouble::Status(), before) << "a cached key sends no request";

        ULONGLONG ids[2] = {};
        std::thread other([&] { ids[1] = process->GetId(); });
        ids[0] = process->GetId();
        other.join();
        EXPECT_EQ(ids[0], 0x1122334455667788ull);
        EXPECT_EQ(ids[1], ids[0]);

        // A text in three chunks, a blob into an empty VARIANT and a GUID.
        VARIANT value;
        VariantInit(&value);
        ASSERT_TRUE(process->GetProperty(u"LongText", value));
        ASSERT_EQ(value.vt, VT_BSTR);
        EXPECT_EQ(SysStringLen(value.bstrVal), 10000u);
        EXPECT_EQ(value.bstrVal[4999], u'x');
        EXPECT_EQ(value.bstrVal[5000], u'y');
        VariantClear(&value);
        ASSERT_TRUE(process->GetProperty(u"Blob", value));
        ASSERT_EQ(value.vt, VT_UNKNOWN);
        IStream* stream = nullptr;
        ASSERT_EQ(value.punkVal->QueryInterface(IID_IStream, reinterpret_cast<void**>(&stream)), S_OK);
        STATSTG stat = {};
        stream->Stat(&stat, STATFLAG_NONAME);
        EXPECT_EQ(stat.cbSize.QuadPart, 8u);
        stream->Release();
        VariantClear(&value);
        ASSERT_TRUE(process->GetProperty(u"Clsid", value));
        ASSERT_EQ(value.vt, VT_BSTR);
        EXPECT_EQ(std::u16string(value.bstrVal), u"{25369D14-6CC3-43B6-9E0F-992D32E76895}");
        VariantClear(&value);

        // A child bag travels through the VARIANT as an object.
        ASSERT_TRUE(process->GetProperty(u"Child", value));
        ASSERT_EQ(value.vt, VT_DISPATCH);
        VARIANT self;
        VariantInit(&self);
        ASSERT_EQ(
            value.pdispVal->Invoke(0, IID_NULL, 0, DISPATCH_PROPERTYGET, nullptr, &self, nullptr, nullptr),
            S_OK);
        EXPECT_EQ(self.vt, VT_BYREF | VT_VOID);
        EXPECT_NE((*static_cast<std::shared_ptr<CMHPropertyBag>*>(self.byref))->BagId(), 0u);
        VariantClear(&value);

        bool found = true;
        EXPECT_EQ(process->GetTextProperty(u"Missing", &found), u"");
        EXPECT_FALSE(found);
        EXPECT_FALSE(process->GetBoolProperty(u"#__IsTrusted__", &found));
        EXPECT_TRUE(found);
        EXPECT_GT(jxtest::CDriverDouble::OpenBags(), 0);
    }
    EXPECT_EQ(jxtest::CDriverDouble::OpenBags(), 0) << jxtest::CDriverDouble::Status();
    EXPECT_EQ(DriverConnectionRegistry::Instance().LiveConnections(), 0);
}

TEST_F(PropertyBags, ReleasingABagOfADroppedConnectionSendsNothing) {
    jxtest::CDriverDouble driver;
    ASSERT_TRUE(driver.Ready());
    std::shared_ptr<CMHProcessBag> process;
    {
        CProcessManager manager(true);
        ASSERT_TRUE(manager.Connect(false, false));
        process = OwnProcess(manager);
        ASSERT_TRUE(process);
    }
    const std::string before = jxtest::CDriverDouble::Status();
    process->Release();
    EXPECT_EQ(process->BagId(), 0u);
    EXPECT_EQ(jxtest::CDriverDouble::Status(), before);
    EXPECT_EQ(process->GetStringProperty(), u"") << "a bag without its connection answers nothing";
}

const GUID kProtectedBag = {0x0B1C2D3E, 0x4F50, 0x6172, {0x83, 0x94, 0xA5, 0xB6, 0xC7, 0xD8, 0xE9, 0xFA}};

// A process that the driver does not trust is denied a bag; the retry connects, asks for trust and
// is then served, without a debugger line.
TEST_F(PropertyBags, AccessDeniedIsRetriedAfterTrustIsGranted) {
    jxplat::MachineDescription machine;
    machine.user.administrator = false;
    machine.user.elevated = false;
    m_Root.Describe(machine);
    jxtest::CDriverDouble driver({"--deny-untrusted"});
    ASSERT_TRUE(driver.Ready());
    {
        CProcessManager manager(IsCurrentUserAdmin());
        ASSERT_TRUE(manager.Connect(false, false));
        std::shared_ptr<CMHPropertyBag> bag;
        EXPECT_TRUE(manager.GetBagByName(kProtectedBag, bag));
        EXPECT_NE(jxtest::CDriverDouble::Status().find("trusted=1"), std::string::npos);
    }
    EXPECT_EQ(Trace().find("DeviceIoControl("), std::string::npos) << Trace();
    EXPECT_EQ(jxtest::CDriverDouble::OpenBags(), 0) << jxtest::CDriverDouble::Status();
}

// An administrator's retry is granted at once; the driver denies again and the request fails with
// one debugger line.
TEST_F(PropertyBags, ASecondDenialWritesOneDebuggerLine) {
    jxtest::CDriverDouble driver({"--deny-untrusted"});
    ASSERT_TRUE(driver.Ready());
    CProcessManager manager(true);
    ASSERT_TRUE(manager.Connect(false, false));
    std::shared_ptr<CMHPropertyBag> bag;
    EXPECT_FALSE(manager.GetBagByName(kProtectedBag, bag));
    const std::string trace = Trace();
    EXPECT_NE(trace.find("DeviceIoControl("), std::string::npos) << trace;
    EXPECT_NE(trace.find("IOCTL_MHV_GET_PROPERTYBAG)"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("DeviceIoControl("), trace.rfind("DeviceIoControl(")) << "one line";
}

// A driver that stops answering costs one bounded wait; later requests fail at
// once.
TEST_F(PropertyBags, ASlowDriverFailsWithinTheDeviceTimeout) {
    jxplat::MachineDescription machine;
    machine.deviceTimeoutMs = 100;
    m_Root.Describe(machine);
    jxtest::CDriverDouble driver({"--silent-after", "1"});
    ASSERT_TRUE(driver.Ready());
    CProcessManager manager(true);
    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(manager.Connect(false, false)) << "the bag was read; only its release went unanswered";
    std::shared_ptr<CMHProcessList> list;
    EXPECT_FALSE(manager.GetDriverBag(list));
    EXPECT_LT(GetTickCount64() - start, 10000u);
}

TEST_F(PropertyBags, ADriverThatDiesMidAnswerFailsTheConnection) {
    jxtest::CDriverDouble driver({"--die-after", "0"});
    ASSERT_TRUE(driver.Ready());
    CProcessManager manager(true);
    EXPECT_FALSE(manager.Connect(false, false));
    driver.AwaitEnd();
    EXPECT_EQ(manager.GetDeviceHandle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(DriverConnectionRegistry::Instance().LiveConnections(), 0);
}

TEST_F(PropertyBags, MalformedAnswersOfTheDriverFailCleanly) {
    jxtest::CDriverDouble driver({"--bad-answers"});
    ASSERT_TRUE(driver.Ready());
    {
        CProcessManager manager(true);
        ASSERT_TRUE(manager.Connect(false, false));
        std::shared_ptr<CMHProcessList> list;
        ASSERT_TRUE(manager.GetDriverBag(list));
        std::shared_ptr<CMHPropertyBag> item;
        EXPECT_FALSE(list->GetBagProperty(u"#__GetItemByID__", item, GetCurrentProcessId()));
    }
    EXPECT_EQ(jxtest::CDriverDouble::OpenBags(), 0);
}

// The answer decoder on its own: short buffers, wrong types, huge sizes, counts
// beyond the buffer.
TEST(ValueAnswers, DecoderRefusesMalformedAnswers) {
    struct Case {
        const char* what;
        DWORD type;
        DWORD count;
        size_t bufferSize;
        size_t returned;
        bool ok;
        VARTYPE vt;
    } cases[] = {
        {"text", VT_BSTR, 8, 200, 108, true, VT_BSTR},
        {"count beyond what was returned", VT_BSTR, 9, 200, 108, false, VT_EMPTY},
        {"huge count", VT_BSTR, 0xFFFFFFF0, 200, 200, false, VT_EMPTY},
        {"answer shorter than its header", VT_BSTR, 0, 200, 50, false, VT_EMPTY},
        {"buffer below the header", VT_I4, 0, 60, 60, false, VT_EMPTY},
        {"nothing returned", VT_I4, 0, 200, 0, false, VT_EMPTY},
        {"32-bit value", VT_I4, 0, 200, 8, true, VT_I4},
        {"64-bit value cut short", VT_UI8, 0, 200, 40, false, VT_EMPTY},
        {"GUID of 15 bytes", VT_CLSID, 15, 200, 115, false, VT_EMPTY},
        {"object pointer", VT_UNKNOWN, 0, 200, 200, false, VT_EMPTY},
        {"8-byte float", VT_R8, 0, 200, 200, false, VT_EMPTY},
        {"array", VT_ARRAY | VT_I4, 0, 200, 200, false, VT_EMPTY},
        {"by reference", VT_BYREF | VT_VARIANT, 0, 200, 200, false, VT_EMPTY},
        {"decimal", VT_DECIMAL, 0, 200, 200, false, VT_EMPTY},
        {"returned beyond the buffer", VT_BSTR, 100, 200, 100000, true, VT_BSTR},
    };
    for (const Case& c : cases) {
        std::vector<BYTE> answer(c.bufferSize, 0);
        std::memcpy(answer.data(), &c.type, 4);
        if (c.bufferSize >= 100)
            std::memcpy(answer.data() + 96, &c.count, 4);
        VARIANT value;
        VariantInit(&value);
        EXPECT_EQ(DecodeValueAnswer(answer.data(), answer.size(), c.returned, nullptr, 0, value), c.ok)
            << c.what;
        EXPECT_EQ(value.vt, c.vt) << c.what;
        VariantClear(&value);
    }
    // A blob goes into an empty VARIANT or a stream, nowhere else.
    std::vector<BYTE> blob(104, 0);
    const DWORD blobType = VT_BLOB, four = 4;
    std::memcpy(blob.data(), &blobType, 4);
    std::memcpy(blob.data() + 96, &four, 4);
    VARIANT number;
    VariantInit(&number);
    number.vt = VT_I4;
    EXPECT_FALSE(DecodeValueAnswer(blob.data(), blob.size(), blob.size(), nullptr, 0, number));
    VARIANT into;
    VariantInit(&into);
    auto* stream = new CStreamOnMemory;
    into.vt = VT_UNKNOWN;
    into.punkVal = static_cast<IStream*>(stream);
    EXPECT_TRUE(DecodeValueAnswer(blob.data(), blob.size(), blob.size(), nullptr, 0, into));
    EXPECT_EQ(stream->GetSize(), 4u);
    VariantClear(&into);
}

TEST(ValueAnswers, ControlCodesAreNamed) {
    EXPECT_EQ(GetIoctlName(IOCTL_MHV_RELEASE_PROPERTYBAG), u"IOCTL_MHV_RELEASE_PROPERTYBAG");
    EXPECT_EQ(GetIoctlName(0xA111FFFC), u"0xa111fffc");
}

TEST(HashKeys, TextsOfOneHashStayTwoKeys) {
    const CHashKey a(u"#__PID__");
    const CHashKey b(u"#__PID__");
    EXPECT_EQ(&a.Text(), &b.Text()) << "interned: one shared text";
    const CHashKey plain(u"ByteLen");
    EXPECT_NE(&plain.Text(), &CHashKey(u"ByteLen").Text());
    EXPECT_EQ(FastTreeCompare(plain, CHashKey(u"ByteLen")), 0);
    EXPECT_NE(FastTreeCompare(CHashKey::Plain(u"first"), CHashKey::Plain(u"second")), 0);
}

} // namespace
