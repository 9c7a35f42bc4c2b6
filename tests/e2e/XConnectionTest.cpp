#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <csignal>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/XSession.h"
#include "tests/support/CaseName.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ViewerText.h"
#include "tests/support/WavBuilder.h"

// The real viewer when its X server, its connection or its main window goes away under
// it, and when there is no X server at all: it ends with status 1 and one line on
// standard error, never by a signal, and lets the single-instance lock go.
namespace {

const std::string kLostConnection = "voq006: the connection to the X server was lost\n";
const std::string kWindowDestroyed = "voq006: the main window was destroyed by another X client\n";

// The X server's process: the session's Xvfb, a child of this test process.
pid_t ServerPid() {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        if (!std::isdigit(static_cast<unsigned char>(entry.path().filename().string()[0]))) {
            continue;
        }
        std::istringstream stat(ReadFile<std::string>(entry.path() / "stat"));
        long pid = 0;
        std::string name;
        char state = 0;
        long parent = 0;
        if (stat >> pid >> name >> state >> parent && name == "(Xvfb)" && parent == getpid()) {
            return static_cast<pid_t>(pid);
        }
    }
    return -1;
}

// The window that holds a window: the window manager's frame around a top-level one.
std::string ParentOf(const XSession& session, const std::string& window) {
    const std::string tree = session.Run({"xwininfo", "-id", window, "-tree"});
    const std::string label = "Parent window id: ";
    const std::size_t at = tree.find(label);
    return at == std::string::npos
               ? std::string()
               : tree.substr(at + label.size(),
                             tree.find(' ', at + label.size()) - at - label.size());
}

// A table-driven test on an X session of its own.
template <typename Case> class SessionTest : public testing::TestWithParam<Case> {
protected:
    void SetUp() override { ASSERT_TRUE(m_session.Ready()); }

    XSession m_session;
};

// What takes the X side away from the running viewer.
enum class Loss {
    ServerTerminated,
    ServerKilled,
    ClientKilled,
    WindowDestroyed,
    // A compositor or desktop session ending: the window manager's frame goes, taking the
    // window with it, and the server right after.
    FrameThenServer
};

struct LossCase : NamedCase {
    Loss loss;
    const std::string* line;
};
class XGoesAway : public SessionTest<LossCase> {};

