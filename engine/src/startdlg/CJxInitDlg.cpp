// The start dialog: its image, sized to the picture and kept centred, painted over white, with a
// drop shadow created on the first paint.
#include "jxengine/startdlg/CJxInitDlg.h"

namespace JxSetup::Data {
namespace {

constexpr int kShadowSize = 28;
constexpr int kShadowSpread = 46;
constexpr int kShadowOffset = 2;
constexpr double kShadowFalloff = 4.0;
constexpr int kCornerRadius = 1;
constexpr int kShadowOpacity = 144;

} // namespace

CJxInitDlg::~CJxInitDlg() {
    if (m_hWnd)
        DestroyWindow();
}

BOOL CJxInitDlg::OnInitDialog() {
    m_pImage = std::make_unique<CAlphaBitmap>();
    m_pShadow = std::make_unique<CShadowWindow>(AfxGetInstanceHandle(), kShadowSize, kShadowSpread,
                                                kShadowOffset, kShadowFalloff);
    // Without its image the dialog keeps the template's size.
    if (!m_pImage->LoadPngResource(AfxGetResourceHandle(), u"PNG", kImageId, TRUE))
        return TRUE;
    RECT rect{};
    GetWindowRect(&rect);
    const int width = m_pImage->GetWidth();
    const int height = m_pImage->GetHeight();
    MoveWindow(rect.left + (rect.right - rect.left) / 2 - width / 2,
               rect.top + (rect.bottom - rect.top) / 2 - height / 2, width, height, TRUE);
    return TRUE;
}

void CJxInitDlg::OnPaint() {
    CPaintDC dc(this);
    RECT rect{};
    GetClientRect(&rect);
    dc.FillSolidRect(&rect, RGB(255, 255, 255));
    dc.SetBkMode(OPAQUE);
    dc.SetBkColor(RGB(255, 255, 255));
    if (m_pImage)
        m_pImage->Draw(dc, rect, 255);
    if (!m_pShadow)
        return;
    if (!m_bShadowCreated) {
        m_bShadowCreated = true;
        m_pShadow->SetCornerRadius(kCornerRadius);
        m_pShadow->Create(m_hWnd, 0, true);
        m_pShadow->Attach(m_hWnd);
    }
    m_pShadow->SetOpacity(kShadowOpacity);
}

BOOL CJxInitDlg::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message == WM_PAINT) {
        OnPaint();
        *result = 0;
        return TRUE;
    }
    return CDialog::OnWndMsg(message, wParam, lParam, result);
}

} // namespace JxSetup::Data
