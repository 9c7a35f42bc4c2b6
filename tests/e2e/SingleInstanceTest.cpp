#include <QImage>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/e2e/XSession.h"
#include "tests/support/CaseName.h"
#include "tests/support/ViewerText.h"
#include "tests/support/WavBuilder.h"

// Copies of the real viewer started one after another, or at once, on a real X server:
// only the first runs, a later one brings the first copy's window to the user and ends,
// or says why it cannot. Every test has its own display and runtime folder, so its
// copies meet only each other.
namespace {

using Clock = std::chrono::steady_clock;

const std::string kBoxCaption = "VOQ006";

// What a message box of the viewer puts on the clipboard on Ctrl+C.
std::string BoxCopy(const std::string& text) {
    const std::string rule = "---------------------------\n";
    return rule + kBoxCaption + "\n" + rule + text + "\n" + rule + "OK\n" + rule;
}

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

class SingleInstance : public testing::Test {
protected:
    explicit SingleInstance(WindowManager windowManager = WindowManager::Openbox)
        : m_session(windowManager) {}

    void SetUp() override {
        ASSERT_TRUE(m_session.Ready()) << "the X server or the window manager did not start";
    }

    std::string ActiveWindow() const {
        return FirstLine(m_session.Run({"xdotool", "getactivewindow"}));
    }
    std::string FocusWindow() const {
        return FirstLine(m_session.Run({"xdotool", "getwindowfocus"}));
    }
    std::string WindowState(const std::string& window) const {
        return m_session.Property(window, "WM_STATE");
    }

    // Another program's window, made the active one: what the user worked in before.
    std::string StartOtherWindow() {
        m_other = std::make_unique<ChildProcess>(
            std::vector<std::string>{"xmessage", "-title", "other-window", "other window"},
            m_session.Environment());
        std::string window;
        WaitUntil(
            [&] {
                window = FirstLine(m_session.Run(
                    {"xdotool", "search", "--onlyvisible", "--name", "^other-window$"}));
                return !window.empty();
            },
            kFirstWindowMs);
        return window;
    }

    // The message box of a process: its text as Ctrl+C copies it (caption and text).
    std::string CopyBoxText(const std::string& box) const {
        if (!m_session.Activate(box)) {
            return "(the box could not be activated)";
        }
        std::string copied;
        WaitUntil(
            [&] {
                m_session.Keys("ctrl+c");
                copied = m_session.Run(
                    {"xclip", "-o", "-selection", "clipboard", "-t", "UTF8_STRING"}, 2000);
                return !copied.empty();
            },
            5000);
        return copied;
    }

    // Presses the box's OK button (its default button) from the keyboard.
    void PressOk(const std::string& box) const {
        m_session.Activate(box);
        m_session.Keys("Return");
    }

    // Waits for a message box of the process; its window or empty.
    std::string WaitForBox(pid_t pid) const {
        return m_session.WaitForWindow(pid, kBoxCaption, kFirstWindowMs);
    }

    // The second start: waits up to 20 s for it to end, checks that it never showed a
    // window, and reports how long it ran.
    std::optional<int> RunLaterCopy(const std::vector<std::string>& arguments = {}) {
        const auto started = Clock::now();
        std::unique_ptr<ChildProcess> later = m_session.StartViewer({arguments});
        if (!later->Started()) {
            return std::nullopt;
        }
        bool showedWindow = false;
        WaitUntil(
            [&] {
                showedWindow = showedWindow || !m_session.VisibleWindowsOf(later->Pid()).empty();
                return !later->IsRunning();
            },
            20000);
        const std::optional<int> status = later->WaitForExit(0);
        const auto milliseconds =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
        RecordProperty("later_copy_ms", std::to_string(milliseconds));
        std::printf("the later copy ended after %lld ms\n", static_cast<long long>(milliseconds));
        EXPECT_FALSE(showedWindow) << "the later copy showed a window of its own";
        return status;
    }

