#pragma once

#include <string>

#include "shell/framework/Wnd.h"

class CDocument;
class CFrameWnd;
class QPainter;
class QPoint;
class QRect;
class DrawingSurface;
struct CCreateContext;

// A view: the client area of a frame, showing its document. Every repaint erases the
// whole area to white and then hands OnDraw a fresh drawing surface in its default state.
// Screen readers meet it as an image; the view gives it a name and a description (its
// widget's accessible name and description) that say what it shows.
class CView : public CWnd {
public:
    ~CView() override = default;

    CDocument* GetDocument() const { return m_pDocument; }
    // The frame whose client the view is.
    CFrameWnd* GetParentFrame() const { return m_pFrame; }

    // Creates the view's widget as the client of parent.
    BOOL Create(CFrameWnd& parent, CCreateContext& context);

    // The paint hook, called for every repaint.
    virtual void OnDraw(DrawingSurface& surface) = 0;
    // Called once, after the frame and document are complete.
    virtual void OnInitialUpdate();
    // The tool tip for a point of the client area: FALSE for none; else its plain text and
    // the area (client coordinates) over which it stays.
    virtual BOOL OnToolHitTest(const QPoint& point, std::string& text, QRect& area) const;

    // Offers a command to the view's own tables, then to its document's.
    BOOL OnCmdMsg(UINT nID) override;

protected:
    CView() = default;

    // Paints the view onto painter: white background, then OnDraw. Used by the widget.
    friend class ViewWidget;
    void Paint(QPainter& painter, const QRect& area);

private:
    CDocument* m_pDocument{};
    CFrameWnd* m_pFrame{};
};
