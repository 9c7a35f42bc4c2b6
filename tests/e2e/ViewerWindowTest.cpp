#include <QImage>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Confinement.h"
#include "tests/e2e/XSession.h"
#include "tests/slowfs/SlowFile.h"
#include "tests/support/CaseName.h"
#include "tests/support/ProcessStatus.h"
#include "tests/support/ViewerText.h"
#include "tests/support/WavBuilder.h"

// The real viewer on a real X server with a real window manager, driven as a user drives
// it: keys through the X server, and what it shows read back from the server.
namespace {

bool IsWhite(QRgb pixel) {
    return (pixel & 0xFFFFFFu) == 0xFFFFFFu;
}
bool IsBlue(QRgb pixel) {
    return qBlue(pixel) > 160 && qRed(pixel) < 96 && qGreen(pixel) < 96;
}

// The first row of the view: the first white row below the menu bar.
int ViewTop(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        if (IsWhite(image.pixel(5, y)) && IsWhite(image.pixel(image.width() / 2, y))) {
            return y;
        }
    }
    return -1;
}

// A 16-bit stereo file whose left channel swings between +-20000 and right +-10000.
std::string SampleFile(const TemporaryFolder& folder) {
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 8000; ++i) {
        const int swing = (i / 40) % 2 == 0 ? 1 : -1;
        samples.push_back(static_cast<std::int16_t>(20000 * swing));
        samples.push_back(static_cast<std::int16_t>(-10000 * swing));
    }
    return WavBuilder().Format(2, 16).SampleRate(8000).Samples16(samples).WriteTo(folder,
                                                                                  "sample.wav");
}

// Blue pixels in a picture of the window: inside the plot box, and elsewhere.
struct BlueInk {
    int top{-1}; // the view's first row
    int inBox{};
    int outside{};
};

BlueInk CountBlue(const QImage& image) {
    BlueInk ink;
    ink.top = ViewTop(image);
    for (int y = 0; y < image.height() && ink.top >= 0; ++y) {
        for (int x = 0; x < 911; ++x) {
            if (IsBlue(image.pixel(x, y))) {
                const bool inside = x >= 70 && y >= ink.top + 60 && y <= ink.top + 380;
                (inside ? ink.inBox : ink.outside) += 1;
            }
        }
    }
    return ink;
}

class ViewerWindow : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_session.Ready()) << "the X server or the window manager did not start";
        m_frame = m_session.StartViewerWindow(m_viewer, Start());
        ASSERT_FALSE(m_frame.empty()) << "no window captioned " << kCaption;
    }

    // How the viewer is started.
    virtual ViewerStart Start() { return {}; }

    // Chooses path in the Open dialog with Ctrl+O and the keyboard, as a user does.
    void Choose(const std::string& path) {
        ASSERT_TRUE(m_session.Activate(m_frame));
        m_session.Keys("ctrl+o");
        const std::string dialog = m_session.WaitForWindow(m_viewer->Pid(), "開く");
        ASSERT_FALSE(dialog.empty()) << "Ctrl+O opened no dialog";
        m_session.Type(path);
        m_session.Keys("Return");
        ASSERT_TRUE(WaitUntil(
            [&] { return m_session.WindowsNamed(m_viewer->Pid(), "開く").empty(); }, 10000));
    }

    QImage Picture(const std::string& name) {
        return QImage(QString::fromStdString(m_session.Screenshot(m_frame, name)));
    }

    // The blue of the window once a trace is drawn in the plot box (the paint follows the
    // dialog's closing and the load), or as it is after 10 s.
    BlueInk WaitForTrace() {
        BlueInk ink;
        WaitUntil(
            [&] {
                ink = CountBlue(Picture("opened.png"));
                return ink.inBox > 500;
            },
            10000);
        return ink;
    }

    // Counts the status bar's rows at the bottom of the window that are not white.
    bool StatusBarShown() {
        const QImage image = Picture("status.png");
        int coloured = 0;
        for (int x = 0; x < image.width(); ++x) {
            coloured += IsWhite(image.pixel(x, image.height() - 3)) ? 0 : 1;
        }
        return coloured > image.width() / 2;
    }

    XSession m_session;
    std::unique_ptr<ChildProcess> m_viewer;
    std::string m_frame;
};

