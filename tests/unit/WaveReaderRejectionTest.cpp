// What a load must never do: change the record when it rejects a file, block on a FIFO,
// leave a descriptor open, or take memory for frames that a header merely claims.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>

#include "tests/support/CaseName.h"
#include "tests/support/ProcessStatus.h"
#include "tests/unit/WaveReaderTestHelpers.h"

namespace {

// A stereo file with a peak in each channel, loaded before a rejected one.
WavBuilder Previous() {
    return WavBuilder().Format(2, 16).Samples16({100, -7, 30, 250, -1, 2});
}

// A 200-byte 8-bit mono file whose header claims 2^32 - 1 frames.
WavBuilder HugeClaim() {
    Bytes data(156);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(0x80 + i % 50);
    }
    return WavBuilder().Format(1, 8).Data(data).DataSize(0xFFFFFFFF);
}

struct RejectionCase : NamedCase {
    // Makes the path to load inside folder.
    std::function<std::string(const TemporaryFolder& folder)> make;
    LoadStatus status;
    std::uint64_t offset;       // where the check failed; 0 where no header check failed
    std::uint16_t formatCode{}; // the format a refused format names
};

std::function<std::string(const TemporaryFolder&)> Built(WavBuilder builder) {
    return [builder](const TemporaryFolder& folder) { return builder.WriteTo(folder, "bad.wav"); };
}

std::string MakeFifo(const TemporaryFolder& folder) {
    const std::string path = folder.File("fifo.wav");
    if (mkfifo(path.c_str(), 0600) != 0) {
        throw std::runtime_error("mkfifo failed");
    }
    return path;
}

class Rejection : public WaveReaderTest, public ::testing::WithParamInterface<RejectionCase> {};

// Every field, both arrays (the same arrays, with the same contents), the peaks, the flag,
// the path and loaded stay as the previous load left them. The outcome says why, and where.
TEST_P(Rejection, LeavesThePreviousFileIntact) {
    ASSERT_EQ(LoadWaveFile(m_record, Write(Previous(), "previous.wav")), 0);
    m_record.loaded = 1;
    const RecordSnapshot before = TakeSnapshot(m_record);
    const LoadOutcome outcome = LoadWaveFileExplained(m_record, GetParam().make(m_folder));
    ASSERT_EQ(outcome.status, GetParam().status);
    EXPECT_EQ(outcome.offset, GetParam().offset);
    EXPECT_EQ(outcome.formatCode, GetParam().formatCode);
    EXPECT_EQ(DescribeChange(m_record, before), "");
    EXPECT_EQ(m_record.peak, 250);
    EXPECT_EQ(Elements(m_record.right), (std::vector<std::int16_t>{-7, 250, 2}));
}

TEST_P(Rejection, LeavesAFreshRecordBlank) {
    EXPECT_EQ(LoadWaveFile(m_record, GetParam().make(m_folder)), 1);
    EXPECT_EQ(DescribeChange(m_record, TakeSnapshot(WaveRecord())), "");
}

// clang-format off
// Previous() is 56 bytes: "RIFF" at 0, "WAVE" at 8, "fmt " at 12, formatTag at 20,
// blockAlign at 32, and "data" at 36.
INSTANTIATE_TEST_SUITE_P(Reader, Rejection, ::testing::ValuesIn(std::vector<RejectionCase>{
    {"MissingFile", [](const TemporaryFolder& f) { return f.File("missing.wav"); },
     LoadStatus::CannotOpen, 0},
    {"EmptyPath", [](const TemporaryFolder&) { return std::string(); }, LoadStatus::CannotOpen, 0},
    {"Directory", [](const TemporaryFolder& f) { return f.Path().string(); },
     LoadStatus::NotRegularFile, 0},
    {"Fifo", MakeFifo, LoadStatus::NotRegularFile, 0},
    {"CharacterDevice", [](const TemporaryFolder&) { return std::string("/dev/zero"); },
     LoadStatus::NotRegularFile, 0},
    {"EmptyFile", Built(WavBuilder().TruncateTo(0)), LoadStatus::NotRiffWave, 0},
    {"NotWave", Built(Previous().WaveId(WavBuilder::Id("AVI "))), LoadStatus::NotRiffWave, 8},
    // The fmt chunk's body read as a JUNK chunk, then data: fmt must come before data.
    {"DataBeforeFmt", Built(Previous().FmtId(WavBuilder::Id("JUNK"))), LoadStatus::NotRiffWave, 36},
    {"NoFmtChunk", Built(Previous().FmtId(WavBuilder::Id("JUNK")).WithoutDataChunk()),
     LoadStatus::NotRiffWave, 36},
    // The search for data ends where the file ends, also when a size points past it.
    {"HeaderCutInFmt", Built(Previous().TruncateTo(30)), LoadStatus::NoDataChunk, 30},
    {"FmtSizeBelow16", Built(Previous().FmtSize(12)), LoadStatus::NoDataChunk, 56},
    {"ChunkPastTheEnd", Built(Previous().Chunk(WavBuilder::Id("LIST"), 500, {})),
     LoadStatus::NoDataChunk, 64},
    {"NoDataChunk", Built(Previous().WithoutDataChunk()), LoadStatus::NoDataChunk, 36},
    // ... or where the RIFF form ends: here at 54, right after a LIST chunk of 10 bytes.
    {"DataPastTheRiffForm", Built(Previous().Chunk("LIST", Bytes(10)).RiffSize(46)),
     LoadStatus::NoDataChunk, 54},
    {"ZeroBlockAlign", Built(Previous().BlockAlign(0)), LoadStatus::ZeroBlockAlign, 32},
    // A format the reader does not decode, at the field that names it.
    {"ImaAdpcm", Built(Previous().FormatTag(0x11).BlockAlign(1024).BitsPerSample(4)),
     LoadStatus::UnsupportedFormat, 20, 0x11},
    {"Mp3AfterBext", Built(Previous().ChunkBeforeFmt("bext", Bytes(10)).FormatTag(0x55)),
     LoadStatus::UnsupportedFormat, 38, 0x55},
    {"UnknownTag", Built(Previous().FormatTag(0)), LoadStatus::UnsupportedFormat, 20, 0},
    {"Float16", Built(Previous().FormatTag(3)), LoadStatus::UnsupportedFormat, 20, 3},
    {"ALaw16", Built(Previous().FormatTag(6)), LoadStatus::UnsupportedFormat, 20, 6},
    {"ExtensibleWithoutSubFormat", Built(Previous().FormatTag(0xFFFE).FmtTail({0, 0})),
     LoadStatus::UnsupportedFormat, 20, 0xFFFE},
    {"ExtensibleOtherGuid",
     Built(Previous().FormatTag(0xFFFE).FmtTail(WavBuilder::ExtensibleTail(16, 1, false))),
     LoadStatus::UnsupportedFormat, 44, 1},
    {"ExtensibleAdpcm",
     Built(Previous().FormatTag(0xFFFE).FmtTail(WavBuilder::ExtensibleTail(16, 2))),
     LoadStatus::UnsupportedFormat, 44, 2},
}), CaseName);
// clang-format on

