// The fast reader against the one-sample-at-a-time reference decoder: files of random
// shape, files large enough to be read in several blocks, and files written by sox.

#include <gtest/gtest.h>

#include <random>

#include "tests/support/CaseName.h"
#include "tests/support/RandomShape.h"
#include "tests/support/ReferenceDecoder.h"
#include "tests/unit/WaveReaderTestHelpers.h"

namespace {

// Loads file into record and checks the outcome against the reference: a load must give
// exactly the reference's fields and samples, a rejection must change nothing.
void ExpectAgreement(WaveRecord& record, const std::string& path,
                     SampleThreads threads = SampleThreads::Automatic) {
    const ReferenceResult expected = DecodeReference(ReadFile(path));
    const RecordSnapshot before = TakeSnapshot(record);
    const LoadStatus status = LoadWaveFileExplained(record, path, threads).status;
    ASSERT_EQ(status, expected.status);
    if (status == LoadStatus::Loaded) {
        EXPECT_EQ(DescribeDifference(record, expected), "");
        EXPECT_EQ(record.path, path);
    } else {
        EXPECT_EQ(DescribeChange(record, before), "") << "a rejected file changed the record";
    }
}

TEST_F(WaveReaderTest, RandomFilesAgreeWithTheReference) {
    RandomShape shapes(20261208);
    int loaded = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::string path = Write(shapes.Next(), "random" + std::to_string(i) + ".wav");
        SCOPED_TRACE("file " + std::to_string(i));
        // Every other file is shared by two threads, however small it is.
        ASSERT_NO_FATAL_FAILURE(
            ExpectAgreement(m_record, path, i % 2 == 0 ? SampleThreads::One : SampleThreads::Two));
        loaded += m_record.path == path;
    }
    // The shapes must exercise the samples, not only the rejections.
    EXPECT_GT(loaded, 1500);
}

// Files of more than one block: samples split by a block boundary, and blocks that begin
// with the right half of a frame.
class LargeFile : public WaveReaderTest, public ::testing::WithParamInterface<LargeCase> {};

// Each file is read by one thread and by two, whatever its size.
TEST_P(LargeFile, AgreesWithTheReference) {
    const LargeCase& c = GetParam();
    const std::string path = Write(c.File());
    ASSERT_NO_FATAL_FAILURE(ExpectAgreement(m_record, path, SampleThreads::One));
    ExpectAgreement(m_record, path, SampleThreads::Two);
}

constexpr std::size_t kMiB = std::size_t{1} << 20;

INSTANTIATE_TEST_SUITE_P(Blocks, LargeFile,
                         ::testing::ValuesIn(std::vector<LargeCase>{
                             {"Mono16", 1, 16, 3 * kMiB + 2, 0},
                             {"Mono16OddByteAtTheEnd", 1, 16, 2 * kMiB + 1, 0},
                             {"Stereo16", 2, 16, 3 * kMiB, 0},
                             {"Stereo16Short", 2, 16, 2 * kMiB + 6, 4 * kMiB},
                             {"Mono8", 1, 8, 2 * kMiB + 3, 0},
                             {"Stereo8", 2, 8, 2 * kMiB + 1, 0},
                             {"Stereo24", 2, 24, 3 * kMiB + 5, 0},
                             {"Three24", 3, 24, 3 * kMiB, 0},
                             {"Mono24Short", 1, 24, 2 * kMiB + 2, 8 * kMiB},
                             {"Stereo40", 2, 40, 2 * kMiB + 7, 0},
                             {"Five16", 5, 16, 2 * kMiB + 10, 0},
                             {"Stereo8000Bytes", 2, 64000, 3 * kMiB, 0},
                             {"StereoFloat32", 2, 32, 3 * kMiB + 6, 0, 3},
                             {"MonoFloat64Short", 1, 64, 2 * kMiB + 3, 4 * kMiB, 3},
                             {"StereoMuLaw", 2, 8, 2 * kMiB + 1, 0, 7},
                             // Frames of 60,000 bytes, of which 6 are read, across blocks.
                             {"FramesOf60000Bytes", 20000, 24, 3 * kMiB + 100, 0},
                         }),
                         CaseName);