TEST_P(XGoesAway, ViewerEndsWithStatus1AndOneLineAndLetsTheLockGo) {
    std::unique_ptr<ChildProcess> viewer;
    const std::string window = m_session.StartViewerWindow(viewer);
    ASSERT_FALSE(window.empty());
    ASSERT_TRUE(m_session.LockIsHeld());

    const pid_t server = ServerPid();
    ASSERT_GT(server, 0);
    const std::string frame = ParentOf(m_session, window);
    switch (GetParam().loss) {
    case Loss::ServerTerminated:
        ASSERT_EQ(kill(server, SIGTERM), 0);
        break;
    case Loss::ServerKilled:
        ASSERT_EQ(kill(server, SIGKILL), 0);
        break;
    case Loss::ClientKilled:
        m_session.Run({"xdotool", "windowkill", window});
        break;
    case Loss::WindowDestroyed:
        m_session.Run({"xdotool", "windowclose", window});
        break;
    case Loss::FrameThenServer:
        m_session.Run({"xdotool", "windowclose", frame});
        ASSERT_EQ(kill(server, SIGTERM), 0);
        break;
    }
    EXPECT_EQ(viewer->WaitForExit(20000), std::optional<int>(1));
    EXPECT_EQ(ReadFile<std::string>(m_session.ViewerLog()), *GetParam().line);
    EXPECT_FALSE(m_session.LockIsHeld());

    const bool serverRuns =
        GetParam().loss == Loss::ClientKilled || GetParam().loss == Loss::WindowDestroyed;
    if (serverRuns) {
        std::unique_ptr<ChildProcess> next;
        EXPECT_FALSE(m_session.StartViewerWindow(next).empty())
            << "the next start is not a first copy";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ways, XGoesAway,
    testing::Values(LossCase{"ServerTerminated", Loss::ServerTerminated, &kLostConnection},
                    LossCase{"ServerKilled", Loss::ServerKilled, &kLostConnection},
                    LossCase{"ClientKilled", Loss::ClientKilled, &kLostConnection},
                    LossCase{"WindowDestroyed", Loss::WindowDestroyed, &kWindowDestroyed},
                    LossCase{"FrameThenServer", Loss::FrameThenServer, &kLostConnection}),
    CaseName);

// A later copy finds the lock held (here by flock, standing in for a first copy that is
// still starting) and waits for the first copy's window, then shows its box.
enum class Moment { DuringTheWait, WhileTheBoxIsShown };
enum class LaterLoss { ServerKilled, BoxDestroyed };

struct LaterCopyCase : NamedCase {
    Moment moment;
    LaterLoss loss;
    const char* line;
};
class LaterCopyLoses : public SessionTest<LaterCopyCase> {};

TEST_P(LaterCopyLoses, EndsWithStatus1AndAtMostOneLineOfItsOwn) {
    const std::unique_ptr<ChildProcess> holder = m_session.HoldLock();
    ASSERT_TRUE(m_session.LockIsHeld());
    const std::unique_ptr<ChildProcess> copy = m_session.StartViewer();

    if (GetParam().moment == Moment::DuringTheWait) {
        // The copy waits 3 s for a window; its X connection is open well before 1 s.
        usleep(1500 * 1000);
        ASSERT_TRUE(copy->IsRunning());
        ASSERT_TRUE(m_session.VisibleWindowsOf(copy->Pid()).empty());
    } else {
        ASSERT_FALSE(m_session.WaitForWindow(copy->Pid(), "VOQ006", kFirstWindowMs).empty());
    }
    if (GetParam().loss == LaterLoss::ServerKilled) {
        ASSERT_EQ(kill(ServerPid(), SIGKILL), 0);
    } else {
        m_session.Run({"xdotool", "windowclose", m_session.VisibleWindowsOf(copy->Pid()).at(0)});
    }
    EXPECT_EQ(copy->WaitForExit(20000), std::optional<int>(1));
    EXPECT_EQ(ReadFile<std::string>(m_session.ViewerLog()), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, LaterCopyLoses,
    testing::Values(LaterCopyCase{"ServerGoesDuringTheWait", Moment::DuringTheWait,
                                  LaterLoss::ServerKilled, kLostConnection.c_str()},
                    LaterCopyCase{"ServerGoesUnderTheBox", Moment::WhileTheBoxIsShown,
                                  LaterLoss::ServerKilled, kLostConnection.c_str()},
                    // As if OK was pressed: the box said what it had to say.
                    LaterCopyCase{"BoxDestroyed", Moment::WhileTheBoxIsShown,
                                  LaterLoss::BoxDestroyed, ""}),
    CaseName);

// Another client destroys a dialog of the running viewer: the dialog ends as if cancelled
// and the viewer goes on, its menus and window as usable as before.
struct DestroyedDialogCase : NamedCase {
    const char* keys; // what opens the dialog
};
class DialogDestroyed : public SessionTest<DestroyedDialogCase> {};

TEST_P(DialogDestroyed, ViewerGoesOnAndFileExitEndsIt) {
    std::unique_ptr<ChildProcess> viewer;
    const std::string frame = m_session.StartViewerWindow(viewer);
    ASSERT_FALSE(frame.empty());
    // Opens the dialog from the main window; its window, or empty. The viewer takes a
    // moment to end a destroyed dialog (it first makes sure that the server is not going
    // too), so the keys are pressed again until the dialog shows.
    const auto openDialog = [&](int attempts) {
        std::string found;
        for (int attempt = 0; attempt < attempts && found.empty(); ++attempt) {
            m_session.Activate(frame);
            m_session.Keys(GetParam().keys);
            WaitUntil(
                [&] {
                    for (const std::string& window : m_session.VisibleWindowsOf(viewer->Pid())) {
                        found = window != frame ? window : found;
                    }
                    return !found.empty();
                },
                4000);
        }
        return found;
    };

    const std::string first = openDialog(5);
    ASSERT_FALSE(first.empty()) << "the dialog did not open";
    m_session.Run({"xdotool", "windowclose", first});
    ASSERT_TRUE(
        WaitUntil([&] { return m_session.VisibleWindowsOf(viewer->Pid()).size() == 1; }, 10000));

    // The same dialog opens again and ends from the keyboard.
    const std::string second = openDialog(5);
    ASSERT_FALSE(second.empty()) << "the dialog did not open again";
    m_session.Activate(second);
    m_session.Keys("Escape");
    ASSERT_TRUE(
        WaitUntil([&] { return m_session.VisibleWindowsOf(viewer->Pid()).size() == 1; }, 10000));

    ASSERT_TRUE(m_session.Activate(frame));
    m_session.Keys("alt+f x");
    EXPECT_EQ(viewer->WaitForExit(10000), std::optional<int>(0));
    EXPECT_EQ(ReadFile<std::string>(m_session.ViewerLog()), "");
}

INSTANTIATE_TEST_SUITE_P(Dialogs, DialogDestroyed,
                         testing::Values(DestroyedDialogCase{"VersionBox", "alt+h a"},
                                         DestroyedDialogCase{"OpenDialog", "ctrl+o"}),
                         CaseName);

// No X server to talk to at start-up: the variables the viewer is started with.
struct NoDisplayCase : NamedCase {
    std::vector<std::string> environment;
    const char* line;
};
class NoDisplay : public testing::TestWithParam<NoDisplayCase> {};

TEST_P(NoDisplay, ViewerSaysSoAndEndsWithStatus1) {
    TemporaryFolder folder;
    const std::string runtime = folder.File("runtime");
    ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
    std::vector<std::string> environment{"PATH=/usr/bin:/bin", "HOME=" + folder.Path().string(),
                                         "XDG_RUNTIME_DIR=" + runtime, "LANG=C.UTF-8"};
    environment.insert(environment.end(), GetParam().environment.begin(),
                       GetParam().environment.end());
    const std::string log = folder.File("voq006.log");
    ChildProcess viewer({VOQ_VIEWER_PATH}, environment, log);
    EXPECT_EQ(viewer.WaitForExit(20000), std::optional<int>(1));
    EXPECT_EQ(ReadFile<std::string>(log), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, NoDisplay,
    testing::Values(
        NoDisplayCase{"Unset", {}, "voq006: cannot open the X display: DISPLAY is not set\n"},
        // No server listens there; the user chose X.
        NoDisplayCase{"Unreachable",
                      {"DISPLAY=:65432", "QT_QPA_PLATFORM=xcb"},
                      "voq006: cannot open the X display \":65432\"\n"}),
    CaseName);

} // namespace
