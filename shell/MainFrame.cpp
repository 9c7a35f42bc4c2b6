#include "shell/MainFrame.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QShortcut>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyleOptionMenuItem>

#include "platform/LockKeyIndicators.h"
#include "shell/VOQ006View.h"

const std::array<Command<CMainFrame>, 2> CMainFrame::kCommands{{
    {ID_APP_EXIT, &CMainFrame::OnAppExit},
    {ID_VIEW_STATUS_BAR, &CMainFrame::OnViewStatusBar},
}};

namespace {

// A caption with the window menu, a close box and a minimise button: the window can be
// moved, minimised and closed, but neither resized nor maximised.
constexpr Qt::WindowFlags kFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                   Qt::WindowMinimizeButtonHint;

// The status bar's panes after the message pane, in order, with the lock key each shows.
struct LockKeyPane {
    ResourceId indicator;
    LockKey key;
};
constexpr std::array<LockKeyPane, 4> kLockKeyPanes{{
    {ID_INDICATOR_KANA, LockKey::Kana},
    {ID_INDICATOR_CAPS, LockKey::CapsLock},
    {ID_INDICATOR_NUM, LockKey::NumLock},
    {ID_INDICATOR_SCRL, LockKey::ScrollLock},
}};

// The menu bar's style: the application's, with the keyboard habit of GNOME and KDE
// programs that Qt's styles on Linux leave out: a lone Alt press and release moves the
// focus to the menu bar, its first title highlighted; the arrows move, Esc leaves.
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

QLabel* NewPane(QStatusBar& bar, int index) {
    auto* pane = new QLabel(&bar);
    pane->setObjectName(QStringLiteral("pane%1").arg(index));
    pane->setTextFormat(Qt::PlainText);
    return pane;
}

} // namespace

CMainFrame::CMainFrame(WaveRecord& record) : QMainWindow(nullptr, kFlags) {
    setWindowTitle(ResourceString(IDR_MAINFRAME));
    setWindowIcon(MainIcon());
    setFixedSize(kWidth, kHeight);
    CreateMenuBar();
    auto* view = new CVOQ006View(record, m_messagePane, this);
    setCentralWidget(view);
    CreateStatusBar();
    m_commands.Bind(*this, kCommands);
    m_commands.Bind(*view, CVOQ006View::kCommands);
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::CreateMenuBar() {
    // The style first: the menu bar decides on its keyboard habits when it joins the window.
    auto* bar = new QMenuBar;
    auto* style = new MenuBarStyle;
    style->setParent(bar);
    bar->setStyle(style);
    setMenuBar(bar);
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    f10->setContext(Qt::WindowShortcut);
    connect(f10, &QShortcut::activated, bar, [bar] { FocusMenuBar(*bar); });
    for (const PopupMenuResource& popup : MainMenu()) {
        auto* menu = new QMenu(QString::fromUtf8(popup.title), bar);
        bar->addMenu(menu);
        for (const MenuItemResource& item : popup.items) {
            AddMenuItem(*menu, item);
        }
        // The pane goes before the menus: the connections go with it.
        connect(menu, &QMenu::aboutToShow, &m_messagePane, [this] { m_messagePane.MenuOpened(); });
        connect(menu, &QMenu::aboutToHide, &m_messagePane, [this] { m_messagePane.MenuClosed(); });
    }
}

void CMainFrame::AddMenuItem(QMenu& menu, const MenuItemResource& item) {
    if (item.text == nullptr) {
        menu.addSeparator();
        return;
    }
    QAction* action = m_commands.ActionFor(item);
    menu.addAction(action);
    if (item.command == ID_VIEW_STATUS_BAR) {
        // The item carries a check mark while the status bar is visible.
        connect(&menu, &QMenu::aboutToShow, this, [this, action] {
            action->setCheckable(true);
            action->setChecked(statusBar()->isVisible());
        });
    }
}

void CMainFrame::CreateStatusBar() {
    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("statusBar"));
    // The window cannot be resized: no size grip.
    bar->setSizeGripEnabled(false);
    setStatusBar(bar);
    QLabel* message = NewPane(*bar, 0);
    bar->addWidget(message, 1);
    for (std::size_t i = 0; i < kLockKeyPanes.size(); ++i) {
        QLabel* pane = NewPane(*bar, static_cast<int>(i) + 1);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setAlignment(Qt::AlignCenter);
        // Wide enough for the text, so the pane keeps its place while it is blank.
        const QString text = ResourceString(kLockKeyPanes.at(i).indicator);
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(text) + 12);
        bar->addPermanentWidget(pane);
        m_lockKeyPanes.at(i) = pane;
    }
    m_messagePane.Attach(*message);
    m_lockKeys = std::make_unique<LockKeyIndicators>([this] { UpdateLockKeyPanes(); });
    UpdateLockKeyPanes();
}

// Each indicator pane shows its text while its key is locked, and is blank otherwise.
void CMainFrame::UpdateLockKeyPanes() {
    for (std::size_t i = 0; i < kLockKeyPanes.size(); ++i) {
        const LockKeyPane& pane = kLockKeyPanes.at(i);
        m_lockKeyPanes.at(i)->setText(m_lockKeys->IsOn(pane.key) ? ResourceString(pane.indicator)
                                                                 : QString());
    }
}

// Prompts reach the status bar through the message pane: Qt's status tips would replace
// every pane with a temporary message.
bool CMainFrame::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        m_messagePane.ShowPrompt(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::OnAppExit() {
    close();
}

void CMainFrame::OnViewStatusBar() {
    statusBar()->setVisible(!statusBar()->isVisible());
}
