#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QTextDocumentFragment>
#include <QToolTip>
#include <QTreeView>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "display/WaveformPlot.h"
#include "shell/OpenFileDialog.h"
#include "tests/gui/ImageProbe.h"
#include "tests/gui/ViewerSession.h"
#include "tests/slowfs/SlowFile.h"
#include "tests/support/CaseName.h"
#include "tests/support/KnownWaveFiles.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/ProcessStatus.h"
#include "tests/support/RecordInvariants.h"
#include "tests/support/ViewerText.h"
#include "tests/support/WavBuilder.h"

using namespace image_probe;

// The Open command: the dialog's settings and behaviour, and what the view shows after
// each way a choice can end.
namespace {

QFileDialog* AsFileDialog(QWidget& modal) {
    return qobject_cast<QFileDialog*>(&modal);
}

// Types text into the dialog's name box and presses Enter, as a user does.
void TypeAndEnter(QWidget& modal, const std::string& text) {
    QFileDialog* dialog = AsFileDialog(modal);
    ASSERT_NE(dialog, nullptr);
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    edit->setText(QString::fromStdString(text));
    QTest::keyClick(edit, Qt::Key_Return);
}

// Runs the Open command, answers its dialog with interact and waits for the load that
// a chosen file starts to end.
bool OpenWith(ViewerSession& session, const std::function<void(QWidget&)>& interact) {
    const bool opened = WithModal([&] { session.Trigger(ID_FILE_OPEN); }, interact);
    return QTest::qWaitFor([&] { return !session.View().IsLoading(); }) && opened;
}

bool OpenPath(ViewerSession& session, const std::string& path) {
    return OpenWith(session, [&](QWidget& modal) { TypeAndEnter(modal, path); });
}

// Chooses path in the Open dialog and returns at once, while the file loads.
void ChooseWithoutWaiting(ViewerSession& session, const std::string& path) {
    ASSERT_TRUE(WithModal([&] { session.Trigger(ID_FILE_OPEN); },
                          [&](QWidget& modal) { TypeAndEnter(modal, path); }));
}

bool Cancel(ViewerSession& session) {
    return OpenWith(session, [](QWidget& modal) { AsFileDialog(modal)->reject(); });
}

bool IsBlank(const QImage& image) {
    return Count(image, 0, 0, image.width(), image.height(), IsWhite) ==
           image.width() * image.height();
}

// Blue pixels inside the plot box (70, 60)-(910, 380): the left channel's trace.
int BlueInBox(const QImage& image) {
    return Count(image, 71, 61, 838, 318, IsBlue);
}

// A stereo file whose left channel swings to +-16000 and right to +-8000.
std::string StereoFile(const TemporaryFolder& folder, const std::string& name) {
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 2000; ++i) {
        const std::int16_t swing = (i / 20) % 2 == 0 ? 1 : -1;
        samples.push_back(static_cast<std::int16_t>(16000 * swing));
        samples.push_back(static_cast<std::int16_t>(-8000 * swing));
    }
    return WavBuilder().Format(2, 16).Samples16(samples).WriteTo(folder, name);
}

std::string MonoFile(const TemporaryFolder& folder, const std::string& name) {
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 2000; ++i) {
        samples.push_back(static_cast<std::int16_t>((i / 50) % 2 == 0 ? 12000 : -12000));
    }
    return WavBuilder().Format(1, 16).Samples16(samples).WriteTo(folder, name);
}

void Touch(const std::string& path) {
    std::ofstream(path) << "x";
}

// ---- the dialog -------------------------------------------------------------------------

