// Measures a full paint of the viewer's drawing (erase, information lines, plot) into a
// 960 x 440 image through the QPainter surface, against the same picture drawn directly
// with one QPainter and three pens, and a one-hour file against a one-second file. A
// smooth sine and dense noise are both measured: the noise's long vertical strokes cost
// more than twice as much to draw. Prints the medians' ratios at the end of the run.
//
//   paint_bench [benchmark flags]
//
// Targets: the surface's paint at most 2 x the direct drawing, for the sine and for the
// noise; the one-hour paint within 10 % of the one-second paint. Run it with
// --benchmark_repetitions=N for medians.

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "display/InfoLines.h"
#include "display/WaveformPlot.h"
#include "display/qt/PainterSurface.h"
#include "wave/WaveRecord.h"

namespace {

constexpr int kWidth = 960;
constexpr int kHeight = 440;
constexpr std::uint32_t kRate = 44100;

enum class Signal {
    Sine,  // smooth: neighbouring columns are close, so the plot's strokes are short
    Noise, // dense audio: every column anywhere in the full range
};

// A 16-bit stereo record of the given length. Only the frames the plot picks (one per
// column) are written: a one-hour record is 635 MB of arrays, and pages never written
// cost nothing, while every page the paint reads is a real, written page.
WaveRecord StereoRecord(std::uint32_t seconds, Signal signal) {
    WaveRecord record;
    const std::uint32_t frames = kRate * seconds;
    record.channels = 2;
    record.sampleRate = kRate;
    record.bitsPerSample = 16;
    record.bytesPerSample = 2;
    record.blockAlign = 4;
    record.byteRate = kRate * 4;
    record.frameCount = frames;
    record.dataSize = frames * 4;
    record.fileLength = record.dataSize + 44;
    if (!AllocateSampleBuffers(record, frames)) {
        std::fprintf(stderr, "paint_bench: cannot allocate %u frames\n", frames);
        std::exit(1);
    }
    const std::uint32_t step = frames / 840;
    std::minstd_rand noise(seconds);
    std::uniform_int_distribution<int> sample(-30000, 30000);
    for (std::uint32_t column = 0; column < 840; ++column) {
        const double phase = 2.0 * std::numbers::pi * column / 60.0;
        const bool sine = signal == Signal::Sine;
        record.left[column * step] =
            static_cast<std::int16_t>(sine ? 30000 * std::sin(phase) : sample(noise));
        record.right[column * step] =
            static_cast<std::int16_t>(sine ? 12000 * std::cos(phase) : sample(noise));
    }
    record.peak = 30000;
    record.path = "/home/user/music/benchmark-" + std::to_string(seconds) + "s.wav";
    record.loaded = 1;
    return record;
}

const WaveRecord& OneSecond() {
    static const WaveRecord record = StereoRecord(1, Signal::Sine);
    return record;
}

const WaveRecord& OneHour() {
    static const WaveRecord record = StereoRecord(3600, Signal::Sine);
    return record;
}

const WaveRecord& OneSecondOfNoise() {
    static const WaveRecord record = StereoRecord(1, Signal::Noise);
    return record;
}

// What the routines draw, taken down once so that the baseline draws the very same
// lines and texts.
class CapturingSurface : public DrawingSurface {
public:
    struct Line {
        QLine line;
        int pen; // 0 dotted black, 1 blue, 2 red
    };
    struct Text {
        QPoint topLeft;
        QString text;
        QColor colour;
    };
    std::vector<Line> lines;
    std::vector<Text> texts;

