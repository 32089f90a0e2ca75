// The program's resources: its strings, the start dialog's template and the start image.
#include "jxengine/resources.h"

#include "jxengine/JxSetupEngineControl.h"
#include "jxengine/startdlg/CJxInitDlg.h"
#include "jxplat/resources.h"

namespace JxSetup::Data {

// The start image, drawn at build time (start_image.cpp in the build tree).
extern const unsigned char kStartImagePng[];
extern const size_t kStartImagePngSize;

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
    // The start dialog: a popup without caption, centred, 152 × 128 dialog units.
    static const jxplat::DialogResource dialogs[] = {
        {CJxInitDlg::IDD, WS_POPUP | WS_VISIBLE | DS_CENTER | DS_SETFONT | DS_FIXEDSYS, WS_EX_TOOLWINDOW, 152,
         128},
    };
    jxplat::RegisterDialogResources(dialogs, 1);
    const jxplat::DataResource images[] = {
        {u"PNG", CJxInitDlg::kImageId, kStartImagePng, kStartImagePngSize}};
    jxplat::RegisterDataResources(images, 1);
}

} // namespace JxSetup::Data
