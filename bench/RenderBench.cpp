// The renderer's figures, each the median of repeated runs of a fresh process with the page
// cache warm, and the ratios measured in the same run:
//   - the picture of a 1 GiB 16-bit stereo file from the strided load against the same
//     picture from a full load (target: at most 0.5), and against a full load read by one
//     thread, as every full load was before the load learnt to share a file between two;
//   - the peak resident memory of voq006-render for 1 GiB and 4 GiB of data and for a
//     200-byte file claiming 2^32 - 1 frames (target: at most 64 MiB each);
//   - voq006-render --thumbnail 256 of a 100 MB file (target: at most 0.2 s);
//   - voq006-render reading through its confined reader process against the same program
//     reading in its own process (a copy with no reader program beside it), runs
//     interleaved, for a 1 GiB file (target: at most 1.05 times) and a small one (target:
//     at most 5 ms more).
// Exits 0 when every target is met, 2 when one is missed, 1 when something cannot run.
//
//   render_bench FOLDER                      every figure; the files are written into FOLDER
//   render_bench reader FOLDER               the reader process's figures alone
//   render_bench paint full|full-one|strided IN OUT
//                                            one picture, for the comparison (run by the above)

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/BenchFiles.h"
#include "display/ViewDrawing.h"
#include "display/WaveformPlot.h"
#include "display/qt/PainterSurface.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

extern char** environ;

namespace {

constexpr int kRepetitions = 5;
constexpr double kMiB = 1024.0 * 1024.0;

// What one run of a child process cost.
struct Run {
    bool succeeded{};
    double seconds{};
    double peakMiB{}; // the child's maximum resident set
};

double Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Runs a program with its output on /dev/null and waits for it; succeeded means exit 0
// and, when expectedWidth is not 0, a PNG of that width at output.
Run RunChild(const std::vector<std::string>& arguments, const std::string& output,
             int expectedWidth) {
    std::remove(output.c_str());
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const double started = Now();
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return {};
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) {
        return {};
    }
    Run run;
    run.seconds = Now() - started;
    run.peakMiB = static_cast<double>(usage.ru_maxrss) * 1024.0 / kMiB;
    run.succeeded =
        WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
        (expectedWidth == 0 || QImage(QString::fromStdString(output)).width() == expectedWidth);
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The picture voq006-render paints, from either load, written with QImage::save; the same
// harness for both, so that their ratio compares the loads.
int Paint(const std::string& mode, const std::string& input, const std::string& output) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "render_bench";
    char* argv[] = {name, nullptr};
    QGuiApplication application(argc, argv);
    WaveRecord record;
    const LoadOutcome outcome =
        mode == "strided"    ? LoadWaveFileStrided(record, input, kWaveformColumns)
        : mode == "full-one" ? LoadWaveFileExplained(record, input, SampleThreads::One)
                             : LoadWaveFileExplained(record, input);
    if (outcome.status != LoadStatus::Loaded) {
        return 1;
    }
    QImage image(960, 440, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        PainterSurface surface(painter);
        DrawLoadedRecord(surface, record);
    }
    return image.save(QString::fromStdString(output), "png") ? 0 : 1;
}

// A 44-byte header whose data chunk claims 0xFFFFFFFF bytes of one-byte stereo frames,
// followed by 156 bytes of real data: 200 bytes in all.
bool WriteHugeClaim(const std::string& path) {
    std::string bytes("RIFF\xC0\0\0\0WAVEfmt \x10\0\0\0\1\0\2\0\x44\xAC\0\0\x44\xAC\0\0\1\0\x08\0"
                      "data\xFF\xFF\xFF\xFF",
                      44);
    for (int i = 0; bytes.size() < 200; ++i) {
        bytes.push_back(static_cast<char>(0x80 + (i * 37) % 100));
    }
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file.flush());
}

bool Report(const char* what, double value, const char* unit, double limit) {
    const bool met = value <= limit;
    std::printf("%-58s %8.3f %-4s (target <= %g: %s)\n", what, value, unit, limit,
                met ? "met" : "MISSED");
    return met;
}

// The renderer through its reader process against a copy of it that has no reader program
// beside it and so reads the file itself, for the 1 GiB file and a small one (one second of
// CD sound), each pair of runs in alternating order. False when a run failed.
bool MeasureReaderProcess(const std::string& folder, bool& met) {
    const InProcessComparison comparison = PrepareInProcessComparison(folder, VOQ_RENDER_PATH);
    const std::string& alone = comparison.copy;
    const std::string output = folder + "/render-bench-reader.png";
    if (alone.empty()) {
        std::fprintf(stderr, "render_bench: cannot prepare a copy and its files in %s\n",
                     folder.c_str());
        return false;
    }
    for (const ComparedFile& file : ComparedFiles(comparison, kRepetitions)) {
        WarmPageCache(file.path);
        std::vector<double> reader, inProcess;
        for (int i = 0; i <= file.repetitions; ++i) {
            const bool readerFirst = i % 2 == 0;
            const Run first =
                RunChild({readerFirst ? VOQ_RENDER_PATH : alone, file.path, output}, output, 960);
            const Run second =
                RunChild({readerFirst ? alone : VOQ_RENDER_PATH, file.path, output}, output, 960);
            if (!first.succeeded || !second.succeeded) {
                std::fprintf(stderr, "render_bench: a picture of %s failed\n", file.path.c_str());
                return false;
            }
            if (i > 0) { // the first round only warms up
                reader.push_back(readerFirst ? first.seconds : second.seconds);
                inProcess.push_back(readerFirst ? second.seconds : first.seconds);
            }
        }
        std::printf("%s 16-bit stereo, medians of %d: through the reader process %.4f s, in "
                    "process %.4f s\n",
                    file.label, file.repetitions, Median(reader), Median(inProcess));
        const double ratio = Median(reader) / Median(inProcess);
        const double extraMs = (Median(reader) - Median(inProcess)) * 1000.0;
        met = (file.large ? Report("reader process / in process, 1 GiB", ratio, "", 1.05)
                          : Report("reader process - in process, 176 kB", extraMs, "ms", 5.0)) &&
              met;
    }
    std::remove(output.c_str());
    return true;
}