TEST_F(WaveReaderTest, AnUnopenablePathSaysWhy) {
    const LoadOutcome outcome = LoadWaveFileExplained(m_record, m_folder.File("missing.wav"));
    EXPECT_EQ(outcome.status, LoadStatus::CannotOpen);
    EXPECT_EQ(outcome.errorNumber, ENOENT);
    EXPECT_EQ(LoadWaveFile(m_record, m_folder.File("missing.wav")), 1);
}

TEST_F(WaveReaderTest, AFifoWithNoWriterIsRejectedAtOnce) {
    const std::string path = MakeFifo(m_folder);
    std::future<LoadStatus> load = std::async(std::launch::async, [&] {
        WaveRecord record;
        return LoadWaveFileExplained(record, path).status;
    });
    if (load.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // Opening the write end releases a reader blocked in open(2), so the test ends.
        const int writer = open(path.c_str(), O_WRONLY | O_NONBLOCK);
        load.wait();
        close(writer);
        FAIL() << "the load blocked on the FIFO";
    }
    EXPECT_EQ(load.get(), LoadStatus::NotRegularFile);
}

TEST_F(WaveReaderTest, EveryStatusHasAShortDescription) {
    EXPECT_STREQ(DescribeLoadStatus(LoadStatus::Loaded), "loaded");
    EXPECT_STREQ(DescribeLoadStatus(LoadStatus::CannotOpen), "cannot open the file");
    EXPECT_STREQ(DescribeLoadStatus(LoadStatus::ReadError), "read error");
    EXPECT_STREQ(DescribeLoadStatus(LoadStatus::Cancelled), "cancelled");
    EXPECT_STREQ(DescribeLoadStatus(LoadStatus::NotRiffWave), "not a RIFF/WAVE file");
    EXPECT_STREQ(DescribeLoadStatus(LoadStatus::NoDataChunk), "no data chunk");
    EXPECT_STREQ(DescribeLoadStatus(LoadStatus::NotRegularFile), "not a regular file");
    EXPECT_STREQ(DescribeLoadStatus(LoadStatus::ZeroBlockAlign), "block align is 0");
    EXPECT_STREQ(DescribeLoadStatus(LoadStatus::CannotAllocate),
                 "cannot allocate memory for the samples");
}

#if !defined(__SANITIZE_ADDRESS__)
// Caps the address space a little above what the process uses, then loads path into
// record; exits with 0 if the load was refused for memory and changed nothing.
[[noreturn]] void LoadUnderAnAddressSpaceCap(WaveRecord& record, const std::string& path) {
    const rlim_t cap = static_cast<rlim_t>(StatusKiB("VmSize") + (256 << 10)) * 1024;
    const rlimit limit{cap, cap};
    setrlimit(RLIMIT_AS, &limit);
    const RecordSnapshot before = TakeSnapshot(record);
    const LoadStatus status = LoadWaveFileExplained(record, path).status;
    std::_Exit(status == LoadStatus::CannotAllocate && DescribeChange(record, before).empty() ? 0
                                                                                              : 1);
}

