#pragma once

#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "resources/Resource.h"
#include "shell/MainFrame.h"
#include "shell/VOQ006App.h"
#include "shell/VOQ006View.h"
#include "tests/support/TemporaryFolder.h"
#include "wave/WaveRecord.h"

class QAction;
class QLabel;
class QMainWindow;
class QMenu;
class QStatusBar;

// The menu item of a command in a main window's menus: the item at the place the menu's
// resource gives the command, or nullptr.
QAction* ActionOf(QMainWindow& frame, ResourceId command);

// The main window as the start-up makes it, over a wave record of the session's own,
// shown. Qt's settings (where the file dialog keeps its history) go to a folder of the
// session's own. Everything goes with the session.
class ViewerSession {
public:
    ViewerSession();
    ~ViewerSession();
    ViewerSession(const ViewerSession&) = delete;
    ViewerSession& operator=(const ViewerSession&) = delete;

    WaveRecord& Record() { return m_record; }
    CMainFrame& Frame() { return *m_frame; }
    CVOQ006View& View();
    QStatusBar& StatusBar();
    // The status bar's message pane, its text and the text screen readers read.
    QLabel& MessagePane();
    std::string MessageText();
    std::string MessageAccessibleName();

    // The menu bar's drop-down menus, in order, and the action of a command's menu item.
    std::vector<QMenu*> Menus();
    QAction* ActionOf(ResourceId command) { return ::ActionOf(*m_frame, command); }
    // Chooses a command's menu item.
    void Trigger(ResourceId command);

    // Makes the main window the active window, as a user's click would.
    void Activate();
    // The view as it is painted now.
    QImage GrabView();

private:
    TemporaryFolder m_settings;
    WaveRecord m_record;
    std::unique_ptr<CMainFrame> m_frame;
};

// The text and caption of a message box the program showed.
struct MessageBoxSeen {
    std::string text;
    std::string caption;
};

// The program made in this process as main() makes it (with the test's QApplication, so
// that command-line arguments play no part), with Qt's settings in a folder of its own. A
// message box the start-up shows is recorded and answered with OK.
class ProgramSession {
public:
    ProgramSession();
    ~ProgramSession();
    ProgramSession(const ProgramSession&) = delete;
    ProgramSession& operator=(const ProgramSession&) = delete;

    // The start-up of a copy that goes on: true once it shows its main window.
    bool InitInstance();
    // The start-up of a copy that ends there: its exit status.
    int RunLaterCopy();

    // The main window the start-up showed, or nullptr.
    CMainFrame* MainFrame() const;
    const std::vector<MessageBoxSeen>& Boxes() const { return m_boxes; }

private:
    void RecordBox(QWidget& box);

    TemporaryFolder m_settings;
    int m_argc{1};
    char m_program[8] = "voq006";
    char* m_argv[2] = {m_program, nullptr};
    std::unique_ptr<CVOQ006App> m_app;
    std::vector<MessageBoxSeen> m_boxes;
};

// Starts a modal loop with start and, once a modal window is open inside it, calls
// interact with it. interact must end the modal window. Returns false (and closes every
// modal window) when none opened within timeoutMs.
bool WithModal(const std::function<void()>& start, const std::function<void(QWidget&)>& interact,
               int timeoutMs = 5000);

// The widget that is the modal window open now, or nullptr.
QWidget* ActiveModal();
