#include "shell/framework/View.h"

#include <QMainWindow>
#include <QPaintEvent>
#include <QPainter>

#include "display/qt/PainterSurface.h"
#include "shell/framework/CreateContext.h"
#include "shell/framework/Document.h"

// The widget of a view: it only forwards its paints.
class ViewWidget final : public QWidget {
public:
    explicit ViewWidget(CView& view, QWidget* parent) : QWidget(parent), m_view(view) {
        // The view paints every pixel itself (white first), so Qt need not clear it.
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        m_view.Paint(painter, rect());
    }

private:
    CView& m_view;
};

BOOL CView::Create(CWnd& parent, CCreateContext& context) {
    CREATESTRUCT cs;
    cs.style = WS_CHILD | WS_VISIBLE;
    cs.lpCreateParams = &context;
    if (!PreCreateWindow(cs)) {
        return FALSE;
    }
    m_pDocument = context.m_pCurrentDoc;
    auto* widget = new ViewWidget(*this, parent.GetSafeHwnd());
    widget->setObjectName(QStringLiteral("view"));
    Attach(widget, cs.style);
    if (auto* window = qobject_cast<QMainWindow*>(parent.GetSafeHwnd())) {
        window->setCentralWidget(widget);
    }
    if (SendCreate(cs) == -1) {
        DestroyWindow();
        return FALSE;
    }
    return TRUE;
}

void CView::OnInitialUpdate() {
    Invalidate(TRUE);
}

BOOL CView::OnCmdMsg(UINT nID, AFX_CMDHANDLERINFO* pHandlerInfo) {
    if (CWnd::OnCmdMsg(nID, pHandlerInfo)) {
        return TRUE;
    }
    return m_pDocument != nullptr ? m_pDocument->OnCmdMsg(nID, pHandlerInfo) : FALSE;
}

void CView::Paint(QPainter& painter, const QRect& area) {
    // The drawing's colours are fixed, so the background is white whatever the theme.
    painter.fillRect(area, Qt::white);
    PainterSurface surface(painter);
    OnDraw(surface);
}
