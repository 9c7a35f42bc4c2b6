#pragma once

#include <memory>
#include <string>
#include <vector>

#include "shell/framework/CmdTarget.h"
#include "shell/framework/SingleDocTemplate.h"

class CCommandLineInfo;
class CWnd;

// The application object: one per process, made before the framework starts. Its
// InitInstance sets the program up; the framework then runs the message loop until the
// main window closes.
class CWinApp : public CCmdTarget {
public:
    // Without a name the application takes string AFX_IDS_APP_TITLE as its name.
    explicit CWinApp(const char* lpszAppName = nullptr);
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // TRUE runs the message loop; FALSE ends the process.
    virtual BOOL InitInstance();
    // Runs the message loop until the main window closes; returns ExitInstance().
    virtual int Run();
    // The process's exit status: 0, or what SetExitCode set.
    virtual int ExitInstance();
    // The status the process ends with, e.g. 1 when InitInstance ends it after telling
    // the user why.
    void SetExitCode(int nExitCode) { m_nExitCode = nExitCode; }

    // Names the root of the framework's per-user settings (Qt's organisation name).
    void SetRegistryKey(const char* lpszRegistryKey);
    // The size of the recent-file list; this framework keeps none, whatever the size.
    void LoadStdProfileSettings(UINT nMaxMRU = 4);
    // Nothing to do on this platform; kept so start-up reads as it always has.
    BOOL Enable3dControls() { return TRUE; }

    // The framework owns the template from here on.
    void AddDocTemplate(CSingleDocTemplate* pTemplate);
    void ParseCommandLine(CCommandLineInfo& rCmdInfo);
    // Carries out the command line: creates the document, with the file named on it if
    // any, and the main window. FALSE when no main window could be made.
    BOOL ProcessShellCommand(CCommandLineInfo& rCmdInfo);
    // Destroys the document with its frame and view.
    void CloseAllDocuments();

    CSingleDocTemplate* GetDocTemplate() const { return m_pDocTemplate.get(); }
    const std::string& GetAppName() const { return m_strAppName; }

    // The command-line arguments after the program's name, as the framework was
    // started with them (Qt has taken out its own options).
    std::vector<std::string> m_arguments;
    CWnd* m_pMainWnd{};
    // The program's name at the start of a line it prints on standard error.
    const char* m_pszExeName{""};

    // The framework's command handlers; a program names them in its table.
    void OnFileNew();
    void OnFileOpen();
    void OnAppExit();

protected:
    DECLARE_MESSAGE_MAP()

private:
    friend BOOL AfxWinInit(const std::vector<std::string>& arguments);
    std::string m_strAppName;
    int m_nExitCode{};
    std::unique_ptr<CSingleDocTemplate> m_pDocTemplate;
};

// The one application object, or nullptr.
CWinApp* AfxGetApp();
// Its main window, or nullptr.
CWnd* AfxGetMainWnd();

// Prepares the application object once the Qt application exists: its name from the
// string table, its arguments. AfxWinMain calls it; tests that run the application in
// their own process call it themselves.
BOOL AfxWinInit(const std::vector<std::string>& arguments);

// Nothing to do on this platform: Qt has no separate control containers to enable.
inline void AfxEnableControlContainer() {}