TEST_F(ViewerWindow, StartsUnderItsExactCaption) {
    EXPECT_EQ(m_session.Property(m_frame, "_NET_WM_NAME"), "\"" + kCaption + "\"");
    // Taskbars that label windows by their icon names show the caption too, whether they
    // read the newer property or the older one, which holds the bytes of WM_NAME.
    EXPECT_EQ(m_session.Property(m_frame, "_NET_WM_ICON_NAME"), "\"" + kCaption + "\"");
    EXPECT_EQ(m_session.Run({"xprop", "-id", m_frame, "WM_ICON_NAME"}),
              "WM_ICON_NAME(COMPOUND_TEXT) = \"" + kCaption + "\"\n");
    const auto bytes = [&](const char* property) {
        return m_session.Run({"xprop", "-id", m_frame, "-notype", "-f", property, "8x", property});
    };
    const std::string name = bytes("WM_NAME");
    EXPECT_EQ(bytes("WM_ICON_NAME"), "WM_ICON_NAME" + name.substr(name.find(' ')));
    EXPECT_NE(m_session.Property(m_frame, "WM_STATE").find("Normal"), std::string::npos);
}

TEST_F(ViewerWindow, CannotBeResizedOrMaximised) {
    const std::string hints = m_session.Property(m_frame, "WM_NORMAL_HINTS");
    EXPECT_NE(hints.find("minimum size: 960 by 520"), std::string::npos) << hints;
    EXPECT_NE(hints.find("maximum size: 960 by 520"), std::string::npos) << hints;
    const std::string actions = m_session.Property(m_frame, "_NET_WM_ALLOWED_ACTIONS");
    EXPECT_EQ(actions.find("MAXIMIZE"), std::string::npos) << actions;
    EXPECT_EQ(actions.find("RESIZE"), std::string::npos) << actions;
    EXPECT_NE(actions.find("MINIMIZE"), std::string::npos) << actions;
    m_session.Run({"xdotool", "windowsize", m_frame, "1200", "700"});
    const std::string geometry = m_session.Run({"xwininfo", "-id", m_frame});
    EXPECT_NE(geometry.find("Width: 960"), std::string::npos) << geometry;
    EXPECT_NE(geometry.find("Height: 520"), std::string::npos) << geometry;
}

TEST_F(ViewerWindow, OpensAFileTypedIntoTheDialogAndDrawsIt) {
    Choose(SampleFile(m_session.Folder()));
    const BlueInk ink = WaitForTrace();
    ASSERT_GE(ink.top, 0);
    EXPECT_GT(ink.inBox, 500) << "no blue trace in the plot box";
    EXPECT_EQ(ink.outside, 0) << "blue left of or outside the plot box";
    EXPECT_EQ(m_session.Property(m_frame, "_NET_WM_NAME"), "\"" + kCaption + "\"");
}

TEST_F(ViewerWindow, StatusBarCommandHidesAndShowsTheBar) {
    ASSERT_TRUE(m_session.Activate(m_frame));
    ASSERT_TRUE(StatusBarShown());
    m_session.Keys("alt+v s");
    EXPECT_TRUE(WaitUntil([&] { return !StatusBarShown(); }, 5000)) << "the bar stayed";
    m_session.Keys("alt+v s");
    EXPECT_TRUE(WaitUntil([&] { return StatusBarShown(); }, 5000)) << "the bar did not return";
}

