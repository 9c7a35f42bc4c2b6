// Loading a wave file into a WaveRecord.
//
// A load runs in this order. It opens the path (non-blocking, so that a FIFO cannot hold
// it up), or takes a file its caller opened, and accepts only a regular file. It parses
// the header into a staging record, never into the caller's: "RIFF" and "WAVE", chunk
// after chunk up to the fmt chunk, then chunk after chunk up to "data", and how the format
// has its samples read, if at all (WaveHeaderParser.cpp). It allocates the scratch buffers
// and the two sample arrays. Until here any failure leaves the caller's record exactly as
// it was, and the outcome says which check failed and at which byte of the file. Then the
// samples are read from the data chunk, block by block, of three or more channels only the
// first two (SampleBlockReader.h), decoded by their coding and width into 16-bit values
// (SampleDecoders.h), into a sink (SampleSinks.h) that deals them to left and right and
// raises the peaks. A short file ends the data where it ends.
//
// There are two loads (LoadKinds.h). The full load keeps every sample: it commits the
// staging record before it reads them, and from then on nothing can fail, a read error
// too ends the data. The strided load reads every sample too, for the peaks, but keeps
// only the frames that a plot of a given number of columns reads, so that its memory does
// not grow with the file. It fills the staging record, which is committed only once the
// last sample has been read: a read error the system reports rejects the file, at the byte
// where it happened. It also comes with a LoadProgress, for wave/BackgroundLoad, which runs
// it on a thread of its own: it counts the bytes read and stops when cancelled, and a
// cancelled load changes nothing.
//
// The header is read on the calling thread. The samples of a file large enough to gain
// (and of any file when asked) are read by two threads, the calling thread the first half
// and a second thread the second half, each with its own scratch buffer and sink; the
// second thread has ended before the load returns.

#include "wave/WaveFileReader.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <utility>

#include "wave/FileDescriptor.h"
#include "wave/LoadKinds.h"
#include "wave/SampleBlockReader.h"
#include "wave/WaveHeaderParser.h"

namespace wave_reader {
namespace {

int OpenForLoad(const std::string& path);
template <typename Kind>
LoadOutcome LoadSamples(WaveRecord& record, int descriptor, const std::string& path,
                        SampleThreads threads, const Kind& kind, LoadProgress* progress = nullptr);

} // namespace
} // namespace wave_reader

using wave_reader::OpenForLoad;

LoadOutcome LoadWaveFileExplained(WaveRecord& record, const std::string& path,
                                  SampleThreads threads) {
    return wave_reader::LoadSamples(record, OpenForLoad(path), path, threads,
                                    wave_reader::FullLoad{});
}

int LoadWaveFile(WaveRecord& record, const std::string& path) {
    return LoadWaveFileExplained(record, path).status == LoadStatus::Loaded ? 0 : 1;
}

LoadOutcome LoadWaveFileStrided(WaveRecord& record, const std::string& path, std::uint32_t columns,
                                SampleThreads threads) {
    return wave_reader::LoadSamples(record, OpenForLoad(path), path, threads,
                                    wave_reader::StridedLoad{columns});
}

LoadOutcome LoadWaveFileStrided(WaveRecord& record, const std::string& path, std::uint32_t columns,
                                SampleThreads threads, LoadProgress& progress) {
    return LoadWaveFileStrided(record, OpenForLoad(path), path, columns, threads, progress,
                               KeptFramePlace::Frame);
}

LoadOutcome LoadWaveFileStrided(WaveRecord& record, int descriptor, const std::string& path,
                                std::uint32_t columns, SampleThreads threads,
                                LoadProgress& progress, KeptFramePlace place) {
    return wave_reader::LoadSamples(record, descriptor, path, threads,
                                    wave_reader::StridedLoad{columns, place}, &progress);
}

int PercentRead(std::uint64_t read, std::uint64_t total, bool ended) {
    if (total == 0) {
        return ended ? 100 : 0;
    }
    const double percent = 100.0 * static_cast<double>(read) / static_cast<double>(total);
    return percent < 100.0 ? static_cast<int>(percent) : 100;
}

const char* DescribeLoadStatus(LoadStatus status) {
    // One text per status, in the order of LoadStatus.
    static constexpr const char* kDescriptions[] = {
        "loaded",
        "cannot open the file",
        "not a regular file",
        "not a RIFF/WAVE file",
        "block align is 0",
        "no data chunk",
        "compressed or unknown format",
        "cannot allocate memory for the samples",
        "read error",
        "cancelled",
        "the reader process failed",
    };
    static_assert(std::size(kDescriptions) ==
                  static_cast<std::size_t>(LoadStatus::ReaderFailed) + 1);
    const auto index = static_cast<std::size_t>(status);
    return index < std::size(kDescriptions) ? kDescriptions[index] : "unknown status";
}

const char* DescribeFormatCode(std::uint16_t formatCode) {
    // The codes that wave files met in practice carry.
    static constexpr struct {
        std::uint16_t code;
        const char* name;
    } kNames[] = {
        {0x0001, "PCM"},      {0x0002, "MS ADPCM"}, {0x0003, "IEEE float"},
        {0x0006, "A-law"},    {0x0007, "mu-law"},   {0x0011, "IMA ADPCM"},
        {0x0031, "GSM 6.10"}, {0x0050, "MPEG"},     {0x0055, "MPEG layer 3"},
        {0x0092, "AC-3"},     {0x2000, "AC-3"},     {0xFFFE, "extensible"},
    };
    for (const auto& entry : kNames) {
        if (entry.code == formatCode) {
            return entry.name;
        }
    }
    return nullptr;
}

