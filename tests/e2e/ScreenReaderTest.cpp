#include <QImage>
#include <QLibraryInfo>

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/XSession.h"
#include "tests/slowfs/SlowFile.h"
#include "tests/support/CaseName.h"
#include "tests/support/ViewerText.h"
#include "tests/support/WavBuilder.h"

// The viewer as a screen reader meets it: its windows read through the AT-SPI
// accessibility bus by a real client, with the viewer on a real X server. Each test has
// its own D-Bus session bus, on which the accessibility bus is started as the desktop
// starts it.
namespace {

using Clock = std::chrono::steady_clock;

// Rows at the bottom of the main window that hold at least its status bar, in pixels.
constexpr int kStatusBarRoom = 40;

// One object of the accessible tree, as the client prints it.
struct Accessible {
    std::string path, role, name, description, keyBinding, states;
    int x{}, y{}, width{}, height{};

    bool Showing() const { return states.find("showing") != std::string::npos; }
    // xdotool's arguments for its middle.
    std::vector<std::string> Centre() const {
        return {std::to_string(x + width / 2), std::to_string(y + height / 2)};
    }
};

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

std::vector<Accessible> ParseTree(const std::string& output) {
    std::vector<Accessible> tree;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const std::vector<std::string> f = Fields(line);
        if (f.size() == 10) {
            tree.push_back({f[0], f[1], f[2], f[3], f[4], f[5], std::stoi(f[6]), std::stoi(f[7]),
                            std::stoi(f[8]), std::stoi(f[9])});
        }
    }
    return tree;
}

// The first object with this role (and name, if given) below the path prefix.
std::optional<Accessible> Find(const std::vector<Accessible>& tree, const std::string& role,
                               const std::optional<std::string>& name = {},
                               const std::string& under = "app") {
    for (const Accessible& accessible : tree) {
        if (accessible.role == role && (!name || accessible.name == *name) &&
            accessible.path.starts_with(under)) {
            return accessible;
        }
    }
    return std::nullopt;
}

class ScreenReaderSession : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_session.Ready()) << "the X server or the window manager did not start";
        // The bus tells its address on descriptor 3 once it accepts connections.
        m_busAddress =
            StartAndReadLine(m_bus, {"dbus-daemon", "--session", "--nofork", "--print-address=3"},
                             m_session.Environment(), m_session.Folder().File("dbus.log"));
        ASSERT_FALSE(m_busAddress.empty()) << "no D-Bus session bus";
    }

    // Starts the viewer, on the session bus and with Qt's accessibility bridge on whether
    // or not the desktop asks for it, and waits until its main window is on the screen and
    // on the accessibility bus.
    void StartViewer(ViewerStart start = {}) {
        start.changes.insert(start.changes.begin(), {"DBUS_SESSION_BUS_ADDRESS=" + m_busAddress,
                                                     "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1"});
        m_frame = m_session.StartViewerWindow(m_viewer, start);
        ASSERT_FALSE(m_frame.empty()) << "no window captioned " << kCaption;
        ASSERT_TRUE(WaitUntil([&] { return Find(Tree(), "frame", kCaption).has_value(); }, 30000))
            << "the window is not on the accessibility bus";
        ASSERT_TRUE(m_session.Activate(m_frame));
    }

    std::vector<Accessible> Tree() const {
        return ParseTree(
            m_session.Run({"env", "DBUS_SESSION_BUS_ADDRESS=" + m_busAddress, "/usr/bin/python3",
                           VOQ_ATSPI_CLIENT, "dump", std::to_string(m_viewer->Pid())},
                          30000));
    }

    // Waits until the tree holds an object with the role (and name) given.
    std::optional<Accessible> WaitFor(const std::string& role,
                                      const std::optional<std::string>& name = {},
                                      const std::string& under = "app") const {
        std::optional<Accessible> found;
        WaitUntil([&] { return (found = Find(Tree(), role, name, under)).has_value(); }, 20000);
        return found;
    }

    // The text of the status bar's message pane.
    std::string StatusText() const {
        const auto pane = Find(Tree(), "label", {}, Find(Tree(), "status bar")->path + "/");
        return pane ? pane->name : "(no pane)";
    }

    // The main window without its status bar, as it is on the screen.
    QImage ViewPicture(const std::string& name) const {
        const QImage window(QString::fromStdString(m_session.Screenshot(m_frame, name)));
        return window.copy(0, 0, window.width(), window.height() - kStatusBarRoom);
    }

    void MovePointer(const std::vector<std::string>& where) const {
        m_session.Run({"xdotool", "mousemove", "--sync", where.at(0), where.at(1)});
    }

    // Chooses path in the Open dialog, reached with Ctrl+O; sets chosen to when the choice
    // was made.
    void OpenThroughTheDialog(const std::string& path, Clock::time_point* chosen = nullptr) {
        m_session.Keys("ctrl+o");
        ASSERT_FALSE(m_session.WaitForWindow(m_viewer->Pid(), "開く", 20000).empty())
            << "Ctrl+O opened no dialog";
        m_session.Type(path);
        m_session.Keys("Return");
        if (chosen != nullptr) {
            *chosen = Clock::now();
        }
        ASSERT_TRUE(WaitUntil(
            [&] { return m_session.WindowsNamed(m_viewer->Pid(), "開く").empty(); }, 20000));
    }

    // Starts a client that follows the changes of names and descriptions, as a screen
    // reader does: the file it writes them to, once it listens.
    std::string WatchChanges() {
        const std::string changes = m_session.Folder().File("changes.log");
        m_watcher = std::make_unique<ChildProcess>(
            std::vector<std::string>{"env", "DBUS_SESSION_BUS_ADDRESS=" + m_busAddress,
                                     "/usr/bin/python3", VOQ_ATSPI_CLIENT, "watch",
                                     std::to_string(m_viewer->Pid()), "300"},
            m_session.Environment(), changes);
        EXPECT_TRUE(WaitUntil([&] { return ReadFile<std::string>(changes).starts_with("ready\n"); },
                              20000));
        return changes;
    }

    XSession m_session;
    std::string m_busAddress;
    std::unique_ptr<ChildProcess> m_viewer;
    std::string m_frame;

