#include "shell/VOQ006App.h"

#include "resources/Resource.h"
#include "shell/MainFrame.h"
#include "shell/VOQ006Doc.h"
#include "shell/VOQ006View.h"
#include "shell/VersionDlg.h"
#include "shell/framework/AfxMessageBox.h"
#include "shell/framework/CommandLineInfo.h"
#include "shell/framework/SingleDocTemplate.h"
#include "shell/framework/Wnd.h"

BEGIN_MESSAGE_MAP(CVOQ006App, CWinApp)
ON_COMMAND(ID_APP_ABOUT, OnVersionInfo)
ON_COMMAND(ID_FILE_NEW, CWinApp::OnFileNew)
// Never reached while the view exists: the view is offered the command first.
ON_COMMAND(ID_FILE_OPEN, CWinApp::OnFileOpen)
END_MESSAGE_MAP()

// Constructed without a name: the framework takes it from string AFX_IDS_APP_TITLE.
CVOQ006App::CVOQ006App() = default;

NamedLock g_hInstanceMutex;
WindowId g_hRunningWindow = kNoWindow;

BOOL CVOQ006App::GuardSingleInstance() {
    g_hInstanceMutex.Create(kInstanceMutexName);
    if (!g_hInstanceMutex.IsOpen()) {
        AfxMessageBox("Cannot create Mutex", MB_OK, 0);
        SetExitCode(1);
        return FALSE;
    }
    if (!g_hInstanceMutex.AlreadyExists()) {
        return TRUE;
    }

    // Another copy runs: hand the user over to its window. The window is found by its
    // caption alone, so a copy that is still starting, before its window has the
    // caption, is not found.
    g_hInstanceMutex.Close();
    WindowActivation windows;
    g_hRunningWindow = windows.FindWindow(kMainWindowTitle);
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

BOOL CVOQ006App::InitInstance() {
    if (!GuardSingleInstance()) {
        return FALSE;
    }

    AfxEnableControlContainer();
    Enable3dControls();
    SetRegistryKey(kRegistryKey);
    LoadStdProfileSettings(0); // no recent-file list

    auto* docTemplate =
        new CSingleDocTemplate(IDR_MAINFRAME, RUNTIME_CLASS(CVOQ006Doc), RUNTIME_CLASS(CMainFrame),
                               RUNTIME_CLASS(CVOQ006View));
    docTemplate->SetViewCreatedHandler([this](CView& view) {
        if (auto* waveView = dynamic_cast<CVOQ006View*>(&view)) {
            waveView->SetRecord(m_record);
        }
    });
    AddDocTemplate(docTemplate);

    CCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);
    if (!ProcessShellCommand(cmdInfo)) {
        return FALSE;
    }

    m_pMainWnd->ShowWindow(SW_SHOW);
    m_pMainWnd->SetWindowText(kMainWindowTitle);
    m_pMainWnd->UpdateWindow();
    return TRUE;
}

void CVOQ006App::OnVersionInfo() {
    CVersionDlg versionDlg;
    versionDlg.DoModal();
}