    PenHandle CreatePen(PenStyle style, int, Colour colour) override {
        m_kinds[++m_last] = style == PenStyle::Dotted ? 0 : colour == 0x00FF0000 ? 1 : 2;
        return m_last;
    }
    PenHandle SelectPen(PenHandle pen) override {
        const PenHandle previous = m_selected;
        m_selected = pen;
        return previous;
    }
    void DeletePen(PenHandle) override {}
    void MoveTo(int x, int y) override { m_at = QPoint(x, y); }
    void LineTo(int x, int y) override {
        lines.push_back({QLine(m_at, QPoint(x, y)), m_kinds[m_selected]});
        m_at = QPoint(x, y);
    }
    void TextOut(int x, int y, std::string_view utf8) override {
        texts.push_back({QPoint(x, y), QString::fromUtf8(utf8.data(), utf8.size()), m_colour});
    }
    void SetTextColour(Colour colour) override {
        m_colour = QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
    }

private:
    std::map<PenHandle, int> m_kinds;
    PenHandle m_last{0}, m_selected{0};
    QPoint m_at;
    QColor m_colour{Qt::black};
};

void PaintThroughSurface(benchmark::State& state, const WaveRecord& record) {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        {
            PainterSurface surface(painter);
            DrawInfoLines(surface, record, 0, 0);
            DrawWaveform(surface, record, 70, 220);
        }
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}

void PaintDirectly(benchmark::State& state, const WaveRecord& record) {
    CapturingSurface capture;
    DrawInfoLines(capture, record, 0, 0);
    DrawWaveform(capture, record, 70, 220);
    if (capture.lines.size() != 18 + 1680 || capture.texts.size() != 20) {
        state.SkipWithError("the drawing is not 18 + 1680 lines and 20 texts");
        return;
    }
    QPen pens[3] = {QPen(Qt::black), QPen(QColor(0, 0, 255)), QPen(QColor(255, 0, 0))};
    pens[0].setDashPattern({1.0 / 128, 2.0 - 1.0 / 128});
    const QFont font = PainterSurface::DefaultFont();
    const int ascent = QFontMetrics(font).ascent();

    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(font);
        for (int pen = 0; pen < 3; ++pen) {
            painter.setPen(pens[pen]);
            for (const auto& line : capture.lines) {
                if (line.pen == pen) {
                    painter.drawLine(line.line);
                }
            }
        }
        for (const auto& text : capture.texts) {
            painter.setPen(text.colour);
            painter.drawText(text.topLeft + QPoint(0, ascent), text.text);
        }
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_PaintOneSecond(benchmark::State& state) {
    PaintThroughSurface(state, OneSecond());
}
void BM_PaintOneHour(benchmark::State& state) {
    PaintThroughSurface(state, OneHour());
}
void BM_PaintNoise(benchmark::State& state) {
    PaintThroughSurface(state, OneSecondOfNoise());
}
void BM_DirectBaseline(benchmark::State& state) {
    PaintDirectly(state, OneSecond());
}
void BM_DirectNoise(benchmark::State& state) {
    PaintDirectly(state, OneSecondOfNoise());
}

BENCHMARK(BM_DirectBaseline)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintOneSecond)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintOneHour)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DirectNoise)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintNoise)->Unit(benchmark::kMicrosecond);

// Keeps the median of each benchmark's repetitions (or its only run) for the ratios.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> medians;
    std::map<std::string, double> singles;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const std::string name = run.run_name.function_name;
            // CPU time: the paint is single-threaded work, and on a shared machine the
            // wall clock also counts the time other processes held the core.
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians[name] = run.GetAdjustedCPUTime();
            } else if (run.run_type == Run::RT_Iteration) {
                singles[name] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    double Median(const std::string& name) const {
        const auto it = medians.find(name);
        if (it != medians.end()) {
            return it->second;
        }
        const auto single = singles.find(name);
        return single == singles.end() ? 0.0 : single->second;
    }
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication application(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 2;
    }
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double baseline = reporter.Median("BM_DirectBaseline");
    const double second = reporter.Median("BM_PaintOneSecond");
    const double hour = reporter.Median("BM_PaintOneHour");
    const double directNoise = reporter.Median("BM_DirectNoise");
    const double noise = reporter.Median("BM_PaintNoise");
    if (baseline <= 0.0 || second <= 0.0 || hour <= 0.0 || directNoise <= 0.0 || noise <= 0.0) {
        return 0; // a filter left one out: no ratios
    }
    std::printf("\nmedian CPU times: direct %.1f us, surface one second %.1f us, one hour "
                "%.1f us; noise: direct %.1f us, surface %.1f us\n",
                baseline, second, hour, directNoise, noise);
    bool met = true;
    const auto ratio = [&met](const char* name, double value, double target) {
        std::printf("%-26s %.3f", name, value);
        if (target > 0.0) {
            met = met && value <= target;
            std::printf(" (target <= %.2f) %s", target, value <= target ? "met" : "MISSED");
        }
        std::printf("\n");
    };
    ratio("surface / direct, sine", second / baseline, 2.0);
    ratio("surface / direct, noise", noise / directNoise, 2.0);
    ratio("one hour / one second", hour / second, 1.10);
    ratio("noise / sine, surface", noise / second, 0.0);
    return met ? 0 : 2;
}