TEST(OpenDialog, HasTheViewersSettings) {
    ViewerSession session;
    const bool opened = OpenWith(session, [](QWidget& modal) {
        QFileDialog* dialog = AsFileDialog(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
        // No existence check: a typed name that names no file is accepted.
        EXPECT_EQ(dialog->fileMode(), QFileDialog::AnyFile);
        EXPECT_EQ(dialog->nameFilters(), QStringList({QStringLiteral("波形ファイル(*.wav)"),
                                                      QStringLiteral("すべてのファイル(*.*)")}));
        EXPECT_EQ(dialog->selectedNameFilter(), QStringLiteral("波形ファイル(*.wav)"));
        EXPECT_EQ(dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text(),
                  QStringLiteral("*.wav"));
        dialog->reject();
    });
    EXPECT_TRUE(opened);
}

// Whether the dialog's list shows a file name in its current folder.
bool Lists(QFileDialog& dialog, const QString& folder, const QString& name) {
    auto* model = dialog.findChild<QFileSystemModel*>();
    const QModelIndex parent = model->index(folder);
    for (int row = 0; row < model->rowCount(parent); ++row) {
        if (model->index(row, 0, parent).data().toString() == name) {
            return true;
        }
    }
    return false;
}

TEST(OpenDialog, AllFilesShowsNamesWithoutADotToo) {
    TemporaryFolder folder;
    Touch(folder.File("README"));
    Touch(folder.File("notes.txt"));
    MonoFile(folder, "tone.wav");
    const QString path = QString::fromStdString(folder.Path().string());
    ViewerSession session;
    bool waveOnly = false, readmeHidden = false, readmeShown = false, textShown = false;
    OpenWith(session, [&](QWidget& modal) {
        QFileDialog& dialog = *AsFileDialog(modal);
        dialog.setDirectory(path);
        waveOnly = QTest::qWaitFor([&] { return Lists(dialog, path, QStringLiteral("tone.wav")); });
        readmeHidden = !Lists(dialog, path, QStringLiteral("README"));
        // The user picks the second entry of the type box.
        auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        types->setFocus();
        QTest::keyClick(types, Qt::Key_Down);
        readmeShown =
            QTest::qWaitFor([&] { return Lists(dialog, path, QStringLiteral("README")); });
        textShown = Lists(dialog, path, QStringLiteral("notes.txt"));
        dialog.reject();
    });
    EXPECT_TRUE(waveOnly);
    EXPECT_TRUE(readmeHidden);
    EXPECT_TRUE(readmeShown) << "\"*.*\" hid a file without a dot";
    EXPECT_TRUE(textShown);
}

// The default extension is added where the file is read, so what it changes shows in the
// file opened: the wave file the typed name, or that name with ".NULL", names; or, where no
// file is there, the path the reason in the status bar names.
struct SuffixCase : NamedCase {
    const char* typed;
    std::vector<const char*> existing; // wave files made beforehand
    const char* opened;                // the path the load opened, in the folder
    bool loaded;
};

class DefaultExtension : public testing::TestWithParam<SuffixCase> {};

TEST_P(DefaultExtension, IsAddedOnlyToANewNameWithoutExtension) {
    const SuffixCase& c = GetParam();
    TemporaryFolder folder;
    for (const char* name : c.existing) {
        MonoFile(folder, name);
    }
    ViewerSession session;
    ASSERT_TRUE(OpenPath(session, folder.File(c.typed)));
    EXPECT_EQ(session.Record().loaded, c.loaded ? 1 : 0);
    if (c.loaded) {
        EXPECT_EQ(session.Record().path, folder.File(c.opened));
    } else {
        EXPECT_TRUE(session.MessageAccessibleName().ends_with(": " + folder.File(c.opened)))
            << session.MessageAccessibleName();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, DefaultExtension,
    testing::Values(
        SuffixCase{"NewNameWithoutExtension", "fresh", {"fresh.NULL"}, "fresh.NULL", true},
        SuffixCase{
            "ExistingNameWithoutExtension", "README", {"README", "README.NULL"}, "README", true},
        SuffixCase{"NewNameWithExtension", "fresh.wav", {"fresh.wav.NULL"}, "fresh.wav", false},
        SuffixCase{
            "ExistingNameWithExtension", "old.txt", {"old.txt", "old.txt.NULL"}, "old.txt", true},
        SuffixCase{"NewNameNamingNoFile", "gone", {}, "gone.NULL", false}),
    CaseName);

TEST(OpenDialog, OpensInTheFolderOfTheLastFileChosen) {
    TemporaryFolder folder;
    const std::string path = MonoFile(folder, "tone.wav");
    ViewerSession session;
    ASSERT_TRUE(OpenPath(session, path));
    QString directory;
    OpenWith(session, [&](QWidget& modal) {
        directory = AsFileDialog(modal)->directory().absolutePath();
        AsFileDialog(modal)->reject();
    });
    EXPECT_EQ(directory.toStdString(), folder.Path().string());
}

// Whether the list shows name with the text of column (1 size, 2 type) filled in.
bool Shows(QFileDialog& dialog, const QString& folder, const QString& name, int column) {
    auto* model = dialog.findChild<QFileSystemModel*>();
    const QModelIndex row = model->index(folder + u'/' + name);
    return row.isValid() && !row.siblingAtColumn(column).data().toString().isEmpty();
}

// Where the list cuts a text short: "column: text" for each cell narrower than its text,
// and for each header narrower than its title.
std::vector<std::string> CutTexts(QFileDialog& dialog, const QString& folder) {
    auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    auto* model = dialog.findChild<QFileSystemModel*>();
    QHeaderView* header = list->header();
    std::vector<std::string> cut;
    const QModelIndex parent = model->index(folder);
    for (int column = 0; column < header->count(); ++column) {
        if (header->sectionSize(column) < header->sectionSizeHint(column)) {
            cut.push_back(std::to_string(column) + ": the header");
        }
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex cell = model->index(row, column, parent);
            if (list->visualRect(cell).width() < list->sizeHintForIndex(cell).width()) {
                cut.push_back(std::to_string(column) + ": " + cell.data().toString().toStdString());
            }
        }
    }
    return cut;
}

// A folder as a recorder fills it (names of up to 41 characters, a file of 1.2 GB, a folder
// of takes): every column shows its texts whole, in every locale, each time the dialog
// opens, also after the user narrowed the columns, which Qt keeps in its settings for the
// next dialog. The dialog stays within the screen, and the name column keeps the rest.
TEST(OpenDialog, ShowsEveryColumnWholeEachTimeItOpens) {
    TemporaryFolder folder;
    const QString large = QStringLiteral("field-recording-2024-06-01-morning-01.wav");
    // Sparse: the samples are a hole that costs no disk space.
    std::filesystem::resize_file(MonoFile(folder, large.toStdString()), 1200000044);
    MonoFile(folder, "interview_take_03_final_mix_v2_master.wav");
    std::filesystem::create_directory(folder.File("takes"));
    const QString path = QString::fromStdString(folder.Path().string());
    ViewerSession session;
    for (const char* showing : {"first", "after the columns were narrowed"}) {
        SCOPED_TRACE(showing);
        std::vector<std::string> cut{"(the folder was not listed)"};
        bool withinScreen = false;
        OpenWith(session, [&](QWidget& modal) {
            QFileDialog& dialog = *AsFileDialog(modal);
            dialog.setDirectory(path);
            if (QTest::qWaitFor([&] {
                    return Shows(dialog, path, large, 1) && Shows(dialog, path, large, 2) &&
                           Shows(dialog, path, QStringLiteral("takes"), 2);
                })) {
                cut = CutTexts(dialog, path);
            }
            withinScreen = dialog.screen()->availableGeometry().contains(dialog.geometry());
            QHeaderView* header =
                dialog.findChild<QTreeView*>(QStringLiteral("treeView"))->header();
            for (int column = 0; column < header->count(); ++column) {
                header->resizeSection(column, 30);
            }
            dialog.reject();
        });
        EXPECT_EQ(cut, std::vector<std::string>{});
        EXPECT_TRUE(withinScreen);
    }
}

// How long the Open command takes to show its dialog, and the folder the dialog shows.
struct DialogShown {
    qint64 afterMs{-1};
    QString folder;
};

DialogShown ShowDialog(ViewerSession& session) {
    QElapsedTimer clock;
    clock.start();
    DialogShown shown;
    EXPECT_TRUE(OpenWith(session, [&](QWidget& modal) {
        shown.afterMs = clock.elapsed();
        shown.folder = AsFileDialog(modal)->directory().absolutePath();
        AsFileDialog(modal)->reject();
    }));
    return shown;
}

// A viewer, and a folder on the tests' slow file system that a test can make stop answering.
class OpenDialogOnADeadDisk : public testing::Test {
protected:
    void SetUp() override {
        if (!m_slow.Problem().empty()) {
            GTEST_SKIP() << "no slow file can be made here: " << m_slow.Problem();
        }
    }

    TemporaryFolder m_folder;
    const SlowFile m_slow{MonoFile(m_folder, "tone.wav"), 64 << 20};
    const QString m_mount = QFileInfo(QString::fromStdString(m_slow.Path())).absolutePath();
    ViewerSession m_session;
};

// A last folder on a disk that stopped answering does not hold the window: the dialog opens
// in the home folder once the probe of the folder has waited its while, although Qt's dialog,
// which looks at the folder it showed last before the one it is given, showed that one last.
TEST_F(OpenDialogOnADeadDisk, OpensInTheHomeFolderWhenTheLastFolderDoesNotAnswer) {
    ASSERT_TRUE(OpenWith(m_session, [&](QWidget& modal) {
        AsFileDialog(modal)->setDirectory(m_mount);
        TypeAndEnter(modal, "tone.wav");
    }));
    ASSERT_EQ(m_session.Record().path, m_slow.Path());

    m_slow.StallEverything();
    const DialogShown shown = ShowDialog(m_session);
    EXPECT_EQ(shown.folder.toStdString(), QDir::homePath().toStdString());
    EXPECT_GE(shown.afterMs, OpenFileDialog::kStartFolderWaitMs) << "the folder still answered";
    EXPECT_LT(shown.afterMs, OpenFileDialog::kStartFolderWaitMs + 500);
}

// Nor does a dead folder that Qt's settings file names as the dialog's last, as another
// program or an earlier run left it: the dialog opens at once in the folder it is given.
TEST_F(OpenDialogOnADeadDisk, OpensAtOnceWhenQtsSettingsNameAFolderThatDoesNotAnswer) {
    m_slow.StallEverything();
    QSettings(QSettings::UserScope, QStringLiteral("QtProject"))
        .setValue(QStringLiteral("FileDialog/lastVisited"),
                  QUrl::fromLocalFile(m_mount).toString());
    const DialogShown shown = ShowDialog(m_session);
    EXPECT_NE(shown.folder.toStdString(), m_mount.toStdString());
    EXPECT_LT(shown.afterMs, OpenFileDialog::kStartFolderWaitMs + 500);
}

// ---- how the Open command is reached --------------------------------------------------

struct ReachCase : NamedCase {
    bool statusBarShown;
    bool byKey; // Ctrl+O, or else the File menu's first item
};

class OpenIsReached : public testing::TestWithParam<ReachCase> {};

TEST_P(OpenIsReached, ByTheKeyAndTheMenuItem) {
    const ReachCase& c = GetParam();
    ViewerSession session;
    session.StatusBar().setVisible(c.statusBarShown);
    session.Activate();
    bool isFileDialog = false;
    const bool opened = WithModal(
        [&] {
            if (c.byKey) {
                QTest::keyClick(&session.Frame(), Qt::Key_O, Qt::ControlModifier);
            } else {
                QMenu* file = session.Menus()[0];
                file->popup(session.Frame().mapToGlobal(QPoint(0, 0)));
                ASSERT_TRUE(QTest::qWaitForWindowExposed(file));
                QTest::keyClick(file, Qt::Key_O); // the item's mnemonic
            }
        },
        [&](QWidget& modal) {
            isFileDialog = AsFileDialog(modal) != nullptr;
            modal.close();
        });
    EXPECT_TRUE(opened);
    EXPECT_TRUE(isFileDialog);
}

INSTANTIATE_TEST_SUITE_P(Ways, OpenIsReached,
                         testing::Values(ReachCase{"CtrlO", true, true},
                                         ReachCase{"MenuItem", true, false},
                                         ReachCase{"CtrlOWithoutStatusBar", false, true},
                                         ReachCase{"MenuItemWithoutStatusBar", false, false}),
                         CaseName);

// ---- what the view shows ----------------------------------------------------------------

TEST(ViewAfterOpen, CancelBeforeAnyLoadLeavesTheViewBlank) {
    ViewerSession session;
    ASSERT_TRUE(Cancel(session));
    EXPECT_EQ(session.Record().loaded, 0);
    EXPECT_TRUE(IsBlank(session.GrabView()));
}

TEST(ViewAfterOpen, AGoodFileIsDrawnAndACancelKeepsIt) {
    TemporaryFolder folder;
    const std::string path = StereoFile(folder, "stereo.wav");
    ViewerSession session;
    ASSERT_TRUE(OpenPath(session, path));
    EXPECT_EQ(session.Record().loaded, 1);
    EXPECT_EQ(session.Record().path, path);
    const QImage drawn = session.GrabView();
    EXPECT_GT(BlueInBox(drawn), 100);
    EXPECT_GT(Count(drawn, 71, 61, 838, 318, IsRed), 100);
    ASSERT_TRUE(Cancel(session));
    EXPECT_EQ(session.GrabView(), drawn);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

struct RejectCase : NamedCase {
    std::function<std::string(const TemporaryFolder&)> make;
    // What the status bar says, with "{name}" for the file's path.
    const char* reason;
    bool deniedToRoot{};      // the case needs a user whom permission bits stop
    std::uint64_t failFrom{}; // read from a disk that fails with EIO from this byte on
};

// Makes the case's file, on a failing disk where the case asks for one.
class RejectedChoice : public testing::TestWithParam<RejectCase> {
protected:
    void SetUp() override {
        if (GetParam().deniedToRoot && geteuid() == 0) {
            GTEST_SKIP() << "root reads a file whatever its permission bits say";
        }
        m_bad = GetParam().make(m_folder);
        if (GetParam().failFrom > 0) {
            m_disk.emplace(m_bad, 1 << 30, 0, SlowFile::Stall::UntilKilled, GetParam().failFrom);
            if (!m_disk->Problem().empty()) {
                GTEST_SKIP() << "no failing disk can be made here: " << m_disk->Problem();
            }
            m_bad = m_disk->Path();
        }
    }

    TemporaryFolder m_folder;
    std::string m_bad;
    std::optional<SlowFile> m_disk;
};

// 16-bit stereo, 1 MiB of samples.
WavBuilder LargeFile() {
    return WavBuilder().Format(2, 16).Samples16(std::vector<std::int16_t>(1 << 19, 1000));
}

std::function<std::string(const TemporaryFolder&)> Writes(const WavBuilder& file) {
    return [file](const TemporaryFolder& f) { return file.WriteTo(f, "bad.wav"); };
}

std::string Reason(const char* reason, const std::string& path) {
    std::string line = reason;
    return line.replace(line.find("{name}"), 6, path);
}

// The pane shows the whole line where it fits; else the line with the path shortened in
// its middle to the pane's width, the file's name whole.
void ExpectShownToFit(QLabel& pane, const std::string& line, const std::string& path) {
    const QString shown = pane.text();
    const QString whole = QString::fromStdString(line);
    EXPECT_LE(pane.fontMetrics().horizontalAdvance(shown), pane.contentsRect().width());
    if (shown != whole) {
        EXPECT_TRUE(shown.startsWith(whole.left(whole.indexOf(u'/')))) << shown.toStdString();
        EXPECT_TRUE(shown.contains(u'…') &&
                    shown.endsWith(QString::fromStdString(path.substr(path.rfind('/')))))
            << shown.toStdString();
    }
}

// A rejected file leaves the record and the picture as they were, says why in the status
// bar within half a second, and tells screen readers with the whole path.
TEST_P(RejectedChoice, ChangesNothingAfterAGoodFileAndSaysWhy) {
    const std::string good = StereoFile(m_folder, "good.wav");
    const std::string& bad = m_bad;
    ViewerSession session;
    ASSERT_TRUE(OpenPath(session, good));
    const QImage before = session.GrabView();
    const RecordSnapshot record = TakeSnapshot(session.Record());
    ChooseWithoutWaiting(session, bad);
    const std::string reason = Reason(GetParam().reason, bad);
    EXPECT_TRUE(QTest::qWaitFor([&] { return session.MessageAccessibleName() == reason; }, 500))
        << session.MessageAccessibleName();
    ExpectShownToFit(session.MessagePane(), reason, bad);
    EXPECT_FALSE(session.View().IsLoading());
    EXPECT_EQ(DescribeChange(session.Record(), record), "");
    EXPECT_EQ(session.Record().loaded, 1);
    EXPECT_EQ(session.GrabView(), before);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_P(RejectedChoice, LeavesABlankViewBlank) {
    const std::string& bad = m_bad;
    ViewerSession session;
    ASSERT_TRUE(OpenPath(session, bad));
    EXPECT_EQ(session.Record().loaded, 0);
    EXPECT_TRUE(IsBlank(session.GrabView()));
    EXPECT_EQ(session.MessageAccessibleName(), Reason(GetParam().reason, bad));
}

INSTANTIATE_TEST_SUITE_P(
    Files, RejectedChoice,
    testing::Values(
        RejectCase{"TextFile",
                   [](const TemporaryFolder& f) {
                       std::ofstream(f.File("notes.wav")) << "Not a sound: words about one.\n";
                       return f.File("notes.wav");
                   },
                   "RIFF/WAVEﾌｧｲﾙではありません(0 ﾊﾞｲﾄ目): {name}"},
        RejectCase{"NotRiff", Writes(WavBuilder().RiffId(WavBuilder::Id("RIFX"))),
                   "RIFF/WAVEﾌｧｲﾙではありません(0 ﾊﾞｲﾄ目): {name}"},
        RejectCase{"CutShortInsideTheHeader", Writes(WavBuilder().TruncateTo(30)),
                   "dataﾁｬﾝｸがありません(30 ﾊﾞｲﾄ目まで): {name}"},
        RejectCase{"ZeroBlockAlign", Writes(WavBuilder().BlockAlign(0)),
                   "ﾌﾞﾛｯｸのｻｲｽﾞが0です(32 ﾊﾞｲﾄ目): {name}"},
        RejectCase{"NoDataChunk",
                   Writes(WavBuilder().Chunk("LIST", Bytes(1200)).WithoutDataChunk()),
                   "dataﾁｬﾝｸがありません(1,244 ﾊﾞｲﾄ目まで): {name}"},
        RejectCase{"CompressedFormat", Writes(WavBuilder().FormatTag(0x11)),
                   "対応していない形式です(形式 0x0011, 20 ﾊﾞｲﾄ目): {name}"},
        RejectCase{"ReadErrorPastTheHeader", Writes(LargeFile()),
                   "読み込みｴﾗｰ(100,000 ﾊﾞｲﾄ目, 入出力ｴﾗｰ): {name}", false, 100000},
        // A pipe with no writer: the load refuses it at once instead of waiting.
        RejectCase{"Fifo",
                   [](const TemporaryFolder& f) {
                       mkfifo(f.File("pipe.wav").c_str(), 0600);
                       return f.File("pipe.wav");
                   },
                   "通常のﾌｧｲﾙではありません: {name}"},
        // A typed name that names no file: the load cannot open it.
        RejectCase{"NonexistentPath", [](const TemporaryFolder& f) { return f.File("typed.wav"); },
                   "ﾌｧｲﾙを開けません(ﾌｧｲﾙがありません): {name}"},
        RejectCase{"Unreadable",
                   [](const TemporaryFolder& f) {
                       const std::string path = MonoFile(f, "mono.wav");
                       std::filesystem::permissions(path, std::filesystem::perms::none);
                       return path;
                   },
                   "ﾌｧｲﾙを開けません(読み取りの権限がありません): {name}", true},
        // A folder's name longer than file systems allow, in a path wider than the pane.
        // (The dialog itself refuses a file's name that is too long.)
        RejectCase{
            "NameTooLong",
            [](const TemporaryFolder& f) { return f.File(std::string(300, 'n') + "/a.wav"); },
            "ﾌｧｲﾙを開けません(名前が長すぎます): {name}"},
        // Any other error is named by its number (ENOTDIR).
        RejectCase{"FileTakenForAFolder",
                   [](const TemporaryFolder& f) { return MonoFile(f, "mono.wav") + "/inside.wav"; },
                   "ﾌｧｲﾙを開けません(ｴﾗｰ番号 20): {name}"}),
    CaseName);

// The reason stays until the next file is chosen: a highlighted menu item's prompt shows
// over it, and a dialog cancelled in between leaves it.
TEST(RejectionReason, GivesWayToPromptsAndStaysUntilTheNextFileIsChosen) {
    TemporaryFolder folder;
    const std::string good = MonoFile(folder, "mono.wav");
    const std::string missing = folder.File("missing.wav");
    const std::string reason = Reason("ﾌｧｲﾙを開けません(ﾌｧｲﾙがありません): {name}", missing);
    ViewerSession session;
    ASSERT_TRUE(OpenPath(session, missing));
    ASSERT_EQ(session.MessageText(), reason);

    session.Activate();
    QMenu* file = session.Menus()[0];
    file->popup(session.Frame().mapToGlobal(QPoint(0, 0)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(file));
    EXPECT_EQ(session.MessageText(), reason) << "no item is highlighted yet";
    file->setActiveAction(session.ActionOf(ID_FILE_OPEN));
    EXPECT_EQ(session.MessageAccessibleName(), "既存のﾌｧｲﾙを開く");
    file->hide();
    EXPECT_EQ(session.MessageText(), reason);
    ASSERT_TRUE(Cancel(session));
    EXPECT_EQ(session.MessageText(), reason);
    ASSERT_TRUE(OpenPath(session, good));
    EXPECT_EQ(session.MessageAccessibleName(), kIdleText);
}

TEST(ViewAfterOpen, ASecondFileReplacesTheFirst) {
    TemporaryFolder folder;
    const std::string stereo = StereoFile(folder, "stereo.wav");
    const std::string mono = MonoFile(folder, "mono.wav");
    ViewerSession session;
    ASSERT_TRUE(OpenPath(session, stereo));
    const QImage first = session.GrabView();
    ASSERT_TRUE(OpenPath(session, mono));
    const QImage second = session.GrabView();
    EXPECT_EQ(session.Record().path, mono);
    EXPECT_EQ(session.Record().channels, 1);
    EXPECT_NE(first, second);
    // The mono file has no right channel: no red trace, no legend.
    EXPECT_EQ(Count(second, 0, 0, second.width(), second.height(), IsRed), 0);
    EXPECT_GT(BlueInBox(second), 100);
}

TEST(ViewAfterOpen, ARepaintAfterAStereoFileDrawsTheTextsBlackAgain) {
    TemporaryFolder folder;
    const std::string path = StereoFile(folder, "stereo.wav");
    ViewerSession session;
    ASSERT_TRUE(OpenPath(session, path));
    session.View().repaint();
    const QImage image = session.GrabView();
    // The two information lines, above the plot: black text, nothing coloured.
    EXPECT_GT(Count(image, 0, 0, 900, 40, IsBlack), 200);
    EXPECT_EQ(Count(image, 0, 0, 900, 40, IsRed), 0);
    EXPECT_EQ(Count(image, 0, 0, 900, 40, IsBlue), 0);
}

TEST(ViewAfterOpen, HidingTheStatusBarDoesNotMoveTheDrawing) {
    TemporaryFolder folder;
    const std::string path = StereoFile(folder, "stereo.wav");
    ViewerSession session;
    ASSERT_TRUE(OpenPath(session, path));
    const QImage withBar = session.GrabView();
    session.Trigger(ID_VIEW_STATUS_BAR);
    const QImage withoutBar = session.GrabView();
    ASSERT_GT(withoutBar.height(), withBar.height());
    EXPECT_EQ(withoutBar.copy(0, 0, withBar.width(), withBar.height()), withBar);
    // What the bar covered is background.
    EXPECT_TRUE(IsBlank(withoutBar.copy(0, withBar.height(), withoutBar.width(),
                                        withoutBar.height() - withBar.height())));
}

// The tool tip that resting the pointer at point of the view shows, as plain text, or
// "(none)".
std::string ToolTipAt(ViewerSession& session, const QPoint& point) {
    QWidget& view = session.View();
    // Qt hides a tip after a short delay.
    QToolTip::hideText();
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 5000));
    QHelpEvent rest(QEvent::ToolTip, point, view.mapToGlobal(point));
    QCoreApplication::sendEvent(&view, &rest);
    if (!QToolTip::isVisible()) {
        return "(none)";
    }
    return QTextDocumentFragment::fromHtml(QToolTip::text()).toPlainText().toStdString();
}

TEST(ViewAfterOpen, ThePathLineShowsTheFullPathAsAToolTip) {
    // A path far wider than the window, with a folder name that reads as markup.
    TemporaryFolder folder;
    const std::string name = "<b>" + std::string(150, 'x') + " &amp; more";
    std::filesystem::create_directory(folder.File(name));
    const std::string path = MonoFile(folder, name + "/a.wav");
    ViewerSession session;
    const QPoint onPathLine(300, 8);
    const QPoint onSummaryLine(300, 28);
    EXPECT_EQ(ToolTipAt(session, onPathLine), "(none)") << "nothing shown yet";
    ASSERT_TRUE(OpenPath(session, path));
    EXPECT_EQ(ToolTipAt(session, onPathLine), path);
    EXPECT_EQ(ToolTipAt(session, onSummaryLine), "(none)");
    // A rejected file leaves the tip with the file shown.
    ASSERT_TRUE(OpenPath(session, folder.File("missing.wav")));
    EXPECT_EQ(ToolTipAt(session, onPathLine), path);
    QToolTip::hideText();
}

// ---- large files and slow disks ------------------------------------------------------

// The renderer paints from the same strided load as the view: the window's drawing must be
// its picture, pixel for pixel, and a file the window rejects the renderer rejects, for
// every shape the reader tells apart (the fuzzer's seeds, files of more than one read block
// among them), the files sox wrote and the samples. StridedLoadTest holds the strided
// load's drawing to the full load's over the same files.
TEST(ViewAfterOpen, PaintsPixelForPixelWhatTheRendererPaints) {
    TemporaryFolder folder;
    const std::vector<std::string> files = KnownWaveFiles(folder);
    ASSERT_GT(files.size(), 30u);
    ViewerSession session;
    int compared = 0;
    for (const std::string& file : files) {
        const std::string picture = folder.File("picture.png");
        std::filesystem::remove(picture);
        session.Record().path.clear();
        ASSERT_TRUE(OpenPath(session, file));
        const int renderStatus = RunProcess({VOQ_RENDER_PATH, file, picture}).exitStatus;
        if (session.Record().path != file) {
            EXPECT_EQ(renderStatus, 1) << file << " was rejected by the window only";
            continue;
        }
        ASSERT_EQ(renderStatus, 0) << file;
        const QImage rendered =
            QImage(QString::fromStdString(picture)).convertToFormat(QImage::Format_RGB32);
        const QImage view = session.GrabView().convertToFormat(QImage::Format_RGB32);
        ASSERT_GE(view.height(), rendered.height());
        EXPECT_TRUE(view.copy(0, 0, rendered.width(), rendered.height()) == rendered) << file;
        ++compared;
    }
    EXPECT_GT(compared, 25);
}

// A 16-bit stereo file of megabytes MiB, left at +-9000 and right at +-3000.
std::string LargeStereoFile(const TemporaryFolder& folder, const std::string& name, int megabytes) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(megabytes) << 19);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const int swing = (i / 4096) % 2 == 0 ? 1 : -1;
        samples[i] = static_cast<std::int16_t>((i % 2 == 0 ? 9000 : 3000) * swing);
    }
    return WavBuilder().Format(2, 16).Samples16(samples).WriteTo(folder, name);
}