// The two arrays of a huge claim cannot be mapped under the cap: the load is rejected
// before the record is touched. The cap confines a child process.
TEST_F(WaveReaderTest, RefusedMemoryIsRejectedAndChangesNothing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string huge = Write(HugeClaim(), "huge.wav");
    ASSERT_EQ(LoadWaveFile(m_record, Write(Previous(), "previous.wav")), 0);
    EXPECT_EXIT(LoadUnderAnAddressSpaceCap(m_record, huge), ::testing::ExitedWithCode(0), "");
}
#endif

TEST_F(WaveReaderTest, ASecondFileReplacesTheFirst) {
    ASSERT_EQ(LoadWaveFile(m_record, Write(Previous(), "first.wav")), 0);
    const std::string second = Write(WavBuilder().Format(1, 8).Data({0x90, 0x70}), "second.wav");
    ASSERT_EQ(LoadWaveFile(m_record, second), 0);
    EXPECT_EQ(m_record.channels, 1);
    EXPECT_EQ(m_record.frameCount, 2u);
    EXPECT_EQ(Elements(m_record.left), (std::vector<std::int16_t>{16, -16}));
    EXPECT_EQ(Elements(m_record.right), (std::vector<std::int16_t>{0, 0}));
    EXPECT_EQ(m_record.peak, 16);
    EXPECT_EQ(m_record.peakRight, 0);
    EXPECT_EQ(m_record.path, second);
}

TEST_F(WaveReaderTest, TheSameFileTwiceGivesTheSameRecord) {
    const std::string path = Write(Previous().Chunk("LIST", Bytes(5), WavBuilder::Pad::Add));
    ASSERT_EQ(LoadWaveFile(m_record, path), 0);
    RecordSnapshot first = TakeSnapshot(m_record);
    ASSERT_EQ(LoadWaveFile(m_record, path), 0);
    first.leftData = m_record.left.data(); // new arrays, same contents
    first.rightData = m_record.right.data();
    EXPECT_EQ(DescribeChange(m_record, first), "");
}

TEST_F(WaveReaderTest, ThePathIsKeptByteForByteAndLoadedIsLeftAlone) {
    const std::string path = Write(Previous(), "\xE6\xB3\xA2 \xFF name.wav");
    ASSERT_EQ(LoadWaveFile(m_record, path), 0);
    EXPECT_EQ(m_record.path, path);
    EXPECT_EQ(m_record.loaded, 0);
}

// The two arrays of a claim of 2^32 - 1 frames are 8 GiB each; only the pages the file's
// 156 bytes fill may cost memory, also after reads spread over the whole claim.
TEST_F(WaveReaderTest, AHugeClaimLoadsWithoutTakingMemory) {
    const std::string path = Write(HugeClaim());
    ASSERT_EQ(ReadFile(path).size(), 200u);
    const long before = StatusKiB("VmRSS");
    ASSERT_EQ(LoadWaveFile(m_record, path), 0);
    EXPECT_EQ(m_record.frameCount, 4294967295u);
    ASSERT_EQ(m_record.left.size(), 4294967295u);
    EXPECT_EQ(m_record.left[0], 0);
    EXPECT_EQ(m_record.left[155], 5);
    EXPECT_EQ(m_record.left[156], 0);
    EXPECT_EQ(m_record.peak, 49);
    const std::size_t step = m_record.left.size() / 840;
    long sum = 0;
    for (std::size_t column = 1; column < 840; ++column) {
        sum += m_record.left[column * step] + m_record.right[column * step];
    }
    EXPECT_EQ(sum, 0);
    EXPECT_LT(StatusKiB("VmRSS") - before, 64 << 10) << "KiB";
}

TEST_F(WaveReaderTest, ReplacedArraysAreReleased) {
    const std::vector<std::int16_t> big(8 << 20, 1000); // 16 MiB of samples
    ASSERT_EQ(LoadWaveFile(m_record, Write(WavBuilder().Format(1, 16).Samples16(big), "big.wav")),
              0);
    const long loaded = StatusKiB("VmRSS");
    ASSERT_EQ(LoadWaveFile(m_record, Write(Previous(), "small.wav")), 0);
    EXPECT_LT(StatusKiB("VmRSS"), loaded - (12 << 10)) << "KiB";
}

TEST_F(WaveReaderTest, NoDescriptorStaysOpen) {
    const std::string paths[] = {
        Write(Previous(), "good.wav"),
        Write(Previous().WaveId(0), "bad.wav"),
        Write(Previous().WithoutDataChunk(), "nodata.wav"),
        Write(Previous().BlockAlign(0), "zero.wav"),
        MakeFifo(m_folder),
        m_folder.Path().string(),
        m_folder.File("missing.wav"),
    };
    const int before = OpenDescriptors();
    const long threadsBefore = StatusKiB("Threads"); // a plain count, not KiB
    for (int round = 0; round < 150; ++round) {
        for (const std::string& path : paths) {
            LoadWaveFileExplained(m_record, path,
                                  round % 2 == 0 ? SampleThreads::One : SampleThreads::Two);
        }
    }
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_EQ(StatusKiB("Threads"), threadsBefore) << "a reading thread outlived its load";
}

} // namespace
