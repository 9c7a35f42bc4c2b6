// The samples: decoding per format and sample width, dealing to the two channels, data
// shorter than declared, and the peak.

#include <gtest/gtest.h>

#include <bit>
#include <initializer_list>
#include <limits>
#include <type_traits>

#include "tests/support/CaseName.h"
#include "tests/unit/WaveReaderTestHelpers.h"

namespace {

using Samples = std::vector<std::int16_t>;

struct SamplesCase : NamedCase {
    Bytes file;
    Samples left, right; // frameCount elements each
    std::int16_t peak, peakRight;
    std::uint16_t plotBits{}; // 16 or 8 for samples converted to 16-bit values
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
    EXPECT_EQ(m_record.plotBits, c.plotBits);
}

WavBuilder Format(std::uint16_t channels, std::uint16_t bits) {
    return WavBuilder().Format(channels, bits);
}

// Mono samples of another format: tag, bits, and the samples' bytes.
WavBuilder Coded(std::uint16_t tag, std::uint16_t bits, Bytes data) {
    return WavBuilder().FormatTag(tag).Format(1, bits).Data(std::move(data));
}

// The bytes of IEEE floats or doubles, little-endian.
template <typename Real> Bytes Reals(std::initializer_list<Real> values) {
    Bytes bytes;
    for (const Real value : values) {
        const auto bits =
            std::bit_cast<std::conditional_t<sizeof(Real) == 4, std::uint32_t, std::uint64_t>>(
                value);
        for (std::size_t i = 0; i < sizeof bits; ++i) {
            bytes.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
        }
    }
    return bytes;
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kStep = 1.0 / 32768; // one step of a 16-bit sample

// One line per case reads better than what the formatter makes of a table.
// clang-format off

// Integer samples are stored left-justified: those of 9 to 32 bits give their two most
// significant bytes, the 16-bit sample of the same sound (the lower bytes are dropped,
// not rounded). A width no rule names gives its first byte minus 128, as 8 bits do.
INSTANTIATE_TEST_SUITE_P(Widths, SamplesCheck, ::testing::ValuesIn(std::vector<SamplesCase>{
    {"Bits8", Format(1, 8).Data({0x80, 0xFF, 0x00, 0x01}).Build(),
     {0, 127, -128, -127}, {0, 0, 0, 0}, 127, 0},
    {"Bits16", Format(1, 16).Data({0x00, 0x80, 0xFF, 0x7F, 0x00, 0x00, 0xFF, 0xFF}).Build(),
     {-32768, 32767, 0, -1}, {0, 0, 0, 0}, 32767, 0},
    {"Bits24", Format(1, 24).Data({0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF}).Build(),
     {-32768, 32767, -1}, {0, 0, 0}, 32767, 0, 16},
    {"Bits20In3Bytes", Format(1, 20).Data({0x50, 0x34, 0x12}).Build(), {0x1234}, {0}, 0x1234, 0, 16},
    {"Bits32", Format(1, 32).Data({0xFF, 0xFF, 0x00, 0x80, 0x12, 0x34, 0xFF, 0x7F}).Build(),
     {-32768, 32767}, {0, 0}, 32767, 0, 16},
    {"Bits24In4Bytes", Format(1, 24).BlockAlign(4).Data({0, 0x90, 0x10, 0xFE}).Build(),
     {-496}, {0}, 0, 0, 16},
    {"Bits40", Format(1, 40).Data({0x85, 9, 9, 9, 9, 0x86, 9, 9, 9, 9}).Build(),
     {5, 6}, {0, 0}, 6, 0},
    // 12 bits stored left-justified in 2 bytes read as 16 bits.
    {"Bits12", Format(1, 12).Data({0x10, 0x12, 0xF0, 0x7F, 0x00, 0x80}).Build(),
     {0x1210, 32752, -32768}, {0, 0, 0}, 32752, 0, 16},
    // Below 8 bits a sample has no bytes, which counts as a sample that cannot be read.
    {"Bits4", Format(1, 4).Data({0x90, 0xA0, 0xB0}).Build(), {0, 0, 0}, {0, 0, 0}, 0, 0},
    {"Bits0", Format(1, 0).BlockAlign(1).Data({0x90, 0xA0}).Build(), {0, 0}, {0, 0}, 0, 0},
}), CaseName);

// Floats times 32768, rounded to nearest with ties to even and clamped; NaN gives 0.
// A-law and mu-law through the G.711 decoder, to its extremes.
INSTANTIATE_TEST_SUITE_P(Formats, SamplesCheck, ::testing::ValuesIn(std::vector<SamplesCase>{
    {"Float32", Coded(3, 32, Reals<float>({0.5f, -1.0f, 2.0f, kNaN, 2.5f / 32768, 3.5f / 32768,
                                           -0.5f / 32768})).Build(),
     {16384, -32768, 32767, 0, 2, 4, 0}, Samples(7), 32767, 0, 16},
    {"Float64", Coded(3, 64, Reals<double>({1.0, -kInfinity, 1.5 * kStep, -32767.5 * kStep,
                                            32766.5 * kStep})).Build(),
     {32767, -32768, 2, -32768, 32766}, Samples(5), 32767, 0, 16},
    {"ALaw", Coded(6, 8, {0xD5, 0x55, 0xAA, 0x2A, 0x80}).Build(),
     {8, -8, 32256, -32256, 5504}, Samples(5), 32256, 0, 16},
    {"MuLaw", Coded(7, 8, {0xFF, 0x7F, 0x80, 0x00, 0xF0}).Build(),
     {0, 0, 32124, -32124, 120}, Samples(5), 32124, 0, 16},
    // The format named by an extensible fmt chunk's SubFormat.
    {"ExtensibleFloat32",
     Coded(0xFFFE, 32, Reals<float>({0.25f})).FmtTail(WavBuilder::ExtensibleTail(32, 3)).Build(),
     {8192}, {0}, 8192, 0, 16},
    {"ExtensiblePcm24",
     Coded(0xFFFE, 24, {0, 0x34, 0x12}).FmtTail(WavBuilder::ExtensibleTail(24, 1)).Build(),
     {0x1234}, {0}, 0x1234, 0, 16},
}), CaseName);

// Frames (a0 b0 c0)(a1 b1 c1)...: channels 0 and 1 of each frame go to left and right and
// the others are skipped, also in the peaks. Where the header gives no whole number of
// bytes per channel, every channel count but 1 deals the samples alternately, and only
// 2 x frameCount samples are read.
INSTANTIATE_TEST_SUITE_P(Channels, SamplesCheck, ::testing::ValuesIn(std::vector<SamplesCase>{
    {"Mono", Format(1, 16).Samples16({1, 2, 3}).Build(), {1, 2, 3}, {0, 0, 0}, 3, 0},
    {"Stereo", Format(2, 16).Samples16({1, -1, 2, -2}).Build(), {1, 2}, {-1, -2}, 2, 0},
    {"Three", Format(3, 16).Samples16({10, 20, 90, 11, 21, 91, 12, 22, 92}).Build(),
     {10, 11, 12}, {20, 21, 22}, 22, 22, 16},
    {"Four", Format(4, 16).Samples16({10, 20, 30, 40, 11, 21, 31, 41}).Build(),
     {10, 11}, {20, 21}, 21, 21, 16},
    {"ThreeWithoutWholeChannels",
     Format(3, 16).BlockAlign(7).Samples16({10, 20, 30, 11, 21, 31, 12}).Build(),
     {10, 30}, {20, 11}, 30, 20},
    // blockAlign 2 makes 4 frames, so 8 samples are wanted and the file holds 4.
    {"Zero", Format(0, 16).BlockAlign(2).Samples16({1, 2, 3, 4}).Build(),
     {1, 3, 0, 0}, {2, 4, 0, 0}, 4, 4},
    {"Stereo8", Format(2, 8).Data({0x81, 0x7F, 0x90, 0x70}).Build(), {1, 16}, {-1, -16}, 16, 0},
    {"Three8", Format(3, 8).Data({0x81, 0x82, 0xF0, 0x84, 0x85, 0xF0}).Build(),
     {1, 4}, {2, 5}, 5, 5, 8},
    {"Stereo24", Format(2, 24).Data({0, 1, 0, 0, 2, 0, 0, 3, 0, 0, 0xFF, 0xFF}).Build(),
     {1, 3}, {2, -1}, 3, 2, 16},
    {"SixALaw", WavBuilder().FormatTag(6).Format(6, 8).Data({0xAA, 0xD5, 0x2A, 0x2A, 0x2A, 0x2A})
                    .Build(),
     {32256}, {8}, 32256, 8, 16},
}), CaseName);

// Reading stops at the first sample the file does not hold whole; the rest stays 0.
INSTANTIATE_TEST_SUITE_P(ShortData, SamplesCheck, ::testing::ValuesIn(std::vector<SamplesCase>{
    {"MonoTailIsZero", Format(1, 16).Samples16({5, 6, 7}).DataSize(10).Build(),
     {5, 6, 7, 0, 0}, {0, 0, 0, 0, 0}, 7, 0},
    {"StereoStopsAfterALeftSample", Format(2, 16).Samples16({1, 2, 3}).DataSize(16).Build(),
     {1, 3, 0, 0}, {2, 0, 0, 0}, 3, 2},
    {"HalfA16BitSample", Format(1, 16).Data({1, 0, 2}).DataSize(6).Build(),
     {1, 0, 0}, {0, 0, 0}, 1, 0},
    {"PartOfA24BitSample", Format(1, 24).Data({0, 0x10, 0, 0, 0xA0}).DataSize(9).Build(),
     {16, 0, 0}, {0, 0, 0}, 16, 0, 16},
    // Of five channels, a frame that holds both kept samples whole is read; a frame
    // whose channel 1 is cut ends the reading after its channel 0.
    {"FramesCutAfterTheKeptSamples",
     Format(5, 16).Samples16({1, 2, 9, 9, 9, 3, 4, 9}).DataSize(30).Build(),
     {1, 3, 0}, {2, 4, 0}, 4, 4, 16},
    {"FrameCutInsideChannel1",
     Format(3, 16).Data({1, 0, 2, 0, 9, 0, 3, 0, 4}).DataSize(18).Build(),
     {1, 3, 0}, {2, 0, 0}, 3, 2, 16},
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
