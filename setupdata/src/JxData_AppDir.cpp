// The application folder: where the engine's program and its packages lie.
#include "jxsetupdata/JxData.h"
#include "jxsetupdata/JxLog.h"

namespace JxSetup::Data {
namespace {
const WCHAR* const kModule = u"lib";
} // namespace

void JxData::SetAppDir(const std::u16string& path) {
    CJxDataLock lock(*this);
    const size_t last = path.find_last_of(u'\\');
    m_appDir = last == std::u16string::npos ? std::u16string() : path.substr(0, last + 1);
    GetLog()->Log(MP_INFO, kModule, u"JxSetup::Data::JxData::SetAppDir", u"Setted m_appDir to %s.",
                  m_appDir.c_str());
}

void JxData::SetAppDirEx(const std::u16string& folder) {
    CJxDataLock lock(*this);
    m_appDir = folder;
    GetLog()->Log(MP_INFO, kModule, u"JxSetup::Data::JxData::SetAppDirEx", u"Setted m_appDir to %s.",
                  m_appDir.c_str());
}

} // namespace JxSetup::Data