// Files of many blocks, as large as those a load shares between two threads: data that
// ends inside the second thread's range, odd sample widths, channels 0 and 1 of three
// and four, 8-bit, float.
INSTANTIATE_TEST_SUITE_P(TwoThreads, LargeFile,
                         ::testing::ValuesIn(std::vector<LargeCase>{
                             {"Stereo16", 2, 16, 9 * kMiB, 0},
                             {"Stereo16ShortInTheSecondHalf", 2, 16, 7 * kMiB + 6, 12 * kMiB},
                             {"Stereo24OddWidth", 2, 24, 9 * kMiB + 5, 0},
                             {"Three24", 3, 24, 9 * kMiB, 0},
                             {"Three16Short", 3, 16, 6 * kMiB + 3, 10 * kMiB},
                             {"Mono8", 1, 8, 9 * kMiB + 3, 0},
                             {"Stereo8Short", 2, 8, 5 * kMiB + 1, 12 * kMiB},
                             {"Four16ShortInTheSecondHalf", 4, 16, 7 * kMiB + 5, 12 * kMiB},
                             {"StereoFloat64", 2, 64, 9 * kMiB + 4, 0, 3},
                         }),
                         CaseName);

// Files written by sox, a real writer: the header fields it wrote, and every sample as
// the reference reads it.
struct SoxCase {
    const char* file;
    std::uint32_t fmtSize;
    std::uint16_t formatTag, channels;
    std::uint32_t byteRate;
    std::uint16_t blockAlign, bitsPerSample;
    std::uint32_t dataSize, frameCount, fileLength;
};

void PrintTo(const SoxCase& c, std::ostream* out) {
    *out << c.file;
}

class SoxFile : public WaveReaderTest, public ::testing::WithParamInterface<SoxCase> {};

TEST_P(SoxFile, LoadsWithItsHeaderAndAgreesWithTheReference) {
    const SoxCase& c = GetParam();
    const std::string path = std::string(VOQ_FIXTURES) + "/" + c.file;
    ASSERT_EQ(LoadWaveFile(m_record, path), 0);
    EXPECT_EQ(m_record.fmtSize, c.fmtSize);
    EXPECT_EQ(m_record.formatTag, c.formatTag);
    EXPECT_EQ(m_record.channels, c.channels);
    EXPECT_EQ(m_record.sampleRate, 8000u);
    EXPECT_EQ(m_record.byteRate, c.byteRate);
    EXPECT_EQ(m_record.blockAlign, c.blockAlign);
    EXPECT_EQ(m_record.bitsPerSample, c.bitsPerSample);
    EXPECT_EQ(m_record.dataSize, c.dataSize);
    EXPECT_EQ(m_record.frameCount, c.frameCount);
    EXPECT_EQ(m_record.fileLength, c.fileLength);
    EXPECT_GT(m_record.peak, 0) << "a sine wave has positive samples";
    EXPECT_EQ(DescribeDifference(m_record, DecodeReference(ReadFile(path))), "");
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, SoxFile,
    ::testing::ValuesIn(std::vector<SoxCase>{
        {"sine440-mono8.wav", 16, 1, 1, 8000, 1, 8, 2000, 2000, 2044},
        {"sine440-stereo16.wav", 16, 1, 2, 32000, 4, 16, 8000, 2000, 8044},
        // Extensible format: a 40-byte fmt chunk and a fact chunk before the data.
        {"sine440-three24.wav", 40, 0xFFFE, 3, 72000, 9, 24, 7200, 800, 7280},
    }),
    [](const ::testing::TestParamInfo<SoxCase>& info) {
        std::string name = info.param.file;
        name.resize(name.find('.'));
        name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
        return name;
    });

} // namespace
