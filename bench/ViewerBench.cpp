// The viewer's own speed, as ratios measured in one run:
//
//   viewer_bench startup [RUNS]   process start to the first paint of the main window,
//                                 against a bare Qt program that shows an empty
//                                 QMainWindow with a menu bar and a status bar
//                                 (target: at most 1.5 times as long)
//   viewer_bench open [FOLDER] [RUNS]
//                                 confirming the Open dialog to the end of the view's
//                                 repaint for a 1 GiB 16-bit stereo file, against
//                                 LoadWaveFile of the same file alone
//                                 (target: at most 1.2 times as long)
//
// Each prints the medians and the ratio and exits 0 when the target is met, 2 when it is
// missed, 1 when it cannot run. The windows use whatever platform the environment gives
// Qt (set QT_QPA_PLATFORM=offscreen to run without a display).

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchFiles.h"
#include "resources/ApplicationResources.h"
#include "shell/MainFrame.h"
#include "shell/VOQ006App.h"
#include "shell/VOQ006View.h"
#include "shell/framework/AfxWinMain.h"
#include "shell/framework/ResourceTables.h"
#include "wave/WaveFileReader.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t NowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int Verdict(double ratio, double target) {
    const bool met = ratio <= target;
    std::printf("  ratio %.3f (target <= %.1f: %s)\n", ratio, target, met ? "met" : "MISSED");
    return met ? 0 : 2;
}

// Reports, on the first paint of a widget, the time since the parent spawned this
// process (its clock reading is in VOQ_BENCH_SPAWNED_NS; steady_clock is the system's
// monotonic clock, shared by both processes), and ends the event loop.
class FirstPaintReporter final : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_reported) {
            m_reported = true;
            const char* spawned = std::getenv("VOQ_BENCH_SPAWNED_NS");
            const std::int64_t start = spawned != nullptr ? std::atoll(spawned) : 0;
            std::printf("%.3f\n", static_cast<double>(NowNanoseconds() - start) / 1e6);
            std::fflush(stdout);
            QTimer::singleShot(0, [] { QCoreApplication::quit(); });
        }
        return false;
    }

private:
    bool m_reported{false};
};

// The viewer's start-up as main() runs it, up to the first paint of its view.
int ChildViewer(int argc, char** argv) {
    AfxChooseWindowingPlatform();
    QApplication application(argc, argv);
    AfxSetResourceTables(ApplicationResources());
    FirstPaintReporter reporter;
    int status = 1;
    {
        CVOQ006App app;
        AfxWinInit({});
        // The reporter must see the view's first paint, which InitInstance may already
        // ask for: it watches every widget until then.
        application.installEventFilter(&reporter);
        if (app.InitInstance()) {
            status = app.Run();
        }
        app.CloseAllDocuments();
    }
    return status;
}

// The comparison: an empty main window with a menu bar and a status bar.
int ChildBare(int argc, char** argv) {
    QApplication application(argc, argv);
    FirstPaintReporter reporter;
    application.installEventFilter(&reporter);
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("File"))->addAction(QStringLiteral("Open"));
    window.statusBar()->showMessage(QStringLiteral("Ready"));
    auto* centre = new QWidget(&window);
    window.setCentralWidget(centre);
    window.resize(960, 520);
    window.show();
    return QApplication::exec();
}