private:
    std::unique_ptr<ChildProcess> m_bus;
    std::unique_ptr<ChildProcess> m_watcher;
};

// ---- the view ---------------------------------------------------------------------------

using ScreenReader = ScreenReaderSession;

TEST_F(ScreenReader, ReadsThePathAndSummaryOfTheFileShownAndKeepsThemOnARejectedFile) {
    StartViewer();
    const std::optional<Accessible> blank = WaitFor("image");
    ASSERT_TRUE(blank) << "the view is no image to a screen reader";
    EXPECT_EQ(blank->name, "");
    EXPECT_EQ(blank->description, "");
    EXPECT_TRUE(blank->Showing());

    const std::string changes = WatchChanges();

    // 4000 frames of 16-bit mono at 8000 Hz: 8,000 bytes of samples, 8,044 bytes in all.
    const std::string good = WavBuilder()
                                 .Format(1, 16)
                                 .SampleRate(8000)
                                 .Samples16(std::vector<std::int16_t>(4000, 1000))
                                 .WriteTo(m_session.Folder(), "tone.wav");
    const std::string summary = "モノラル,   8000 Hz,  16 Bit,    7.86 KB,   0.50 秒,   4000 個";
    OpenThroughTheDialog(good);
    std::optional<Accessible> view = WaitFor("image", good);
    ASSERT_TRUE(view) << "the view was not named after the file";
    EXPECT_EQ(view->description, summary);
    EXPECT_TRUE(WaitUntil(
        [&] {
            const std::string seen = ReadFile<std::string>(changes);
            return seen.find("accessible-name\timage\t" + good + "\t") != std::string::npos &&
                   seen.find("accessible-description\timage\t" + good + "\t" + summary + "\n") !=
                       std::string::npos;
        },
        20000))
        << "no change events for the view:\n"
        << ReadFile<std::string>(changes);

    // A rejected file changes nothing in the view (the status bar says why). The version
    // box, opened after it, shows that the load is over.
    const std::string rejected = m_session.Folder().File("junk.wav");
    std::ofstream(rejected) << "not a wave file";
    OpenThroughTheDialog(rejected);
    m_session.Keys("alt+h a");
    ASSERT_FALSE(m_session.WaitForWindow(m_viewer->Pid(), "ﾊﾞｰｼﾞｮﾝ情報", 20000).empty());
    view = Find(Tree(), "image");
    ASSERT_TRUE(view);
    EXPECT_EQ(view->name, good);
    EXPECT_EQ(view->description, summary);
    const std::string seen = ReadFile<std::string>(changes);
    EXPECT_EQ(seen.find("\timage\t" + rejected), std::string::npos) << seen;
    m_session.Keys("Escape");
}

