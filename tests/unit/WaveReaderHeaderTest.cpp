// The header: identifiers, the fmt chunk and the search for the data chunk.

#include <gtest/gtest.h>

#include "tests/support/CaseName.h"
#include "tests/unit/WaveReaderTestHelpers.h"

namespace {

using Pad = WavBuilder::Pad;

// A mono 16-bit file with the one sample 1234; a case changes one thing about it.
WavBuilder Mono() {
    return WavBuilder().Format(1, 16).Samples16({1234});
}

struct HeaderCase : NamedCase {
    Bytes file;
    LoadStatus status;
};

class HeaderCheck : public WaveReaderTest, public ::testing::WithParamInterface<HeaderCase> {};

// Every accepted case must have found the data chunk where it is: one frame, 1234.
TEST_P(HeaderCheck, GivesTheStatusAndFindsTheSample) {
    const HeaderCase& c = GetParam();
    ASSERT_EQ(LoadWaveFileExplained(m_record, Write(c.file)).status, c.status);
    if (c.status == LoadStatus::Loaded) {
        EXPECT_EQ(m_record.frameCount, 1u);
        EXPECT_EQ(Elements(m_record.left), std::vector<std::int16_t>{1234});
    }
}

const std::uint32_t kListId = WavBuilder::Id("LIST");

INSTANTIATE_TEST_SUITE_P(
    Identifiers, HeaderCheck,
    ::testing::ValuesIn(std::vector<HeaderCase>{
        {"EmptyFile", {}, LoadStatus::NotRiffWave},
        {"OneByte", {'R'}, LoadStatus::NotRiffWave},
        {"TwoBytes", {'R', 'I'}, LoadStatus::NotRiffWave},
        {"ThreeBytes", {'R', 'I', 'F'}, LoadStatus::NotRiffWave},
        {"RiffOnly", Mono().TruncateTo(4).Build(), LoadStatus::NotRiffWave},
        {"BigEndianRifx", Mono().RiffId(WavBuilder::Id("RIFX")).Build(), LoadStatus::NotRiffWave},
        {"LowerCaseRiff", Mono().RiffId(WavBuilder::Id("riff")).Build(), LoadStatus::NotRiffWave},
        {"AviForm", Mono().WaveId(WavBuilder::Id("AVI ")).Build(), LoadStatus::NotRiffWave},
        {"CutInsideTheFmtId", Mono().TruncateTo(14).Build(), LoadStatus::NotRiffWave},
        {"Valid", Mono().Build(), LoadStatus::Loaded},
    }),
    CaseName);

// Chunks before fmt are skipped as the search for data skips chunks; data must come after
// fmt. The fmt body here becomes the body of a JUNK chunk.
INSTANTIATE_TEST_SUITE_P(
    ChunksBeforeFmt, HeaderCheck,
    ::testing::ValuesIn(std::vector<HeaderCase>{
        {"BextAndJunk",
         Mono().ChunkBeforeFmt("bext", Bytes(602, 'b')).ChunkBeforeFmt("JUNK", Bytes(28)).Build(),
         LoadStatus::Loaded},
        {"OddChunkWithPad", Mono().ChunkBeforeFmt("iXML", Bytes(5, 'x'), Pad::Add).Build(),
         LoadStatus::Loaded},
        {"OddChunkWithoutPad", Mono().ChunkBeforeFmt("iXML", Bytes(5, 'x'), Pad::Omit).Build(),
         LoadStatus::Loaded},
        {"DataBeforeFmt", Mono().FmtId(WavBuilder::Id("JUNK")).Build(), LoadStatus::NotRiffWave},
        {"NoFmtBeforeTheEnd", Mono().FmtId(WavBuilder::Id("JUNK")).WithoutDataChunk().Build(),
         LoadStatus::NotRiffWave},
        {"ChunkRunsPastTheRiffEnd", Mono().ChunkBeforeFmt("JUNK", Bytes(8)).RiffSize(20).Build(),
         LoadStatus::NotRiffWave},
    }),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    FmtTail, HeaderCheck,
    ::testing::ValuesIn(std::vector<HeaderCase>{
        {"Size16", Mono().Build(), LoadStatus::Loaded},
        {"Size18WithCbSize", Mono().FmtTail({0, 0}).Build(), LoadStatus::Loaded},
        {"Size40Extensible", Mono().FmtTail(Bytes(24, 0x11)).Build(), LoadStatus::Loaded},
        {"OddSizeWithPad", Mono().FmtTail({7}, Pad::Add).Build(), LoadStatus::Loaded},
        {"OddSizeWithoutPad", Mono().FmtTail({7}).Build(), LoadStatus::Loaded},
        {"OddSizeEndingInZeroWithPad", Mono().FmtTail({1, 0, 0}, Pad::Add).Build(),
         LoadStatus::Loaded},
        {"Size15WrapsPastTheEnd", Mono().FmtSize(15).Build(), LoadStatus::NoDataChunk},
        {"Size0WrapsPastTheEnd", Mono().FmtSize(0).Build(), LoadStatus::NoDataChunk},
        {"SizeOfAlmost4GiB", Mono().FmtSize(0xFFFFFFFF).Build(), LoadStatus::NoDataChunk},
    }),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    ChunkSearch, HeaderCheck,
    ::testing::ValuesIn(std::vector<HeaderCase>{
        {"ListSkipped", Mono().Chunk("LIST", Bytes(10, 'x')).Build(), LoadStatus::Loaded},
        {"FactAndListSkipped", Mono().Chunk("fact", {1, 0, 0, 0}).Chunk("LIST", Bytes(26)).Build(),
         LoadStatus::Loaded},
        {"EmptyChunkSkipped", Mono().Chunk("JUNK", {}).Build(), LoadStatus::Loaded},
        {"OddChunkWithPad", Mono().Chunk("LIST", Bytes(3, 'x'), Pad::Add).Build(),
         LoadStatus::Loaded},
        {"OddChunkWithoutPad", Mono().Chunk("LIST", Bytes(3, 'x'), Pad::Omit).Build(),
         LoadStatus::Loaded},
        {"TwoOddChunksWithPads",
         Mono().Chunk("LIST", Bytes(3, 0), Pad::Add).Chunk("JUNK", Bytes(1), Pad::Add).Build(),
         LoadStatus::Loaded},
        {"ChunkRunsPastTheRiffEnd", Mono().Chunk(kListId, 1000, Bytes(10)).Build(),
         LoadStatus::NoDataChunk},
        // The LIST chunk ends at offset 54: at the end of the form, or one byte before it.
        {"ChunkEndsAtTheRiffEnd", Mono().Chunk("LIST", Bytes(10)).RiffSize(46).Build(),
         LoadStatus::NoDataChunk},
        {"ChunkEndsBeforeTheRiffEnd", Mono().Chunk("LIST", Bytes(10)).RiffSize(47).Build(),
         LoadStatus::Loaded},
        // The pad byte ends at offset 48 and counts before the position is tested.
        {"PadByteReachesTheRiffEnd", Mono().Chunk("LIST", Bytes(3), Pad::Add).RiffSize(40).Build(),
         LoadStatus::NoDataChunk},
        {"PadByteStopsBeforeTheRiffEnd",
         Mono().Chunk("LIST", Bytes(3), Pad::Add).RiffSize(41).Build(), LoadStatus::Loaded},
        {"NoChunkAfterFmt", Mono().WithoutDataChunk().Build(), LoadStatus::NoDataChunk},
        {"FileEndsBeforeTheRiffEnd",
         Mono().WithoutDataChunk().Chunk("LIST", Bytes(4)).RiffSize(0xFFFFFF00).Build(),
         LoadStatus::NoDataChunk},
        {"ChunkHeaderCutByTheEnd",
         Mono()
             .WithoutDataChunk()
             .Chunk("LIST", Bytes(4))
             .Trailer({'J', 'U', 'N'})
             .RiffSize(0xFFFFFF00)
             .Build(),
         LoadStatus::NoDataChunk},
        {"SizeOf2To31IsForward",
         Mono().Chunk(WavBuilder::Id("JUNK"), 0x80000000, {}).RiffSize(0xFFFFFFF0).Build(),
         LoadStatus::NoDataChunk},
        {"SizeOf2To32Minus1IsForward",
         Mono().Chunk(WavBuilder::Id("JUNK"), 0xFFFFFFFF, {}).RiffSize(0xFFFFFFF0).Build(),
         LoadStatus::NoDataChunk},
        // A LIST chunk whose body looks like a data chunk, then a JUNK chunk whose size read as
        // a signed number (-20) would lead back to it. Sizes are unsigned: the search goes on.
        {"SizeNeverLeadsBack",
         Mono()
             .WithoutDataChunk()
             .Chunk("LIST", {'d', 'a', 't', 'a', 2, 0, 0, 0, 0xD2, 0x04, 0, 0})
             .Chunk(WavBuilder::Id("JUNK"), 0xFFFFFFEC, {})
             .RiffSize(0xFFFFFFF0)
             .Build(),
         LoadStatus::NoDataChunk},
        // The position is tested only after a skipped chunk: data right after fmt is found
        // even where the RIFF size says the form ended long before.
        {"UnderstatedRiffSizeDataFirst", Mono().RiffSize(4).Build(), LoadStatus::Loaded},
        {"UnderstatedRiffSizeListFirst", Mono().Chunk("LIST", Bytes(2)).RiffSize(4).Build(),
         LoadStatus::NoDataChunk},
        {"RiffSizeWrapsDataFirst", Mono().RiffSize(0xFFFFFFFA).Build(), LoadStatus::Loaded},
        {"RiffSizeWrapsListFirst", Mono().Chunk("LIST", Bytes(2)).RiffSize(0xFFFFFFFA).Build(),
         LoadStatus::NoDataChunk},
    }),
    CaseName);

TEST_F(WaveReaderTest, FmtFieldsAreReadFromTheirOffsets) {
    ASSERT_EQ(Load(WavBuilder()
                       .RiffSize(0x01020304)
                       .FormatTag(1)
                       .Channels(0x0405)
                       .SampleRate(0x0A0B0C0D)
                       .ByteRate(0x11223344)
                       .BlockAlign(0x0607)
                       .BitsPerSample(0x0809)
                       .FmtTail({0, 0})
                       .Data(Bytes(0x0607 * 3 + 5))),
              LoadStatus::Loaded);
    EXPECT_EQ(m_record.riffId, 0x46464952u);
    EXPECT_EQ(m_record.fileLength, 0x0102030Cu);
    EXPECT_EQ(m_record.waveId, 0x45564157u);
    EXPECT_EQ(m_record.fmtId, 0x20746D66u);
    EXPECT_EQ(m_record.fmtSize, 18u);
    EXPECT_EQ(m_record.formatTag, 1);
    EXPECT_EQ(m_record.channels, 0x0405);
    EXPECT_EQ(m_record.sampleRate, 0x0A0B0C0Du);
    EXPECT_EQ(m_record.byteRate, 0x11223344u);
    EXPECT_EQ(m_record.blockAlign, 0x0607);
    EXPECT_EQ(m_record.bitsPerSample, 0x0809);
    EXPECT_EQ(m_record.dataSize, 0x0607u * 3 + 5);
    EXPECT_EQ(m_record.bytesPerSample, 0x0809 >> 3);
    EXPECT_EQ(m_record.frameCount, 3u) << "dataSize / blockAlign, rounded down";
}

TEST_F(WaveReaderTest, FileLengthIsTheRiffSizePlus8Modulo2To32) {
    ASSERT_EQ(Load(Mono().RiffSize(0xFFFFFFFC)), LoadStatus::Loaded);
    EXPECT_EQ(m_record.fileLength, 4u);
    ASSERT_EQ(Load(Mono()), LoadStatus::Loaded);
    EXPECT_EQ(m_record.fileLength, 46u) << "the size of the file";
}

// A header whose samples are converted to 16-bit values keeps its own fields; the
// sample width becomes the bytes each channel takes in a frame.
TEST_F(WaveReaderTest, AConvertedFileKeepsItsHeaderAndReadsItsContainer) {
    ASSERT_EQ(Load(WavBuilder().FormatTag(3).Format(4, 64).Data(Bytes(64))), LoadStatus::Loaded);
    EXPECT_EQ(m_record.formatTag, 3);
    EXPECT_EQ(m_record.channels, 4);
    EXPECT_EQ(m_record.bitsPerSample, 64);
    EXPECT_EQ(m_record.bytesPerSample, 8);
    EXPECT_EQ(m_record.frameCount, 2u);
    EXPECT_EQ(m_record.plotBits, 16);
}

// A file cut anywhere in its header: an identifier or field that cannot be read whole is
// 0, so a cut before "fmt " is not a wave file and a cut before "data" finds no data
// chunk. A cut inside the data size still reaches the data chunk: its size reads as 0.
TEST_F(WaveReaderTest, AHeaderCutShortIsRejectedUntilTheDataIdIsWhole) {
    const WavBuilder stereo = WavBuilder().Format(2, 16).Samples16({100, 200, 300, 400});
    const struct {
        std::size_t from, to; // cut lengths, to exclusive
        LoadStatus status;
        std::uint32_t dataSize, frameCount;
    } ranges[] = {
        {0, 16, LoadStatus::NotRiffWave, 0, 0},
        {16, 40, LoadStatus::NoDataChunk, 0, 0},
        {40, 44, LoadStatus::Loaded, 0, 0},
        {44, 45, LoadStatus::Loaded, 8, 2},
    };
    for (const auto& range : ranges) {
        for (std::size_t cut = range.from; cut < range.to; ++cut) {
            SCOPED_TRACE("cut to " + std::to_string(cut) + " bytes");
            WaveRecord record;
            const std::string path = Write(WavBuilder(stereo).TruncateTo(cut));
            ASSERT_EQ(LoadWaveFileExplained(record, path).status, range.status);
            EXPECT_EQ(record.dataSize, range.dataSize);
            EXPECT_EQ(record.frameCount, range.frameCount);
            EXPECT_EQ(record.left.size(), range.frameCount);
            EXPECT_EQ(record.peak, 0);
        }
    }
}

} // namespace