// Runs this program in child mode and returns the milliseconds it printed, or -1.
double TimeChild(const char* self, const char* mode) {
    int output[2];
    if (pipe(output) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    const std::string stamp = "VOQ_BENCH_SPAWNED_NS=" + std::to_string(NowNanoseconds());
    std::vector<char*> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "VOQ_BENCH_SPAWNED_NS=", 21) != 0) {
            environment.push_back(*entry);
        }
    }
    environment.push_back(const_cast<char*>(stamp.c_str()));
    environment.push_back(nullptr);
    char child[] = "child";
    std::vector<char*> argv{const_cast<char*>(self), child, const_cast<char*>(mode), nullptr};
    pid_t pid = -1;
    const int error = posix_spawn(&pid, self, &actions, nullptr, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    std::string text;
    char buffer[64];
    ssize_t count = 0;
    while (error == 0 && (count = read(output[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(count));
    }
    close(output[0]);
    int status = 0;
    if (error != 0 || waitpid(pid, &status, 0) != pid || text.empty()) {
        return -1;
    }
    return std::atof(text.c_str());
}

int Startup(const char* self, int runs) {
    std::vector<double> viewer, bare;
    // One warm-up of each, then alternating runs, so that both see the same caches.
    TimeChild(self, "viewer");
    TimeChild(self, "bare");
    for (int run = 0; run < runs; ++run) {
        const double v = TimeChild(self, "viewer");
        const double b = TimeChild(self, "bare");
        if (v < 0 || b < 0) {
            std::fprintf(stderr, "viewer_bench: a child did not report its first paint\n");
            return 1;
        }
        viewer.push_back(v);
        bare.push_back(b);
    }
    const double viewerMedian = Median(viewer), bareMedian = Median(bare);
    std::printf("start to first paint, median of %d runs (platform %s):\n", runs,
                std::getenv("QT_QPA_PLATFORM") != nullptr ? std::getenv("QT_QPA_PLATFORM")
                                                          : "default");
    std::printf("  viewer %8.1f ms\n  bare Qt %7.1f ms\n", viewerMedian, bareMedian);
    return Verdict(viewerMedian / bareMedian, 1.5);
}

// Answers the Open dialog with path as soon as it is shown; the time of confirming is
// stored in confirmedNs.
void AnswerDialog(const QString& path, std::int64_t& confirmedNs) {
    QTimer::singleShot(0, [path, &confirmedNs] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            AnswerDialog(path, confirmedNs);
            return;
        }
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
        confirmedNs = NowNanoseconds();
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

int Open(int argc, char** argv, const std::string& folder, int runs) {
    const LargeBenchFile& large = kLargeBenchFiles[0]; // 1 GiB of 16-bit stereo
    if (!EnsureLargeBenchFile(folder, large)) {
        std::fprintf(stderr, "viewer_bench: cannot write the measurement file in %s\n",
                     folder.c_str());
        return 1;
    }
    // Absolute, since the dialog resolves a relative name against its own last folder.
    const std::string path = std::filesystem::absolute(LargeBenchFilePath(folder, large)).string();
    WarmPageCache(path);

    QApplication application(argc, argv);
    AfxSetResourceTables(ApplicationResources());
    CVOQ006App app;
    AfxWinInit({});
    if (!app.InitInstance()) {
        return 1;
    }
    auto& frame = *static_cast<CMainFrame*>(app.m_pMainWnd);
    QWidget& view = *frame.GetActiveView()->GetSafeHwnd();
    WaveRecord alone;
    std::vector<double> viewer, reader;
    // Both measurements replace a record that already holds the file, as a second open
    // does; the first round warms up.
    for (int run = -1; run < runs; ++run) {
        // loaded is never reset by the viewer: reset here so that a failed open shows.
        app.Record().loaded = 0;
        std::int64_t confirmed = 0;
        AnswerDialog(QString::fromStdString(path), confirmed);
        frame.OnCommand(ID_FILE_OPEN);
        view.repaint();
        const std::int64_t painted = NowNanoseconds();

        const std::int64_t started = NowNanoseconds();
        const int result = LoadWaveFile(alone, path);
        const std::int64_t loaded = NowNanoseconds();
        if (result != 0 || app.Record().loaded != 1 || app.Record().path != path ||
            confirmed == 0) {
            std::fprintf(stderr, "viewer_bench: the file did not load\n");
            return 1;
        }
        if (run >= 0) {
            viewer.push_back(static_cast<double>(painted - confirmed) / 1e6);
            reader.push_back(static_cast<double>(loaded - started) / 1e6);
        }
    }
    app.CloseAllDocuments();
    const double viewerMedian = Median(viewer), readerMedian = Median(reader);
    std::printf("1 GiB 16-bit stereo, median of %d runs:\n", runs);
    std::printf("  confirm to repainted view %8.1f ms\n  LoadWaveFile alone        %8.1f ms\n",
                viewerMedian, readerMedian);
    return Verdict(viewerMedian / readerMedian, 1.2);
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "startup" || mode == "open") {
        // The viewers measured here get a runtime folder of their own (where the
        // single-instance lock lives), so that a viewer the user has open never meets
        // them. It is removed at exit.
        static char folder[] = "/tmp/voq006-bench-XXXXXX";
        if (mkdtemp(folder) == nullptr) {
            return 1;
        }
        setenv("XDG_RUNTIME_DIR", folder, 1);
        std::atexit([] { std::filesystem::remove_all(folder); });
    }
    if (mode == "child" && argc > 2) {
        return std::strcmp(argv[2], "viewer") == 0 ? ChildViewer(argc, argv)
                                                   : ChildBare(argc, argv);
    }
    if (mode == "startup") {
        return Startup(argv[0], argc > 2 ? std::max(1, std::atoi(argv[2])) : 15);
    }
    if (mode == "open") {
        const std::string folder = argc > 2 ? argv[2] : DefaultBenchDataFolder();
        int qtArgc = 1;
        return Open(qtArgc, argv, folder, argc > 3 ? std::max(1, std::atoi(argv[3])) : 5);
    }
    std::fprintf(stderr, "usage: viewer_bench startup [RUNS] | open [FOLDER] [RUNS]\n");
    return 1;
}
