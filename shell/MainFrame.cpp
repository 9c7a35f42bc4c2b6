#include "shell/MainFrame.h"

const UINT statusIndicators[5] = {
    ID_SEPARATOR,      // message pane
    ID_INDICATOR_KANA, // kana input
    ID_INDICATOR_CAPS, // caps lock
    ID_INDICATOR_NUM,  // num lock
    ID_INDICATOR_SCRL, // scroll lock
};

IMPLEMENT_DYNCREATE(CMainFrame)

BEGIN_MESSAGE_MAP(CMainFrame, CFrameWnd)
ON_WM_CREATE()
END_MESSAGE_MAP()

BOOL CMainFrame::PreCreateWindow(CREATESTRUCT& cs) {
    if (!CFrameWnd::PreCreateWindow(cs)) {
        return FALSE;
    }
    cs.cx = kWidth;
    cs.cy = kHeight;
    // Replaces the proposed style: the window can be moved, minimised and closed, but
    // neither resized nor maximised.
    cs.style = kStyle;
    return TRUE;
}

int CMainFrame::OnCreate(LPCREATESTRUCT lpCreateStruct) {
    if (CFrameWnd::OnCreate(lpCreateStruct) == -1) {
        return -1;
    }
    if (!m_statusBar.Create(this, kStatusBarStyle, AFX_IDW_STATUS_BAR)) {
        return -1;
    }
    if (!m_statusBar.SetIndicators(statusIndicators, 5)) {
        return -1;
    }
    m_lockKeys = std::make_unique<LockKeyIndicators>([this] { UpdateLockKeyPanes(); });
    UpdateLockKeyPanes();
    return 0;
}

void CMainFrame::UpdateLockKeyPanes() {
    m_statusBar.SetIndicatorOn(ID_INDICATOR_KANA, m_lockKeys->IsOn(LockKey::Kana));
    m_statusBar.SetIndicatorOn(ID_INDICATOR_CAPS, m_lockKeys->IsOn(LockKey::CapsLock));
    m_statusBar.SetIndicatorOn(ID_INDICATOR_NUM, m_lockKeys->IsOn(LockKey::NumLock));
    m_statusBar.SetIndicatorOn(ID_INDICATOR_SCRL, m_lockKeys->IsOn(LockKey::ScrollLock));
}
