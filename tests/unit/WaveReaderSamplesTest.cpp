// The samples: decoding per sample width, dealing to the two channels, data shorter than
// declared, and the peak.

#include <gtest/gtest.h>

#include "tests/support/CaseName.h"
#include "tests/unit/WaveReaderTestHelpers.h"

namespace {

using Samples = std::vector<std::int16_t>;

struct SamplesCase : NamedCase {
    Bytes file;
    Samples left, right; // frameCount elements each
    std::int16_t peak, peakRight;
};

class SamplesCheck : public WaveReaderTest, public ::testing::WithParamInterface<SamplesCase> {};

TEST_P(SamplesCheck, FillsBothArraysAndThePeak) {
    const SamplesCase& c = GetParam();
    ASSERT_EQ(LoadWaveFile(m_record, Write(c.file)), 0);
    EXPECT_EQ(m_record.frameCount, c.left.size());
    EXPECT_EQ(Elements(m_record.left), c.left);
    EXPECT_EQ(Elements(m_record.right), c.right);
    EXPECT_EQ(m_record.peak, c.peak);
    EXPECT_EQ(m_record.peakRight, c.peakRight);
}

WavBuilder Format(std::uint16_t channels, std::uint16_t bits) {
    return WavBuilder().Format(channels, bits);
}

// One line per case reads better than what the formatter makes of a table.
// clang-format off

// Any width but 2 bytes gives its first byte minus 128; the other bytes are skipped.
INSTANTIATE_TEST_SUITE_P(Widths, SamplesCheck, ::testing::ValuesIn(std::vector<SamplesCase>{
    {"Bits8", Format(1, 8).Data({0x80, 0xFF, 0x00, 0x01}).Build(),
     {0, 127, -128, -127}, {0, 0, 0, 0}, 127, 0},
    {"Bits16", Format(1, 16).Data({0x00, 0x80, 0xFF, 0x7F, 0x00, 0x00, 0xFF, 0xFF}).Build(),
     {-32768, 32767, 0, -1}, {0, 0, 0, 0}, 32767, 0},
    {"Bits24", Format(1, 24).Data({0x00, 0x11, 0x22, 0xFF, 0x33, 0x44, 0x80, 0xFF, 0xFF}).Build(),
     {-128, 127, 0}, {0, 0, 0}, 127, 0},
    {"Bits32", Format(1, 32).Data({0x90, 1, 2, 3, 0x70, 4, 5, 6}).Build(),
     {16, -16}, {0, 0}, 16, 0},
    {"Bits40", Format(1, 40).Data({0x85, 9, 9, 9, 9, 0x86, 9, 9, 9, 9}).Build(),
     {5, 6}, {0, 0}, 6, 0},
    // 12 bits in 2-byte frames: 1 byte per sample, so the first frameCount bytes are read.
    {"Bits12", Format(1, 12).Data({0x90, 0x10, 0x80, 0x00, 0xFF, 0x7F}).Build(),
     {16, -112, 0}, {0, 0, 0}, 16, 0},
    // Below 8 bits a sample has no bytes, which counts as a sample that cannot be read.
    {"Bits4", Format(1, 4).Data({0x90, 0xA0, 0xB0}).Build(), {0, 0, 0}, {0, 0, 0}, 0, 0},
    {"Bits0", Format(1, 0).BlockAlign(1).Data({0x90, 0xA0}).Build(), {0, 0}, {0, 0}, 0, 0},
}), CaseName);

// Frames (a0 b0 c0)(a1 b1 c1)...: every channel count but 1 deals the samples alternately,
// and only 2 x frameCount samples are read.
INSTANTIATE_TEST_SUITE_P(Channels, SamplesCheck, ::testing::ValuesIn(std::vector<SamplesCase>{
    {"Mono", Format(1, 16).Samples16({1, 2, 3}).Build(), {1, 2, 3}, {0, 0, 0}, 3, 0},
    {"Stereo", Format(2, 16).Samples16({1, -1, 2, -2}).Build(), {1, 2}, {-1, -2}, 2, 0},
    {"Three", Format(3, 16).Samples16({10, 20, 30, 11, 21, 31, 12, 22, 32}).Build(),
     {10, 30, 21}, {20, 11, 31}, 31, 31},
    {"Four", Format(4, 16).Samples16({10, 20, 30, 40, 11, 21, 31, 41}).Build(),
     {10, 30}, {20, 40}, 40, 40},
    // blockAlign 2 makes 4 frames, so 8 samples are wanted and the file holds 4.
    {"Zero", Format(0, 16).BlockAlign(2).Samples16({1, 2, 3, 4}).Build(),
     {1, 3, 0, 0}, {2, 4, 0, 0}, 4, 4},
    {"Stereo8", Format(2, 8).Data({0x81, 0x7F, 0x90, 0x70}).Build(), {1, 16}, {-1, -16}, 16, 0},
    {"Three8", Format(3, 8).Data({0x81, 0x82, 0x83, 0x84, 0x85, 0x86}).Build(),
     {1, 3}, {2, 4}, 4, 4},
    {"Stereo24", Format(2, 24).Data({0x81, 0, 0, 0x82, 0, 0, 0x83, 0, 0, 0x7F, 0, 0}).Build(),
     {1, 3}, {2, -1}, 3, 2},
}), CaseName);

// Reading stops at the first sample the file does not hold whole; the rest stays 0.
INSTANTIATE_TEST_SUITE_P(ShortData, SamplesCheck, ::testing::ValuesIn(std::vector<SamplesCase>{
    {"MonoTailIsZero", Format(1, 16).Samples16({5, 6, 7}).DataSize(10).Build(),
     {5, 6, 7, 0, 0}, {0, 0, 0, 0, 0}, 7, 0},
    {"StereoStopsAfterALeftSample", Format(2, 16).Samples16({1, 2, 3}).DataSize(16).Build(),
     {1, 3, 0, 0}, {2, 0, 0, 0}, 3, 2},
    {"HalfA16BitSample", Format(1, 16).Data({1, 0, 2}).DataSize(6).Build(),
     {1, 0, 0}, {0, 0, 0}, 1, 0},
    {"PartOfA24BitSample", Format(1, 24).Data({0x90, 0, 0, 0xA0, 0}).DataSize(9).Build(),
     {16, 0, 0}, {0, 0, 0}, 16, 0},
    {"NoSampleAtAll", Format(2, 16).DataSize(8).Build(), {0, 0}, {0, 0}, 0, 0},
    // Bytes after the declared data belong to other chunks and are not samples.
    {"ChunkAfterTheData",
     Format(1, 16).Samples16({1, 2}).Trailer({'L', 'I', 'S', 'T', 2, 0, 0, 0, 0x77, 0x77}).Build(),
     {1, 2}, {0, 0}, 2, 0},
    {"OddDataSizeRoundsDown", Format(2, 16).Samples16({1, 2, 3}).Build(), {1}, {2}, 2, 2},
}), CaseName);

// The peak is the largest signed value, never below 0; peakRight is the right channel's.
INSTANTIATE_TEST_SUITE_P(Peak, SamplesCheck, ::testing::ValuesIn(std::vector<SamplesCase>{
    {"SignedNotMagnitude", Format(1, 16).Samples16({-32768, 5}).Build(), {-32768, 5}, {0, 0}, 5, 0},
    {"RightLoudest", Format(2, 16).Samples16({10, 300, -5, 7}).Build(),
     {10, -5}, {300, 7}, 300, 300},
    {"LeftLoudest", Format(2, 16).Samples16({400, 300}).Build(), {400}, {300}, 400, 300},
    {"AllNegative", Format(2, 16).Samples16({-1, -2, -3, -4}).Build(), {-1, -3}, {-2, -4}, 0, 0},
    {"AllBelowTheMiddle8Bit", Format(1, 8).Data({0x00, 0x7F}).Build(), {-128, -1}, {0, 0}, 0, 0},
    {"MonoLeavesPeakRightAt0", Format(1, 16).Samples16({-1, 50}).Build(), {-1, 50}, {0, 0}, 50, 0},
}), CaseName);

// clang-format on

} // namespace
