// JX_NOT_BUILT: the shortcut of a child run comes with the creation of shortcuts.
// The shortcut that a setup's child run creates ("_RunCreateShortcut"). Not there yet: asked for,
// it fails.
#include "jxsetupdata/JxData.h"

namespace JxSetup::Data {

bool JxData::ExternCreateShortcut() {
    return _pending_NotBuilt(u"ExternCreateShortcut");
}

} // namespace JxSetup::Data
