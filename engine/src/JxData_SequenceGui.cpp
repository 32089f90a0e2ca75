// Message boxes of the install sequence through the GUI object.
#include "jxsetupdata/IJxExternalGUI.h"
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

int JxData::ShowMessage(const std::u16string& caption, const std::u16string& text, UINT type, int value) {
    CJxDataLock lock(*this);
    if (!m_Gui)
        return 1;
    if (value != 0)
        m_Gui->PrepareMessageBox(value);
    return m_Gui->MessageBox(caption, text, type);
}

} // namespace JxSetup::Data