// The per cent in the status bar's progress text, or -1 when it shows none.
int ShownPercent(ViewerSession& session) {
    int percent = -1;
    std::sscanf(session.MessageText().c_str(), "ﾌｧｲﾙを読み込み中... %d%%", &percent);
    return percent;
}

// 16 MiB at 4 MiB/s: the load runs for about four seconds. It shows its progress in the
// status bar and a busy cursor over the view, while the window keeps showing the file it
// showed; Esc stops the reading at once and leaves the record and the view as before, with
// no thread or descriptor of the load left.
TEST(SlowDisk, ALongLoadShowsItsProgressAndEscLeavesEverythingAsBefore) {
    TemporaryFolder folder;
    const std::string good = StereoFile(folder, "good.wav");
    const SlowFile slow(LargeStereoFile(folder, "large.wav", 16), 4 << 20);
    if (!slow.Problem().empty()) {
        GTEST_SKIP() << "no slow file can be made here: " << slow.Problem();
    }
    ViewerSession session;
    ASSERT_TRUE(OpenPath(session, good));
    const QImage drawn = session.GrabView();
    const RecordSnapshot before = TakeSnapshot(session.Record());
    const int threads = OwnThreads();

    ChooseWithoutWaiting(session, slow.Path());
    int first = -1;
    EXPECT_TRUE(QTest::qWaitFor([&] { return (first = ShownPercent(session)) >= 0; }, 1500))
        << session.MessageText();
    EXPECT_EQ(session.View().cursor().shape(), Qt::BusyCursor);
    int later = -1;
    EXPECT_TRUE(QTest::qWaitFor([&] { return (later = ShownPercent(session)) > first; }, 1500))
        << "the progress stayed at " << first << " %";
    EXPECT_LT(later, 100);
    EXPECT_GT(OwnThreads(), threads) << "the load runs on no thread of its own";
    EXPECT_EQ(DescriptorsOn(slow.Path()), 1);
    EXPECT_EQ(DescribeChange(session.Record(), before), "");
    EXPECT_EQ(session.GrabView(), drawn);

    session.Activate();
    QTest::keyClick(&session.Frame(), Qt::Key_Escape);
    const std::int64_t cancelled = MonotonicNs();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !session.View().IsLoading(); }, 1000));
    QTest::qWait(300); // a read the load no longer wants would be served by now
    EXPECT_LT(slow.ReadsServed().lastNs - cancelled, 1000000000) << "ns from Esc to the last read";
    EXPECT_EQ(session.MessageText(), kIdleText);
    EXPECT_EQ(session.View().cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(DescribeChange(session.Record(), before), "");
    EXPECT_EQ(session.GrabView(), drawn);
    EXPECT_EQ(OwnThreads(), threads);
    EXPECT_EQ(DescriptorsOn(slow.Path()), 0);
}