// While a long load runs, the window still answers: a screen reader reads the file shown
// and the progress in the status bar, and the version box opens at once.
TEST_F(ScreenReader, ReadsTheFileShownAndTheProgressWhileALongLoadRuns) {
    const std::string good =
        WavBuilder().Format(1, 16).Samples16({1000, -1000}).WriteTo(m_session.Folder(), "tone.wav");
    const SlowFile slow(WavBuilder()
                            .Format(2, 16)
                            .Samples16(std::vector<std::int16_t>(16u << 20, 1000))
                            .WriteTo(m_session.Folder(), "long.wav"),
                        4 << 20);
    if (!slow.Problem().empty()) {
        GTEST_SKIP() << "no slow file can be made here: " << slow.Problem();
    }
    StartViewer();
    OpenThroughTheDialog(good);
    ASSERT_TRUE(WaitFor("image", good));
    OpenThroughTheDialog(slow.Path());
    std::string status;
    EXPECT_TRUE(WaitUntil(
        [&] {
            return (status = StatusText()).starts_with("ﾌｧｲﾙを読み込み中... ") &&
                   status.find('%') != std::string::npos;
        },
        5000))
        << status;
    const std::optional<Accessible> view = Find(Tree(), "image");
    ASSERT_TRUE(view);
    EXPECT_EQ(view->name, good);
    const auto asked = std::chrono::steady_clock::now();
    m_session.Keys("alt+h a");
    EXPECT_FALSE(m_session.WaitForWindow(m_viewer->Pid(), "ﾊﾞｰｼﾞｮﾝ情報", 2000).empty())
        << "no version box within 2 s of asking";
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(2));
    m_session.Keys("Escape");
}

TEST_F(ScreenReader, ReadsMenuItemsByNameWithTheirKeyApart) {
    StartViewer();
    const std::optional<Accessible> open = WaitFor("menu item", "開く(O)");
    ASSERT_TRUE(open) << "no menu item named 開く(O)";
    EXPECT_EQ(open->keyBinding, "Ctrl+O");
    const std::vector<Accessible> tree = Tree();
    EXPECT_GE(tree.size(), 10u);
    for (const Accessible& accessible : tree) {
        if (accessible.role == "menu item") {
            EXPECT_EQ(accessible.name.find("Ctrl+"), std::string::npos) << accessible.name;
        }
    }
}

// ---- why a file is not shown -----------------------------------------------------------

using RejectionReason = ScreenReaderSession;

// A text file, a file cut short inside its header, a file the user may not read and a name
// that names no file: each leaves the picture as it was and says why in the status bar
// within half a second, which a screen reader reads, the whole path included, as the
// status bar's text.
TEST_F(RejectionReason, IsReadAsTheStatusBarsTextWithinHalfASecond) {
    ViewerStart start;
    if (geteuid() == 0) {
        // Root reads any file unless it runs without the capabilities that let it.
        start.prefix = {"setpriv", "--bounding-set", "-dac_override,-dac_read_search"};
    }
    StartViewer(start);
    const std::string changes = WatchChanges();
    const TemporaryFolder& folder = m_session.Folder();
    const std::string good =
        WavBuilder().Format(1, 16).Samples16({12000, -12000, 12000}).WriteTo(folder, "tone.wav");
    OpenThroughTheDialog(good);
    ASSERT_TRUE(WaitFor("image", good));
    const QImage before = ViewPicture("before.png");

    const std::string text = folder.File("notes.wav");
    std::ofstream(text) << "Not a sound: a few words about one.\n";
    const std::string cut = WavBuilder().Format(1, 16).TruncateTo(30).WriteTo(folder, "cut.wav");
    const std::string unreadable = WavBuilder().Format(1, 16).WriteTo(folder, "secret.wav");
    std::filesystem::permissions(unreadable, std::filesystem::perms::none);
    const std::string missing = folder.File("missing.wav");
    const struct {
        const char* name;
        std::string path;
        std::string reason;
    } refusals[] = {
        {"TextFile", text, "RIFF/WAVEﾌｧｲﾙではありません(0 ﾊﾞｲﾄ目): " + text},
        {"CutShortInsideTheHeader", cut, "dataﾁｬﾝｸがありません(30 ﾊﾞｲﾄ目まで): " + cut},
        {"Unreadable", unreadable, "ﾌｧｲﾙを開けません(読み取りの権限がありません): " + unreadable},
        {"Missing", missing, "ﾌｧｲﾙを開けません(ﾌｧｲﾙがありません): " + missing},
    };
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        Clock::time_point chosen;
        OpenThroughTheDialog(refusal.path, &chosen);
        const std::string event = "accessible-name\tlabel\t" + refusal.reason + "\t";
        Clock::time_point told;
        ASSERT_TRUE(WaitUntil(
            [&] {
                told = Clock::now();
                return ReadFile<std::string>(changes).find(event) != std::string::npos;
            },
            10000))
            << ReadFile<std::string>(changes);
        EXPECT_LT(told - chosen, std::chrono::milliseconds(500));
        EXPECT_EQ(StatusText(), refusal.reason);
        EXPECT_EQ(ViewPicture("after.png"), before);
    }
}

// ---- the idle prompt --------------------------------------------------------------------

