#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

#include <ostream>
#include <string>
#include <vector>

#include "platform/WindowingPlatform.h"
#include "resources/ApplicationResources.h"
#include "tests/gui/ImageProbe.h"
#include "tests/gui/ViewerSession.h"
#include "tests/support/CaseName.h"
#include "tests/support/ViewerText.h"
#include "wave/WaveFileReader.h"

// The main window as the user meets it: menus, keys, status bar, size and caption, and
// what its own commands do.
namespace {

bool IsBlank(const QImage& image) {
    return image_probe::Count(image, 0, 0, image.width(), image.height(), image_probe::IsWhite) ==
           image.width() * image.height();
}

// ---- start-up ----------------------------------------------------------------------------

TEST(StartUp, ShowsTheMainWindowBlankUnderItsCaption) {
    ProgramSession program;
    ASSERT_TRUE(program.InitInstance());
    CMainFrame* frame = program.MainFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->windowTitle().toStdString(), kCaption);
    EXPECT_EQ(frame->windowIconText().toStdString(), kCaption);
    QCoreApplication::processEvents();
    EXPECT_TRUE(IsBlank(frame->findChild<CVOQ006View*>()->grab().toImage()));
    EXPECT_EQ(QCoreApplication::applicationName().toStdString(), "VOQ006");
    EXPECT_EQ(QCoreApplication::organizationName().toStdString(), "VOQ016");
    EXPECT_EQ(QCoreApplication::applicationVersion().toStdString(), "0.16");
    // Qt would append a display name to every caption.
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

// ---- the window's own commands --------------------------------------------------------

TEST(Commands, ExitClosesTheMainWindow) {
    ViewerSession session;
    ASSERT_TRUE(session.Frame().isVisible());
    session.Trigger(ID_APP_EXIT);
    EXPECT_FALSE(session.Frame().isVisible());
}

TEST(Commands, TheStatusBarItemHidesTheBarAndShowsItAgainWithItsCheckMark) {
    ViewerSession session;
    QStatusBar& bar = session.StatusBar();
    ASSERT_TRUE(bar.isVisible());
    session.Trigger(ID_VIEW_STATUS_BAR);
    EXPECT_FALSE(bar.isVisible());
    // The menu item carries a check mark while the bar is visible.
    QAction* item = session.ActionOf(ID_VIEW_STATUS_BAR);
    emit session.Menus()[1]->aboutToShow();
    EXPECT_FALSE(item->isChecked());
    session.Trigger(ID_VIEW_STATUS_BAR);
    EXPECT_TRUE(bar.isVisible());
    emit session.Menus()[1]->aboutToShow();
    EXPECT_TRUE(item->isChecked());
}

// ---- menus, keys and the status bar -----------------------------------------------------

struct MenuItemCase {
    const char* text;          // nullptr: separator
    const char* shortcut = ""; // shown in the shortcut column and read by screen readers
};

TEST(MenuBar, HasTheThreeMenusWithTheirItemsInOrder) {
    ViewerSession session;
    const std::vector<QMenu*> menus = session.Menus();
    ASSERT_EQ(menus.size(), 3u);
    const std::vector<std::string> titles{"ﾌｧｲﾙ(&F)", "表示(&V)", "ﾍﾙﾌﾟ(&H)"};
    const std::vector<std::vector<MenuItemCase>> items{
        {{"開く(&O)", "Ctrl+O"}, {nullptr}, {"ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)"}},
        {{"ｽﾃｰﾀｽ ﾊﾞｰ(&S)"}},
        {{"ﾊﾞｰｼﾞｮﾝ情報(&A)"}},
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
            EXPECT_TRUE(actions[i]->isEnabled());
            EXPECT_FALSE(actions[i]->isChecked());
        }
    }
}

struct PromptCase : NamedCase {
    ResourceId command;
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
    EXPECT_EQ(session.MessageText(), kIdleText);
    menu->popup(session.Frame().mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    menu->setActiveAction(action);
    EXPECT_EQ(session.MessageText(), c.prompt);
    menu->hide();
    EXPECT_EQ(session.MessageText(), kIdleText);
}

INSTANTIATE_TEST_SUITE_P(
    MenuItems, StatusPrompt,
    testing::Values(PromptCase{"Open", ID_FILE_OPEN, "既存のﾌｧｲﾙを開く"},
                    PromptCase{"Exit", ID_APP_EXIT, "ｱﾌﾟﾘｹｰｼｮﾝを終了し、ﾌｧｲﾙの保存を指示"},
                    PromptCase{"StatusBar", ID_VIEW_STATUS_BAR, "ｽﾃｰﾀｽ ﾊﾞｰの 表示/非表示"},
                    PromptCase{"About", ID_APP_ABOUT, "ﾌﾟﾛｸﾞﾗﾑの情報、ﾊﾞｰｼﾞｮﾝそして著作権を表示"}),
    CaseName);

// The reasons that no file gives the view here, and a name that looks like one of the
// line's fields, which stays as it is.
TEST(StatusBar, SaysWhyTheMemoryOrTheReaderProcessFailed) {
    const QString name = QStringLiteral("/music/{offset}.wav");
    EXPECT_EQ(RejectionText({LoadStatus::CannotAllocate}, name).toStdString(),
              "ﾒﾓﾘが足りません: /music/{offset}.wav");
    EXPECT_EQ(RejectionText({LoadStatus::ReaderFailed}, name).toStdString(),
              "読み込みﾌﾟﾛｾｽが異常終了しました: /music/{offset}.wav");
}

TEST(StatusBar, HasTheMessagePaneAndTheFourIndicatorsInOrderEachWideEnoughForItsText) {
    ViewerSession session;
    QCoreApplication::processEvents();
    const char* texts[] = {"ｶﾅ", "CAP", "NUM", "SCRL"};
    int previousRight = -1;
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE("pane " + std::to_string(i));
        auto* pane = session.StatusBar().findChild<QLabel*>(QStringLiteral("pane%1").arg(i));
        ASSERT_NE(pane, nullptr);
        EXPECT_GT(pane->geometry().left(), previousRight) << "out of order";
        previousRight = pane->geometry().right();
        if (i == 0) {
            EXPECT_EQ(pane->text().toStdString(), kIdleText);
            continue;
        }
        // The offscreen platform cannot tell the lock keys: the indicators are blank, and
        // keep room for their texts.
        EXPECT_EQ(pane->text().toStdString(), "");
        EXPECT_GT(pane->width(),
                  pane->fontMetrics().horizontalAdvance(QString::fromUtf8(texts[i - 1])));
    }
}

// ---- size and flags -------------------------------------------------------------------

TEST(MainWindow, IsFixedAt960By520WithoutMaximiseButton) {
    ViewerSession session;
    QMainWindow& window = session.Frame();
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
    // Minimised and restored, it has the same size.
    window.showMinimized();
    QCoreApplication::processEvents();
    window.showNormal();
    QCoreApplication::processEvents();
    EXPECT_EQ(window.size(), QSize(960, 520));
    EXPECT_TRUE(window.isVisible());
}

TEST(MainWindow, ViewHoldsTheWholeDrawingWithAndWithoutTheStatusBar) {
    ViewerSession session;
    for (bool statusBarShown : {true, false}) {
        session.StatusBar().setVisible(statusBarShown);
        QCoreApplication::processEvents();
        // The legend ends at x = 936; the time labels, 16 pixels high, at y = 404.
        EXPECT_GE(session.View().width(), 937) << "status bar shown: " << statusBarShown;
        EXPECT_GE(session.View().height(), 421) << "status bar shown: " << statusBarShown;
    }
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
