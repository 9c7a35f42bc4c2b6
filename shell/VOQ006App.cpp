#include "shell/VOQ006App.h"

#include "display/VOQ006View.h"
#include "resources/Resource.h"
#include "shell/MainFrame.h"
#include "shell/VOQ006Doc.h"
#include "shell/VersionDlg.h"
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

BOOL CVOQ006App::GuardSingleInstance() {
    // Every copy counts as the first until the guard (the named lock and the lookup of
    // the running copy's window) is in place.
    return TRUE;
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
