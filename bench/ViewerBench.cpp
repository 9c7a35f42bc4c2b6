// The viewer's own figures, as ratios and limits measured in one run:
//
//   viewer_bench startup [RUNS]   process start to the first paint of the main window,
//                                 against a bare Qt program that shows an empty
//                                 QMainWindow with a menu bar and a status bar
//                                 (target: at most 1.5 times as long)
//   viewer_bench open [FOLDER] [RUNS]
//                                 confirming the Open dialog to the view drawn, for a
//                                 1 GiB 16-bit stereo file, in a fresh viewer each time:
//                                 the view's own Open (the strided load in the reader
//                                 process, beside the user-interface thread) against a
//                                 full load (the same dialog, LoadWaveFile on the
//                                 user-interface thread, as Open was before), right after
//                                 memory was used (target: at most 0.7 times as long)
//                                 and after it lay idle (target: at most 0.2); the
//                                 viewer's peak resident memory with that file shown, and
//                                 with a 4 GiB file shown under a 1 GiB memory limit
//                                 (target: below 100 MiB each); then the figures of
//                                 viewer_bench reader
//   viewer_bench reader [FOLDER] [RUNS]
//                                 confirming the Open dialog to the view drawn, in fresh
//                                 viewers, through the reader process against a copy of
//                                 this program with no reader program beside it, which
//                                 reads in its own process, runs interleaved: for the 1 GiB
//                                 file (target: at most 1.05 times as long) and for one
//                                 second of CD sound (target: at most 5 ms more)
//   viewer_bench cancel [FOLDER]  Esc 2.5 s into the load of the 1 GiB file served at
//                                 20 MiB/s by slow_file_system, to the last read the file
//                                 system served (target: at most 1 s)
//
// Each prints its figures and exits 0 when every target is met, 2 when one is missed, 1
// when it cannot run or what it timed failed. The windows use whatever platform the
// environment gives Qt (set QT_QPA_PLATFORM=offscreen to run without a display).

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "bench/BenchFiles.h"
#include "platform/WindowingPlatform.h"
#include "shell/MainFrame.h"
#include "shell/OpenFileDialog.h"
#include "shell/VOQ006App.h"
#include "shell/VOQ006View.h"
#include "tests/slowfs/SlowFile.h"
#include "tests/support/ProcessStatus.h"
#include "wave/ReaderProcess.h"
#include "wave/WaveFileReader.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kMiB = 1024.0 * 1024.0;
// The four seconds after which this kind of virtual machine has handed unused memory
// back to its host, so that faulting it in again costs about ten times more.
constexpr int kIdleSeconds = 4;
// The view's Open reads every byte of the file too (the peak needs them): with memory at
// hand it saves only the writing of the arrays, about half of a full load here, so its
// target leaves room for the dialog and the thread. After memory lay idle, the full load
// pays ten times over for faulting in the arrays, which the view's Open never has.
constexpr double kUsedRatioTarget = 0.7;
constexpr double kIdleRatioTarget = 0.2;
// The slow disk of the cancel: a USB 2 stick or a busy network share.
constexpr double kSlowBytesPerSecond = 20.0 * kMiB;
constexpr double kSecondsBeforeEsc = 2.5;

// steady_clock is CLOCK_MONOTONIC, the clock of slow_file_system's log and of a child's
// VOQ_BENCH_SPAWNED_NS.
std::int64_t NowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

bool Report(const char* what, double value, const char* unit, const char* comparison,
            double limit) {
    const bool met = std::strcmp(comparison, "<") == 0 ? value < limit : value <= limit;
    std::printf("  %-52s %9.3f %-4s (target %s %g: %s)\n", what, value, unit, comparison, limit,
                met ? "met" : "MISSED");
    return met;
}

int Verdict(double ratio, double target) {
    return Report("ratio", ratio, "", "<=", target) ? 0 : 2;
}

