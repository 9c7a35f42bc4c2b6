#pragma once

#include "shell/framework/Wnd.h"

class CDocument;
class QPainter;
class QRect;
class DrawingSurface;
struct CCreateContext;

// A view: the client area of a frame, showing its document. Every repaint erases the
// whole area to white and then hands OnDraw a fresh drawing surface in its default state.
class CView : public CWnd {
public:
    ~CView() override = default;

    CDocument* GetDocument() const { return m_pDocument; }

    // Creates the view's widget as the client of parent, a frame.
    BOOL Create(CWnd& parent, CCreateContext& context);

    // The paint hook, called for every repaint.
    virtual void OnDraw(DrawingSurface& surface) = 0;
    // Called once, after the frame and document are complete.
    virtual void OnInitialUpdate();

    // Offers a command to the view's own tables, then to its document's.
    BOOL OnCmdMsg(UINT nID, AFX_CMDHANDLERINFO* pHandlerInfo) override;

protected:
    CView() = default;

    // Paints the view onto painter: white background, then OnDraw. Used by the widget.
    friend class ViewWidget;
    void Paint(QPainter& painter, const QRect& area);

private:
    CDocument* m_pDocument{};
};
