#pragma once

#include <string>

#include <QPointer>
#include <QWidget>

#include "shell/framework/CmdTarget.h"

// The parameters a window is created from. PreCreateWindow may change them.
struct CREATESTRUCT {
    void* lpCreateParams{};                   // the CCreateContext of a frame or view
    int cy{CW_USEDEFAULT}, cx{CW_USEDEFAULT}; // outer size in pixels
    DWORD style{};
};
using LPCREATESTRUCT = CREATESTRUCT*;

// A window: a command target with a Qt widget. The widget is deleted with the object
// (unless Qt deleted it first with its parent).
class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // The widget, or nullptr before creation and after destruction.
    QWidget* GetSafeHwnd() const { return m_hWnd.data(); }
    // The window object of a widget made by this framework, or nullptr.
    static CWnd* FromHandlePermanent(const QWidget* widget);

    // Gives a child window its identifier, such as AFX_IDW_STATUS_BAR (0 by default).
    void SetDlgCtrlID(UINT nID) { m_nID = nID; }
    // The window with this identifier among this window's children and their children,
    // or nullptr.
    CWnd* GetDescendantWindow(UINT nID) const;

    virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
    BOOL DestroyWindow();

    BOOL ShowWindow(int nCmdShow);
    BOOL IsWindowVisible() const;
    void SetWindowText(const char* text);
    std::string GetWindowText() const;
    // Paints the invalid parts of the window at once.
    void UpdateWindow();
    // Marks the whole client area for repainting; the next paint erases it first.
    void Invalidate(BOOL bErase = TRUE);

protected:
    // Calls the WM_CREATE handler of this object's tables: its result, or 0 without one.
    int SendCreate(CREATESTRUCT& cs);
    // Takes ownership of widget as this window's widget.
    void Attach(QWidget* widget);

    QPointer<QWidget> m_hWnd;
    UINT m_nID{};
};