using IdlePrompt = ScreenReaderSession;

TEST_F(IdlePrompt, ReturnsWheneverNoItemIsHighlightedWhileTheMenuStaysOpen) {
    StartViewer();
    m_session.Keys("alt+f");
    std::optional<Accessible> item;
    ASSERT_TRUE(WaitUntil(
        [&] {
            item = Find(Tree(), "menu item", "開く(O)");
            return item && item->Showing();
        },
        20000))
        << "the File menu did not open";
    const std::optional<Accessible> separator = Find(Tree(), "separator");
    ASSERT_TRUE(separator);
    const std::optional<Accessible> view = Find(Tree(), "image");
    ASSERT_TRUE(view);
    const struct {
        const char* name;
        std::vector<std::string> where;
    } leaves[] = {
        {"OntoTheSeparator", separator->Centre()},
        {"OffTheMenu", {std::to_string(view->x + 600), std::to_string(view->y + 300)}},
    };
    for (const auto& leave : leaves) {
        SCOPED_TRACE(leave.name);
        MovePointer(item->Centre());
        EXPECT_TRUE(WaitUntil([&] { return StatusText() == "既存のﾌｧｲﾙを開く"; }, 10000))
            << StatusText();
        MovePointer(leave.where);
        EXPECT_TRUE(WaitUntil([&] { return StatusText() == kIdleText; }, 10000)) << StatusText();
        const std::optional<Accessible> menu = Find(Tree(), "menu item", "開く(O)");
        EXPECT_TRUE(menu && menu->Showing()) << "the menu closed";
    }
    m_session.Keys("Escape");
}

// ---- Qt's own dialogs -------------------------------------------------------------------

struct LanguageCase : NamedCase {
    const char* language;    // LANG and LC_ALL of the viewer
    bool withoutTranslation; // run from a copy told that the translations are elsewhere
    const char* title;
    const char* openButton;
    const char* cancelButton;
};
class OpenDialogLanguage : public ScreenReaderSession,
                           public testing::WithParamInterface<LanguageCase> {};

TEST_P(OpenDialogLanguage, IsJapaneseInEveryLocaleAndEnglishWithoutTheTranslation) {
    const LanguageCase& c = GetParam();
    std::string program = VOQ_VIEWER_PATH;
    if (c.withoutTranslation) {
        // Qt reads qt.conf beside the program: the plugins where they are, the
        // translations nowhere.
        const std::string folder = m_session.Folder().File("copy");
        std::filesystem::create_directory(folder);
        program = folder + "/voq006";
        std::filesystem::copy_file(VOQ_VIEWER_PATH, program);
        std::ofstream(folder + "/qt.conf")
            << "[Paths]\nPlugins=" << QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString()
            << "\nTranslations=" << folder << "/nowhere\n";
    }
    StartViewer(
        {.changes = {std::string("LANG=") + c.language, std::string("LC_ALL=") + c.language},
         .program = program});
    m_session.Keys("ctrl+o");
    const std::string dialog = m_session.WaitForWindow(m_viewer->Pid(), c.title, 20000);
    EXPECT_FALSE(dialog.empty()) << "no dialog titled " << c.title;
    const std::optional<Accessible> box = WaitFor("dialog", c.title);
    ASSERT_TRUE(box);
    EXPECT_TRUE(Find(Tree(), "push button", c.openButton, box->path + "/"));
    EXPECT_TRUE(Find(Tree(), "push button", c.cancelButton, box->path + "/"));
    m_session.Keys("Escape");
    EXPECT_TRUE(
        WaitUntil([&] { return m_session.WindowsNamed(m_viewer->Pid(), c.title).empty(); }, 10000));

    // A missing translation is said once, and the viewer runs on.
    const std::string log = ReadFile<std::string>(m_session.ViewerLog());
    std::istringstream lines(log);
    int mentions = 0;
    for (std::string line; std::getline(lines, line);) {
        mentions += line.find("qtbase_ja") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(mentions, c.withoutTranslation ? 1 : 0) << log;
    EXPECT_TRUE(m_viewer->IsRunning());
}

INSTANTIATE_TEST_SUITE_P(
    Locales, OpenDialogLanguage,
    testing::Values(
        LanguageCase{"CLocale", "C", false, "開く", "開く(O)", "キャンセル"},
        LanguageCase{"JapaneseLocale", "ja_JP.UTF-8", false, "開く", "開く(O)", "キャンセル"},
        LanguageCase{"GermanLocale", "de_DE.UTF-8", false, "開く", "開く(O)", "キャンセル"},
        LanguageCase{"WithoutTranslation", "C", true, "Open", "Open", "Cancel"}),
    CaseName);

} // namespace