    XSession m_session;
    std::unique_ptr<ChildProcess> m_other;
};

TEST_F(SingleInstance, SecondStartActivatesTheFirstCopyAndEnds) {
    std::unique_ptr<ChildProcess> first;
    const std::string frame = m_session.StartViewerWindow(first);
    ASSERT_FALSE(frame.empty());
    const std::string other = StartOtherWindow();
    ASSERT_FALSE(other.empty());
    ASSERT_TRUE(m_session.Activate(other));

    EXPECT_EQ(RunLaterCopy(), 0);
    EXPECT_TRUE(WaitUntil([&] { return ActiveWindow() == frame; }, 5000))
        << "active: " << ActiveWindow() << ", first copy: " << frame;
    EXPECT_EQ(FocusWindow(), frame);
    EXPECT_TRUE(first->IsRunning());
    EXPECT_EQ(m_session.WindowsNamed(first->Pid(), kCaption).size(), 1u);
}

TEST_F(SingleInstance, SecondStartRestoresTheMinimisedFirstCopy) {
    std::unique_ptr<ChildProcess> first;
    const std::string frame = m_session.StartViewerWindow(first);
    ASSERT_FALSE(frame.empty());
    m_session.Run({"xdotool", "windowminimize", "--sync", frame});
    ASSERT_TRUE(
        WaitUntil([&] { return WindowState(frame).find("Iconic") != std::string::npos; }, 5000))
        << WindowState(frame);

    EXPECT_EQ(RunLaterCopy(), 0);
    EXPECT_TRUE(
        WaitUntil([&] { return WindowState(frame).find("Normal") != std::string::npos; }, 5000))
        << WindowState(frame);
    EXPECT_TRUE(WaitUntil([&] { return ActiveWindow() == frame; }, 5000));
    EXPECT_EQ(m_session.Property(frame, "_NET_WM_STATE").find("HIDDEN"), std::string::npos);

    // What the user sees now.
    const std::string picture = m_session.Folder().File("restored.png");
    m_session.Run({"import", "-window", "root", picture}, 20000);
    std::filesystem::copy_file(picture,
                               std::string(VOQ_SCREENSHOT_FOLDER) + "/single-instance-restored.png",
                               std::filesystem::copy_options::overwrite_existing);
}

// Qt also writes the caption as COMPOUND_TEXT into WM_NAME; where a window offers only
// that, the running copy is still found.
TEST_F(SingleInstance, FirstCopyIsFoundByItsLegacyCaptionToo) {
    std::unique_ptr<ChildProcess> first;
    const std::string frame = m_session.StartViewerWindow(first);
    ASSERT_FALSE(frame.empty());
    ASSERT_NE(m_session.Run({"xprop", "-id", frame, "WM_NAME"}).find("COMPOUND_TEXT"),
              std::string::npos);
    m_session.Run({"xprop", "-id", frame, "-remove", "_NET_WM_NAME"});
    m_session.Run({"xdotool", "windowminimize", "--sync", frame});
    ASSERT_TRUE(
        WaitUntil([&] { return WindowState(frame).find("Iconic") != std::string::npos; }, 5000));

    EXPECT_EQ(RunLaterCopy(), 0);
    EXPECT_TRUE(WaitUntil([&] { return ActiveWindow() == frame; }, 5000));
    EXPECT_NE(WindowState(frame).find("Normal"), std::string::npos);
}

TEST_F(SingleInstance, SecondStartWithAFileOnlyBringsTheFirstCopyForward) {
    std::unique_ptr<ChildProcess> first;
    const std::string frame = m_session.StartViewerWindow(first);
    ASSERT_FALSE(frame.empty());
    // The first copy shows a file opened through its Open dialog.
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 4000; ++i) {
        samples.push_back(static_cast<std::int16_t>((i / 50) % 2 == 0 ? 16000 : -16000));
    }
    const std::string shown =
        WavBuilder().Format(1, 16).SampleRate(8000).Samples16(samples).WriteTo(m_session.Folder(),
                                                                               "shown.wav");
    const std::string other = WavBuilder()
                                  .Format(2, 16)
                                  .SampleRate(44100)
                                  .Samples16({1, 2, 3, 4})
                                  .WriteTo(m_session.Folder(), "other.wav");
    ASSERT_TRUE(m_session.Activate(frame));
    m_session.Keys("ctrl+o");
    ASSERT_FALSE(m_session.WaitForWindow(first->Pid(), "開く").empty());
    m_session.Type(shown);
    m_session.Keys("Return");
    ASSERT_TRUE(
        WaitUntil([&] { return m_session.WindowsNamed(first->Pid(), "開く").empty(); }, 10000));
    QImage before;
    QImage settled;
    // Wait for the paint after the dialog: two pictures alike.
    ASSERT_TRUE(WaitUntil(
        [&] {
            before = settled;
            settled = QImage(QString::fromStdString(m_session.Screenshot(frame, "before.png")));
            return !settled.isNull() && settled == before;
        },
        10000));
    const std::string otherWindow = StartOtherWindow();
    ASSERT_TRUE(m_session.Activate(otherWindow));

