// Message boxes of the install sequence through the GUI object.
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

int JxData::ShowMessage(const std::u16string& caption, const std::u16string& text, UINT type, int value) {
    CJxDataLock lock(*this);
    if (!HasGui())
        return 1;
    // JX_NOT_BUILT: PrepareMessageBox and MessageBox of the GUI object come with the GUI bridge.
    GetLog()->Log(LP_ERROR, u"lib", u"JxSetup::Data::JxData::ShowMessage", u"ShowMessage is not built yet");
    return 1;
}

} // namespace JxSetup::Data