int Measure(const std::string& self, const std::string& folder) {
    const std::string oneGiB = LargeBenchFilePath(folder, kLargeBenchFiles[0]);
    const std::string fourGiB = LargeBenchFilePath(folder, kFourGiBBenchFile);
    const std::string hundredMB = folder + "/stereo16-100mb.wav";
    const std::string hugeClaim = folder + "/render-huge-claim.wav";
    const std::string output = folder + "/render-bench.png";
    if (!EnsureLargeBenchFile(folder, kLargeBenchFiles[0]) ||
        !EnsureLargeBenchFile(folder, kFourGiBBenchFile) ||
        !EnsureBenchWaveFile(hundredMB, {2, 16, 100'000'000u}, 5) || !WriteHugeClaim(hugeClaim)) {
        std::fprintf(stderr, "render_bench: cannot write the files in %s\n", folder.c_str());
        return 1;
    }
    std::printf("load average at the start: %s; page cache warm (each file read once before)\n",
                LoadAverage().c_str());

    // The comparison: full and strided load in the same harness, runs interleaved.
    WarmPageCache(oneGiB);
    std::vector<double> full, fullOne, strided, tool, toolMiB;
    for (int i = 0; i <= kRepetitions; ++i) {
        const Run a = RunChild({self, "paint", "full", oneGiB, output}, output, 960);
        const Run b = RunChild({self, "paint", "strided", oneGiB, output}, output, 960);
        const Run c = RunChild({VOQ_RENDER_PATH, oneGiB, output}, output, 960);
        const Run d = RunChild({self, "paint", "full-one", oneGiB, output}, output, 960);
        if (!a.succeeded || !b.succeeded || !c.succeeded || !d.succeeded) {
            std::fprintf(stderr, "render_bench: a picture of %s failed\n", oneGiB.c_str());
            return 1;
        }
        if (i == 0) {
            continue; // the first round only warms up
        }
        full.push_back(a.seconds);
        fullOne.push_back(d.seconds);
        strided.push_back(b.seconds);
        tool.push_back(c.seconds);
        toolMiB.push_back(c.peakMiB);
    }
    std::printf("1 GiB 16-bit stereo, medians of %d: full load %.3f s (one thread %.3f s), "
                "strided load %.3f s, voq006-render %.3f s\n",
                kRepetitions, Median(full), Median(fullOne), Median(strided), Median(tool));
    bool met = Report("strided / full picture of 1 GiB (same harness)",
                      Median(strided) / Median(full), "", 0.5);
    met = Report("voq006-render / full picture of 1 GiB", Median(tool) / Median(full), "", 0.5) &&
          met;
    met = Report("strided / full picture, full load on one thread",
                 Median(strided) / Median(fullOne), "", 0.5) &&
          met;
    met = Report("voq006-render peak RSS, 1 GiB of data", Median(toolMiB), "MiB", 64.0) && met;

    for (const auto& [label, path] : {std::pair<const char*, std::string>{"4 GiB of data", fourGiB},
                                      {"200 bytes claiming 2^32-1 frames", hugeClaim}}) {
        WarmPageCache(path);
        std::vector<double> seconds, mebibytes;
        for (int i = 0; i < 3; ++i) {
            const Run run = RunChild({VOQ_RENDER_PATH, path, output}, output, 960);
            if (!run.succeeded) {
                std::fprintf(stderr, "render_bench: the picture of %s failed\n", path.c_str());
                return 1;
            }
            seconds.push_back(run.seconds);
            mebibytes.push_back(run.peakMiB);
        }
        std::printf("%s: voq006-render %.3f s (median of 3)\n", label, Median(seconds));
        met = Report((std::string("voq006-render peak RSS, ") + label).c_str(), Median(mebibytes),
                     "MiB", 64.0) &&
              met;
    }

    WarmPageCache(hundredMB);
    std::vector<double> thumbnail;
    for (int i = 0; i <= 2 * kRepetitions; ++i) {
        const Run run =
            RunChild({VOQ_RENDER_PATH, "--thumbnail", "256", hundredMB, output}, output, 256);
        if (!run.succeeded) {
            std::fprintf(stderr, "render_bench: the thumbnail of %s failed\n", hundredMB.c_str());
            return 1;
        }
        if (i > 0) {
            thumbnail.push_back(run.seconds);
        }
    }
    met = Report("voq006-render --thumbnail 256 of 100 MB, median of 10", Median(thumbnail), "s",
                 0.2) &&
          met;
    std::remove(output.c_str());
    if (!MeasureReaderProcess(folder, met)) {
        return 1;
    }
    std::printf("load average at the end: %s\n", LoadAverage().c_str());
    return met ? 0 : 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "paint") {
        return Paint(argv[2], argv[3], argv[4]);
    }
    if (argc == 3 && std::string(argv[1]) == "reader") {
        bool met = true;
        return !MeasureReaderProcess(argv[2], met) ? 1 : met ? 0 : 2;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_bench FOLDER | render_bench reader FOLDER\n");
        return 1;
    }
    return Measure("/proc/self/exe", argv[1]);
}
