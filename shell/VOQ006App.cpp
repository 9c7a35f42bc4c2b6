#include "shell/VOQ006App.h"

#include <QClipboard>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QShortcut>
#include <QTranslator>

#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/WindowIconName.h"
#include "shell/MainFrame.h"
#include "shell/VersionDlg.h"

NamedLock g_hInstanceMutex;
WindowId g_hRunningWindow = kNoWindow;

const std::array<Command<CVOQ006App>, 1> CVOQ006App::kCommands{{
    {ID_APP_ABOUT, &CVOQ006App::OnVersionInfo},
}};

namespace {

// True while the event loop runs.
bool g_eventLoopRuns = false;

// exit() called from inside the event loop (Qt's xcb platform does so when the X
// connection breaks) would go on to the static destructors and destroy what Qt can no
// longer serve. The process ends here instead, with the status exit() was given.
void EndInsideTheEventLoop(int status, void*) {
    if (g_eventLoopRuns) {
        _exit(status);
    }
}

// Qt's own translation of its widgets, in the language of the program's texts, so that the
// file dialog and the message boxes' buttons match the rest of the window whatever the
// user's locale.
constexpr const char* kQtTranslation = "qtbase_ja";

// Loads the translation once per process. Without it Qt's widgets stay in English, which
// is worth a line on stderr but no reason not to start.
void LoadQtTranslation() {
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
                 kProgramName, kQtTranslation, folder.toLocal8Bit().constData());
}

// A modal box with one OK button, captioned with the application's name. Ctrl+C copies the
// caption and the text, laid out as the classic message boxes copy them.
void ShowMessageBox(const char* text) {
    QMessageBox box(QMessageBox::NoIcon, ResourceString(AFX_IDS_APP_TITLE), QString::fromUtf8(text),
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    QShortcut copy(QKeySequence::Copy, &box);
    QObject::connect(&copy, &QShortcut::activated, &box, [&box] {
        const QString rule = QStringLiteral("---------------------------\n");
        QGuiApplication::clipboard()->setText(rule + box.windowTitle() + "\n" + rule + box.text() +
                                              "\n" + rule + "OK\n" + rule);
    });
    box.exec();
}

// Another program destroyed the native window of one of this program's modal boxes: the box
// ends as if it had been cancelled, so that the window it stood over can be used again.
void EndDialogOfWindow(WindowId window) {
    auto* dialog = qobject_cast<QDialog*>(QWidget::find(static_cast<WId>(window)));
    if (dialog == nullptr || !dialog->isVisible()) {
        return;
    }
    QWidget* owner = dialog->parentWidget();
    dialog->reject();
    if (owner != nullptr) {
        owner->window()->activateWindow();
    }
}

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

CVOQ006App::CVOQ006App(int& argc, char** argv) {
    // Registered before Qt starts, so that it runs after Qt's own exit handlers.
    on_exit(EndInsideTheEventLoop, nullptr);
    if (QCoreApplication::instance() == nullptr) {
        m_application.emplace(argc, argv);
    }
    // The application's name names Qt's settings and the window class. It is not made the
    // display name: Qt would append that to every window caption.
    QCoreApplication::setApplicationName(ResourceString(AFX_IDS_APP_TITLE));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(DisplayVersion()));
    QCoreApplication::setOrganizationName(QString::fromUtf8(kRegistryKey));
    LoadQtTranslation();
}

CVOQ006App::~CVOQ006App() = default;

bool CVOQ006App::InitInstance() {
    // From the start, so that a later copy that loses its display while it waits or shows
    // its box says so too.
    WatchXConnection();
    if (!GuardSingleInstance()) {
        return false;
    }
    m_mainFrame = std::make_unique<CMainFrame>(m_record);
    m_mainFrame->Commands().Bind(*this, kCommands);
    m_mainFrame->show();
    // A window's icon name is its caption too: taskbars and pagers that label windows by
    // their icon names show it, whichever of the two properties they read.
    m_mainFrame->setWindowTitle(QString::fromUtf8(kMainWindowTitle));
    m_mainFrame->setWindowIconText(m_mainFrame->windowTitle());
    WriteWindowIconName(static_cast<WindowId>(m_mainFrame->winId()), kMainWindowTitle);
    m_mainFrame->repaint();
    WatchMainWindow();
    return true;
}

int CVOQ006App::Run() {
    if (!InitInstance()) {
        return m_exitStatus;
    }
    g_eventLoopRuns = true;
    QApplication::exec();
    g_eventLoopRuns = false;
    return m_exitStatus;
}

bool CVOQ006App::GuardSingleInstance() {
    const LockOutcome lock = g_hInstanceMutex.Create(kInstanceMutexName);
    if (!g_hInstanceMutex.IsOpen()) {
        ReportLockFailure(lock);
        ShowMessageBox("Cannot create Mutex");
        m_exitStatus = 1;
        return false;
    }
    if (!g_hInstanceMutex.AlreadyExists()) {
        return true;
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
        return false;
    }
    ShowMessageBox("既に起動しています");
    m_exitStatus = 1;
    return false;
}

void CVOQ006App::WatchXConnection() {
    const std::string program = kProgramName;
    m_connectionWatch = std::make_unique<XConnectionWatch>(
        XConnectionWatch::Lines{program + ": the connection to the X server was lost",
                                program + ": the main window was destroyed by another X client"});
    m_connectionWatch->OnWindowLost(EndDialogOfWindow);
}

void CVOQ006App::WatchMainWindow() {
    const auto window = static_cast<WindowId>(m_mainFrame->winId());
    m_connectionWatch->WatchMainWindow(window, [this] {
        m_exitStatus = 1;
        m_mainFrame->close();
    });
    g_hInstanceMutex.WriteNote(WindowNote(window));
}

void CVOQ006App::OnVersionInfo() {
    CVersionDlg versionBox(m_mainFrame.get());
    versionBox.exec();
}
