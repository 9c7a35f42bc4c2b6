#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

#include <ostream>
#include <string>
#include <vector>

#include "platform/WindowingPlatform.h"
#include "shell/VOQ006View.h"
#include "shell/framework/Document.h"
#include "shell/framework/FrameWnd.h"
#include "tests/gui/ImageProbe.h"
#include "tests/gui/ViewerSession.h"
#include "tests/support/CaseName.h"
#include "tests/support/ViewerText.h"
#include "tests/support/WavBuilder.h"

// The main window as the user meets it: menus, keys, status bar, size and caption, and
// where each command goes.
namespace {

bool IsBlank(const QImage& image) {
    return image_probe::Count(image, 0, 0, image.width(), image.height(), image_probe::IsWhite) ==
           image.width() * image.height();
}

// ---- command routing -------------------------------------------------------------------

// The caption of the modal window a command opens, or "" when none opens.
std::string ModalCaptionOf(ViewerSession& session, UINT command, std::string* firstFilter) {
    std::string caption;
    WithModal([&] { session.Frame().OnCommand(command); },
              [&](QWidget& modal) {
                  caption = modal.windowTitle().toStdString();
                  if (auto* dialog = qobject_cast<QFileDialog*>(&modal)) {
                      *firstFilter = dialog->nameFilters().value(0).toStdString();
                  }
                  qobject_cast<QDialog*>(&modal)->reject();
              });
    return caption;
}

TEST(CommandRouting, ReachesTheFirstTableThatHandlesIt) {
    ViewerSession session;
    ASSERT_TRUE(session.started());
    // The same with the status bar hidden: hiding a bar changes no table.
    for (bool statusBarShown : {true, false}) {
        SCOPED_TRACE(statusBarShown ? "status bar shown" : "status bar hidden");
        session.StatusBar().ShowWindow(statusBarShown ? SW_SHOW : SW_HIDE);
        // The view is offered Open first: its dialog filters wave files, the
        // application's would offer every file only.
        std::string filter;
        EXPECT_EQ(ModalCaptionOf(session, ID_FILE_OPEN, &filter), "開く");
        EXPECT_EQ(filter, "波形ファイル(*.wav)");
        EXPECT_EQ(ModalCaptionOf(session, ID_APP_ABOUT, &filter), "ﾊﾞｰｼﾞｮﾝ情報");
        // The framework's New keeps the one document and its window.
        EXPECT_TRUE(session.Frame().OnCommand(ID_FILE_NEW));
        EXPECT_EQ(session.App().m_pMainWnd, &session.Frame());
        EXPECT_TRUE(session.Window().isVisible());
        EXPECT_FALSE(session.Frame().OnCommand(0xE123)) << "an identifier in no table";
    }
}

TEST(CommandRoutingEdges, ExitClosesTheMainWindow) {
    ViewerSession session;
    ASSERT_TRUE(session.Window().isVisible());
    session.Frame().OnCommand(ID_APP_EXIT);
    EXPECT_FALSE(session.Window().isVisible());
}

TEST(CommandRoutingEdges, TheStatusBarCommandHidesTheBarAndShowsItAgain) {
    ViewerSession session;
    QStatusBar* bar = session.Window().statusBar();
    ASSERT_TRUE(bar->isVisible());
    session.Frame().OnCommand(ID_VIEW_STATUS_BAR);
    EXPECT_FALSE(bar->isVisible());
    // The menu item carries a check mark while the bar is visible.
    QAction* item = session.ActionOf(ID_VIEW_STATUS_BAR);
    emit session.Menus()[1]->aboutToShow();
    EXPECT_FALSE(item->isChecked());
    session.Frame().OnCommand(ID_VIEW_STATUS_BAR);
    EXPECT_TRUE(bar->isVisible());
    emit session.Menus()[1]->aboutToShow();
    EXPECT_TRUE(item->isChecked());
}

// ---- menus, keys and the status bar -----------------------------------------------------

struct MenuItemCase {
    const char* text; // nullptr: separator
    UINT command;
    const char* shortcut = ""; // shown in the shortcut column and read by screen readers
};

TEST(MenuBar, HasTheThreeMenusWithTheirItemsInOrder) {
    ViewerSession session;
    const std::vector<QMenu*> menus = session.Menus();
    ASSERT_EQ(menus.size(), 3u);
    const std::vector<std::string> titles{"ﾌｧｲﾙ(&F)", "表示(&V)", "ﾍﾙﾌﾟ(&H)"};
    const std::vector<std::vector<MenuItemCase>> items{
        {{"開く(&O)", ID_FILE_OPEN, "Ctrl+O"}, {nullptr, 0}, {"ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)", ID_APP_EXIT}},
        {{"ｽﾃｰﾀｽ ﾊﾞｰ(&S)", ID_VIEW_STATUS_BAR}},
        {{"ﾊﾞｰｼﾞｮﾝ情報(&A)", ID_APP_ABOUT}},
    };
    for (std::size_t m = 0; m < menus.size(); ++m) {
        SCOPED_TRACE(titles[m]);
        EXPECT_EQ(menus[m]->title().toStdString(), titles[m]);
        const QList<QAction*> actions = menus[m]->actions();
        ASSERT_EQ(static_cast<std::size_t>(actions.size()), items[m].size());
        for (std::size_t i = 0; i < items[m].size(); ++i) {
            if (items[m][i].text == nullptr) {
                EXPECT_TRUE(actions[i]->isSeparator());
                continue;
            }
            EXPECT_EQ(actions[i]->text().toStdString(), items[m][i].text);
            EXPECT_EQ(actions[i]->shortcut().toString(QKeySequence::PortableText).toStdString(),
                      items[m][i].shortcut);
            EXPECT_EQ(actions[i]->data().toUInt(), items[m][i].command);
            EXPECT_TRUE(actions[i]->isEnabled());
            EXPECT_FALSE(actions[i]->isChecked());
        }
    }
}

struct PromptCase : NamedCase {
    UINT command;
    const char* prompt;
};

class StatusPrompt : public testing::TestWithParam<PromptCase> {};

TEST_P(StatusPrompt, ShowsTheFirstLineWhileTheItemIsHighlightedAndTheIdleTextAfter) {
    const PromptCase& c = GetParam();
    ViewerSession session;
    session.Activate();
    QAction* action = session.ActionOf(c.command);
    ASSERT_NE(action, nullptr);
    QMenu* menu = nullptr;
    for (QMenu* candidate : session.Menus()) {
        if (candidate->actions().contains(action)) {
            menu = candidate;
        }
    }
    EXPECT_EQ(session.StatusBar().GetPaneText(0), kIdleText);
    menu->popup(session.Window().mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    menu->setActiveAction(action);
    EXPECT_EQ(session.StatusBar().GetPaneText(0), c.prompt);
    menu->hide();
    EXPECT_EQ(session.StatusBar().GetPaneText(0), kIdleText);
}

INSTANTIATE_TEST_SUITE_P(
    MenuItems, StatusPrompt,
    testing::Values(PromptCase{"Open", ID_FILE_OPEN, "既存のﾌｧｲﾙを開く"},
                    PromptCase{"Exit", ID_APP_EXIT, "ｱﾌﾟﾘｹｰｼｮﾝを終了し、ﾌｧｲﾙの保存を指示"},
                    PromptCase{"StatusBar", ID_VIEW_STATUS_BAR, "ｽﾃｰﾀｽ ﾊﾞｰの 表示/非表示"},
                    PromptCase{"About", ID_APP_ABOUT, "ﾌﾟﾛｸﾞﾗﾑの情報、ﾊﾞｰｼﾞｮﾝそして著作権を表示"}),
    CaseName);

TEST(StatusBar, HasTheMessagePaneAndTheFourIndicatorsInOrder) {
    ViewerSession session;
    CStatusBar& bar = session.StatusBar();
    ASSERT_EQ(bar.GetCount(), 5);
    const UINT ids[] = {ID_SEPARATOR, ID_INDICATOR_KANA, ID_INDICATOR_CAPS, ID_INDICATOR_NUM,
                        ID_INDICATOR_SCRL};
    const char* texts[] = {"ｶﾅ", "CAP", "NUM", "SCRL"};
    // The offscreen platform cannot tell the lock keys: the indicators are blank.
    for (int i = 1; i < 5; ++i) {
        EXPECT_EQ(bar.GetItemID(i), ids[i]);
        EXPECT_EQ(bar.GetPaneText(i), "");
    }
    EXPECT_EQ(bar.GetItemID(0), ID_SEPARATOR);
    for (int i = 1; i < 5; ++i) {
        bar.SetIndicatorOn(ids[i], true);
    }
    QCoreApplication::processEvents();
    int previousRight = -1;
    for (int i = 1; i < 5; ++i) {
        EXPECT_EQ(bar.GetPaneText(i), texts[i - 1]);
        auto* pane =
            session.Window().statusBar()->findChild<QLabel*>(QStringLiteral("pane%1").arg(i));
        ASSERT_NE(pane, nullptr);
        EXPECT_GT(pane->geometry().left(), previousRight) << "pane " << i << " is out of order";
        previousRight = pane->geometry().right();
    }
    bar.SetIndicatorOn(ID_INDICATOR_CAPS, false);
    EXPECT_EQ(bar.GetPaneText(2), "");
    EXPECT_EQ(bar.GetPaneText(3), "NUM");
}

// ---- size, flags and caption --------------------------------------------------------------

TEST(MainWindow, IsFixedAt960By520WithoutMaximiseButton) {
    ViewerSession session;
    QMainWindow& window = session.Window();
    EXPECT_EQ(window.size(), QSize(960, 520));
    EXPECT_EQ(window.minimumSize(), QSize(960, 520));
    EXPECT_EQ(window.maximumSize(), QSize(960, 520));
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(window.statusBar()->isSizeGripEnabled());
    // A drag of the border asks for another size; the window keeps its own.
    window.resize(1200, 700);
    EXPECT_EQ(window.size(), QSize(960, 520));
}

TEST(MainWindow, HasTheSameSizeAfterMinimiseAndRestore) {
    ViewerSession session;
    session.Frame().ShowWindow(SW_MINIMIZE);
    QCoreApplication::processEvents();
    session.Frame().ShowWindow(SW_RESTORE);
    QCoreApplication::processEvents();
    EXPECT_EQ(session.Window().size(), QSize(960, 520));
    EXPECT_TRUE(session.Window().isVisible());
}

TEST(MainWindow, ViewHoldsTheWholeDrawingWithAndWithoutTheStatusBar) {
    ViewerSession session;
    for (bool statusBarShown : {true, false}) {
        session.StatusBar().ShowWindow(statusBarShown ? SW_SHOW : SW_HIDE);
        QCoreApplication::processEvents();
        // The legend ends at x = 936; the time labels, 16 pixels high, at y = 404.
        EXPECT_GE(session.ViewWidget().width(), 937) << "status bar shown: " << statusBarShown;
        EXPECT_GE(session.ViewWidget().height(), 421) << "status bar shown: " << statusBarShown;
    }
}

struct StyleCase : NamedCase {
    DWORD style;
    bool maximise, minimise, close;
};

class WindowStyle : public testing::TestWithParam<StyleCase> {};

TEST_P(WindowStyle, BecomesTheMatchingWindowButtons) {
    const StyleCase& c = GetParam();
    const Qt::WindowFlags flags = AfxWindowFlagsFromStyle(c.style);
    EXPECT_EQ(flags.testFlag(Qt::WindowMaximizeButtonHint), c.maximise);
    EXPECT_EQ(flags.testFlag(Qt::WindowMinimizeButtonHint), c.minimise);
    EXPECT_EQ(flags.testFlag(Qt::WindowCloseButtonHint), c.close);
}

INSTANTIATE_TEST_SUITE_P(Styles, WindowStyle,
                         testing::Values(StyleCase{"MainFrame", 0x00CA8000, false, true, true},
                                         StyleCase{"OverlappedWindow", WS_OVERLAPPEDWINDOW, true,
                                                   true, true},
                                         StyleCase{"CaptionOnly", WS_CAPTION, false, false, false}),
                         CaseName);

struct CommandLineCase : NamedCase {
    bool fileExists;
};

class CommandLine : public testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLine, AFileNamedOnItLeavesTheViewBlankAndTheCaptionExact) {
    TemporaryFolder folder;
    const std::string path = GetParam().fileExists ? WavBuilder()
                                                         .Format(2, 16)
                                                         .Samples16({1000, -1000, 2000, -2000})
                                                         .WriteTo(folder, "a.wav")
                                                   : folder.File("missing.wav");
    ViewerSession session({path});
    ASSERT_TRUE(session.started());
    EXPECT_EQ(session.Frame().GetWindowText(), kCaption);
    // The document is given the file and reads nothing.
    EXPECT_EQ(session.Frame().GetActiveDocument()->GetPathName(), path);
    EXPECT_EQ(session.App().Record().loaded, 0);
    EXPECT_TRUE(IsBlank(session.GrabView()));
}

INSTANTIATE_TEST_SUITE_P(Files, CommandLine,
                         testing::Values(CommandLineCase{"ExistingFile", true},
                                         CommandLineCase{"MissingFile", false}),
                         CaseName);

TEST(CommandLineOptions, AreIgnoredAndTheFirstOtherArgumentIsTheDocument) {
    // The viewer has no options of its own: "--help" and "--version" open the window.
    ViewerSession session({"--help", "--version", "first.wav", "second.wav"});
    ASSERT_TRUE(session.started());
    EXPECT_TRUE(session.Window().isVisible());
    EXPECT_EQ(session.Frame().GetWindowText(), kCaption);
    EXPECT_EQ(session.Frame().GetActiveDocument()->GetPathName(), "first.wav");
    EXPECT_EQ(session.App().Record().loaded, 0);
}

TEST(MainWindow, StartsBlankUnderItsCaption) {
    ViewerSession session;
    ASSERT_TRUE(session.started());
    EXPECT_EQ(session.Frame().GetWindowText(), kCaption);
    EXPECT_EQ(session.Window().windowTitle().toStdString(), kCaption);
    EXPECT_TRUE(session.Window().isVisible());
    EXPECT_TRUE(IsBlank(session.GrabView()));
    EXPECT_EQ(QCoreApplication::applicationName().toStdString(), "VOQ006");
    EXPECT_EQ(QCoreApplication::organizationName().toStdString(), "VOQ016");
    EXPECT_EQ(QCoreApplication::applicationVersion().toStdString(), "0.16");
    // Qt would append a display name to every caption.
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

// ---- the windowing platform ---------------------------------------------------------------

struct PlatformCase : NamedCase {
    const char* chosen;  // QT_QPA_PLATFORM before start-up, or nullptr
    const char* wayland; // WAYLAND_DISPLAY, or nullptr
    const char* x11;     // DISPLAY, or nullptr
    const char* result;  // QT_QPA_PLATFORM after, or nullptr
};
class WindowingPlatform : public testing::TestWithParam<PlatformCase> {};

void SetOrUnset(const char* name, const char* value) {
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

TEST_P(WindowingPlatform, IsXcbOnAWaylandSessionWithAnXDisplayUnlessTheUserChose) {
    const PlatformCase& c = GetParam();
    const QByteArray saved = qgetenv("QT_QPA_PLATFORM");
    SetOrUnset("QT_QPA_PLATFORM", c.chosen);
    SetOrUnset("WAYLAND_DISPLAY", c.wayland);
    SetOrUnset("DISPLAY", c.x11);
    char program[] = "voq006";
    char* argv[] = {program, nullptr};
    ChooseWindowingPlatform(1, argv);
    const char* result = std::getenv("QT_QPA_PLATFORM");
    EXPECT_EQ(result != nullptr ? std::string(result) : "(unset)",
              c.result != nullptr ? std::string(c.result) : "(unset)");
    qputenv("QT_QPA_PLATFORM", saved);
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, WindowingPlatform,
    testing::Values(PlatformCase{"WaylandWithXDisplay", nullptr, "wayland-0", ":0", "xcb"},
                    PlatformCase{"UserChoseWayland", "wayland", "wayland-0", ":0", "wayland"},
                    PlatformCase{"WaylandOnly", nullptr, "wayland-0", nullptr, nullptr},
                    PlatformCase{"X11Only", nullptr, nullptr, ":0", nullptr},
                    PlatformCase{"EmptyWaylandDisplay", nullptr, "", ":0", nullptr}),
    CaseName);

} // namespace