// Touching and freeing as much memory as a run is about to use, right before it, so that
// the run faults in memory the host has just given (see kIdleSeconds). Huge pages, as the
// reader asks for its arrays: small pages leave the huge ones to be found again.
void UseFreshMemory(std::size_t bytes) {
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        return;
    }
    madvise(memory, bytes, MADV_HUGEPAGE);
    for (std::size_t at = 0; at < bytes; at += 4096) {
        static_cast<volatile char*>(memory)[at] = 1;
    }
    munmap(memory, bytes);
}

// Processes the viewer's events until done() holds or seconds have passed; false on the
// latter. The viewer's load runs on a core of its own meanwhile, so this sleeps in the
// event loop rather than spinning.
bool WaitUntil(const std::function<bool()>& done, double seconds) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    QTimer tick; // wakes the loop to look at the clock
    tick.start(20);
    while (!done()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// The offscreen platform warns, once for every window shown, that it passes no size hints
// on: lines that would bury the figures.
QtMessageHandler g_defaultMessageHandler = nullptr;
void DropSizeHintWarnings(QtMsgType type, const QMessageLogContext& context,
                          const QString& message) {
    if (!message.contains(QLatin1String("propagateSizeHints"))) {
        g_defaultMessageHandler(type, context, message);
    }
}

// The viewer's main window as its start-up makes it, inside a QApplication the caller
// made, shown and active, with the record it shows.
class RunningViewer {
public:
    RunningViewer() : m_frame(m_record) {
        g_defaultMessageHandler = qInstallMessageHandler(DropSizeHintWarnings);
        m_frame.show();
        QApplication::setActiveWindow(&m_frame);
        // Painted once, as a user sees it before choosing Open.
        QCoreApplication::processEvents();
        View().repaint();
    }

    WaveRecord& Record() { return m_record; }
    CMainFrame& Frame() { return m_frame; }
    CVOQ006View& View() { return *m_frame.findChild<CVOQ006View*>(); }
    // Ctrl+O as the user presses it.
    void Open() { QTest::keyClick(&m_frame, Qt::Key_O, Qt::ControlModifier); }

private:
    WaveRecord m_record;
    CMainFrame m_frame;
};

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

// ---- startup ----

// Reports, on the first paint of a widget, the time since the parent spawned this
// process (its clock reading is in VOQ_BENCH_SPAWNED_NS), and ends the event loop.
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
    ChooseWindowingPlatform(argc, argv);
    CVOQ006App app(argc, argv);
    // The reporter must see the view's first paint, which the start-up may already ask for:
    // it watches every widget until then.
    FirstPaintReporter reporter;
    QCoreApplication::instance()->installEventFilter(&reporter);
    return app.Run();
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

// How a child process of this program ended, and what it printed.
struct ChildRun {
    bool exited{};  // by exit, not by a signal
    int status{-1}; // the exit status, or the signal that ended it
    std::string output;
};

// Whether a child's standard error reaches the terminal.
enum class ChildErrors { Shown, Dropped };

// Runs this program (self, or a copy of it) as "child ARGUMENTS...", with
// VOQ_BENCH_SPAWNED_NS set to the moment of the spawn and the extra "NAME=value" entries in
// its environment.
ChildRun RunChild(const char* self, const std::vector<std::string>& arguments,
                  const std::vector<std::string>& extraEnvironment = {},
                  ChildErrors errors = ChildErrors::Shown) {
    ChildRun run;
    int output[2];
    if (pipe(output) != 0) {
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    if (errors == ChildErrors::Dropped) {
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    std::vector<char*> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "VOQ_BENCH_", 10) != 0) {
            environment.push_back(*entry);
        }
    }
    for (const std::string& entry : extraEnvironment) {
        environment.push_back(const_cast<char*>(entry.c_str()));
    }
    const std::string stamp = "VOQ_BENCH_SPAWNED_NS=" + std::to_string(NowNanoseconds());
    environment.push_back(const_cast<char*>(stamp.c_str()));
    environment.push_back(nullptr);
    std::vector<char*> argv{const_cast<char*>(self), const_cast<char*>("child")};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, self, &actions, nullptr, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    char buffer[256];
    ssize_t count = 0;
    while (error == 0 && (count = read(output[0], buffer, sizeof buffer)) > 0) {
        run.output.append(buffer, static_cast<std::size_t>(count));
    }
    close(output[0]);
    int status = 0;
    if (error == 0 && waitpid(pid, &status, 0) == pid) {
        run.exited = WIFEXITED(status);
        run.status = run.exited ? WEXITSTATUS(status) : WTERMSIG(status);
    }
    return run;
}