TEST_F(ViewerWindow, VersionBoxOpensFromTheHelpMenuAndClosesWithEscape) {
    ASSERT_TRUE(m_session.Activate(m_frame));
    m_session.Keys("alt+h a");
    const std::string box = m_session.WaitForWindow(m_viewer->Pid(), "ﾊﾞｰｼﾞｮﾝ情報");
    ASSERT_FALSE(box.empty()) << "Alt+H, A opened no version box";
    m_session.Keys("Escape");
    EXPECT_TRUE(WaitUntil(
        [&] { return m_session.WindowsNamed(m_viewer->Pid(), "ﾊﾞｰｼﾞｮﾝ情報").empty(); }, 5000));
    EXPECT_TRUE(m_viewer->IsRunning());
}

// Dark pixels in the right part of the status bar, where the indicator panes stand.
int IndicatorInk(const QImage& image) {
    int ink = 0;
    for (int y = image.height() - 20; y < image.height(); ++y) {
        for (int x = image.width() - 240; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            ink += qRed(pixel) < 80 && qGreen(pixel) < 80 && qBlue(pixel) < 80 ? 1 : 0;
        }
    }
    return ink;
}

struct LockKeyCase : NamedCase {
    const char* key;
};
class LockKeyLight : public ViewerWindow, public testing::WithParamInterface<LockKeyCase> {};

TEST_P(LockKeyLight, ShowsWhileTheKeyIsLocked) {
    ASSERT_TRUE(m_session.Activate(m_frame));
    const int off = IndicatorInk(Picture("off.png"));
    m_session.Keys(GetParam().key);
    int on = off;
    EXPECT_TRUE(WaitUntil([&] { return (on = IndicatorInk(Picture("on.png"))) > off + 20; }, 5000))
        << "ink before " << off << ", after " << on;
    m_session.Keys(GetParam().key);
    EXPECT_TRUE(WaitUntil([&] { return IndicatorInk(Picture("off-again.png")) == off; }, 5000));
}

INSTANTIATE_TEST_SUITE_P(Keys, LockKeyLight,
                         testing::Values(LockKeyCase{"CapsLock", "Caps_Lock"},
                                         LockKeyCase{"NumLock", "Num_Lock"}),
                         CaseName);

struct CloseCase : NamedCase {
    const char* keys;
};
class ViewerClose : public ViewerWindow, public testing::WithParamInterface<CloseCase> {};

TEST_P(ViewerClose, EndsTheProcessWithStatusZero) {
    ASSERT_TRUE(m_session.Activate(m_frame));
    m_session.Keys(GetParam().keys);
    const std::optional<int> status = m_viewer->WaitForExit(10000);
    ASSERT_TRUE(status.has_value()) << "the viewer still runs";
    EXPECT_EQ(*status, 0);
}

INSTANTIATE_TEST_SUITE_P(Ways, ViewerClose,
                         testing::Values(CloseCase{"WindowManagerClose", "alt+F4"},
                                         CloseCase{"FileMenuExit", "alt+f x"},
                                         // F10 opens the first menu, File.
                                         CloseCase{"F10ThenExit", "F10 x"},
                                         // A lone Alt puts the keyboard on File's title.
                                         CloseCase{"LoneAltThenFileExit", "alt Return x"}),
                         CaseName);

// A file of half a gigabyte (sparse: its samples read as zeros, a flat trace) is shown
// with the memory of the frames the plot draws, not of the file.
TEST_F(ViewerWindow, AHalfGigabyteFileIsShownInLittleMemory) {
    constexpr std::uint32_t kDataBytes = 512u << 20;
    const std::string path = WavBuilder()
                                 .Format(2, 16)
                                 .Samples16({0, 0})
                                 .DataSize(kDataBytes)
                                 .WriteTo(m_session.Folder(), "large.wav");
    std::filesystem::resize_file(path, std::filesystem::file_size(path) - 4 + kDataBytes);
    Choose(path);
    // The right channel's trace, drawn over the left one, along the centre line.
    EXPECT_TRUE(WaitUntil(
        [&] {
            const QImage image = Picture("large.png");
            const int top = ViewTop(image);
            return top >= 0 && qRed(image.pixel(500, top + 220)) > 160 &&
                   qGreen(image.pixel(500, top + 220)) < 96;
        },
        20000))
        << "no trace drawn";
    const long peakKiB = StatusKiB("VmHWM", std::to_string(m_viewer->Pid()));
    EXPECT_GT(peakKiB, 0);
    EXPECT_LT(peakKiB, 100 * 1024) << "KiB at the peak";
}

