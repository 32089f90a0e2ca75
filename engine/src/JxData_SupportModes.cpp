// Support modes: one-shot tasks asked for by properties instead of an installation.
#include "jxplat/text.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

bool JxData::IsSupportModeRequested() {
    const auto isTrue = [this](const WCHAR* name) {
        return jxtext::EqualsNoCase(GetPropertyValue(name), u"true");
    };
    return !GetPropertyValue(u"ExtractTo").empty() || isTrue(u"_DumpRegValues") || isTrue(u"_FixServices") ||
           isTrue(u"_RunCreateShortcut") || isTrue(u"_ShutdownServices");
}

} // namespace JxSetup::Data