// The milliseconds a child printed, or -1.
double TimeChild(const char* self, const char* mode) {
    const ChildRun run = RunChild(self, {mode});
    return run.exited && run.status == 0 && !run.output.empty() ? std::atof(run.output.c_str())
                                                                : -1;
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

// ---- open ----

enum class OpenLoad { Strided, Full };

// One viewer that opens path through its Open dialog and draws it; it prints the
// milliseconds from confirming the dialog to the end of the repaint and its peak
// resident memory in KiB. Exit 1 when the file was not shown whole.
int ChildOpen(int argc, char** argv, OpenLoad load, const std::string& path) {
    QApplication application(argc, argv);
    RunningViewer viewer;
    std::int64_t confirmed = 0;
    AnswerDialog(QString::fromStdString(path), confirmed);
    WaveRecord& record = viewer.Record();
    if (load == OpenLoad::Strided) {
        viewer.Open();
        if (!WaitUntil([&viewer] { return !viewer.View().IsLoading(); }, 600)) {
            return 1;
        }
    } else {
        // Open as it was before loads ran in the background: the same dialog, then the
        // full load on this thread.
        OpenFileDialog dialog(&viewer.Frame());
        const std::string chosen = dialog.Choose();
        if (chosen.empty() || LoadWaveFile(record, chosen) != 0) {
            return 1;
        }
        record.loaded = 1;
    }
    viewer.View().repaint();
    const std::int64_t drawn = NowNanoseconds();
    // Every measurement file is 16-bit stereo behind a 44-byte header: 4 bytes a frame.
    const std::uint64_t frames = (FileBytes(path) - 44) / 4;
    if (confirmed == 0 || record.loaded != 1 || record.path != path ||
        record.frameCount != frames || record.peak <= 0) {
        std::fprintf(stderr, "viewer_bench: %s was not shown whole\n", path.c_str());
        return 1;
    }
    std::printf("%.3f %ld\n", static_cast<double>(drawn - confirmed) / 1e6, StatusKiB("VmHWM"));
    return 0;
}

// What one viewer child measured.
struct OpenRun {
    double milliseconds{};
    double peakMiB{};
};

ChildRun RunOpenChild(const char* self, OpenLoad load, const std::string& path,
                      const std::vector<std::string>& environment = {},
                      ChildErrors errors = ChildErrors::Shown) {
    return RunChild(self, {"open", load == OpenLoad::Strided ? "strided" : "full", path},
                    environment, errors);
}

bool ParseOpenRun(const ChildRun& run, OpenRun& result) {
    long peakKiB = 0;
    if (!run.exited || run.status != 0 ||
        std::sscanf(run.output.c_str(), "%lf %ld", &result.milliseconds, &peakKiB) != 2) {
        return false;
    }
    result.peakMiB = static_cast<double>(peakKiB) / 1024.0;
    return true;
}

// A memory cgroup below this process's own (v1 or v2), limited to a number of bytes
// without swap, for a child to join through VOQ_BENCH_CGROUP; removed when it goes.
class MemoryLimit {
public:
    explicit MemoryLimit(std::uint64_t bytes) {
        std::string base, limitFile, swapFile, swapValue;
        std::ifstream cgroups("/proc/self/cgroup");
        for (std::string line; std::getline(cgroups, line);) {
            // "4:memory:/path" on cgroup v1, "0::/path" on v2.
            const std::size_t first = line.find(':'), second = line.find(':', first + 1);
            if (first == std::string::npos || second == std::string::npos) {
                continue;
            }
            const std::string controllers = line.substr(first + 1, second - first - 1);
            const std::string path = line.substr(second + 1);
            if (controllers == "memory") {
                base = "/sys/fs/cgroup/memory" + path;
                limitFile = "memory.limit_in_bytes";
                swapFile = "memory.memsw.limit_in_bytes"; // memory and swap together
                swapValue = std::to_string(bytes);
                break;
            }
            if (controllers.empty() && access("/sys/fs/cgroup/cgroup.controllers", F_OK) == 0) {
                base = "/sys/fs/cgroup" + path;
                limitFile = "memory.max";
                swapFile = "memory.swap.max";
                swapValue = "0";
            }
        }
        if (base.empty()) {
            m_problem = "/proc/self/cgroup names no memory cgroup";
            return;
        }
        const std::string folder = base + "/voq006-bench-" + std::to_string(getpid());
        if (mkdir(folder.c_str(), 0755) != 0) {
            m_problem = "cannot create " + folder + ": " + std::strerror(errno);
            return;
        }
        m_folder = folder;
        if (!Write(limitFile, std::to_string(bytes))) {
            m_problem = "cannot write " + m_folder + "/" + limitFile + ": " + std::strerror(errno);
            return;
        }
        Write(swapFile, swapValue); // absent where the kernel keeps no swap account
    }
    ~MemoryLimit() {
        if (!m_folder.empty()) {
            rmdir(m_folder.c_str());
        }
    }
    MemoryLimit(const MemoryLimit&) = delete;
    MemoryLimit& operator=(const MemoryLimit&) = delete;

    // Empty when the limit is in place.
    const std::string& Problem() const { return m_problem; }
    // The environment entry that puts a child under the limit.
    std::string Environment() const { return "VOQ_BENCH_CGROUP=" + m_folder + "/cgroup.procs"; }

private:
    bool Write(const std::string& file, const std::string& value) const {
        const int descriptor = open((m_folder + "/" + file).c_str(), O_WRONLY | O_CLOEXEC);
        const bool written = descriptor >= 0 && write(descriptor, value.data(), value.size()) ==
                                                    static_cast<ssize_t>(value.size());
        if (descriptor >= 0) {
            close(descriptor);
        }
        return written;
    }

    std::string m_folder;
    std::string m_problem;
};

// Asks the kernel to forget the cached pages of a file, so that whoever reads it next
// reads the disk and is charged for the page cache it fills.
void DropPageCache(const std::string& path) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor >= 0) {
        posix_fadvise(descriptor, 0, 0, POSIX_FADV_DONTNEED);
        close(descriptor);
    }
}

