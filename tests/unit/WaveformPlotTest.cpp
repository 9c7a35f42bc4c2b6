#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "display/WaveformPlot.h"
#include "tests/support/CaseName.h"
#include "tests/support/RecordingSurface.h"
#include "tests/unit/TestLocale.h"

namespace {

using Line = RecordingSurface::Line;
using Text = RecordingSurface::Text;

constexpr Colour kBlack = 0x00000000;
constexpr Colour kBlue = 0x00FF0000;
constexpr Colour kRed = 0x000000FF;

// Where the view draws the plot.
constexpr int kViewLeft = 70;
constexpr int kViewCentre = 220;

// A record as the reader would leave it, with frames zero-filled elements per channel.
WaveRecord MakeRecord(std::uint16_t channels, std::uint16_t bitsPerSample, std::uint32_t frames,
                      std::int16_t peak) {
    WaveRecord record;
    EXPECT_TRUE(AllocateSampleBuffers(record, frames));
    record.channels = channels;
    record.bitsPerSample = bitsPerSample;
    record.frameCount = frames;
    record.peak = peak;
    record.blockAlign = static_cast<std::uint16_t>(channels * (bitsPerSample / 8));
    record.dataSize = frames * record.blockAlign;
    record.byteRate = 44100u * record.blockAlign;
    return record;
}

RecordingSurface Draw(const WaveRecord& record, int x0 = kViewLeft, int yc = kViewCentre) {
    RecordingSurface surface;
    EXPECT_EQ(DrawWaveform(surface, record, x0, yc), 0);
    return surface;
}

// Every pen used as created, selected, restored, deleted; every line one MoveTo and one
// LineTo; the surface left with its default pen.
void ExpectCleanUse(const RecordingSurface& surface) {
    EXPECT_EQ(surface.Violations(), std::vector<std::string>{});
    EXPECT_EQ(surface.LivePens(), 0u);
    EXPECT_EQ(surface.SelectedPen(), RecordingSurface::kDefaultPen);
}

// The heights above the centre line that a trace's segments end at, after checking that
// the segments join up column by column from the centre line at the box's left edge.
std::vector<int> TraceHeights(const std::vector<Line>& segments, int x0, int yc) {
    std::vector<int> heights;
    int previousY = yc;
    for (std::size_t column = 0; column < segments.size(); ++column) {
        const Line& segment = segments[column];
        EXPECT_EQ(segment.x1, x0 + static_cast<int>(column)) << "column " << column;
        EXPECT_EQ(segment.x2, x0 + static_cast<int>(column) + 1) << "column " << column;
        EXPECT_EQ(segment.y1, previousY) << "column " << column;
        EXPECT_EQ(segment.look.width, 1);
        previousY = segment.y2;
        heights.push_back(yc - segment.y2);
    }
    return heights;
}

std::vector<Text> TextsOfColour(const RecordingSurface& surface, Colour colour) {
    std::vector<Text> texts;
    for (const Text& text : surface.Texts()) {
        if (text.colour == colour) {
            texts.push_back(text);
        }
    }
    return texts;
}

// --- The picture's structure ---

class PlotOrigin : public testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(PlotOrigin, DrawsTheDottedGridInOrderWithOnePen) {
    const auto [x0, yc] = GetParam();
    const RecordingSurface surface = Draw(MakeRecord(2, 16, 44100, 10000), x0, yc);
    ExpectCleanUse(surface);
    const std::vector<Line> dotted = surface.LinesWith(PenStyle::Dotted, kBlack);
    ASSERT_EQ(dotted.size(), 18u);
    struct Segment {
        int x1, y1, x2, y2;
    };
    std::vector<Segment> expected = {
        {x0, yc, x0 + 840, yc},
        {x0, yc - 160, x0 + 840, yc - 160},
        {x0, yc + 160, x0 + 840, yc + 160},
        {x0, yc - 160, x0, yc + 160},
        {x0 + 840, yc - 160, x0 + 840, yc + 160},
        {x0, yc - 80, x0 + 840, yc - 80},
        {x0, yc + 80, x0 + 840, yc + 80},
    };
    for (int i = 0; i <= 10; ++i) {
        expected.push_back({x0 + 84 * i, yc - 160, x0 + 84 * i, yc + 160});
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(dotted[i].x1, expected[i].x1) << "line " << i;
        EXPECT_EQ(dotted[i].y1, expected[i].y1) << "line " << i;
        EXPECT_EQ(dotted[i].x2, expected[i].x2) << "line " << i;
        EXPECT_EQ(dotted[i].y2, expected[i].y2) << "line " << i;
        EXPECT_EQ(dotted[i].pen, dotted[0].pen) << "line " << i;
        EXPECT_EQ(dotted[i].look.width, 1);
    }
    // The grid comes first: nothing else is drawn before the dotted pen is restored.
    EXPECT_EQ(surface.Lines()[17], dotted[17]);
}

TEST_P(PlotOrigin, LabelsTimeZeroAmplitudesAndLegendInOrderAndColour) {
    const auto [x0, yc] = GetParam();
    WaveRecord record = MakeRecord(2, 16, 441000, 10000);
    record.dataSize = 1764000;
    record.byteRate = 176400;
    const RecordingSurface surface = Draw(record, x0, yc);
    std::vector<Text> expected;
    for (int i = 0; i <= 10; ++i) {
        expected.push_back({x0 - 16 + 84 * i, yc + 184, std::to_string(i) + ".00", kBlack});
    }
    expected.push_back({x0 - 16, yc - 8, "0", kBlack});
    expected.push_back({x0 - 48, yc - 168, "16384", kBlack});
    expected.push_back({x0 - 59, yc + 152, "-16384", kBlack});
    expected.push_back({x0 - 40, yc - 88, "8192", kBlack});
    expected.push_back({x0 - 51, yc + 72, "-8192", kBlack});
    expected.push_back({x0 + 850, yc - 160, "左", kBlue});
    expected.push_back({x0 + 850, yc - 136, "右", kRed});
    EXPECT_EQ(surface.Texts(), expected);
    EXPECT_EQ(surface.TextColour(), kRed) << "the legend leaves the text colour red";
}

TEST_P(PlotOrigin, StereoDrawsOneBlueAndOneRedSegmentPerColumnEachWithItsOwnPen) {
    const auto [x0, yc] = GetParam();
    const RecordingSurface surface = Draw(MakeRecord(2, 16, 44100, 10000), x0, yc);
    ExpectCleanUse(surface);
    const std::vector<Line> blue = surface.LinesWith(PenStyle::Solid, kBlue);
    const std::vector<Line> red = surface.LinesWith(PenStyle::Solid, kRed);
    ASSERT_EQ(blue.size(), 840u);
    ASSERT_EQ(red.size(), 840u);
    EXPECT_EQ(surface.Lines().size(), 18u + 840u + 840u);
    EXPECT_EQ(surface.CountOf(RecordingSurface::CallKind::CreatePen), 1u + 1680u);
    TraceHeights(blue, x0, yc);
    TraceHeights(red, x0, yc);
    // Column by column: the left channel's segment, then the right one's.
    for (std::size_t line = 18; line + 1 < surface.Lines().size(); line += 2) {
        EXPECT_EQ(surface.Lines()[line].look.colour, kBlue);
        EXPECT_EQ(surface.Lines()[line + 1].look.colour, kRed);
    }
}

INSTANTIATE_TEST_SUITE_P(Origins, PlotOrigin,
                         testing::Values(std::tuple{kViewLeft, kViewCentre}, std::tuple{-3, 1000}),
                         [](const testing::TestParamInfo<std::tuple<int, int>>& info) {
                             return std::get<0>(info.param) == kViewLeft ? "View" : "Elsewhere";
                         });

struct ChannelCase : NamedCase {
    std::uint16_t channels;
    bool stereo;
    std::uint16_t plotBits{}; // set by the reader for samples converted to 16-bit values
};

// A file of three or more channels read the old way deals its samples to left and right
// in turn; one whose channels 0 and 1 were read as left and right draws both.
const ChannelCase kChannelCases[] = {
    {"Mono", 1, false},
    {"Stereo", 2, true},
    {"NoChannels", 0, false},
    {"ThreeChannels", 3, false},
    {"FourChannels", 4, false},
    {"ThreeChannelsConverted", 3, true, 16},
    {"SixChannelsConverted", 6, true, 16},
    {"MonoConverted", 1, false, 16},
};

class ChannelCount : public testing::TestWithParam<ChannelCase> {};

TEST_P(ChannelCount, OnlyTwoChannelsDrawTheRedTraceAndTheLegend) {
    WaveRecord record = MakeRecord(GetParam().channels, 16, 2000, 1000);
    record.plotBits = GetParam().plotBits;
    record.left[0] = 1000;
    record.right[0] = -1000;
    const RecordingSurface surface = Draw(record);
    ExpectCleanUse(surface);
    EXPECT_EQ(surface.LinesWith(PenStyle::Solid, kBlue).size(), 840u);
    EXPECT_EQ(surface.LinesWith(PenStyle::Solid, kRed).size(), GetParam().stereo ? 840u : 0u);
    EXPECT_EQ(TextsOfColour(surface, kBlue).size(), GetParam().stereo ? 1u : 0u);
    EXPECT_EQ(TextsOfColour(surface, kRed).size(), GetParam().stereo ? 1u : 0u);
    EXPECT_EQ(surface.CountOf(RecordingSurface::CallKind::SetTextColour),
              GetParam().stereo ? 2u : 0u);
    EXPECT_EQ(surface.Texts().size(), GetParam().stereo ? 18u : 16u);
}

INSTANTIATE_TEST_SUITE_P(Cases, ChannelCount, testing::ValuesIn(kChannelCases), CaseName);

// --- The amplitude scale ---

struct ScaleCase : NamedCase {
    std::uint16_t bitsPerSample;
    std::int16_t peak;
    const char* top;
    const char* bottom;
    const char* upperQuarter;
    const char* lowerQuarter;
    int peakHeight;           // where a sample equal to the peak is drawn, above the centre line
    std::uint16_t plotBits{}; // the width the plot scales by, when not bitsPerSample
};

const ScaleCase kScaleCases[] = {
    {"Loud16Bit", 16, 32767, "32768", "-32768", "16384", "-16384", 159},
    {"Medium16Bit", 16, 10000, "16384", "-16384", "8192", "-8192", 97},
    {"Silent16Bit", 16, 0, "2", "-2", "1", "-1", 0},
    {"Loud8Bit", 8, 100, "128", "-128", "64", "-64", 125},
    {"Quiet8Bit", 8, 20, "32", "-32", "16", "-16", 100},
    {"Silent8Bit", 8, 0, "2", "-2", "1", "-1", 0},
    // The strict less-than: 16384 doubled reaches the top edge of the smaller scale.
    {"Peak16383", 16, 16383, "16384", "-16384", "8192", "-8192", 159},
    {"Peak16384", 16, 16384, "32768", "-32768", "16384", "-16384", 80},
    // Any width but 16 bits measures against 256.
    {"TwentyFourBit", 24, 100, "128", "-128", "64", "-64", 125},
    {"TwelveBit", 12, 20, "32", "-32", "16", "-16", 100},
    {"Silent24BitScaleBelowOne", 24, 0, "0", "0", "0", "0", 0},
    // Samples converted to 16-bit values scale as 16 bits, or as 8 for one-byte ones,
    // whatever the file's own width.
    {"TwentyFourBitConverted", 24, 10000, "16384", "-16384", "8192", "-8192", 97, 16},
    {"FloatConvertedSilent", 32, 0, "2", "-2", "1", "-1", 0, 16},
    {"TwelveBitConverted", 12, 16384, "32768", "-32768", "16384", "-16384", 80, 16},
    {"EightBitOfManyChannels", 8, 20, "32", "-32", "16", "-16", 100, 8},
};

class AmplitudeScale : public testing::TestWithParam<ScaleCase> {};

TEST_P(AmplitudeScale, LabelsTheEdgesAndQuarterLinesAndPlacesThePeak) {
    const ScaleCase& scale = GetParam();
    WaveRecord record = MakeRecord(1, scale.bitsPerSample, 100, scale.peak);
    record.plotBits = scale.plotBits;
    record.left[0] = scale.peak;
    const RecordingSurface surface = Draw(record);
    ExpectCleanUse(surface);
    ASSERT_EQ(surface.Texts().size(), 16u);
    const int topWidth = 8 * (static_cast<int>(std::string(scale.top).size()) + 1);
    const int quarterWidth = 8 * (static_cast<int>(std::string(scale.upperQuarter).size()) + 1);
    const std::vector<Text> expected = {
        {kViewLeft - topWidth, 52, scale.top, kBlack},
        {kViewLeft - topWidth - 11, 372, scale.bottom, kBlack},
        {kViewLeft - quarterWidth, 132, scale.upperQuarter, kBlack},
        {kViewLeft - quarterWidth - 11, 292, scale.lowerQuarter, kBlack},
    };
    EXPECT_EQ(std::vector<Text>(surface.Texts().begin() + 12, surface.Texts().end()), expected);
    const std::vector<Line> blue = surface.LinesWith(PenStyle::Solid, kBlue);
    ASSERT_EQ(blue.size(), 840u);
    EXPECT_EQ(TraceHeights(blue, kViewLeft, kViewCentre)[0], scale.peakHeight);
}

INSTANTIATE_TEST_SUITE_P(Cases, AmplitudeScale, testing::ValuesIn(kScaleCases), CaseName);

// Two-byte samples of 17 to 23 bits measure against 256, so a peak of 128 or more leaves
// no scale at all; as with fewer than 2 bits, the labels read 0 and no trace is drawn.
struct NoScaleCase : NamedCase {
    std::uint16_t bitsPerSample;
    std::int16_t peak;
};

const NoScaleCase kNoScaleCases[] = {
    {"SeventeenBitsPeak128", 17, 128},
    {"TwentyBitsPeak1000", 20, 1000},
    {"TwentyThreeBitsLoudest", 23, 32767},
    {"OneBit", 1, 0},
    {"NoBits", 0, 0},
};

class NoScale : public testing::TestWithParam<NoScaleCase> {};

TEST_P(NoScale, DrawsZeroLabelsAndNoTraceButKeepsTheLegend) {
    WaveRecord record = MakeRecord(2, GetParam().bitsPerSample, 5000, GetParam().peak);
    record.left[0] = 5;
    const RecordingSurface surface = Draw(record);
    ExpectCleanUse(surface);
    EXPECT_EQ(surface.CountOf(RecordingSurface::CallKind::CreatePen), 1u) << "the grid's pen only";
    EXPECT_EQ(surface.Lines().size(), 18u);
    ASSERT_EQ(surface.Texts().size(), 18u);
    const std::vector<Text> labels(surface.Texts().begin() + 12, surface.Texts().begin() + 16);
    const std::vector<Text> expected = {
        {kViewLeft - 16, 52, "0", kBlack},
        {kViewLeft - 27, 372, "0", kBlack},
        {kViewLeft - 16, 132, "0", kBlack},
        {kViewLeft - 27, 292, "0", kBlack},
    };
    EXPECT_EQ(labels, expected);
    EXPECT_EQ(surface.Texts()[16].text, "左");
    EXPECT_EQ(surface.Texts()[17].text, "右");
}

INSTANTIATE_TEST_SUITE_P(Cases, NoScale, testing::ValuesIn(kNoScaleCases), CaseName);

// --- The traces ---

TEST(Traces, FewerThan840FramesDrawSampleZeroInEveryColumn) {
    WaveRecord record = MakeRecord(2, 16, 839, 10000);
    record.left[0] = 4096; // 40 pixels at a scale of 32768
    record.right[0] = -2048;
    for (std::size_t i = 1; i < 839; ++i) {
        record.left[i] = 9999;
        record.right[i] = 9999;
    }
    const RecordingSurface surface = Draw(record);
    ExpectCleanUse(surface);
    const std::vector<int> left =
        TraceHeights(surface.LinesWith(PenStyle::Solid, kBlue), kViewLeft, kViewCentre);
    const std::vector<int> right =
        TraceHeights(surface.LinesWith(PenStyle::Solid, kRed), kViewLeft, kViewCentre);
    EXPECT_EQ(left, std::vector<int>(840, 40));
    EXPECT_EQ(right, std::vector<int>(840, -20));
}

TEST(Traces, StrideOverTheFramesAndTruncateTowardZero) {
    // 2522 frames: a step of 3, so columns read frames 0, 3, ..., 2517 and the last frames
    // are never drawn. At a scale of 65536 a sample of 1024 is 5 pixels.
    constexpr std::uint32_t kFrames = 840 * 3 + 2;
    WaveRecord record = MakeRecord(2, 16, kFrames, 32767);
    for (std::size_t i = 0; i < kFrames; ++i) {
        record.left[i] = 32767; // frames between the picked ones would show as 159
        record.right[i] = -32768;
    }
    std::vector<int> expectedLeft, expectedRight;
    for (std::size_t column = 0; column < 840; ++column) {
        const int level = static_cast<int>(column % 13) - 6;
        record.left[column * 3] = static_cast<std::int16_t>(1024 * level);
        expectedLeft.push_back(5 * level);
        // -1000 is -4.88 pixels and 1000 is 4.88: both truncate toward zero.
        record.right[column * 3] = static_cast<std::int16_t>(column % 2 == 0 ? -1000 : 1000);
        expectedRight.push_back(column % 2 == 0 ? -4 : 4);
    }
    const RecordingSurface surface = Draw(record);
    ExpectCleanUse(surface);
    EXPECT_EQ(TraceHeights(surface.LinesWith(PenStyle::Solid, kBlue), kViewLeft, kViewCentre),
              expectedLeft);
    EXPECT_EQ(TraceHeights(surface.LinesWith(PenStyle::Solid, kRed), kViewLeft, kViewCentre),
              expectedRight);
}

TEST(Traces, FourChannelsDrawTheMixedLeftArrayInBlueOnly) {
    WaveRecord record = MakeRecord(4, 16, 840, 10000);
    for (std::size_t i = 0; i < 840; ++i) {
        record.left[i] = static_cast<std::int16_t>(i % 2 == 0 ? 2048 : -2048); // 20 pixels
        record.right[i] = 5000;
    }
    const RecordingSurface surface = Draw(record);
    ExpectCleanUse(surface);
    const std::vector<int> heights =
        TraceHeights(surface.LinesWith(PenStyle::Solid, kBlue), kViewLeft, kViewCentre);
    ASSERT_EQ(heights.size(), 840u);
    EXPECT_EQ(heights[0], 20);
    EXPECT_EQ(heights[1], -20);
    EXPECT_EQ(surface.LinesWith(PenStyle::Solid, kRed).size(), 0u);
}

TEST(Traces, NegativeSamplesBeyondTheBoxAreDrawnUnclipped) {
    // Only the positive peak chooses the scale: 100 gives 256, so -32768 lies 40960 pixels
    // below the centre line, far beyond the bottom edge.
    WaveRecord record = MakeRecord(1, 16, 840, 100);
    record.left[0] = -32768;
    record.left[1] = 100;
    const RecordingSurface surface = Draw(record);
    ExpectCleanUse(surface);
    const std::vector<int> heights =
        TraceHeights(surface.LinesWith(PenStyle::Solid, kBlue), kViewLeft, kViewCentre);
    ASSERT_EQ(heights.size(), 840u);
    EXPECT_EQ(heights[0], -40960);
    EXPECT_EQ(heights[1], 125);
}

// With no peak and a wide sample the scale becomes tiny and offsets huge: they are clamped
// to a billion pixels, and offsets inside that range are unchanged.
struct HugeOffsetCase : NamedCase {
    std::uint16_t bitsPerSample;
    std::int16_t sample;
    int height;
};

const HugeOffsetCase kHugeOffsetCases[] = {
    {"EighteenBitsSmallSampleUnchanged", 18, 1, 81920}, // scale 1/256
    {"EighteenBitsLoudestClampedUp", 18, 32767, 1000000000},
    {"EighteenBitsQuietestClampedDown", 18, -32768, -1000000000},
    {"WidestSampleClampedUp", 65535, 1, 1000000000},
    {"WidestSampleZeroStaysOnTheCentreLine", 65535, 0, 0},
};

class HugeOffset : public testing::TestWithParam<HugeOffsetCase> {};

TEST_P(HugeOffset, IsClampedToABillionPixels) {
    WaveRecord record = MakeRecord(1, GetParam().bitsPerSample, 2, 0);
    record.left[0] = GetParam().sample;
    const RecordingSurface surface = Draw(record);
    ExpectCleanUse(surface);
    const std::vector<int> heights =
        TraceHeights(surface.LinesWith(PenStyle::Solid, kBlue), kViewLeft, kViewCentre);
    ASSERT_EQ(heights.size(), 840u);
    EXPECT_EQ(heights[0], GetParam().height);
    EXPECT_EQ(heights[839], GetParam().height);
}

INSTANTIATE_TEST_SUITE_P(Cases, HugeOffset, testing::ValuesIn(kHugeOffsetCases), CaseName);

// A record whose arrays are shorter than frameCount claims (or missing): elements that are
// not there read as 0, as the reader leaves samples that a file does not supply. Under the
// sanitizers an element read beyond the arrays would also fail the test.
struct ShortArrayCase : NamedCase {
    std::uint32_t frameCount;
    std::uint32_t elements;
};

const ShortArrayCase kShortArrayCases[] = {
    {"StepZeroWithoutArrays", 500, 0},
    {"StepTenWithFiveElements", 8400, 5},
    {"StepTenWithElevenElements", 8400, 11},
    {"LargestClaimWithoutArrays", 4294967295u, 0},
};

class ShortArrays : public testing::TestWithParam<ShortArrayCase> {};

TEST_P(ShortArrays, DrawMissingElementsOnTheCentreLine) {
    WaveRecord record = MakeRecord(2, 16, GetParam().elements, 10000);
    record.frameCount = GetParam().frameCount;
    for (std::size_t i = 0; i < record.left.size(); ++i) {
        record.left[i] = 4096;   // 40 pixels
        record.right[i] = -4096; // -40 pixels
    }
    const RecordingSurface surface = Draw(record);
    ExpectCleanUse(surface);
    const std::size_t step = GetParam().frameCount / 840;
    std::vector<int> expectedLeft, expectedRight;
    for (std::size_t column = 0; column < 840; ++column) {
        const bool present = column * step < GetParam().elements;
        expectedLeft.push_back(present ? 40 : 0);
        expectedRight.push_back(present ? -40 : 0);
    }
    EXPECT_EQ(TraceHeights(surface.LinesWith(PenStyle::Solid, kBlue), kViewLeft, kViewCentre),
              expectedLeft);
    EXPECT_EQ(TraceHeights(surface.LinesWith(PenStyle::Solid, kRed), kViewLeft, kViewCentre),
              expectedRight);
}

INSTANTIATE_TEST_SUITE_P(Cases, ShortArrays, testing::ValuesIn(kShortArrayCases), CaseName);

TEST(Traces, NoFramesDrawNoTraceAndReadNoElement) {
    WaveRecord record = MakeRecord(2, 16, 0, 0); // both arrays empty, nothing to read
    const RecordingSurface surface = Draw(record);
    ExpectCleanUse(surface);
    EXPECT_EQ(surface.Lines().size(), 18u);
    EXPECT_EQ(surface.CountOf(RecordingSurface::CallKind::CreatePen), 1u);
    EXPECT_EQ(surface.Texts().size(), 18u) << "labels and legend are still drawn";
}

// --- The time labels, in any process locale ---

struct TimeCase : NamedCase {
    std::uint32_t dataSize;
    std::uint32_t byteRate;
    std::vector<std::string> labels;
};

const TimeCase kTimeCases[] = {
    {"TenSeconds",
     1764000,
     176400,
     {"0.00", "1.00", "2.00", "3.00", "4.00", "5.00", "6.00", "7.00", "8.00", "9.00", "10.00"}},
    // dataSize times i would wrap in 32-bit arithmetic from i = 2 on.
    {"TwoToThe31Bytes",
     2147483648u,
     2147483648u,
     {"0.00", "0.10", "0.20", "0.30", "0.40", "0.50", "0.60", "0.70", "0.80", "0.90", "1.00"}},
    {"LargestAtOneBytePerSecond",
     4294967295u,
     1,
     {"0.00", "429496729.50", "858993459.00", "1288490188.50", "1717986918.00", "2147483647.50",
      "2576980377.00", "3006477106.50", "3435973836.00", "3865470565.50", "4294967295.00"}},
    // A byte rate of 0: 0 / 0 is not a number, x / 0 infinite, printed as glibc does.
    {"ByteRateZeroWithData",
     1000,
     0,
     {"-nan", "inf", "inf", "inf", "inf", "inf", "inf", "inf", "inf", "inf", "inf"}},
    {"ByteRateZeroWithoutData",
     0,
     0,
     {"-nan", "-nan", "-nan", "-nan", "-nan", "-nan", "-nan", "-nan", "-nan", "-nan", "-nan"}},
};

class TimeLabels : public testing::TestWithParam<std::tuple<TestLocale, TimeCase>> {};

TEST_P(TimeLabels, DivideTheDurationIntoTenths) {
    const auto& [locale, testCase] = GetParam();
    ProcessLocale processLocale;
    ASSERT_NO_FATAL_FAILURE(processLocale.Set(locale));
    WaveRecord record = MakeRecord(1, 8, 0, 0);
    record.dataSize = testCase.dataSize;
    record.byteRate = testCase.byteRate;
    const RecordingSurface surface = Draw(record);
    ASSERT_GE(surface.Texts().size(), 11u);
    std::vector<std::string> labels;
    for (std::size_t i = 0; i < 11; ++i) {
        labels.push_back(surface.Texts()[i].text);
    }
    EXPECT_EQ(labels, testCase.labels);
}

INSTANTIATE_TEST_SUITE_P(Cases, TimeLabels,
                         testing::Combine(testing::Values(TestLocale::C, TestLocale::German),
                                          testing::ValuesIn(kTimeCases)),
                         [](const testing::TestParamInfo<TimeLabels::ParamType>& info) {
                             return LocaleTestName(std::get<0>(info.param)) + "_" +
                                    std::get<1>(info.param).name;
                         });

} // namespace