// A file of megabytes MiB of silence, 16-bit stereo; sparse, so that it costs no disk.
std::string SilentFile(const TemporaryFolder& folder, const std::string& name, int megabytes) {
    const auto dataBytes = static_cast<std::uint32_t>(megabytes) << 20;
    const std::string path =
        WavBuilder().Format(2, 16).Samples16({0, 0}).DataSize(dataBytes).WriteTo(folder, name);
    std::filesystem::resize_file(path, std::filesystem::file_size(path) - 4 + dataBytes);
    return path;
}

long MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
}

// The viewer parses every file in a reader process that confines itself, caught here in a
// read from a disk that serves 20 MiB/s; the viewer itself, which holds the X connection and
// the user's files, runs unconfined, every thread of it.
TEST_F(ViewerWindow, ReadsEveryFileThroughAConfinedReaderProcess) {
    const SlowFile slow(SilentFile(m_session.Folder(), "large.wav", 64), 20 << 20);
    if (!slow.Problem().empty()) {
        GTEST_SKIP() << "no slow file can be made here: " << slow.Problem();
    }
    Choose(slow.Path());
    ASSERT_TRUE(WaitUntil([&] { return slow.ReadsServed().bytes >= (4u << 20); }, 10000));
    const std::vector<std::string> readers = ChildrenNamed(m_viewer->Pid(), "voq006-reader");
    ASSERT_EQ(readers.size(), 1u);
    EXPECT_EQ(StatusNumber("NoNewPrivs", readers[0]), 1);
    EXPECT_EQ(StatusNumber("Seccomp", readers[0]), kSeccompInThisBuild ? 2 : 0);
    const std::string viewer = std::to_string(m_viewer->Pid());
    const int threads = ForEachEntryOfProcessFolder(viewer, "task", [&](const std::string& task) {
        EXPECT_EQ(StatusNumber("Seccomp", viewer + "/task/" + task), 0) << "thread " << task;
    });
    EXPECT_GT(threads, 1);
    EXPECT_LT(slow.ReadsServed().bytes, 60u << 20) << "the file was read whole meanwhile";
}

// A disk that stopped answering, and keeps even killed readers waiting on it: loads
// cancelled there with Esc leave the viewer nothing of theirs, no thread and no descriptor,
// and the next Ctrl+O and File > Exit answer at once, Exit also while such a load runs.
TEST_F(ViewerWindow, LoadsCancelledOnAStalledDiskLeaveNothingAndExitEndsAtOnce) {
    const SlowFile stalled(SilentFile(m_session.Folder(), "stalls.wav", 4), 8 << 20, 1 << 20,
                           SlowFile::Stall::EvenWhenKilled);
    if (!stalled.Problem().empty()) {
        GTEST_SKIP() << "no slow file can be made here: " << stalled.Problem();
    }
    // Idle after a whole Open, dialog and load, so that what Qt keeps of them counts there.
    Choose(SampleFile(m_session.Folder()));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::string viewer = std::to_string(m_viewer->Pid());
    const int idleThreads = Threads(viewer);
    const int idleDescriptors = OpenDescriptors(viewer);
    // Chooses the stalled file and waits until its reader waits in the read that never ends.
    const auto chooseStalled = [&] {
        const std::uint64_t before = stalled.ReadsServed().bytes;
        Choose(stalled.Path());
        ASSERT_TRUE(
            WaitUntil([&] { return stalled.ReadsServed().bytes >= before + (768u << 10); }, 10000));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    };
    for (int load = 0; load < 5; ++load) {
        chooseStalled();
        m_session.Keys("Escape");
    }
    int threads = -1, descriptors = -1;
    EXPECT_TRUE(WaitUntil(
        [&] {
            threads = Threads(viewer);
            descriptors = OpenDescriptors(viewer);
            return threads == idleThreads && descriptors == idleDescriptors;
        },
        3000))
        << threads << " threads and " << descriptors << " descriptors; at idle " << idleThreads
        << " and " << idleDescriptors;

    const auto pressed = std::chrono::steady_clock::now();
    m_session.Keys("ctrl+o");
    EXPECT_FALSE(m_session.WaitForWindow(m_viewer->Pid(), "開く", 3000).empty());
    EXPECT_LT(MillisecondsSince(pressed), 1000) << "ms from Ctrl+O to the dialog";
    m_session.Keys("Escape");
    ASSERT_TRUE(
        WaitUntil([&] { return m_session.WindowsNamed(m_viewer->Pid(), "開く").empty(); }, 5000));

    chooseStalled();
    const auto closed = std::chrono::steady_clock::now();
    m_session.Keys("alt+f x");
    const std::optional<int> status = m_viewer->WaitForExit(3000);
    ASSERT_TRUE(status.has_value()) << "the viewer still runs 3 s after File > Exit";
    EXPECT_EQ(*status, 0);
    EXPECT_LT(MillisecondsSince(closed), 1000) << "ms from File > Exit to the process's end";
}