// A child named in VOQ_BENCH_CGROUP joins that cgroup before it does anything else.
bool JoinMemoryLimit() {
    const char* procs = std::getenv("VOQ_BENCH_CGROUP");
    if (procs == nullptr) {
        return true;
    }
    std::ofstream file(procs);
    file << getpid() << std::flush;
    return static_cast<bool>(file);
}

// The 4 GiB file shown by a viewer that may use 1 GiB of memory (the page cache it fills
// included), and, to show that the limit holds, a full load of it under the same limit,
// which the kernel must kill.
bool FourGiBUnderLimit(const char* self, const std::string& path) {
    std::printf("4 GiB 16-bit stereo (real data, not in the page cache: read from the disk):\n");
    const MemoryLimit limit(std::uint64_t{1} << 30);
    std::vector<std::string> environment;
    if (limit.Problem().empty()) {
        environment.push_back(limit.Environment());
    } else {
        std::printf("  no memory limit on this machine (%s): shown without one\n",
                    limit.Problem().c_str());
    }
    DropPageCache(path);
    OpenRun shown;
    if (!ParseOpenRun(RunOpenChild(self, OpenLoad::Strided, path, environment), shown)) {
        std::fprintf(stderr, "viewer_bench: the viewer did not show %s%s\n", path.c_str(),
                     environment.empty() ? "" : " under a 1 GiB memory limit");
        return false;
    }
    std::printf("  shown%s in %.0f ms\n", environment.empty() ? "" : " under a 1 GiB memory limit",
                shown.milliseconds);
    if (!environment.empty()) {
        DropPageCache(path);
        const ChildRun full = RunOpenChild(self, OpenLoad::Full, path, environment);
        if (full.exited || full.status != SIGKILL) {
            std::fprintf(stderr, "viewer_bench: a full load of 4 GiB under the 1 GiB limit was "
                                 "not killed: the limit does not hold\n");
            return false;
        }
        std::printf("  a full load of it under the same limit: killed by SIGKILL, as it must\n");
    }
    return Report("viewer peak resident memory (VmHWM), 4 GiB shown", shown.peakMiB, "MiB", "<",
                  100.0);
}

