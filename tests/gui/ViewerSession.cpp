#include "tests/gui/ViewerSession.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <cstdlib>

#include "resources/ApplicationResources.h"

namespace {

// Qt's settings of the program under test go to folder, never to the user's.
void KeepSettingsIn(const TemporaryFolder& folder) {
    setenv("XDG_CONFIG_HOME", folder.Path().c_str(), 1);
    QApplication::setQuitOnLastWindowClosed(false);
}

// Any modal window a failed test left open goes first. A real process holds the
// single-instance lock until it ends; sessions of one test process come one after another.
void EndLikeAProcess() {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->close();
    }
    g_hInstanceMutex.Close();
    QCoreApplication::processEvents();
}

} // namespace

ViewerSession::ViewerSession() {
    KeepSettingsIn(m_settings);
    m_frame = std::make_unique<CMainFrame>(m_record);
    m_frame->show();
}

ViewerSession::~ViewerSession() {
    EndLikeAProcess();
    m_frame.reset();
}

CVOQ006View& ViewerSession::View() {
    return *m_frame->findChild<CVOQ006View*>();
}

QStatusBar& ViewerSession::StatusBar() {
    return *m_frame->statusBar();
}

QLabel& ViewerSession::MessagePane() {
    return *StatusBar().findChild<QLabel*>(QStringLiteral("pane0"));
}

std::string ViewerSession::MessageText() {
    return MessagePane().text().toStdString();
}

std::string ViewerSession::MessageAccessibleName() {
    return MessagePane().accessibleName().toStdString();
}

namespace {

std::vector<QMenu*> MenusOf(QMainWindow& frame) {
    std::vector<QMenu*> menus;
    for (QAction* title : frame.menuBar()->actions()) {
        if (title->menu() != nullptr) {
            menus.push_back(title->menu());
        }
    }
    return menus;
}

} // namespace

std::vector<QMenu*> ViewerSession::Menus() {
    return MenusOf(*m_frame);
}

void ViewerSession::Trigger(ResourceId command) {
    QAction* action = ActionOf(command);
    ASSERT_NE(action, nullptr) << "no menu item for command " << command;
    action->trigger();
}

void ViewerSession::Activate() {
    m_frame->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(m_frame.get()));
}

QImage ViewerSession::GrabView() {
    QCoreApplication::processEvents();
    return View().grab().toImage();
}

ProgramSession::ProgramSession() {
    KeepSettingsIn(m_settings);
    m_app = std::make_unique<CVOQ006App>(m_argc, m_argv);
}

ProgramSession::~ProgramSession() {
    EndLikeAProcess();
    m_app.reset();
}

bool ProgramSession::InitInstance() {
    bool started = false;
    WithModal([&] { started = m_app->InitInstance(); }, [&](QWidget& box) { RecordBox(box); });
    return started;
}

int ProgramSession::RunLaterCopy() {
    int status = -1;
    WithModal([&] { status = m_app->Run(); }, [&](QWidget& box) { RecordBox(box); });
    return status;
}

void ProgramSession::RecordBox(QWidget& box) {
    auto* messageBox = qobject_cast<QMessageBox*>(&box);
    ASSERT_NE(messageBox, nullptr) << "a modal window that is no message box";
    m_boxes.push_back({messageBox->text().toStdString(), messageBox->windowTitle().toStdString()});
    QTest::keyClick(messageBox, Qt::Key_Return);
}

CMainFrame* ProgramSession::MainFrame() const {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* frame = dynamic_cast<CMainFrame*>(widget);
            frame != nullptr && frame->isVisible()) {
            return frame;
        }
    }
    return nullptr;
}

QAction* ActionOf(QMainWindow& frame, ResourceId command) {
    const std::vector<QMenu*> menus = MenusOf(frame);
    const auto popups = MainMenu();
    for (std::size_t m = 0; m < popups.size() && m < menus.size(); ++m) {
        for (std::size_t i = 0; i < popups[m].items.size(); ++i) {
            if (popups[m].items[i].text != nullptr && popups[m].items[i].command == command) {
                return menus[m]->actions().value(static_cast<qsizetype>(i));
            }
        }
    }
    return nullptr;
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
