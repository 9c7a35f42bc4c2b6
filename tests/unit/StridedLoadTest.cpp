// The strided load that voq006-render draws from, against the full load that the viewer
// draws from: for files of every shape, the same record wherever the drawing reads it and
// the same drawing, line for line and text for text.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "display/ViewDrawing.h"
#include "display/WaveformPlot.h"
#include "tests/support/CaseName.h"
#include "tests/support/KnownWaveFiles.h"
#include "tests/support/ProcessStatus.h"
#include "tests/support/RandomShape.h"
#include "tests/support/RecordInvariants.h"
#include "tests/support/RecordingSurface.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WavBuilder.h"
#include "wave/BackgroundLoad.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

namespace {

// What one file gave: whether it loaded, and whether the plot strided over its frames.
struct Agreement {
    bool loaded{};
    bool strided{}; // at least two frames per column, so that most frames are skipped
};

// Loads path both ways, each read by threads, and expects the same outcome and, for a
// loaded file, the same record where the drawing reads it (also where the reader program's
// load keeps it) and the same drawing.
Agreement ExpectSameDrawing(const std::string& path,
                            SampleThreads threads = SampleThreads::Automatic) {
    WaveRecord full;
    WaveRecord strided;
    const LoadStatus status = LoadWaveFileExplained(full, path, threads).status;
    EXPECT_EQ(LoadWaveFileStrided(strided, path, kWaveformColumns, threads).status, status) << path;
    if (status != LoadStatus::Loaded || strided.path != path) {
        return {};
    }
    EXPECT_EQ(DescribeStridedDifference(strided, full, kWaveformColumns), "") << path;
    EXPECT_EQ(DescribeKeptInColumnsDifference(strided, path, threads), "") << path;
    RecordingSurface fromFull;
    RecordingSurface fromStrided;
    DrawLoadedRecord(fromFull, full);
    DrawLoadedRecord(fromStrided, strided);
    EXPECT_TRUE(fromStrided.Lines() == fromFull.Lines()) << path;
    EXPECT_TRUE(fromStrided.Texts() == fromFull.Texts()) << path;
    EXPECT_EQ(fromStrided.Calls().size(), fromFull.Calls().size()) << path;
    return {true, full.frameCount >= 2u * kWaveformColumns};
}

TEST(StridedLoad, DrawsWhatTheFullLoadDrawsForRandomFiles) {
    TemporaryFolder folder;
    // Up to 40 kB of data, so that many files have more frames than the plot has columns.
    RandomShape shapes(20261209, 40000);
    int loaded = 0;
    int strided = 0;
    for (int i = 0; i < 2000; ++i) {
        const std::string path = WriteFile(folder, "random.wav", shapes.Next());
        SCOPED_TRACE("file " + std::to_string(i));
        const Agreement agreement = ExpectSameDrawing(path);
        loaded += agreement.loaded;
        strided += agreement.strided;
        if (HasFailure()) {
            break;
        }
    }
    EXPECT_GT(loaded, 1000);
    EXPECT_GT(strided, 300);
}

TEST(StridedLoad, DrawsWhatTheFullLoadDrawsForTheFuzzSeedsAndWrittenFiles) {
    TemporaryFolder seeds;
    const std::vector<std::string> files = KnownWaveFiles(seeds);
    ASSERT_GT(files.size(), 30u);
    int loaded = 0;
    for (const std::string& file : files) {
        loaded += ExpectSameDrawing(file).loaded;
    }
    EXPECT_GT(loaded, 25);
}

// Files of several read blocks, read by one thread and by two: samples split by a block
// boundary, blocks that begin with the odd-numbered sample of a pair, and data that ends
// before its declared size.
class StridedLargeFile : public ::testing::TestWithParam<LargeCase> {};

TEST_P(StridedLargeFile, DrawsWhatTheFullLoadDraws) {
    const LargeCase& c = GetParam();
    const WavBuilder file = c.File();
    TemporaryFolder folder;
    const std::string path = file.WriteTo(folder, "large.wav");
    EXPECT_TRUE(ExpectSameDrawing(path, SampleThreads::One).strided);
    EXPECT_TRUE(ExpectSameDrawing(path, SampleThreads::Two).strided);
}

constexpr std::size_t kMiB = std::size_t{1} << 20;

INSTANTIATE_TEST_SUITE_P(Blocks, StridedLargeFile,
                         ::testing::ValuesIn(std::vector<LargeCase>{
                             {"Mono16OddByteAtTheEnd", 1, 16, 2 * kMiB + 1, 0},
                             {"Stereo16", 2, 16, 3 * kMiB, 0},
                             {"Stereo16Short", 2, 16, 2 * kMiB + 6, 4 * kMiB},
                             {"Mono8", 1, 8, 2 * kMiB + 3, 0},
                             {"Stereo8OddSampleCount", 2, 8, 2 * kMiB + 1, 0},
                             {"Three24", 3, 24, 3 * kMiB, 0},
                             {"Five16", 5, 16, 2 * kMiB + 10, 0},
                             {"Stereo40", 2, 40, 2 * kMiB + 7, 0},
                             {"StereoFloat32", 2, 32, 3 * kMiB, 0, 3},
                             {"SixALaw", 6, 8, 2 * kMiB + 5, 0, 6},
                         }),
                         CaseName);

// A 200-byte file whose header claims 2^32 - 1 frames: the plot's columns lie megabytes
// apart in the claimed arrays, and the load costs a page per kept frame at most.
TEST(StridedLoad, AHugeClaimCostsOnlyThePagesOfTheKeptFrames) {
    TemporaryFolder folder;
    Bytes data(156);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(0x80 + i * 37 % 100);
    }
    const std::string path = WavBuilder()
                                 .Format(2, 8)
                                 .BlockAlign(1)
                                 .Data(data)
                                 .DataSize(0xFFFFFFFFu)
                                 .WriteTo(folder, "huge-claim.wav");
    const long before = StatusKiB("VmRSS");
    WaveRecord strided;
    ASSERT_EQ(LoadWaveFileStrided(strided, path, kWaveformColumns).status, LoadStatus::Loaded);
    RecordingSurface surface;
    DrawLoadedRecord(surface, strided);
    const long grownKiB = StatusKiB("VmRSS") - before;
    EXPECT_EQ(strided.frameCount, 0xFFFFFFFFu);
    EXPECT_LT(grownKiB, 32 * 1024) << "KiB resident after the load and the drawing";
    ExpectSameDrawing(path);
}

// The viewer's load on a thread of its own ends with the record of the strided load, and
// says so once, from that thread. Large enough for the load to share out its samples.
TEST(WaveReaderBackgroundLoad, EndsWithTheStridedLoadsRecord) {
    TemporaryFolder folder;
    Bytes data(12u << 20);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7919 % 251);
    }
    const std::string path = WavBuilder().Format(2, 16).Data(data).WriteTo(folder, "large.wav");
    std::promise<void> ended;
    BackgroundLoad load(path, kWaveformColumns, [&] { ended.set_value(); });
    ASSERT_EQ(ended.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
    ASSERT_TRUE(load.Ended());
    EXPECT_EQ(load.Outcome().status, LoadStatus::Loaded);
    EXPECT_EQ(load.PercentRead(), 100);
    WaveRecord full;
    ASSERT_EQ(LoadWaveFile(full, path), 0);
    EXPECT_EQ(DescribeStridedDifference(load.Record(), full, kWaveformColumns), "");
}

} // namespace
