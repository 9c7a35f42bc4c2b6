#include "shell/framework/View.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHelpEvent>
#include <QMainWindow>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>

#include "display/qt/PainterSurface.h"
#include "shell/framework/CreateContext.h"
#include "shell/framework/Document.h"
#include "shell/framework/FrameWnd.h"

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

    bool event(QEvent* event) override {
        if (event->type() == QEvent::ToolTip) {
            ShowToolTip(*static_cast<QHelpEvent*>(event));
            return true;
        }
        return QWidget::event(event);
    }

private:
    void ShowToolTip(const QHelpEvent& help) {
        std::string text;
        QRect area;
        if (!m_view.OnToolHitTest(help.pos(), text, area)) {
            QToolTip::hideText();
            return;
        }
        // Qt takes a text that looks like markup for rich text, and a path may hold "<b>";
        // escaped, and on one line however long.
        const QString shown = QStringLiteral("<p style='white-space:pre'>%1</p>")
                                  .arg(QString::fromStdString(text).toHtmlEscaped());
        QToolTip::showText(help.globalPos(), shown, this, area);
    }

    CView& m_view;
};

namespace {

// A plain widget is a "filler" to screen readers, which skip it; a view is an image.
QAccessibleInterface* ViewAccessible(const QString&, QObject* object) {
    if (auto* widget = dynamic_cast<ViewWidget*>(object)) {
        return new QAccessibleWidget(widget, QAccessible::Graphic);
    }
    return nullptr;
}

} // namespace

BOOL CView::Create(CFrameWnd& parent, CCreateContext& context) {
    static bool factoryInstalled = false;
    if (!factoryInstalled) {
        QAccessible::installFactory(ViewAccessible);
        factoryInstalled = true;
    }
    CREATESTRUCT cs;
    cs.lpCreateParams = &context;
    if (!PreCreateWindow(cs)) {
        return FALSE;
    }
    m_pDocument = context.m_pCurrentDoc;
    m_pFrame = &parent;
    auto* widget = new ViewWidget(*this, parent.GetMainWindow());
    widget->setObjectName(QStringLiteral("view"));
    Attach(widget);
    parent.GetMainWindow()->setCentralWidget(widget);
    return TRUE;
}

void CView::OnInitialUpdate() {
    Invalidate(TRUE);
}

BOOL CView::OnToolHitTest(const QPoint&, std::string&, QRect&) const {
    return FALSE;
}

BOOL CView::OnCmdMsg(UINT nID) {
    if (CWnd::OnCmdMsg(nID)) {
        return TRUE;
    }
    return m_pDocument != nullptr ? m_pDocument->OnCmdMsg(nID) : FALSE;
}

void CView::Paint(QPainter& painter, const QRect& area) {
    // The drawing's colours are fixed, so the background is white whatever the theme.
    painter.fillRect(area, Qt::white);
    PainterSurface surface(painter);
    OnDraw(surface);
}