// A copy of the viewer with no reader program beside it.
class ViewerWithoutItsReader : public ViewerWindow {
protected:
    ViewerStart Start() override {
        std::filesystem::create_directory(m_session.Folder().File("bin"));
        std::filesystem::copy_file(VOQ_VIEWER_PATH, m_session.Folder().File("bin/voq006"));
        return {.program = m_session.Folder().File("bin/voq006")};
    }
};

// It reads files in its own process, draws them as the viewer does, and says so on standard
// error, once.
TEST_F(ViewerWithoutItsReader, ReadsInItsOwnProcessAndSaysSoOnce) {
    const std::string sample = SampleFile(m_session.Folder());
    for (int open = 0; open < 2; ++open) {
        Choose(sample);
        EXPECT_GT(WaitForTrace().inBox, 500) << "no blue trace in the plot box";
    }
    const std::string log = ReadFile<std::string>(m_session.ViewerLog());
    const std::string notice =
        "voq006: " + m_session.Folder().File("libexec/voq006/voq006-reader") +
        " is missing; files are read in this process, unconfined\n";
    EXPECT_NE(log.find(notice), std::string::npos) << log;
    EXPECT_EQ(log.find("is missing"), log.rfind("is missing")) << log;
}

// A file and options named on the command line change nothing: the viewer takes no options
// (--help and --version open the window too) and loads no file at start-up, so the window
// opens empty under its caption.
TEST(ViewerCommandLine, OpensTheWindowEmptyWhateverItNames) {
    XSession session;
    ASSERT_TRUE(session.Ready()) << "the X server or the window manager did not start";
    std::unique_ptr<ChildProcess> viewer;
    const std::string frame = session.StartViewerWindow(
        viewer, {.arguments = {"--help", "--version", SampleFile(session.Folder())}});
    ASSERT_FALSE(frame.empty()) << "no window captioned " << kCaption;
    EXPECT_EQ(session.Property(frame, "_NET_WM_NAME"), "\"" + kCaption + "\"");
    // Every pixel of the drawing's area white, once the view has been painted.
    int coloured = -1;
    EXPECT_TRUE(WaitUntil(
        [&] {
            const QImage image(QString::fromStdString(session.Screenshot(frame, "started.png")));
            const int top = ViewTop(image);
            coloured = top < 0 ? -1 : 0;
            for (int y = top; y >= 0 && y < top + 440 && y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    coloured += IsWhite(image.pixel(x, y)) ? 0 : 1;
                }
            }
            return coloured == 0;
        },
        10000))
        << coloured << " pixels of the view are not white";
    EXPECT_TRUE(viewer->IsRunning());
}

} // namespace
