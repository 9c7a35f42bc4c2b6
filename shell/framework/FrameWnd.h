#pragma once

#include <memory>

#include <QFlags>
#include <QtCore/qnamespace.h>

#include "shell/framework/Wnd.h"

class CDocument;
class CView;
class QMainWindow;
class QMenu;
struct CCreateContext;

// The window flags that a frame's style bits ask for. Without WS_MAXIMIZEBOX there is no
// maximise button; WS_SYSMENU brings the window menu and the close button.
Qt::WindowFlags AfxWindowFlagsFromStyle(DWORD style);

// A top-level frame window: caption, menu bar and accelerator from a resource id, a view
// as its client, the status bar, and the routing of commands.
class CFrameWnd : public CWnd {
public:
    CFrameWnd();
    ~CFrameWnd() override;

    // Creates the window from resource nIDResource (menu, accelerators, icon and the
    // caption from its string) through PreCreateWindow and the WM_CREATE handler.
    BOOL LoadFrame(UINT nIDResource, DWORD dwDefaultStyle, CCreateContext* pContext);

    // Creates the view named by the creation context.
    int OnCreate(LPCREATESTRUCT lpCreateStruct);

    CView* GetActiveView() const { return m_view.get(); }
    CDocument* GetActiveDocument() const;
    // Lets the view finish its set-up; called once by the document template when it has
    // created the frame. The window is shown by the application.
    void InitialUpdateFrame();

    // Routes a command: the active view (then its document), this frame, the application.
    BOOL OnCmdMsg(UINT nID) override;
    // Where menu items and accelerators deliver their commands.
    BOOL OnCommand(UINT nID);

    // The status bar's message pane: a command's prompt (the first line of its string)
    // or any text.
    void SetMessageText(UINT nID);
    void SetMessageText(const char* text);

    QMainWindow* GetMainWindow() const;

protected:
    // The framework's handler of ID_VIEW_STATUS_BAR: shows or hides the status bar.
    void OnViewStatusBar();

    DECLARE_MESSAGE_MAP()

private:
    // The control bar with this identifier, such as AFX_IDW_STATUS_BAR, or nullptr.
    CWnd* GetControlBar(UINT nID) const;
    void CreateMenuBar(UINT nIDResource);
    void UpdateMenuChecks(QMenu& menu);

    std::unique_ptr<CView> m_view;
};
