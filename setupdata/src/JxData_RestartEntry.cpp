// The RunOnce entry that starts this setup again after the restart of Windows (its removal is a
// registry action: JxData_RestartEntryRemove.cpp).
#include "jxsetupdata/JxData.h"

#include "jxbase/reg.h"

namespace JxSetup::Data {
namespace {
const WCHAR* const kModule = u"lib";
const WCHAR* const kRunOnceKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
// The engine is a 32-bit program: Windows runs the entries of the redirected view for it.
constexpr REGSAM kRunOnceView = 0;
} // namespace

bool JxData::RestartSetupAfterRebootXP(const std::u16string& commandLine, bool tag) {
    CJxDataLock lock(*this);
    const WCHAR* context = u"JxSetup::Data::JxData::RestartSetupAfterRebootXP";
    JxLog* log = GetLog();
    log->Log(LOG_BEGIN, kModule, context, u"");
    const std::u16string productId = GetProductId();
    if (productId.empty()) {
        // Without a name the entry would be the key's default value, shared by every program.
        log->Log(LP_ERROR, kModule, context, u"The product has no id: no restart entry is written.");
        log->Log(LOG_END, kModule, context, u"%s", u"true");
        return true;
    }
    std::u16string path(MAX_PATH, u'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), MAX_PATH);
    path.resize(length < MAX_PATH ? length : 0);
    std::u16string arguments;
    AddMountExeArgument(arguments, commandLine);
    const std::u16string data = arguments.empty() ? path : u"\"" + path + u"\" " + arguments;
    CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kRunOnceKey, productId.c_str(), data, CRegStringType::Sz,
                              kRunOnceView);
    if (tag)
        CReg::PutStringToRegistry(HKEY_LOCAL_MACHINE, kRunOnceKey, (productId + u"_TAG").c_str(), u"",
                                  CRegStringType::Sz, kRunOnceView);
    log->Log(LOG_END, kModule, context, u"%s", u"true");
    return true;
}

} // namespace JxSetup::Data
