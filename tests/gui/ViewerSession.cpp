#include "tests/gui/ViewerSession.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>

#include <cstdlib>

#include "shell/VOQ006View.h"
#include "resources/ApplicationResources.h"
#include "shell/framework/ResourceTables.h"

ViewerSession::ViewerSession(std::vector<std::string> arguments) {
    setenv("XDG_CONFIG_HOME", m_settings.Path().c_str(), 1);
    QApplication::setQuitOnLastWindowClosed(false);
    AfxSetResourceTables(ApplicationResources());
    m_app = std::make_unique<CVOQ006App>();
    AfxWinInit(arguments);
    m_started = m_app->InitInstance();
}

ViewerSession::~ViewerSession() {
    // Any modal window a failed test left open goes first.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->close();
    }
    m_app.reset();
    // A real process holds the single-instance lock until it ends; sessions of one test
    // process come one after another.
    g_hInstanceMutex.Close();
    QCoreApplication::processEvents();
}

CMainFrame& ViewerSession::Frame() {
    return *static_cast<CMainFrame*>(m_app->m_pMainWnd);
}

CVOQ006View& ViewerSession::View() {
    return *static_cast<CVOQ006View*>(Frame().GetActiveView());
}

QMainWindow& ViewerSession::Window() {
    return *Frame().GetMainWindow();
}

QWidget& ViewerSession::ViewWidget() {
    return *View().GetSafeHwnd();
}

std::vector<QMenu*> ViewerSession::Menus() {
    std::vector<QMenu*> menus;
    for (QAction* action : Window().menuBar()->actions()) {
        if (action->menu() != nullptr) {
            menus.push_back(action->menu());
        }
    }
    return menus;
}

QAction* ViewerSession::ActionOf(UINT command) {
    for (QMenu* menu : Menus()) {
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator() && action->data().toUInt() == command) {
                return action;
            }
        }
    }
    return nullptr;
}

void ViewerSession::Activate() {
    Window().activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&Window()));
}

QImage ViewerSession::GrabView() {
    QCoreApplication::processEvents();
    return ViewWidget().grab().toImage();
}

QWidget* ActiveModal() {
    return QApplication::activeModalWidget();
}

bool WithModal(const std::function<void()>& start, const std::function<void(QWidget&)>& interact,
               int timeoutMs) {
    bool seen = false;
    bool timedOut = false;
    QObject guard; // ends the timers' connections when this function returns
    QTimer poll;
    poll.setInterval(10);
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&poll, &QTimer::timeout, &guard, [&] {
        QWidget* modal = ActiveModal();
        if (!seen && modal != nullptr && modal->isVisible()) {
            seen = true;
            clock.restart();
            interact(*modal);
        } else if (clock.elapsed() > timeoutMs) {
            // Nothing opened, or interact left the window open: close it, so no test
            // can hang on a modal window.
            poll.stop();
            timedOut = true;
            if (modal != nullptr) {
                modal->close();
            }
        }
    });
    poll.start();
    start();
    poll.stop();
    return seen && !timedOut;
}
