#pragma once

#include <memory>

#include "platform/NamedLock.h"
#include "platform/WindowActivation.h"
#include "platform/XConnectionWatch.h"
#include "shell/framework/WinApp.h"
#include "wave/WaveRecord.h"

// The name of the lock that only the first running copy of the program holds.
inline constexpr const char* kInstanceMutexName = "VOQ";
// The caption of the main window. It never changes while the window is open, and a later
// copy of the program finds the running one by it.
inline constexpr const char* kMainWindowTitle = "ソラニカの波動";
// The root of the framework's per-user settings; the program stores nothing there.
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

// The application object: start-up, the version box, and the one wave record of the
// process, which it hands to the view.
class CVOQ006App : public CWinApp {
public:
    CVOQ006App();

    BOOL InitInstance() override;

    // The sound the view shows, from start to exit.
    WaveRecord& Record() { return m_record; }

protected:
    // The handler of ID_APP_ABOUT: shows the version box until it is closed.
    void OnVersionInfo();

    DECLARE_MESSAGE_MAP()

private:
    // The single-instance guard, run before anything else at start-up, before the
    // command line is read: TRUE for the first running copy. FALSE for a later copy,
    // which has either handed over to the first one (exit status 0) or told the user why
    // it ends (exit status 1).
    BOOL GuardSingleInstance();
    // Ends the program with status 1 and one line when the X server goes, from start-up
    // until the process ends; ends a dialog that another client destroys as if it were
    // cancelled.
    void WatchXConnection();
    // Ends the program with status 1 when another client destroys the main window, and
    // notes the window in the lock file for later copies.
    void WatchMainWindow();

    WaveRecord m_record;
    std::unique_ptr<XConnectionWatch> m_connectionWatch;
};
