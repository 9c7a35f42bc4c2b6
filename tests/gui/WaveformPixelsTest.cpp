#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "display/InfoLines.h"
#include "display/WaveformPlot.h"
#include "display/qt/PainterSurface.h"
#include "tests/gui/ImageProbe.h"
#include "wave/WaveRecord.h"

using namespace image_probe;

// The view's drawing, painted through the QPainter surface as the window paints it, and
// checked pixel by pixel. The plot box spans (70, 60) to (910, 380).
namespace {

constexpr int kFrames = 8400; // 10 frames per column
constexpr int kBoxLeft = 70, kBoxRight = 910, kBoxTop = 60, kBoxBottom = 380;
const int kGridRows[] = {60, 140, 220, 300, 380};
const std::string kPath = "/music/known-stereo.wav";

// A 16-bit record with a peak of 16000, so the scale is 32768 and a sample s lies
// trunc(s / 32768 * 320) pixels above the centre line 220:
//   left  16000 for the first half (y 64), -8000 for the second half (y 298);
//   right -12000 throughout (y 337).
WaveRecord KnownRecord(std::uint16_t channels) {
    WaveRecord record;
    record.channels = channels;
    record.sampleRate = 8000;
    record.bitsPerSample = 16;
    record.bytesPerSample = 2;
    record.blockAlign = static_cast<std::uint16_t>(2 * channels);
    record.byteRate = 8000u * record.blockAlign;
    record.frameCount = kFrames;
    record.dataSize = kFrames * record.blockAlign;
    record.fileLength = record.dataSize + 44;
    EXPECT_TRUE(AllocateSampleBuffers(record, kFrames));
    for (int i = 0; i < kFrames; ++i) {
        record.left[i] = i < kFrames / 2 ? 16000 : -8000;
        record.right[i] = channels == 2 ? -12000 : 0;
    }
    record.peak = 16000;
    record.path = kPath;
    record.loaded = 1;
    return record;
}

// Erases to white and paints as the view does, with a fresh surface.
void PaintView(QImage& image, const WaveRecord& record) {
    image.fill(Qt::white);
    QPainter painter(&image);
    PainterSurface surface(painter);
    DrawInfoLines(surface, record, 0, 0);
    DrawWaveform(surface, record, 70, 220);
}

QImage PaintView(const WaveRecord& record) {
    QImage image = WhiteImage(960, 440);
    PaintView(image, record);
    return image;
}

// Ink and gaps alternate along a stretch of a dotted line.
void ExpectDotted(const QImage& image, int x, int y, int width, int height,
                  const std::string& where) {
    const int length = width * height;
    const int ink = Count(image, x, y, width, height, IsBlack);
    const int gaps = Count(image, x, y, width, height, IsWhite);
    EXPECT_GE(ink, length / 3) << where << "\n" << Picture(image, x, y, width, height);
    EXPECT_GE(gaps, length / 3) << where << "\n" << Picture(image, x, y, width, height);
    EXPECT_EQ(ink + gaps, length) << where << ": another colour on the grid line";
}

} // namespace

TEST(WaveformPixels, GridEdgesAreDottedAlongTheirLength) {
    const QImage image = PaintView(KnownRecord(2));
    // Vertical edges, between the horizontal grid lines and away from the traces (the
    // first segments leave x 70 between rows 64 and 337; the traces meet x 910 at rows
    // 298 and 337).
    for (const int top : {62, 142}) {
        ExpectDotted(image, kBoxRight, top, 1, 76, "right edge from row " + std::to_string(top));
    }
    ExpectDotted(image, kBoxLeft, 62, 1, 76, "left edge, upper quarter");
    ExpectDotted(image, kBoxLeft, 302, 1, 76, "left edge, lower quarter");
    ExpectDotted(image, kBoxRight, 342, 1, 36, "right edge, bottom");
    // Horizontal lines, between the vertical grid lines at 154, 238 and 742, 826.
    for (const int y : kGridRows) {
        ExpectDotted(image, 156, y, 80, 1, "row " + std::to_string(y) + " left");
        ExpectDotted(image, 744, y, 80, 1, "row " + std::to_string(y) + " right");
    }
}

