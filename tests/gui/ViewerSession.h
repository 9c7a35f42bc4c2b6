#pragma once

#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/MainFrame.h"
#include "shell/VOQ006App.h"
#include "tests/support/TemporaryFolder.h"

class CVOQ006View;
class QMainWindow;
class QMenu;
class QAction;

// The viewer started inside the test process, as the real start-up does it: the
// program's resources, an application object, the framework's set-up with the given
// command-line arguments and InitInstance. Qt's settings (where the file dialog keeps
// its history) go to a folder of the session's own. Everything is torn down with the
// session.
class ViewerSession {
public:
    explicit ViewerSession(std::vector<std::string> arguments = {});
    ~ViewerSession();
    ViewerSession(const ViewerSession&) = delete;
    ViewerSession& operator=(const ViewerSession&) = delete;

    BOOL started() const { return m_started; }
    CVOQ006App& App() { return *m_app; }
    CMainFrame& Frame();
    CVOQ006View& View();
    QMainWindow& Window();
    QWidget& ViewWidget();
    CStatusBar& StatusBar() { return Frame().StatusBar(); }

    // The menu bar's drop-down menus, in order, and the action of a command.
    std::vector<QMenu*> Menus();
    QAction* ActionOf(UINT command);

    // Makes the frame the active window, as a user's click would.
    void Activate();
    // The view as it is painted now.
    QImage GrabView();

private:
    TemporaryFolder m_settings;
    std::unique_ptr<CVOQ006App> m_app;
    BOOL m_started{FALSE};
};

// Starts a modal loop with start and, once a modal window of type T is open inside it,
// calls interact with it. interact must end the modal window. Returns false (and closes
// every modal window) when none opened within timeoutMs.
bool WithModal(const std::function<void()>& start, const std::function<void(QWidget&)>& interact,
               int timeoutMs = 5000);

// The widget that is the modal window open now, or nullptr.
QWidget* ActiveModal();