// A file cut short while it loads ends as a file that was short from the start: loaded,
// with what was read before the cut and zeros after it.
TEST(SlowDisk, AFileCutWhileItLoadsEndsWhereItWasCut) {
    TemporaryFolder folder;
    const std::string large = LargeStereoFile(folder, "large.wav", 8);
    const SlowFile slow(large, 4 << 20);
    if (!slow.Problem().empty()) {
        GTEST_SKIP() << "no slow file can be made here: " << slow.Problem();
    }
    ViewerSession session;
    ChooseWithoutWaiting(session, slow.Path());
    int percent = -1;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (percent = ShownPercent(session)) >= 0; }, 1500));
    ASSERT_LT(percent, 60) << "the load is too far on to be cut ahead of it";
    std::filesystem::resize_file(large, std::filesystem::file_size(large) / 4 * 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !session.View().IsLoading(); }, 10000));
    WaveRecord shortFromTheStart;
    ASSERT_EQ(LoadWaveFile(shortFromTheStart, large), 0);
    shortFromTheStart.path = slow.Path();
    EXPECT_EQ(session.Record().loaded, 1);
    EXPECT_EQ(DescribeStridedDifference(session.Record(), shortFromTheStart, kWaveformColumns), "");
}

// A disk that stops answering never holds the window: while the read waits, Esc gives the
// idle prompt back at once, with no reason, and a file chosen then is shown as usual.
TEST(SlowDisk, AStalledLoadGivesWayToEscAndToTheNextFile) {
    TemporaryFolder folder;
    const std::string good = StereoFile(folder, "good.wav");
    const SlowFile stalled(LargeStereoFile(folder, "large.wav", 4), 8 << 20, 1 << 20);
    if (!stalled.Problem().empty()) {
        GTEST_SKIP() << "no slow file can be made here: " << stalled.Problem();
    }
    ViewerSession session;
    ChooseWithoutWaiting(session, stalled.Path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return ShownPercent(session) >= 0; }, 1500));
    session.Activate();
    QTest::keyClick(&session.Frame(), Qt::Key_Escape);
    EXPECT_EQ(session.MessageText(), kIdleText);
    EXPECT_EQ(session.View().cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(session.View().IsLoading()) << "the stalled reader was not let go at once";

    ASSERT_TRUE(OpenPath(session, good));
    EXPECT_EQ(session.Record().path, good);
    EXPECT_EQ(session.Record().loaded, 1);
    EXPECT_GT(BlueInBox(session.GrabView()), 100);
}

