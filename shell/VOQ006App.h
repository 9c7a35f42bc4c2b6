#pragma once

#include <QApplication>

#include <array>
#include <memory>
#include <optional>

#include "platform/NamedLock.h"
#include "platform/WindowActivation.h"
#include "platform/XConnectionWatch.h"
#include "shell/CommandBinder.h"
#include "wave/WaveRecord.h"

class CMainFrame;

// The name of the lock that only the first running copy of the program holds.
inline constexpr const char* kInstanceMutexName = "VOQ";
// The caption of the main window. It never changes while the window is open, and a later
// copy of the program finds the running one by it.
inline constexpr const char* kMainWindowTitle = "ソラニカの波動";
// The organisation under which Qt keeps its per-user settings (the file dialog's
// history); the program stores nothing there.
inline constexpr const char* kRegistryKey = "VOQ016";
// The program's name at the start of a line it prints on standard error.
inline constexpr const char* kProgramName = "voq006";
// How long a later copy waits for the window of a first copy that is still starting.
inline constexpr int kStartingCopyWaitMs = 3000;

// The single-instance lock. The first copy holds it from start-up until the process ends
// and never closes it; the system lets it go with the process.
extern NamedLock g_hInstanceMutex;
// The first copy's main window, as a later copy found it during start-up.
extern WindowId g_hRunningWindow;

// The application: the Qt application, the start-up, the version box's command, and the
// one wave record of the process, which it hands to the view.
class CVOQ006App {
public:
    static const std::array<Command<CVOQ006App>, 1> kCommands;

    // Makes the Qt application from the command line (Qt takes its own options out of it;
    // the program takes none, and a file named there is not loaded), or uses the one that
    // exists already.
    CVOQ006App(int& argc, char** argv);
    ~CVOQ006App();
    CVOQ006App(const CVOQ006App&) = delete;
    CVOQ006App& operator=(const CVOQ006App&) = delete;

    // Start-up: the single-instance guard, then the main window with its view, shown under
    // its caption. False for a later copy, which ends there.
    bool InitInstance();
    // Runs the start-up and then the event loop until the main window closes; the exit
    // status: 0, or 1 after a message box or when the X side went away.
    int Run();

private:
    // The handler of ID_APP_ABOUT: shows the version box until it is closed.
    void OnVersionInfo();

    // True for the first running copy. A later copy has either handed over to the first
    // one (exit status 0) or told the user why it ends (exit status 1).
    bool GuardSingleInstance();
    // Ends the program with status 1 and one line when the X server goes, from start-up
    // until the process ends; ends a dialog that another client destroys as if it were
    // cancelled.
    void WatchXConnection();
    // Ends the program with status 1 when another client destroys the main window, and
    // notes the window in the lock file for later copies.
    void WatchMainWindow();

    // In the order of their lives: the watch goes last, so that its message handler stays
    // until Qt has closed the connection, and the windows go first, while Qt still runs.
    std::unique_ptr<XConnectionWatch> m_connectionWatch;
    std::optional<QApplication> m_application;
    WaveRecord m_record;
    std::unique_ptr<CMainFrame> m_mainFrame;
    int m_exitStatus{};
};
