#pragma once

#include <memory>

#include "platform/LockKeyIndicators.h"
#include "shell/framework/FrameWnd.h"
#include "shell/framework/StatusBar.h"

// The main window: fixed size, caption, window menu and minimise button, the menu bar,
// the view as its client and the status bar along the bottom.
class CMainFrame : public CFrameWnd {
    DECLARE_DYNCREATE(CMainFrame)
public:
    // The outer size of the window, in pixels.
    static constexpr int kWidth = 960;
    static constexpr int kHeight = 520;
    // Caption, window menu and minimise button; no resize border and no maximise button.
    static constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    // The status bar's style: a visible child along the bottom.
    static constexpr DWORD kStatusBarStyle = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM;

    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    int OnCreate(LPCREATESTRUCT lpCreateStruct);

    CStatusBar& StatusBar() { return m_statusBar; }

protected:
    CStatusBar m_statusBar;

private:
    // Lights the lock-key panes as the keyboard reports its lights.
    void UpdateLockKeyPanes();

    std::unique_ptr<LockKeyIndicators> m_lockKeys;

    DECLARE_MESSAGE_MAP()
};

// The panes of the status bar, in order: the message pane, then kana, caps lock, num lock
// and scroll lock.
extern const UINT statusIndicators[5];
