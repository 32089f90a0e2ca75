// The start dialog: a borderless window that shows the program's image (PNG resource 134) with a
// drop shadow while the engine initializes.
#pragma once

#include <memory>

#include "jxengine/startdlg/CAlphaBitmap.h"
#include "jxengine/startdlg/CShadowWindow.h"
#include "jxplat/afxwin.h"

namespace JxSetup::Data {

class CJxInitDlg : public CDialog {
public:
    static constexpr UINT IDD = 102;      // the dialog template
    static constexpr UINT kImageId = 134; // the image, of resource type "PNG"

    explicit CJxInitDlg(CWnd* parent = nullptr) : CDialog(IDD, parent) {}
    ~CJxInitDlg() override;

    BOOL Create(UINT templateId, CWnd* parent = nullptr) override {
        return CDialog::Create(templateId, parent);
    }
    BOOL OnInitDialog() override;
    void OnPaint();

    const CAlphaBitmap* GetImage() const { return m_pImage.get(); }
    const CShadowWindow* GetShadow() const { return m_pShadow.get(); }

protected:
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    std::unique_ptr<CShadowWindow> m_pShadow;
    std::unique_ptr<CAlphaBitmap> m_pImage;
    bool m_bShadowCreated = false;
};

} // namespace JxSetup::Data
