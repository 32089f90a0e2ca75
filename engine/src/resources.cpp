// The program's string resources.
#include "jxengine/resources.h"

#include "jxengine/JxSetupEngineControl.h"

namespace JxSetup::Data {

void RegisterProgramResources() {
    static const jxplat::StringResource table[] = {
        {IDS_INIT_ERROR,
         u"Error while initializing the setup.\nThe executeable file is incomplete or corrupt.\n"
         u"Please try to download a new setup package or contact your support.\n"
         u"The setup will abort now."},
        {IDS_SETUP_ERROR_CAPTION, u"Setup error"},
        {IDS_GUI_INIT_ERROR,
         u"Error while initializing the setup user interface.\nPlease contact your support.\n"
         u"The setup will abort now."},
    };
    jxplat::RegisterStringResources(table, sizeof(table) / sizeof(table[0]));
}

} // namespace JxSetup::Data