    EXPECT_EQ(RunLaterCopy({other}), 0);
    EXPECT_TRUE(WaitUntil([&] { return ActiveWindow() == frame; }, 5000));
    const QImage after(QString::fromStdString(m_session.Screenshot(frame, "after.png")));
    EXPECT_TRUE(after == before) << "the first copy's view changed";
    EXPECT_EQ(m_session.Property(frame, "_NET_WM_NAME"), "\"" + kCaption + "\"");
}

struct EndCase : NamedCase {
    bool kill;
};
class NextStart : public SingleInstance, public testing::WithParamInterface<EndCase> {};

TEST_P(NextStart, AfterTheFirstCopyEndedIsAFirstCopy) {
    std::unique_ptr<ChildProcess> first;
    const std::string frame = m_session.StartViewerWindow(first);
    ASSERT_FALSE(frame.empty());
    if (GetParam().kill) {
        kill(first->Pid(), SIGKILL);
        ASSERT_EQ(first->WaitForExit(5000), -SIGKILL);
    } else {
        ASSERT_TRUE(m_session.Activate(frame));
        m_session.Keys("alt+F4");
        ASSERT_EQ(first->WaitForExit(10000), 0);
    }
    std::unique_ptr<ChildProcess> next;
    EXPECT_FALSE(m_session.StartViewerWindow(next).empty())
        << "the next start did not open its window";
    EXPECT_TRUE(next->IsRunning());
}

INSTANTIATE_TEST_SUITE_P(Ways, NextStart,
                         testing::Values(EndCase{"Closed", false}, EndCase{"Killed", true}),
                         CaseName);

struct AtOnceCase : NamedCase {
    int copies;
};
class CopiesAtOnce : public SingleInstance, public testing::WithParamInterface<AtOnceCase> {};

// Copies started together, as by a double-click on a launcher: the later ones find the lock
// taken before the first copy's window exists, and wait for that window instead of
// telling the user that the program runs.
TEST_P(CopiesAtOnce, LeaveExactlyOneWindowAndNoBox) {
    constexpr int kRounds = 2;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round + 1));
        std::vector<std::unique_ptr<ChildProcess>> copies;
        for (int i = 0; i < GetParam().copies; ++i) {
            copies.push_back(m_session.StartViewer());
            ASSERT_TRUE(copies.back()->Started());
        }
        bool boxShown = false;
        std::size_t first = copies.size();
        const bool settled = WaitUntil(
            [&] {
                boxShown = boxShown || !m_session
                                            .Run({"xdotool", "search", "--onlyvisible", "--name",
                                                  "^" + kBoxCaption + "$"})
                                            .empty();
                std::size_t running = 0;
                for (std::size_t i = 0; i < copies.size(); ++i) {
                    if (copies[i]->IsRunning()) {
                        ++running;
                        first = i;
                    }
                }
                return running == 1 &&
                       !m_session.WindowsNamed(copies[first]->Pid(), kCaption).empty();
            },
            90000);
        ASSERT_TRUE(settled) << "not one copy with its window and the rest ended";
        EXPECT_FALSE(boxShown) << "a copy told the user that the program runs";
        for (std::size_t i = 0; i < copies.size(); ++i) {
            if (i != first) {
                EXPECT_EQ(copies[i]->WaitForExit(0), 0) << "copy " << i;
            }
        }
        copies[first]->Stop();
    }
}

