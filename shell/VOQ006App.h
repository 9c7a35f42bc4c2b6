#pragma once

#include "shell/framework/WinApp.h"
#include "wave/WaveRecord.h"

// The caption of the main window. It never changes while the window is open, and a later
// copy of the program finds the running one by it.
inline constexpr const char* kMainWindowTitle = "ソラニカの波動";
// The root of the framework's per-user settings; the program stores nothing there.
inline constexpr const char* kRegistryKey = "VOQ016";

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
    // The single-instance guard, run before anything else at start-up: TRUE for the
    // first running copy, FALSE for a later copy that has handed over to the first one
    // and must end.
    BOOL GuardSingleInstance();

    WaveRecord m_record;
};