// Under a load read at 20 MiB/s, the highlighted item of the File menu keeps its prompt in
// the status bar for as long as it stays highlighted, however often the progress moves on;
// the progress shows while no item is highlighted and once the menu closes.
TEST(SlowDisk, AHighlightedItemKeepsItsPromptWhileTheProgressMovesOn) {
    TemporaryFolder folder;
    const SlowFile slow(LargeStereoFile(folder, "large.wav", 64), 20 << 20);
    if (!slow.Problem().empty()) {
        GTEST_SKIP() << "no slow file can be made here: " << slow.Problem();
    }
    ViewerSession session;
    ChooseWithoutWaiting(session, slow.Path());
    int first = -1;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (first = ShownPercent(session)) >= 0; }, 1500));
    session.Activate();
    QMenu* file = session.Menus()[0];
    file->popup(session.Frame().mapToGlobal(QPoint(0, 0)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(file));
    EXPECT_GE(ShownPercent(session), 0) << session.MessageText();
    file->setActiveAction(session.ActionOf(ID_FILE_OPEN));
    // Five progress ticks, the pane read every 10 ms.
    std::vector<std::string> others;
    QElapsedTimer highlighted;
    highlighted.start();
    while (highlighted.elapsed() < 5 * CVOQ006View::kProgressIntervalMs) {
        if (session.MessageText() != "既存のﾌｧｲﾙを開く") {
            others.push_back(session.MessageText());
        }
        QTest::qWait(10);
    }
    EXPECT_EQ(others, std::vector<std::string>{});
    EXPECT_TRUE(session.View().IsLoading()) << "the load ended before the menu was read";
    file->hide();
    EXPECT_GT(ShownPercent(session), first) << session.MessageText();
}

} // namespace
