#include "shell/framework/WinApp.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <QWidget>

#include <cstdio>

#include "shell/framework/CommandLineInfo.h"
#include "shell/framework/Document.h"
#include "shell/framework/FileDialog.h"
#include "shell/framework/ResourceTables.h"
#include "shell/framework/Wnd.h"

namespace {
CWinApp* g_app = nullptr;

// Qt's own translation of its widgets, in the language of the framework's texts (its
// standard prompts, indicators and idle message are Japanese), so that the file dialog and
// the message boxes' buttons match the rest of the window whatever the user's locale.
constexpr const char* kQtTranslation = "qtbase_ja";

// Loads the translation once per process. Without it Qt's widgets stay in English, which
// is worth a line on stderr but no reason not to start.
void LoadQtTranslation(const char* program) {
    static bool attempted = false;
    if (attempted) {
        return;
    }
    attempted = true;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QString::fromUtf8(kQtTranslation), folder)) {
        QCoreApplication::installTranslator(translator);
        return;
    }
    delete translator;
    std::fprintf(stderr,
                 "%s: Qt's translation %s.qm is missing in %s; standard dialogs are in English\n",
                 program, kQtTranslation, folder.toLocal8Bit().constData());
}

} // namespace

CWinApp* AfxGetApp() {
    return g_app;
}

CWnd* AfxGetMainWnd() {
    return g_app != nullptr ? g_app->m_pMainWnd : nullptr;
}

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
ON_COMMAND(ID_APP_EXIT, OnAppExit)
END_MESSAGE_MAP()

CWinApp::CWinApp(const char* lpszAppName) {
    if (lpszAppName != nullptr) {
        m_strAppName = lpszAppName;
    }
    g_app = this;
}

CWinApp::~CWinApp() {
    CloseAllDocuments();
    m_pDocTemplate.reset();
    if (g_app == this) {
        g_app = nullptr;
    }
}

BOOL AfxWinInit(const std::vector<std::string>& arguments) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        return FALSE;
    }
    if (app->m_strAppName.empty()) {
        app->m_strAppName = AfxLoadString(AFX_IDS_APP_TITLE);
    }
    // The application name names Qt's own settings and the window class. It is not made
    // the display name: Qt would append that to every window caption.
    QCoreApplication::setApplicationName(QString::fromStdString(app->m_strAppName));
    if (const VersionResource* version = AfxGetResourceTables().version) {
        QCoreApplication::setApplicationVersion(QString::fromUtf8(version->fileVersionText));
    }
    app->m_arguments = arguments;
    LoadQtTranslation(app->m_pszExeName);
    return TRUE;
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::Run() {
    QApplication::exec();
    return ExitInstance();
}

int CWinApp::ExitInstance() {
    return m_nExitCode;
}

void CWinApp::SetRegistryKey(const char* lpszRegistryKey) {
    QCoreApplication::setOrganizationName(QString::fromUtf8(lpszRegistryKey));
}

void CWinApp::LoadStdProfileSettings(UINT) {}

void CWinApp::AddDocTemplate(CSingleDocTemplate* pTemplate) {
    m_pDocTemplate.reset(pTemplate);
}

void CWinApp::CloseAllDocuments() {
    if (m_pDocTemplate != nullptr) {
        m_pDocTemplate->CloseAllDocuments();
    }
    m_pMainWnd = nullptr;
}

void CWinApp::ParseCommandLine(CCommandLineInfo& rCmdInfo) {
    for (std::size_t i = 0; i < m_arguments.size(); ++i) {
        const std::string& argument = m_arguments[i];
        const BOOL bLast = i + 1 == m_arguments.size() ? TRUE : FALSE;
        // On this platform options start with "-"; "/" starts a path.
        if (argument.size() > 1 && argument[0] == '-') {
            rCmdInfo.ParseParam(argument.c_str() + 1, TRUE, bLast);
        } else {
            rCmdInfo.ParseParam(argument.c_str(), FALSE, bLast);
        }
    }
}

BOOL CWinApp::ProcessShellCommand(CCommandLineInfo& rCmdInfo) {
    switch (rCmdInfo.m_nShellCommand) {
    case CCommandLineInfo::FileNew:
        // Through the command tables, so that a program's own handler is used.
        if (!OnCmdMsg(ID_FILE_NEW)) {
            OnFileNew();
        }
        break;
    case CCommandLineInfo::FileOpen:
        if (m_pDocTemplate != nullptr) {
            m_pDocTemplate->CreateDocument(rCmdInfo.m_strFileName.c_str());
        }
        break;
    case CCommandLineInfo::FileNothing:
        return TRUE;
    }
    return m_pMainWnd != nullptr ? TRUE : FALSE;
}

void CWinApp::OnFileNew() {
    if (m_pDocTemplate != nullptr) {
        m_pDocTemplate->CreateDocument(nullptr);
    }
}

// Reached only where no view handles the command: the document takes the chosen file.
void CWinApp::OnFileOpen() {
    CDocument* document = m_pDocTemplate != nullptr ? m_pDocTemplate->GetDocument() : nullptr;
    CFileDialog dialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_FILEMUSTEXIST,
                       "すべてのファイル(*.*)|*.*||");
    if (document != nullptr && dialog.DoModal() == IDOK &&
        document->OnOpenDocument(dialog.GetPathName().c_str())) {
        document->SetPathName(dialog.GetPathName().c_str());
    }
}

void CWinApp::OnAppExit() {
    if (m_pMainWnd != nullptr && m_pMainWnd->GetSafeHwnd() != nullptr) {
        m_pMainWnd->GetSafeHwnd()->close();
    }
}
