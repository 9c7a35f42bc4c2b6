#include "shell/framework/Wnd.h"

#include <QVariant>

namespace {
// The widget property that leads back from a widget to its window object.
constexpr const char* kWindowObjectProperty = "voqWindowObject";
} // namespace

CWnd::~CWnd() {
    DestroyWindow();
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT&) {
    return TRUE;
}

BOOL CWnd::DestroyWindow() {
    if (m_hWnd.isNull()) {
        return FALSE;
    }
    delete m_hWnd.data();
    return TRUE;
}

void CWnd::Attach(QWidget* widget) {
    m_hWnd = widget;
    widget->setProperty(kWindowObjectProperty, QVariant::fromValue(static_cast<void*>(this)));
}

CWnd* CWnd::FromHandlePermanent(const QWidget* widget) {
    return widget != nullptr
               ? static_cast<CWnd*>(widget->property(kWindowObjectProperty).value<void*>())
               : nullptr;
}

CWnd* CWnd::GetDescendantWindow(UINT nID) const {
    if (GetSafeHwnd() == nullptr) {
        return nullptr;
    }
    for (const QWidget* child : GetSafeHwnd()->findChildren<QWidget*>()) {
        if (CWnd* window = FromHandlePermanent(child); window != nullptr && window->m_nID == nID) {
            return window;
        }
    }
    return nullptr;
}

int CWnd::SendCreate(CREATESTRUCT& cs) {
    const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(WM_CREATE, 0);
    if (entry == nullptr) {
        return 0;
    }
    return (this->*(entry->pfnCreate))(&cs);
}

BOOL CWnd::ShowWindow(int nCmdShow) {
    QWidget* widget = GetSafeHwnd();
    if (widget == nullptr) {
        return FALSE;
    }
    const BOOL wasVisible = widget->isVisible() ? TRUE : FALSE;
    switch (nCmdShow) {
    case SW_HIDE:
        widget->hide();
        break;
    case SW_MINIMIZE:
        widget->showMinimized();
        break;
    case SW_RESTORE:
        widget->showNormal();
        break;
    default:
        widget->show();
        break;
    }
    return wasVisible;
}

BOOL CWnd::IsWindowVisible() const {
    return GetSafeHwnd() != nullptr && GetSafeHwnd()->isVisible() ? TRUE : FALSE;
}

void CWnd::SetWindowText(const char* text) {
    if (QWidget* widget = GetSafeHwnd()) {
        widget->setWindowTitle(QString::fromUtf8(text));
        // A window's icon name is its caption, as on the home platform: taskbars and
        // pagers that label windows by their icon names show it.
        if (widget->isWindow()) {
            widget->setWindowIconText(widget->windowTitle());
        }
    }
}

std::string CWnd::GetWindowText() const {
    return GetSafeHwnd() != nullptr ? GetSafeHwnd()->windowTitle().toStdString() : std::string();
}

void CWnd::UpdateWindow() {
    if (QWidget* widget = GetSafeHwnd()) {
        widget->repaint();
    }
}

void CWnd::Invalidate(BOOL) {
    // Every paint of this framework erases what it repaints, so there is nothing to ask
    // for beyond a repaint of the whole widget.
    if (QWidget* widget = GetSafeHwnd()) {
        widget->update();
    }
}