bool MeasureReaderProcess(const char* self, const std::string& folder, int runs, bool& met);

int Open(const char* self, const std::string& folder, int runs) {
    const LargeBenchFile& large = kLargeBenchFiles[0]; // 1 GiB of 16-bit stereo
    if (!EnsureLargeBenchFile(folder, large) || !EnsureLargeBenchFile(folder, kFourGiBBenchFile)) {
        std::fprintf(stderr, "viewer_bench: cannot write the measurement files in %s\n",
                     folder.c_str());
        return 1;
    }
    // Absolute, since the dialog resolves a relative name against its own last folder.
    const std::string path = std::filesystem::absolute(LargeBenchFilePath(folder, large)).string();
    const std::string fourGiB =
        std::filesystem::absolute(LargeBenchFilePath(folder, kFourGiBBenchFile)).string();
    WarmPageCache(path);
    std::printf("load average at the start: %s\n", LoadAverage().c_str());

    // [after idle][full]: runs interleaved so that whatever else the machine does falls on
    // all four alike; the first round warms up.
    std::vector<double> times[2][2];
    double stridedPeakMiB = 0, fullPeakMiB = 0;
    for (int run = -1; run < runs; ++run) {
        for (const bool idle : {false, true}) {
            for (const OpenLoad load : {OpenLoad::Strided, OpenLoad::Full}) {
                if (idle) {
                    std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
                } else {
                    UseFreshMemory(large.shape.dataBytes);
                }
                OpenRun result;
                if (!ParseOpenRun(RunOpenChild(self, load, path), result)) {
                    std::fprintf(stderr, "viewer_bench: a viewer did not show %s\n", path.c_str());
                    return 1;
                }
                if (run >= 0) {
                    const bool full = load == OpenLoad::Full;
                    times[idle][full].push_back(result.milliseconds);
                    double& peak = full ? fullPeakMiB : stridedPeakMiB;
                    peak = std::max(peak, result.peakMiB);
                }
            }
        }
    }
    std::printf("1 GiB 16-bit stereo, Open confirmed to view drawn, median of %d fresh viewers "
                "(page cache warm):\n",
                runs);
    bool met = true;
    for (const bool idle : {false, true}) {
        const double strided = Median(times[idle][0]), full = Median(times[idle][1]);
        std::printf("  %-26s view's Open %8.1f ms, full load %8.1f ms\n",
                    idle ? "after memory idle 4 s:" : "right after memory used:", strided, full);
        met = Report(idle ? "ratio after memory idle" : "ratio after memory used", strided / full,
                     "", "<=", idle ? kIdleRatioTarget : kUsedRatioTarget) &&
              met;
    }
    std::printf("  full load's peak resident memory (VmHWM), for comparison: %.1f MiB\n",
                fullPeakMiB);
    met = Report("viewer peak resident memory (VmHWM), 1 GiB shown", stridedPeakMiB, "MiB", "<",
                 100.0) &&
          met;
    if (!FourGiBUnderLimit(self, fourGiB) || !MeasureReaderProcess(self, folder, runs, met)) {
        return 1;
    }
    std::printf("load average at the end: %s\n", LoadAverage().c_str());
    return met ? 0 : 2;
}