TEST(WaveformPixels, TracesLieWhereTheSamplesPutThem) {
    const QImage image = PaintView(KnownRecord(2));
    struct Probe {
        int x;
        int blueRow; // the one blue pixel of the column
        int redRow;  // the one red pixel of the column
    };
    // Columns away from the step in the left trace (x 490 to 491).
    const Probe probes[] = {{100, 64, 337},  {300, 64, 337},  {480, 64, 337},
                            {500, 298, 337}, {700, 298, 337}, {905, 298, 337}};
    for (const Probe& probe : probes) {
        EXPECT_EQ(Count(image, probe.x, 0, 1, 440, IsBlue), 1) << "column " << probe.x;
        EXPECT_TRUE(IsBlue(image.pixel(probe.x, probe.blueRow))) << "column " << probe.x;
        EXPECT_EQ(Count(image, probe.x, 0, 1, 440, IsRed), 1) << "column " << probe.x;
        EXPECT_TRUE(IsRed(image.pixel(probe.x, probe.redRow))) << "column " << probe.x;
    }
    // The first segments rise from the centre line at the box's left edge.
    EXPECT_TRUE(IsBlue(image.pixel(70, 200)) || IsBlue(image.pixel(71, 200)));
    EXPECT_TRUE(IsRed(image.pixel(70, 250)) || IsRed(image.pixel(71, 250)));
    // The step of the left trace is one steep segment from row 64 to row 298.
    EXPECT_GE(Count(image, 490, 64, 2, 235, IsBlue), 230);
    // No trace left of the box or beyond it.
    EXPECT_EQ(Count(image, 0, 0, 70, 440, IsBlue) + Count(image, 0, 0, 70, 440, IsRed), 0);
    EXPECT_EQ(Count(image, 911, 0, 8, 440, IsBlue) + Count(image, 911, 0, 8, 440, IsRed), 0);
}

TEST(WaveformPixels, TextsAndLegendHaveTheirColoursAndTheRestIsWhite) {
    const QImage image = PaintView(KnownRecord(2));
    const int pathWidth = 8 * static_cast<int>(kPath.size());
    EXPECT_GT(Count(image, 0, 0, pathWidth, 17, IsBlack), 60) << "the path line";
    EXPECT_EQ(Count(image, pathWidth, 0, 960 - pathWidth, 17, IsBlack), 0);
    EXPECT_GT(Count(image, 0, 20, 400, 17, IsBlack), 100) << "the summary line";
    EXPECT_EQ(Count(image, 0, 0, 960, 40, IsRed) + Count(image, 0, 0, 960, 40, IsBlue), 0);
    EXPECT_GT(Count(image, 920, 60, 16, 17, IsBlue), 10) << "左 in blue";
    EXPECT_GT(Count(image, 920, 84, 16, 17, IsRed), 10) << "右 in red";
    EXPECT_GT(Count(image, 0, 404, 960, 17, IsBlack), 100) << "the time labels";
    EXPECT_GT(Count(image, 0, 52, 70, 17, IsBlack), 20) << "the top amplitude label";

    struct Blank {
        const char* name;
        int x, y, width, height;
    };
    const Blank blanks[] = {
        {"between the summary and the box", 0, 38, 960, 14},
        {"inside the box, above the left trace", 75, 70, 75, 65},
        {"inside the box, below the right trace", 500, 342, 60, 35},
        {"right of the box, below the legend", 940, 110, 20, 290},
        {"between the box and the time labels", 75, 384, 880, 18},
        {"below the time labels", 0, 424, 960, 16},
    };
    for (const Blank& blank : blanks) {
        const int area = blank.width * blank.height;
        EXPECT_EQ(Count(image, blank.x, blank.y, blank.width, blank.height, IsWhite), area)
            << blank.name;
    }
}

TEST(WaveformPixels, MonoDrawsNoRedAnywhere) {
    const QImage image = PaintView(KnownRecord(1));
    EXPECT_EQ(Count(image, 0, 0, 960, 440, IsRed), 0);
    EXPECT_TRUE(IsBlue(image.pixel(300, 64)));
    EXPECT_EQ(Count(image, 912, 56, 48, 60, IsWhite), 48 * 60) << "no legend";
}

TEST(WaveformPixels, ARepaintAfterStereoDrawsTheTextsInBlackAgain) {
    QImage image = WhiteImage(960, 440);
    const WaveRecord record = KnownRecord(2);
    PaintView(image, record); // leaves its surface's text colour red
    PaintView(image, record);
    EXPECT_GT(Count(image, 0, 0, 400, 37, IsBlack), 150);
    EXPECT_EQ(Count(image, 0, 0, 960, 40, IsRed), 0);
    EXPECT_EQ(Count(image, 0, 400, 960, 40, IsRed), 0) << "time labels";
}

TEST(WaveformPixels, OffsetsClampedToABillionStillDrawTheVisiblePart) {
    // 18-bit samples with a peak of 0 give the smallest scale, so every non-zero sample
    // lies about a billion pixels away and each segment crosses the whole image.
    WaveRecord record = KnownRecord(1);
    record.bitsPerSample = 18;
    record.peak = 0;
    for (int i = 0; i < kFrames; ++i) {
        record.left[i] = (i / 10) % 2 ? 5 : -5;
    }
    const QImage image = PaintView(record);
    for (const int x : {100, 333, 600, 909}) {
        EXPECT_EQ(Count(image, x, 0, 1, 440, IsBlue), 440) << "column " << x;
    }
    EXPECT_EQ(Count(image, 0, 0, 71, 440, IsBlue), 220) << "the first segment, up from 220";
    EXPECT_EQ(Count(image, 911, 0, 49, 440, IsBlue), 0);
}