namespace wave_reader {
namespace {

// Opens path for a load: O_NONBLOCK so that opening a FIFO with no writer returns at once;
// it is rejected as not a regular file. -1 with errno set when it cannot be opened.
int OpenForLoad(const std::string& path) {
    return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

// A file opened for a load, and its header parsed into a staging record: what both loads
// do before they allocate.
struct ParsedFile {
    explicit ParsedFile(int descriptor) : file(descriptor) {}

    FileDescriptor file;
    WaveRecord staging;
    std::uint64_t dataOffset{};    // where the data chunk's body starts, in bytes
    SampleLayout layout;           // how the samples lie there and decode
    std::uint64_t samplesInFile{}; // whole samples there, as large as the file was opened
    std::uint64_t bytesToRead{};   // the bytes of those and of a last, partial sample
};

LoadOutcome ParseOpenedFile(ParsedFile& parsed);
void Commit(WaveRecord& record, WaveRecord& staging, std::string& path) noexcept;

// The load, either kind: the header into a staging record, the scratch buffers and the
// arrays, then the samples read the way kind takes them. A rejection or a refused
// allocation leaves record as it was. The full load commits the record before the first
// sample is read, so that the old arrays are gone before the new ones fill, and a read
// error ends its data. The strided load, whose arrays cost a page per kept frame, fills
// the staging record, which is committed only when no read failed and the load was not
// cancelled: a disk that reports an error is not drawn as silence.
template <typename Kind>
LoadOutcome LoadSamples(WaveRecord& record, int descriptor, const std::string& path,
                        SampleThreads threads, const Kind& kind, LoadProgress* progress) {
    // Nothing between the open and the check below touches errno, which says why a file
    // could not be opened.
    ParsedFile parsed(descriptor);
    if (const LoadOutcome outcome = ParseOpenedFile(parsed); outcome.status != LoadStatus::Loaded) {
        return outcome;
    }
    WaveRecord& staging = parsed.staging;
    std::uint64_t split = SplitPoint(parsed.layout, parsed.samplesInFile, threads);
    ScratchBuffers scratch(split);
    std::string newPath = path;
    if (!scratch.Allocated() || !AllocateSampleBuffers(staging, staging.frameCount)) {
        return {LoadStatus::CannotAllocate, 0};
    }
    const SampleSource source{parsed.file, parsed.dataOffset, parsed.layout, kind.blockBytes,
                              progress};
    if (!Kind::kStaged) {
        Commit(record, staging, newPath);
        ReadSamples(source, split, parsed.samplesInFile, scratch, kind, record);
        return {LoadStatus::Loaded, 0};
    }
    if (progress != nullptr) {
        progress->Start(parsed.bytesToRead);
    }
    const RangeEnd end = ReadSamples(source, split, parsed.samplesInFile, scratch, kind, staging);
    if (progress != nullptr && progress->Cancelled()) {
        return {LoadStatus::Cancelled, 0};
    }
    if (end.errorNumber != 0) {
        return {LoadStatus::ReadError, end.errorNumber, end.errorOffset};
    }
    Commit(record, staging, newPath);
    return {LoadStatus::Loaded, 0};
}

// Checks that the opened file is a regular file and parses its header; Loaded when the
// data chunk was found. Then works out how much of the data the file holds: a data
// chunk's size is a claim that the file need not back.
LoadOutcome ParseOpenedFile(ParsedFile& parsed) {
    if (parsed.file.Get() < 0) {
        return {LoadStatus::CannotOpen, errno};
    }
    struct stat status {};
    if (fstat(parsed.file.Get(), &status) != 0) {
        return {LoadStatus::ReadError, errno};
    }
    if (!S_ISREG(status.st_mode)) {
        return {LoadStatus::NotRegularFile, 0};
    }
    const auto fileSize = static_cast<std::uint64_t>(status.st_size);
    const ParsedHeader header = ParseWaveHeader(parsed.file, fileSize, parsed.staging);
    const WaveRecord& staging = parsed.staging;
    parsed.dataOffset = header.dataOffset;
    parsed.layout = header.layout;
    const std::uint64_t held = fileSize > header.dataOffset ? fileSize - header.dataOffset : 0;
    const std::uint64_t claimed = SamplesToRead(staging);
    parsed.samplesInFile = std::min(header.layout.SamplesWithin(held), claimed);
    parsed.bytesToRead = std::min(held, header.layout.BytesOf(claimed));
    return header.outcome;
}

// Moves the staged header, arrays and peaks into record, with the path, and releases the
// old arrays; loaded stays as it was. Nothing here can fail, so the record is either
// untouched or holds the new file whole.
void Commit(WaveRecord& record, WaveRecord& staging, std::string& path) noexcept {
    staging.buffersAllocated = 1;
    staging.path.swap(path);
    staging.loaded = record.loaded;
    record = std::move(staging);
}

} // namespace
} // namespace wave_reader
