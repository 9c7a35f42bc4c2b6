#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/WindowActivation.h"
#include "resources/ApplicationResources.h"
#include "shell/VOQ006App.h"
#include "shell/framework/AfxMessageBox.h"
#include "shell/framework/ResourceTables.h"
#include "tests/gui/ViewerSession.h"
#include "tests/support/TemporaryFolder.h"

// The single-instance guard where there is no X11 display (Qt's offscreen platform, as on
// a pure Wayland session): the running copy's window is never found, so a later copy
// tells the user it is already running. The copies on a real X server are tested end to
// end in tests/e2e.
namespace {

struct Box {
    std::string text;
    std::string caption;
};

// A copy of the program started in this process, with message boxes recorded.
class LaterCopy {
public:
    explicit LaterCopy(std::vector<std::string> arguments = {}) {
        AfxSetResourceTables(ApplicationResources());
        m_app = std::make_unique<CVOQ006App>();
        AfxWinInit(arguments);
        AfxSetMessageBoxHook([this](const std::string& text, const std::string& caption) {
            m_boxes.push_back({text, caption});
            return IDOK;
        });
        m_started = m_app->InitInstance();
        AfxSetMessageBoxHook({});
    }
    ~LaterCopy() {
        m_app.reset();
        g_hInstanceMutex.Close();
    }

    BOOL started() const { return m_started; }
    CVOQ006App& App() { return *m_app; }
    const std::vector<Box>& Boxes() const { return m_boxes; }

private:
    std::unique_ptr<CVOQ006App> m_app;
    std::vector<Box> m_boxes;
    BOOL m_started{FALSE};
};

int VisibleTopLevelWindows() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        count += widget->isVisible() ? 1 : 0;
    }
    return count;
}

TEST(SingleInstanceGuard, FirstCopyHoldsTheLockForItsWholeLife) {
    ViewerSession session;
    ASSERT_TRUE(session.started());
    EXPECT_TRUE(g_hInstanceMutex.IsOpen());
    EXPECT_FALSE(g_hInstanceMutex.AlreadyExists());
    NamedLock other;
    ASSERT_TRUE(other.Create(kInstanceMutexName));
    EXPECT_TRUE(other.AlreadyExists());
}

TEST(SingleInstanceGuard, WithoutAnX11DisplayTheRunningCopyIsNeverFound) {
    WindowActivation windows;
    EXPECT_FALSE(windows.HasDisplay());
    EXPECT_EQ(windows.CheckWindow(1, kMainWindowTitle), kNoWindow);
    EXPECT_FALSE(windows.IsIconic(kNoWindow));
    EXPECT_FALSE(windows.SetForegroundWindow(kNoWindow));
}

TEST(SingleInstanceGuard, LaterCopyWithoutADisplaySaysItIsRunningAndEndsWithStatus1) {
    NamedLock firstCopy;
    ASSERT_TRUE(firstCopy.Create(kInstanceMutexName));
    // A file on the command line changes nothing: the guard comes first.
    LaterCopy later({"/nonexistent/file.wav"});
    EXPECT_FALSE(later.started());
    ASSERT_EQ(later.Boxes().size(), 1u);
    EXPECT_EQ(later.Boxes()[0].text, "既に起動しています");
    EXPECT_EQ(later.Boxes()[0].caption, "VOQ006");
    EXPECT_EQ(later.App().ExitInstance(), 1);
    EXPECT_EQ(later.App().m_pMainWnd, nullptr);
    EXPECT_EQ(later.App().GetDocTemplate(), nullptr);
    EXPECT_EQ(VisibleTopLevelWindows(), 0);
    EXPECT_EQ(g_hRunningWindow, kNoWindow);
    EXPECT_FALSE(g_hInstanceMutex.IsOpen()) << "a later copy closes its handle";

    // The first copy still holds the lock.
    NamedLock another;
    ASSERT_TRUE(another.Create(kInstanceMutexName));
    EXPECT_TRUE(another.AlreadyExists());
}

TEST(SingleInstanceGuard, LockThatCannotBeCreatedEndsWithStatus1) {
    const std::string runtime = std::getenv("XDG_RUNTIME_DIR");
    // A folder stands where the lock file belongs.
    TemporaryFolder unusable;
    ASSERT_EQ(mkdir(unusable.File(kInstanceMutexName).c_str(), 0700), 0);
    setenv("XDG_RUNTIME_DIR", unusable.Path().c_str(), 1);
    testing::internal::CaptureStderr();
    LaterCopy copy;
    const std::string said = testing::internal::GetCapturedStderr();
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    // The box cannot say which file or why; this line does.
    EXPECT_EQ(said, "voq006: cannot create the lock: " + unusable.File(kInstanceMutexName) +
                        ": is a directory\n");
    EXPECT_FALSE(copy.started());
    ASSERT_EQ(copy.Boxes().size(), 1u);
    EXPECT_EQ(copy.Boxes()[0].text, "Cannot create Mutex");
    EXPECT_EQ(copy.Boxes()[0].caption, "VOQ006");
    EXPECT_EQ(copy.App().ExitInstance(), 1);
    EXPECT_EQ(copy.App().m_pMainWnd, nullptr);
    EXPECT_EQ(VisibleTopLevelWindows(), 0);
}

TEST(SingleInstanceGuard, NextStartAfterTheFirstCopyEndedIsAFirstCopyAgain) {
    {
        ViewerSession first;
        ASSERT_TRUE(first.started());
    }
    ViewerSession next;
    EXPECT_TRUE(next.started());
    EXPECT_EQ(next.App().ExitInstance(), 0);
}

} // namespace
