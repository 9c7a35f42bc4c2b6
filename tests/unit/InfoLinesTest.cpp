#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "display/InfoLines.h"
#include "tests/support/CaseName.h"
#include "tests/support/RecordingSurface.h"
#include "tests/unit/TestLocale.h"

namespace {

// The header fields the summary line shows.
struct Header {
    std::uint16_t channels;
    std::uint32_t sampleRate;
    std::uint16_t bitsPerSample;
    std::uint32_t fileLength;
    std::uint32_t dataSize;
    std::uint32_t byteRate;
    std::uint32_t frameCount;
};

WaveRecord RecordWith(const Header& header) {
    WaveRecord record;
    record.channels = header.channels;
    record.sampleRate = header.sampleRate;
    record.bitsPerSample = header.bitsPerSample;
    record.fileLength = header.fileLength;
    record.dataSize = header.dataSize;
    record.byteRate = header.byteRate;
    record.frameCount = header.frameCount;
    record.path = "/data/sound.wav";
    return record;
}

// The summary as DrawInfoLines draws it: the second of its two texts.
std::string SummaryOf(const WaveRecord& record) {
    RecordingSurface surface;
    DrawInfoLines(surface, record, 0, 0);
    return surface.Texts().size() == 2 ? surface.Texts()[1].text : "(not two texts)";
}

struct SummaryCase : NamedCase {
    Header header;
    const char* summary;
};

// 8-bit mono at 8000 Hz, 964 frames, with the file size under test.
constexpr Header MonoOfLength(std::uint32_t fileLength) {
    return {1, 8000, 8, fileLength, 964, 8000, 964};
}

const SummaryCase kSummaryCases[] = {
    {"StereoExample",
     {2, 44100, 16, 1764044, 1764000, 176400, 441000},
     "ステレオ,  44100 Hz,  16 Bit,    1.68 MB,   10.00 秒,   441000 個"},
    {"MonoExample", MonoOfLength(1000),
     "モノラル,   8000 Hz,   8 Bit,    1000 Byte,   0.12 秒,   964 個"},
    // Size units and their thresholds.
    {"ZeroBytes", MonoOfLength(0),
     "モノラル,   8000 Hz,   8 Bit,       0 Byte,   0.12 秒,   964 個"},
    {"JustBelowOneKilobyte", MonoOfLength(1023),
     "モノラル,   8000 Hz,   8 Bit,    1023 Byte,   0.12 秒,   964 個"},
    {"OneKilobyte", MonoOfLength(1024),
     "モノラル,   8000 Hz,   8 Bit,    1.00 KB,   0.12 秒,   964 個"},
    {"JustBelowOneMegabyte", MonoOfLength(1048575),
     "モノラル,   8000 Hz,   8 Bit, 1024.00 KB,   0.12 秒,   964 個"},
    {"OneMegabyte", MonoOfLength(1048576),
     "モノラル,   8000 Hz,   8 Bit,    1.00 MB,   0.12 秒,   964 個"},
    {"LargestSize", MonoOfLength(4294967295u),
     "モノラル,   8000 Hz,   8 Bit, 4096.00 MB,   0.12 秒,   964 個"},
    // Channel words.
    {"NoChannels",
     {0, 8000, 8, 1000, 964, 8000, 964},
     "－－－－,   8000 Hz,   8 Bit,    1000 Byte,   0.12 秒,   964 個"},
    {"ThreeChannels",
     {3, 8000, 8, 1000, 964, 8000, 964},
     "－－－－,   8000 Hz,   8 Bit,    1000 Byte,   0.12 秒,   964 個"},
    {"MostChannels",
     {65535, 8000, 8, 1000, 964, 8000, 964},
     "－－－－,   8000 Hz,   8 Bit,    1000 Byte,   0.12 秒,   964 個"},
    // "%d" of an unsigned 32-bit value of 2^31 or more prints negative; wide values
    // overflow their fields rather than being cut.
    {"ValuesFromTwoToThe31PrintNegative",
     {2, 2147483648u, 65535, 1000, 0, 1, 4294967295u},
     "ステレオ, -2147483648 Hz, 65535 Bit,    1000 Byte,   0.00 秒,   -1 個"},
    {"LongestDuration",
     {1, 8000, 8, 1000, 4294967295u, 1, 0},
     "モノラル,   8000 Hz,   8 Bit,    1000 Byte,   4294967295.00 秒,   0 個"},
    // A byte rate of 0: x / 0 is infinite and 0 / 0 is not a number, printed as glibc does.
    {"ByteRateZeroWithData",
     {1, 8000, 8, 1000, 964, 0, 964},
     "モノラル,   8000 Hz,   8 Bit,    1000 Byte,   inf 秒,   964 個"},
    {"ByteRateZeroWithoutData",
     {1, 8000, 8, 1000, 0, 0, 0},
     "モノラル,   8000 Hz,   8 Bit,    1000 Byte,   -nan 秒,   0 個"},
    {"AllFieldsZero",
     {0, 0, 0, 0, 0, 0, 0},
     "－－－－,      0 Hz,   0 Bit,       0 Byte,   -nan 秒,   0 個"},
};

class SummaryLine : public testing::TestWithParam<std::tuple<TestLocale, SummaryCase>> {};

TEST_P(SummaryLine, ReadsAsPrintfInTheCLocale) {
    const auto& [locale, testCase] = GetParam();
    ProcessLocale processLocale;
    ASSERT_NO_FATAL_FAILURE(processLocale.Set(locale));
    EXPECT_EQ(SummaryOf(RecordWith(testCase.header)), testCase.summary);
}

INSTANTIATE_TEST_SUITE_P(Cases, SummaryLine,
                         testing::Combine(testing::Values(TestLocale::C, TestLocale::German),
                                          testing::ValuesIn(kSummaryCases)),
                         [](const testing::TestParamInfo<SummaryLine::ParamType>& info) {
                             return LocaleTestName(std::get<0>(info.param)) + "_" +
                                    std::get<1>(info.param).name;
                         });

TEST(InfoLines, DrawsThePathAndTwentyPixelsBelowItTheSummaryInTheSurfacesTextColour) {
    RecordingSurface surface;
    WaveRecord record = RecordWith(MonoOfLength(1000));
    record.path = "/home/user/音/a.wav";
    EXPECT_EQ(DrawInfoLines(surface, record, 13, -7), 0);
    const std::vector<RecordingSurface::Text> expected = {
        {13, -7, "/home/user/音/a.wav", RecordingSurface::kDefaultTextColour},
        {13, 13, "モノラル,   8000 Hz,   8 Bit,    1000 Byte,   0.12 秒,   964 個",
         RecordingSurface::kDefaultTextColour},
    };
    EXPECT_EQ(surface.Texts(), expected);
    EXPECT_EQ(surface.Calls().size(), 2u) << "no pen, line or colour change";
}

struct PathCase : NamedCase {
    std::string bytes;
    std::string drawn;
};

// U+FFFD REPLACEMENT CHARACTER.
const std::string kReplaced = "\xEF\xBF\xBD";

const PathCase kPathCases[] = {
    {"Ascii", "/home/user/a.wav", "/home/user/a.wav"},
    {"Empty", "", ""},
    {"Japanese", "/home/ユーザー/波形.wav", "/home/ユーザー/波形.wav"},
    {"FourByteCharacter", "/tmp/\xF0\x9F\x8E\xB5.wav", "/tmp/\xF0\x9F\x8E\xB5.wav"},
    {"LatinOneByte", "/tmp/caf\xE9.wav", "/tmp/caf" + kReplaced + ".wav"},
    {"TruncatedSequenceIsOneCharacter", "/tmp/\xE6\xB3.wav", "/tmp/" + kReplaced + ".wav"},
    {"TruncatedAtTheEnd", "/tmp/a\xF0\x9F\x8E", "/tmp/a" + kReplaced},
    {"LoneContinuationBytes",
     "a\x80\xBF"
     "b",
     "a" + kReplaced + kReplaced + "b"},
    {"OverlongSlash",
     "a\xC0\xAF"
     "b",
     "a" + kReplaced + kReplaced + "b"},
    {"Surrogate", "\xED\xA0\x80", kReplaced + kReplaced + kReplaced},
    {"BeyondU10FFFF", "\xF4\x90\x80\x80", kReplaced + kReplaced + kReplaced + kReplaced},
    {"ShiftJisBytes", "/tmp/\x94\x67\x8C\x60.wav", "/tmp/" + kReplaced + "g" + kReplaced + "`.wav"},
};

class PathLine : public testing::TestWithParam<PathCase> {};

TEST_P(PathLine, ShowsInvalidUtf8AsReplacementCharactersWhereTheyStand) {
    RecordingSurface surface;
    WaveRecord record;
    record.path = GetParam().bytes;
    DrawInfoLines(surface, record, 0, 0);
    ASSERT_EQ(surface.Texts().size(), 2u);
    EXPECT_EQ(surface.Texts()[0].text, GetParam().drawn);
}

INSTANTIATE_TEST_SUITE_P(Cases, PathLine, testing::ValuesIn(kPathCases), CaseName);

// The number texts against the C library's printf in the C locale, including the values
// whose rounding is decided by their exact binary value (0.125 is a tie; 2.675 lies below).
TEST(NumberTexts, MatchPrintfInTheCLocale) {
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    const double decimals[] = {0.0,        0.005,        0.015,     0.125,         0.375,
                               2.675,      1.005,        1023.995,  1.6823158,     -0.001,
                               1e15 + 0.5, 4294967295.0, 1.0 / 3.0, 123456789.125, 1e300};
    for (const double value : decimals) {
        char expected[400];
        std::snprintf(expected, sizeof expected, "%7.2f", value);
        EXPECT_EQ(FormatTwoDecimals(value, 7), expected) << "value " << value;
    }
    const std::int32_t integers[] = {0, 7, -7, 99999, 100000, 1234567, INT32_MIN, INT32_MAX};
    for (const std::int32_t value : integers) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "%6d", value);
        EXPECT_EQ(FormatDecimal(value, 6), expected) << "value " << value;
    }
}

} // namespace