// ---- reader ----

// The view's Open through its reader process against a copy of this program that has no
// reader program beside it and so reads in its own process, for the 1 GiB file and a small
// one (one second of CD sound), each pair of fresh viewers in alternating order; the first
// round only warms up. False when a run failed.
bool MeasureReaderProcess(const char* self, const std::string& folder, int runs, bool& met) {
    const std::string reader = ReaderProcess::ProgramBesideThisOne();
    if (access(reader.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "viewer_bench: no reader program at %s (build voq006-reader)\n",
                     reader.c_str());
        return false;
    }
    const InProcessComparison comparison = PrepareInProcessComparison(folder, self);
    if (comparison.copy.empty()) {
        std::fprintf(stderr, "viewer_bench: cannot prepare a copy and its files in %s\n",
                     folder.c_str());
        return false;
    }
    const char* alone = comparison.copy.c_str();
    for (const ComparedFile& file : ComparedFiles(comparison, runs)) {
        // Absolute, since the dialog resolves a relative name against its own last folder.
        const std::string path = std::filesystem::absolute(file.path).string();
        WarmPageCache(path);
        std::vector<double> throughReader, inProcess;
        for (int i = 0; i <= file.repetitions; ++i) {
            const bool readerFirst = i % 2 == 0;
            OpenRun first, second;
            // The copy says on standard error that it reads in process, each time.
            const bool ran =
                ParseOpenRun(RunOpenChild(readerFirst ? self : alone, OpenLoad::Strided, path, {},
                                          ChildErrors::Dropped),
                             first) &&
                ParseOpenRun(RunOpenChild(readerFirst ? alone : self, OpenLoad::Strided, path, {},
                                          ChildErrors::Dropped),
                             second);
            if (!ran) {
                std::fprintf(stderr, "viewer_bench: a viewer did not show %s\n", path.c_str());
                return false;
            }
            if (i > 0) {
                throughReader.push_back(readerFirst ? first.milliseconds : second.milliseconds);
                inProcess.push_back(readerFirst ? second.milliseconds : first.milliseconds);
            }
        }
        const double reading = Median(throughReader), alongside = Median(inProcess);
        std::printf("%s 16-bit stereo, Open confirmed to view drawn, medians of %d fresh viewers: "
                    "through the reader process %.2f ms, in process %.2f ms\n",
                    file.label, file.repetitions, reading, alongside);
        met = (file.large ? Report("reader process / in process, 1 GiB", reading / alongside, "",
                                   "<=", 1.05)
                          : Report("reader process - in process, 176 kB", reading - alongside, "ms",
                                   "<=", 5.0)) &&
              met;
    }
    return true;
}

// ---- cancel ----

