#include "shell/framework/FrameWnd.h"

#include <functional>
#include <utility>

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QShortcut>
#include <QStatusBar>
#include <QStyleOptionMenuItem>

#include "shell/framework/CreateContext.h"
#include "shell/framework/Document.h"
#include "shell/framework/ResourceTables.h"
#include "shell/framework/StatusBar.h"
#include "shell/framework/View.h"
#include "shell/framework/WinApp.h"

namespace {

// The widget of a frame window.
class FrameWidget final : public QMainWindow {
public:
    FrameWidget() = default;

protected:
    bool event(QEvent* event) override {
        // Prompts reach the status bar through the frame's own message pane; Qt's status
        // tips would replace every pane with a temporary message.
        if (event->type() == QEvent::StatusTip) {
            return true;
        }
        return QMainWindow::event(event);
    }
};

// A drop-down menu that says when it no longer highlights any item while it stays open:
// the pointer went onto a separator or off the menu. Qt only signals a new highlight.
class FrameMenu final : public QMenu {
public:
    FrameMenu(const QString& title, QWidget* parent, std::function<void()> onNoHighlight)
        : QMenu(title, parent), m_onNoHighlight(std::move(onNoHighlight)) {}

protected:
    bool event(QEvent* event) override {
        const bool result = QMenu::event(event);
        const bool highlighted = activeAction() != nullptr;
        if (m_highlighted && !highlighted) {
            m_onNoHighlight();
        }
        m_highlighted = highlighted;
        return result;
    }

private:
    std::function<void()> m_onNoHighlight;
    bool m_highlighted{false};
};

// The menu bar's style: the application's, with the keyboard habit of the home platform
// and of GNOME and KDE programs that Qt's styles on Linux leave out: a lone Alt press and
// release moves the focus to the menu bar, its first title highlighted; the arrows move,
// Esc leaves.
class MenuBarStyle final : public QProxyStyle {
public:
    MenuBarStyle() : QProxyStyle(QApplication::style()->name()) {}

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_MenuBar_AltKeyNavigation) {
            return 1;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

    // Qt's styles on Linux mark a title only while its menu is open; the menu bar with the
    // keyboard focus marks its current title too, so that the user sees where the arrows
    // start.
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element == CE_MenuBarItem && item != nullptr && widget != nullptr &&
            widget->hasFocus() && (item->state & State_Selected) != 0) {
            QStyleOptionMenuItem current = *item;
            current.state |= State_Sunken;
            QProxyStyle::drawControl(element, &current, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

// F10 takes the keyboard to the menu bar as GNOME and KDE programs do: the first menu
// opens, the arrows move from menu to menu, Esc closes it and a second Esc leaves.
void FocusMenuBar(QMenuBar& bar) {
    for (QAction* title : bar.actions()) {
        if (title->isVisible() && title->isEnabled()) {
            bar.setActiveAction(title);
            return;
        }
    }
}

// The keys of an accelerator entry: a letter or a digit, whose virtual key is its ASCII
// code as is its Qt key code, with Ctrl where the entry asks for it.
QKeySequence KeySequenceOf(const AcceleratorResource& entry) {
    const Qt::KeyboardModifiers modifiers =
        (entry.flags & FCONTROL) != 0 ? Qt::ControlModifier : Qt::NoModifier;
    return QKeySequence(QKeyCombination(modifiers, static_cast<Qt::Key>(entry.key)));
}

// The accelerator entry of command nID in the table, or nullptr.
const AcceleratorResource* AcceleratorOf(const AcceleratorTableResource* table, UINT nID) {
    if (table != nullptr) {
        for (const AcceleratorResource& entry : table->entries) {
            if (entry.command == nID) {
                return &entry;
            }
        }
    }
    return nullptr;
}

} // namespace

Qt::WindowFlags AfxWindowFlagsFromStyle(DWORD style) {
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint;
    if ((style & WS_CAPTION) == WS_CAPTION) {
        flags |= Qt::WindowTitleHint;
    }
    if ((style & WS_SYSMENU) != 0) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    }
    if ((style & WS_MINIMIZEBOX) != 0) {
        flags |= Qt::WindowMinimizeButtonHint;
    }
    if ((style & WS_MAXIMIZEBOX) != 0) {
        flags |= Qt::WindowMaximizeButtonHint;
    }
    return flags;
}

BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
ON_WM_CREATE()
ON_COMMAND(ID_VIEW_STATUS_BAR, OnViewStatusBar)
END_MESSAGE_MAP()

CFrameWnd::CFrameWnd() = default;

CFrameWnd::~CFrameWnd() {
    // The view first: its widget lives inside the frame's widget.
    m_view.reset();
    if (CWinApp* app = AfxGetApp(); app != nullptr && app->m_pMainWnd == this) {
        app->m_pMainWnd = nullptr;
    }
}

BOOL CFrameWnd::LoadFrame(UINT nIDResource, DWORD dwDefaultStyle, CCreateContext* pContext) {
    CREATESTRUCT cs;
    cs.style = dwDefaultStyle;
    cs.lpCreateParams = pContext;
    if (!PreCreateWindow(cs)) {
        return FALSE;
    }

    auto* widget = new FrameWidget;
    widget->setObjectName(QStringLiteral("frame"));
    widget->setWindowFlags(AfxWindowFlagsFromStyle(cs.style));
    widget->setWindowTitle(QString::fromStdString(AfxFirstLine(AfxLoadString(nIDResource))));
    widget->setWindowIcon(AfxLoadIcon(nIDResource));
    // The outer size. On X11 the window manager draws the caption and the border outside
    // the window a program creates, in sizes of its own choosing, so the outer size here
    // is the size of that window: menu bar, view and status bar together. The view then
    // gets the full width and the height left by the menu bar and the status bar, which
    // holds the whole drawing (the legend ends at x = 936, the time labels end at
    // y = 420) with any usual menu and status bar; hiding the status bar gives its
    // height to the view. The frame has no resize border.
    if (cs.cx != CW_USEDEFAULT && cs.cy != CW_USEDEFAULT) {
        widget->setFixedSize(cs.cx, cs.cy);
    }
    Attach(widget);
    CreateMenuBar(nIDResource);

    if (SendCreate(cs) == -1) {
        DestroyWindow();
        return FALSE;
    }
    return TRUE;
}

int CFrameWnd::OnCreate(LPCREATESTRUCT lpCreateStruct) {
    auto* context = static_cast<CCreateContext*>(lpCreateStruct->lpCreateParams);
    if (context == nullptr || context->m_pNewViewClass == nullptr) {
        return 0;
    }
    std::unique_ptr<CView> view = AfxCreateObjectAs<CView>(context->m_pNewViewClass);
    if (view == nullptr || !view->Create(*this, *context)) {
        return -1;
    }
    m_view = std::move(view);
    return 0;
}

CDocument* CFrameWnd::GetActiveDocument() const {
    return m_view != nullptr ? m_view->GetDocument() : nullptr;
}

void CFrameWnd::InitialUpdateFrame() {
    if (m_view != nullptr) {
        m_view->OnInitialUpdate();
    }
}

BOOL CFrameWnd::OnCmdMsg(UINT nID) {
    if (m_view != nullptr && m_view->OnCmdMsg(nID)) {
        return TRUE;
    }
    if (CWnd::OnCmdMsg(nID)) {
        return TRUE;
    }
    CWinApp* app = AfxGetApp();
    return app != nullptr ? app->OnCmdMsg(nID) : FALSE;
}

BOOL CFrameWnd::OnCommand(UINT nID) {
    return OnCmdMsg(nID);
}

QMainWindow* CFrameWnd::GetMainWindow() const {
    return static_cast<QMainWindow*>(GetSafeHwnd());
}

CWnd* CFrameWnd::GetControlBar(UINT nID) const {
    return nID != 0 ? GetDescendantWindow(nID) : nullptr;
}

void CFrameWnd::OnViewStatusBar() {
    CWnd* bar = GetControlBar(AFX_IDW_STATUS_BAR);
    if (bar != nullptr) {
        bar->ShowWindow(bar->IsWindowVisible() ? SW_HIDE : SW_SHOW);
    }
}

void CFrameWnd::SetMessageText(UINT nID) {
    SetMessageText(AfxFirstLine(AfxLoadString(nID)).c_str());
}

void CFrameWnd::SetMessageText(const char* text) {
    if (auto* bar = dynamic_cast<CStatusBar*>(GetControlBar(AFX_IDW_STATUS_BAR))) {
        bar->SetPaneText(0, text);
    }
}

void CFrameWnd::UpdateMenuChecks(QMenu& menu) {
    // A menu item whose command is a control bar's identifier carries a check mark
    // while that bar is visible.
    for (QAction* action : menu.actions()) {
        if (CWnd* bar = GetControlBar(action->data().toUInt())) {
            action->setCheckable(true);
            action->setChecked(bar->IsWindowVisible() != FALSE);
        }
    }
}

void CFrameWnd::CreateMenuBar(UINT nIDResource) {
    const MenuResource* resource = AfxFindMenu(nIDResource);
    const AcceleratorTableResource* accelerators = AfxFindAccelerators(nIDResource);
    QMainWindow* window = GetMainWindow();
    if (resource == nullptr || window == nullptr) {
        return;
    }
    // The style first: the menu bar decides on its keyboard habits when it joins the window.
    auto* bar = new QMenuBar;
    auto* style = new MenuBarStyle;
    style->setParent(bar);
    bar->setStyle(style);
    window->setMenuBar(bar);
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), window);
    f10->setContext(Qt::WindowShortcut);
    QObject::connect(f10, &QShortcut::activated, bar, [bar] { FocusMenuBar(*bar); });
    for (const PopupMenuResource& popup : resource->popups) {
        auto* menu = new FrameMenu(QString::fromUtf8(popup.title), bar,
                                   [this] { SetMessageText(AFX_IDS_IDLEMESSAGE); });
        bar->addMenu(menu);
        for (const MenuItemResource& item : popup.items) {
            if (item.text == nullptr) {
                menu->addSeparator();
                continue;
            }
            // Qt shows the text after a tab in the shortcut column. An item whose command
            // has an accelerator carries its key as the item's shortcut instead: the menu
            // shows it in the shortcut column and screen readers read it as the item's key,
            // apart from the item's name; it is the key's one binding.
            QAction* action = menu->addAction(QString::fromUtf8(item.text));
            const UINT command = item.command;
            action->setData(command);
            if (const AcceleratorResource* key = AcceleratorOf(accelerators, command)) {
                action->setText(action->text().section(u'\t', 0, 0));
                action->setShortcut(KeySequenceOf(*key));
            }
            QObject::connect(action, &QAction::triggered, window,
                             [this, command] { OnCommand(command); });
            QObject::connect(action, &QAction::hovered, window,
                             [this, command] { SetMessageText(command); });
        }
        QObject::connect(menu, &QMenu::aboutToShow, window, [this, menu] {
            UpdateMenuChecks(*menu);
            SetMessageText(AFX_IDS_IDLEMESSAGE);
        });
        QObject::connect(menu, &QMenu::aboutToHide, window,
                         [this] { SetMessageText(AFX_IDS_IDLEMESSAGE); });
    }
}
