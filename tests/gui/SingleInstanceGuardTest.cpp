#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "platform/WindowActivation.h"
#include "tests/gui/ViewerSession.h"
#include "tests/support/TemporaryFolder.h"

// The single-instance guard where there is no X11 display (Qt's offscreen platform, as on
// a pure Wayland session): the running copy's window is never found, so a later copy
// tells the user it is already running. The copies on a real X server are tested end to
// end in tests/e2e.
namespace {

int VisibleTopLevelWindows() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        count += widget->isVisible() ? 1 : 0;
    }
    return count;
}

TEST(SingleInstanceGuard, FirstCopyHoldsTheLockForItsWholeLife) {
    ProgramSession program;
    ASSERT_TRUE(program.InitInstance());
    EXPECT_TRUE(program.Boxes().empty());
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
    ProgramSession later;
    EXPECT_EQ(later.RunLaterCopy(), 1);
    ASSERT_EQ(later.Boxes().size(), 1u);
    EXPECT_EQ(later.Boxes()[0].text, "既に起動しています");
    EXPECT_EQ(later.Boxes()[0].caption, "VOQ006");
    EXPECT_EQ(later.MainFrame(), nullptr);
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
    ProgramSession copy;
    const int status = copy.RunLaterCopy();
    const std::string said = testing::internal::GetCapturedStderr();
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    // The box cannot say which file or why; this line does, first. (Qt's offscreen platform
    // adds a warning of its own when it shows the box.)
    EXPECT_EQ(said.substr(0, said.find('\n') + 1),
              "voq006: cannot create the lock: " + unusable.File(kInstanceMutexName) +
                  ": is a directory\n");
    EXPECT_EQ(status, 1);
    ASSERT_EQ(copy.Boxes().size(), 1u);
    EXPECT_EQ(copy.Boxes()[0].text, "Cannot create Mutex");
    EXPECT_EQ(copy.Boxes()[0].caption, "VOQ006");
    EXPECT_EQ(copy.MainFrame(), nullptr);
    EXPECT_EQ(VisibleTopLevelWindows(), 0);
}

TEST(SingleInstanceGuard, NextStartAfterTheFirstCopyEndedIsAFirstCopyAgain) {
    {
        ProgramSession first;
        ASSERT_TRUE(first.InitInstance());
    }
    ProgramSession next;
    EXPECT_TRUE(next.InitInstance());
    EXPECT_TRUE(next.Boxes().empty());
}

} // namespace