int Cancel(int argc, char** argv, const std::string& folder) {
    const LargeBenchFile& large = kLargeBenchFiles[0];
    if (!EnsureLargeBenchFile(folder, large)) {
        std::fprintf(stderr, "viewer_bench: cannot write the measurement file in %s\n",
                     folder.c_str());
        return 1;
    }
    const SlowFile server(std::filesystem::absolute(LargeBenchFilePath(folder, large)).string(),
                          kSlowBytesPerSecond);
    if (!server.Problem().empty()) {
        std::fprintf(stderr, "viewer_bench: %s\n", server.Problem().c_str());
        return 1;
    }
    QApplication application(argc, argv);
    RunningViewer viewer;
    std::int64_t confirmed = 0;
    AnswerDialog(QString::fromStdString(server.Path()), confirmed);
    viewer.Open();
    WaitUntil(
        [&confirmed] {
            return confirmed != 0 && NowNanoseconds() - confirmed >= kSecondsBeforeEsc * 1e9;
        },
        kSecondsBeforeEsc + 10);
    const SlowFile::Reads before = server.ReadsServed();
    if (!viewer.View().IsLoading() || before.count == 0) {
        std::fprintf(stderr, "viewer_bench: no load was reading %s %.1f s after Open\n",
                     server.Path().c_str(), kSecondsBeforeEsc);
        return 1;
    }

    // Esc as the user presses it, to the main window.
    const std::int64_t esc = NowNanoseconds();
    QTest::keyClick(&viewer.Frame(), Qt::Key_Escape);
    if (!WaitUntil([&viewer] { return !viewer.View().IsLoading(); }, 10)) {
        std::fprintf(stderr, "viewer_bench: the load still ran 10 s after Esc\n");
        return 1;
    }
    const std::int64_t ended = NowNanoseconds();
    // A read after the load ended would be logged by now.
    WaitUntil([] { return false; }, 2);
    const SlowFile::Reads reads = server.ReadsServed(esc);
    const WaveRecord& record = viewer.Record();
    if (record.loaded != 0 || !record.path.empty() || record.frameCount != 0) {
        std::fprintf(stderr, "viewer_bench: the cancelled load changed the record\n");
        return 1;
    }
    std::printf("1 GiB 16-bit stereo served at %.0f MiB/s, Esc %.1f s after Open confirmed "
                "(%.1f MiB read by then, %d reads):\n",
                kSlowBytesPerSecond / kMiB, kSecondsBeforeEsc,
                static_cast<double>(before.bytes) / kMiB, before.count);
    std::printf("  reads served after Esc: %d; Esc to the load's end on the view: %.1f ms\n",
                reads.after, static_cast<double>(ended - esc) / 1e6);
    std::printf("  the record and the view as before the Open (nothing loaded)\n");
    // A last read served before Esc counts as 0: reading had stopped by then.
    const double lastRead = std::max(0.0, static_cast<double>(reads.lastNs - esc) / 1e9);
    const bool met = Report("Esc to the last read", lastRead, "s", "<=", 1.0);
    std::printf("load average at the end: %s\n", LoadAverage().c_str());
    return met ? 0 : 2;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "child" && !JoinMemoryLimit()) {
        std::fprintf(stderr, "viewer_bench: cannot join the memory limit\n");
        return 1;
    }
    if (mode == "startup" || mode == "open" || mode == "reader" || mode == "cancel") {
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
    int qtArgc = 1;
    if (mode == "child" && argc == 5 && std::strcmp(argv[2], "open") == 0) {
        return ChildOpen(qtArgc, argv,
                         std::strcmp(argv[3], "full") == 0 ? OpenLoad::Full : OpenLoad::Strided,
                         argv[4]);
    }
    if (mode == "child" && argc > 2) {
        return std::strcmp(argv[2], "viewer") == 0 ? ChildViewer(argc, argv)
                                                   : ChildBare(argc, argv);
    }
    if (mode == "startup") {
        return Startup(argv[0], argc > 2 ? std::max(1, std::atoi(argv[2])) : 15);
    }
    const std::string folder = argc > 2 ? argv[2] : DefaultBenchDataFolder();
    if (mode == "open") {
        return Open(argv[0], folder, argc > 3 ? std::max(1, std::atoi(argv[3])) : 5);
    }
    if (mode == "reader") {
        bool met = true;
        if (!MeasureReaderProcess(argv[0], folder, argc > 3 ? std::max(1, std::atoi(argv[3])) : 5,
                                  met)) {
            return 1;
        }
        return met ? 0 : 2;
    }
    if (mode == "cancel") {
        return Cancel(qtArgc, argv, folder);
    }
    std::fprintf(stderr, "usage: viewer_bench startup [RUNS] | open [FOLDER] [RUNS] | reader "
                         "[FOLDER] [RUNS] | cancel [FOLDER]\n");
    return 1;
}
