#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QFlags>
#include <QtCore/qnamespace.h>

#include "shell/framework/Wnd.h"

class CDocument;
class CStatusBar;
class CView;
class QAction;
class QKeySequence;
class QMainWindow;
class QMenu;
struct CCreateContext;

// The window flags that a frame's style bits ask for. Without WS_MAXIMIZEBOX there is no
// maximise button; WS_SYSMENU brings the window menu and the close button.
Qt::WindowFlags AfxWindowFlagsFromStyle(DWORD style);

// A top-level frame window: caption, menu bar and accelerators from a resource id, a view
// as its client, control bars such as the status bar, and the routing of commands.
class CFrameWnd : public CWnd {
    DECLARE_DYNCREATE(CFrameWnd)
public:
    CFrameWnd();
    ~CFrameWnd() override;

    // Creates the window from resource nIDResource (menu, accelerators, icon and the
    // title from its string) through PreCreateWindow and the WM_CREATE handler.
    BOOL LoadFrame(UINT nIDResource, DWORD dwDefaultStyle = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE,
                   CWnd* pParentWnd = nullptr, CCreateContext* pContext = nullptr);

    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    // Creates the view named by the creation context.
    int OnCreate(LPCREATESTRUCT lpCreateStruct);

    CView* GetActiveView() const { return m_pActiveView; }
    CDocument* GetActiveDocument() const;
    // Lets the views finish their set-up and titles the window; called once by the
    // document template when it has created the frame.
    void InitialUpdateFrame(CDocument* pDocument, BOOL bMakeVisible);
    // With FWS_ADDTOTITLE: the frame's title joined with the document's.
    virtual void OnUpdateFrameTitle(BOOL bAddToTitle);

    // Routes a command: the active view (then its document), this frame, the application.
    BOOL OnCmdMsg(UINT nID, AFX_CMDHANDLERINFO* pHandlerInfo) override;
    // Where menu items and accelerators deliver their commands.
    BOOL OnCommand(UINT nID);

    // The control bar with this identifier, such as AFX_IDW_STATUS_BAR, or nullptr.
    CWnd* GetControlBar(UINT nID) const;
    void ShowControlBar(CWnd* pBar, BOOL bShow, BOOL bDelay);
    // The status bar's message pane: a command's prompt (the first line of its string)
    // or any text.
    void SetMessageText(UINT nID);
    void SetMessageText(const char* text);

    QMainWindow* GetMainWindow() const;
    const std::string& GetTitle() const { return m_strTitle; }

protected:
    // The framework's handler of ID_VIEW_STATUS_BAR: shows or hides the status bar.
    void OnViewStatusBar();
    BOOL CreateView(CCreateContext& context);

    std::string m_strTitle; // the first line of the resource's string

    DECLARE_MESSAGE_MAP()

private:
    void CreateMenuBar(UINT nIDResource);
    void CreateAccelerators(UINT nIDResource);
    void UpdateMenuChecks(QMenu& menu);
    // The menu item of command nID whose text names sequence after its tab, or nullptr.
    QAction* MenuItemShowing(UINT nID, const QKeySequence& sequence) const;

    std::vector<std::unique_ptr<CView>> m_views;
    CView* m_pActiveView{};
};
