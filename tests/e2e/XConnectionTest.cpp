#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/XSession.h"
#include "tests/support/CaseName.h"
#include "tests/support/TemporaryFolder.h"

// The real viewer when its X server, its connection or its main window goes away under
// it, and when there is no X server at all: it ends with status 1 and one line on
// standard error, never by a signal, and lets the single-instance lock go.
namespace {

const std::string kCaption = "ソラニカの波動";
const std::string kLostConnection = "voq006: the connection to the X server was lost\n";
const std::string kWindowDestroyed = "voq006: the main window was destroyed by another X client\n";

std::string Contents(const std::string& path) {
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Whether a process holds the lock on the file (a lock of this process would succeed).
bool LockIsHeld(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return held;
}

// What takes the X side away from the running viewer.
enum class Loss { ServerTerminated, ServerKilled, ClientKilled, WindowDestroyed };

struct LossCase : NamedCase {
    Loss loss;
    const std::string* line;
};
class XGoesAway : public testing::TestWithParam<LossCase> {
protected:
    // The X server's process: the session's Xvfb, a child of this test process.
    static pid_t ServerPid() {
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            if (!std::isdigit(static_cast<unsigned char>(entry.path().filename().string()[0]))) {
                continue;
            }
            std::istringstream stat(Contents(entry.path() / "stat"));
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

    XSession m_session;
};

TEST_P(XGoesAway, ViewerEndsWithStatus1AndOneLineAndLetsTheLockGo) {
    ASSERT_TRUE(m_session.Ready());
    const std::string log = m_session.Folder().File("voq006.log");
    const std::string lockFile = m_session.Folder().File("runtime") + "/VOQ";
    ChildProcess viewer({VOQ_VIEWER_PATH}, m_session.Environment(), log);
    const std::string window = m_session.WaitForWindow(viewer.Pid(), kCaption, 40000);
    ASSERT_FALSE(window.empty()) << Contents(log);
    ASSERT_TRUE(LockIsHeld(lockFile));

    const pid_t server = ServerPid();
    ASSERT_GT(server, 0);
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
    }
    EXPECT_EQ(viewer.WaitForExit(20000), std::optional<int>(1));
    EXPECT_EQ(Contents(log), *GetParam().line);
    EXPECT_FALSE(LockIsHeld(lockFile));

    const bool serverRuns =
        GetParam().loss == Loss::ClientKilled || GetParam().loss == Loss::WindowDestroyed;
    if (serverRuns) {
        ChildProcess next({VOQ_VIEWER_PATH}, m_session.Environment(), log);
        EXPECT_FALSE(m_session.WaitForWindow(next.Pid(), kCaption, 40000).empty())
            << "the next start is not a first copy";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ways, XGoesAway,
    testing::Values(LossCase{"ServerTerminated", Loss::ServerTerminated, &kLostConnection},
                    LossCase{"ServerKilled", Loss::ServerKilled, &kLostConnection},
                    LossCase{"ClientKilled", Loss::ClientKilled, &kLostConnection},
                    LossCase{"WindowDestroyed", Loss::WindowDestroyed, &kWindowDestroyed}),
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
    EXPECT_EQ(Contents(log), GetParam().line);
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
