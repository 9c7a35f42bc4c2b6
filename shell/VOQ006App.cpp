#include "shell/VOQ006App.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "resources/Resource.h"
#include "shell/MainFrame.h"
#include "shell/VOQ006Doc.h"
#include "shell/VOQ006View.h"
#include "shell/VersionDlg.h"
#include "shell/framework/AfxMessageBox.h"
#include "shell/framework/CommandLineInfo.h"
#include "shell/framework/Dialog.h"
#include "shell/framework/SingleDocTemplate.h"
#include "shell/framework/Wnd.h"

BEGIN_MESSAGE_MAP(CVOQ006App, CWinApp)
ON_COMMAND(ID_APP_ABOUT, OnVersionInfo)
ON_COMMAND(ID_FILE_NEW, CWinApp::OnFileNew)
// Never reached while the view exists: the view is offered the command first.
ON_COMMAND(ID_FILE_OPEN, CWinApp::OnFileOpen)
END_MESSAGE_MAP()

// Constructed without a name: the framework takes it from string AFX_IDS_APP_TITLE.
CVOQ006App::CVOQ006App() {
    m_pszExeName = kProgramName;
}

NamedLock g_hInstanceMutex;
WindowId g_hRunningWindow = kNoWindow;

namespace {

// The first copy notes its main window's X id in the lock file, as decimal digits and a
// line end, once the window is shown. Only the user can write that file, so a window found
// through it is the user's own copy's and not another program's that carries the caption.
std::string WindowNote(WindowId window) {
    return std::to_string(window) + "\n";
}

// The window a note names; kNoWindow for an empty note, or one that is not complete yet.
WindowId NotedWindow(const std::string& note) {
    WindowId window = kNoWindow;
    const char* end = note.data() + note.size();
    const auto [next, error] = std::from_chars(note.data(), end, window);
    if (error != std::errc() || next == note.data() || next + 1 != end || *next != '\n') {
        return kNoWindow;
    }
    return window;
}

// The window of the user's own running copy, as that copy noted it in the lock file, if it
// is on the display with the caption; waits for a copy that is still starting.
WindowId WaitForRunningWindow(WindowActivation& windows, const XConnectionWatch& connection) {
    // A copy started at the same moment as the first one (a double-click on a launcher)
    // finds the lock taken before the first copy's window exists: give that window a few
    // seconds to appear.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kStartingCopyWaitMs);
    for (;;) {
        const WindowId noted = NotedWindow(g_hInstanceMutex.ReadNote());
        const WindowId window = windows.CheckWindow(noted, kMainWindowTitle);
        if (window != kNoWindow || !windows.HasDisplay() || Clock::now() >= deadline) {
            return window;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        // No event loop runs to notice a server that goes meanwhile.
        connection.CheckConnection();
    }
}

// The box says only that the lock could not be created; this line says which file and why,
// so that the user can mend it.
void ReportLockFailure(const LockOutcome& outcome) {
    const char* reason = outcome.problem == LockProblem::SystemError
                             ? std::strerror(outcome.errorNumber)
                             : DescribeLockProblem(outcome.problem);
    std::fprintf(stderr, "%s: cannot create the lock: %s: %s\n", kProgramName, outcome.path.c_str(),
                 reason);
}

} // namespace

BOOL CVOQ006App::GuardSingleInstance() {
    const LockOutcome lock = g_hInstanceMutex.Create(kInstanceMutexName);
    if (!g_hInstanceMutex.IsOpen()) {
        ReportLockFailure(lock);
        AfxMessageBox("Cannot create Mutex", MB_OK, 0);
        SetExitCode(1);
        return FALSE;
    }
    if (!g_hInstanceMutex.AlreadyExists()) {
        return TRUE;
    }

    // Another copy of this user runs: hand the user over to its window, and to no other
    // window that merely carries the same caption. The handle to the lock is needed only
    // to read the first copy's note.
    WindowActivation windows;
    g_hRunningWindow = WaitForRunningWindow(windows, *m_connectionWatch);
    g_hInstanceMutex.Close();
    if (g_hRunningWindow != kNoWindow) {
        if (windows.IsIconic(g_hRunningWindow)) {
            windows.Restore(g_hRunningWindow);
        }
        windows.SetForegroundWindow(g_hRunningWindow);
        return FALSE;
    }
    AfxMessageBox("既に起動しています", MB_OK, 0);
    SetExitCode(1);
    return FALSE;
}

void CVOQ006App::WatchXConnection() {
    const std::string program = kProgramName;
    m_connectionWatch = std::make_unique<XConnectionWatch>(
        XConnectionWatch::Lines{program + ": the connection to the X server was lost",
                                program + ": the main window was destroyed by another X client"});
    m_connectionWatch->OnWindowLost([](WindowId window) { AfxEndDialogOfWindow(window); });
}

void CVOQ006App::WatchMainWindow() {
    const auto window = static_cast<WindowId>(m_pMainWnd->GetSafeHwnd()->winId());
    m_connectionWatch->WatchMainWindow(window, [this] {
        SetExitCode(1);
        OnAppExit();
    });
    g_hInstanceMutex.WriteNote(WindowNote(window));
}

BOOL CVOQ006App::InitInstance() {
    // From the start, so that a later copy that loses its display while it waits or shows
    // its box says so too.
    WatchXConnection();
    if (!GuardSingleInstance()) {
        return FALSE;
    }

    AfxEnableControlContainer();
    Enable3dControls();
    SetRegistryKey(kRegistryKey);
    LoadStdProfileSettings(0); // no recent-file list

    AddDocTemplate(new CSingleDocTemplate(IDR_MAINFRAME, RUNTIME_CLASS(CVOQ006Doc),
                                          RUNTIME_CLASS(CMainFrame), RUNTIME_CLASS(CVOQ006View)));

    CCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);
    if (!ProcessShellCommand(cmdInfo)) {
        return FALSE;
    }

    m_pMainWnd->ShowWindow(SW_SHOW);
    m_pMainWnd->SetWindowText(kMainWindowTitle);
    m_pMainWnd->UpdateWindow();
    WatchMainWindow();
    return TRUE;
}

void CVOQ006App::OnVersionInfo() {
    CVersionDlg versionDlg;
    versionDlg.DoModal();
}