INSTANTIATE_TEST_SUITE_P(Starts, CopiesAtOnce,
                         testing::Values(AtOnceCase{"Ten", 10}, AtOnceCase{"Thirty", 30}),
                         CaseName);

TEST_F(SingleInstance, LockHeldWithoutAWindowSaysTheProgramRunsAndEndsWithStatus1) {
    const std::unique_ptr<ChildProcess> holder = m_session.HoldLock();
    ASSERT_TRUE(m_session.LockIsHeld());

    std::unique_ptr<ChildProcess> copy = m_session.StartViewer();
    const std::string box = WaitForBox(copy->Pid());
    ASSERT_FALSE(box.empty()) << "no message box";
    EXPECT_EQ(m_session.Property(box, "_NET_WM_NAME"), "\"" + kBoxCaption + "\"");
    EXPECT_EQ(CopyBoxText(box), BoxCopy("既に起動しています"));
    EXPECT_TRUE(m_session.WindowsNamed(copy->Pid(), kCaption).empty());
    PressOk(box);
    EXPECT_EQ(copy->WaitForExit(10000), 1);
    EXPECT_TRUE(holder->IsRunning());
}

struct NoLockCase : NamedCase {
    bool folder; // a folder stands where the lock file belongs; else a file others can write
};
class LockCannotBeCreated : public SingleInstance,
                            public testing::WithParamInterface<NoLockCase> {};

// The tests run as root, whom permissions do not stop: the lock file is made unusable by
// what it is instead. (A runtime folder that cannot be used is passed over for the user's
// own folder under /tmp.)
TEST_P(LockCannotBeCreated, SaysSoAndEndsWithStatus1) {
    const std::string lockFile = m_session.LockFile();
    if (GetParam().folder) {
        ASSERT_EQ(mkdir(lockFile.c_str(), 0700), 0);
    } else {
        std::ofstream(lockFile) << "";
        ASSERT_EQ(chmod(lockFile.c_str(), 0666), 0);
    }
    std::unique_ptr<ChildProcess> copy = m_session.StartViewer();
    const std::string box = WaitForBox(copy->Pid());
    ASSERT_FALSE(box.empty()) << "no message box";
    EXPECT_EQ(CopyBoxText(box), BoxCopy("Cannot create Mutex"));
    EXPECT_TRUE(m_session.WindowsNamed(copy->Pid(), kCaption).empty());
    PressOk(box);
    EXPECT_EQ(copy->WaitForExit(10000), 1);
}

INSTANTIATE_TEST_SUITE_P(RuntimeFolder, LockCannotBeCreated,
                         testing::Values(NoLockCase{"LockIsAFolder", true},
                                         NoLockCase{"LockWritableByOthers", false}),
                         CaseName);

// A folder under /tmp that belongs to another user (the test folder is root's 0700).
class ForeignFolder {
public:
    ForeignFolder(uid_t uid, gid_t gid) {
        char pattern[] = "/tmp/voq006-other-user-XXXXXX";
        if (mkdtemp(pattern) != nullptr && chown(pattern, uid, gid) == 0) {
            m_path = pattern;
        }
    }
    ~ForeignFolder() {
        if (!m_path.empty()) {
            std::filesystem::remove_all(m_path);
        }
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

constexpr uid_t kNobody = 65534;

// A window with the viewer's caption that is not this user's viewer.
enum class Foreign { AnotherUsersCopy, RetitledWindow };

struct ForeignCase : NamedCase {
    Foreign foreign;
};
class ForeignWindow : public SingleInstance, public testing::WithParamInterface<ForeignCase> {
protected:
    void SetUp() override {
        SingleInstance::SetUp();
        if (GetParam().foreign == Foreign::AnotherUsersCopy && geteuid() != 0) {
            GTEST_SKIP() << "needs root to run a copy as another user";
        }
    }

    // Starts the foreign window and returns its id.
    std::string StartForeignWindow() {
        if (GetParam().foreign == Foreign::RetitledWindow) {
            // Any client can give its window the caption.
            const std::string window = StartOtherWindow();
            m_session.Run({"xprop", "-id", window, "-f", "_NET_WM_NAME", "8u", "-set",
                           "_NET_WM_NAME", kCaption});
            return window;
        }
        // Xvfb runs without authorization, so any local client may connect.
        chmod(m_theirRuntime.Path().c_str(), 0700);
        return m_session.StartViewerWindow(
            m_theirs,
            {.changes = {"XDG_RUNTIME_DIR=" + m_theirRuntime.Path(), "HOME=" + m_theirHome.Path(),
                         "XDG_CONFIG_HOME=" + m_theirHome.Path() + "/.config"},
             .prefix = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}});
    }

    bool Minimise(const std::string& window) {
        m_session.Run({"xdotool", "windowminimize", "--sync", window});
        return WaitUntil([&] { return WindowState(window).find("Iconic") != std::string::npos; },
                         5000);
    }

    ForeignFolder m_theirRuntime{kNobody, kNobody};
    ForeignFolder m_theirHome{kNobody, kNobody};
    std::unique_ptr<ChildProcess> m_theirs;
};

// The foreign window comes first in the window manager's list, where a lookup by the
// caption alone would take it. It neither keeps this user's copy from starting nor is it
// restored or activated by a second start, which brings up the user's own copy instead.
TEST_P(ForeignWindow, NeitherBlocksNorIsActivated) {
    const std::string theirs = StartForeignWindow();
    ASSERT_FALSE(theirs.empty()) << "the foreign window did not appear";
    ASSERT_EQ(m_session.Property(theirs, "_NET_WM_NAME"), "\"" + kCaption + "\"");
    ASSERT_TRUE(Minimise(theirs));

    std::unique_ptr<ChildProcess> mine;
    const std::string myFrame = m_session.StartViewerWindow(mine);
    ASSERT_FALSE(myFrame.empty()) << "this user's copy did not start as a first copy";
    EXPECT_TRUE(mine->IsRunning());
    EXPECT_NE(WindowState(theirs).find("Iconic"), std::string::npos)
        << "the foreign window was restored";
    ASSERT_TRUE(Minimise(myFrame));

    EXPECT_EQ(RunLaterCopy(), 0);
    EXPECT_TRUE(
        WaitUntil([&] { return WindowState(myFrame).find("Normal") != std::string::npos; }, 5000))
        << WindowState(myFrame);
    EXPECT_TRUE(WaitUntil([&] { return ActiveWindow() == myFrame; }, 5000))
        << "active: " << ActiveWindow() << ", this user's copy: " << myFrame;
    EXPECT_NE(WindowState(theirs).find("Iconic"), std::string::npos)
        << "the foreign window was restored";
    if (m_theirs != nullptr) {
        EXPECT_TRUE(m_theirs->IsRunning());
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ForeignWindow,
                         testing::Values(ForeignCase{"AnotherUsersCopy", Foreign::AnotherUsersCopy},
                                         ForeignCase{"RetitledWindow", Foreign::RetitledWindow}),
                         CaseName);

// Values of XDG_RUNTIME_DIR that the viewer passes over for the user's own folder under
// /tmp: copies started with them still meet there, and leave no lock file in the folder
// they were given.
struct RuntimeCase : NamedCase {
    const char* value; // "." or empty for the prepared folder
    mode_t mode;       // of the prepared folder
    bool anotherUsers; // the prepared folder belongs to nobody
};
class IgnoredRuntimeFolder : public SingleInstance,
                             public testing::WithParamInterface<RuntimeCase> {};

TEST_P(IgnoredRuntimeFolder, CopiesMeetInTheUsersOwnFolder) {
    if (GetParam().anotherUsers && geteuid() != 0) {
        GTEST_SKIP() << "needs root to give a folder to another user";
    }
    // Each copy runs in a folder of its own, and is given the variable relative to it.
    std::vector<std::string> folders;
    for (const char* name : {"one", "two"}) {
        folders.push_back(m_session.Folder().File(name));
        ASSERT_EQ(mkdir(folders.back().c_str(), 0700), 0);
        ASSERT_EQ(chmod(folders.back().c_str(), GetParam().mode), 0);
        if (GetParam().anotherUsers) {
            ASSERT_EQ(chown(folders.back().c_str(), kNobody, kNobody), 0);
        }
    }
    const auto start = [&](const std::string& folder) {
        const std::string value = GetParam().value[0] != '\0' ? GetParam().value : folder;
        return ViewerStart{.changes = {"XDG_RUNTIME_DIR=" + value},
                           .prefix = {"env", "-C", folder}};
    };
    std::unique_ptr<ChildProcess> first;
    ASSERT_FALSE(m_session.StartViewerWindow(first, start(folders[0])).empty());
    std::unique_ptr<ChildProcess> later = m_session.StartViewer(start(folders[1]));
    EXPECT_EQ(later->WaitForExit(20000), std::optional<int>(0)) << "both copies were first";
    EXPECT_TRUE(first->IsRunning());
    for (const std::string& folder : folders) {
        EXPECT_FALSE(std::filesystem::exists(folder + "/VOQ")) << folder;
    }
}

INSTANTIATE_TEST_SUITE_P(Values, IgnoredRuntimeFolder,
                         testing::Values(RuntimeCase{"Relative", ".", 0700, false},
                                         RuntimeCase{"WorldWritable", "", 01777, false},
                                         RuntimeCase{"AnotherUsers", "", 0700, true}),
                         CaseName);

// With nobody managing the windows, the later copy raises the first copy's window above
// the others and gives it the input focus itself.
class SingleInstanceWithoutWindowManager : public SingleInstance {
protected:
    SingleInstanceWithoutWindowManager() : SingleInstance(WindowManager::None) {}

    // The top-level windows from the top of the stack down.
    std::vector<std::string> Stack() const {
        std::vector<std::string> ids;
        const std::string tree = m_session.Run({"xwininfo", "-root", "-children"});
        std::size_t start = 0;
        while ((start = tree.find("\n     0x", start)) != std::string::npos) {
            start += 6;
            const std::size_t end = tree.find(' ', start);
            ids.push_back(std::to_string(std::stoul(tree.substr(start, end - start), nullptr, 16)));
        }
        return ids;
    }
    // Whether window a is above window b.
    bool Above(const std::string& a, const std::string& b) const {
        for (const std::string& id : Stack()) {
            if (id == a || id == b) {
                return id == a;
            }
        }
        return false;
    }
};

TEST_F(SingleInstanceWithoutWindowManager, SecondStartRaisesAndFocusesTheFirstCopy) {
    std::unique_ptr<ChildProcess> first;
    const std::string frame = m_session.StartViewerWindow(first);
    ASSERT_FALSE(frame.empty());
    const std::string other = StartOtherWindow();
    ASSERT_FALSE(other.empty());
    m_session.Run({"xdotool", "windowraise", other});
    m_session.Run({"xdotool", "windowfocus", "--sync", other});
    ASSERT_EQ(FocusWindow(), other);
    ASSERT_TRUE(Above(other, frame));

    EXPECT_EQ(RunLaterCopy(), 0);
    EXPECT_TRUE(WaitUntil([&] { return FocusWindow() == frame; }, 5000))
        << "focus: " << FocusWindow() << ", first copy: " << frame;
    EXPECT_TRUE(Above(frame, other));
}

} // namespace
