#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "wave/WaveRecord.h"

// Why a load ended the way it did (DescribeLoadStatus lists a text per status, in this order).
enum class LoadStatus {
    Loaded,            // the record holds the file
    CannotOpen,        // open(2) failed; errorNumber says why
    NotRegularFile,    // a directory, FIFO, socket or device
    NotRiffWave,       // the "RIFF", "WAVE" or "fmt " identifier is missing
    ZeroBlockAlign,    // the fmt chunk gives 0 bytes per frame, so no frame count exists
    NoDataChunk,       // no "data" chunk before the end of the RIFF form or of the file
    UnsupportedFormat, // a compressed or unknown format; formatCode names it
    CannotAllocate,    // the system refused memory for the sample arrays
    ReadError,         // a read the system failed: the header's, or a strided load's samples
    Cancelled,         // another thread cancelled the load through its LoadProgress
    ReaderFailed,      // the reader process ended without a whole, well-formed answer
};

// The outcome of a load: its status, and for a failed check what failed and where.
struct LoadOutcome {
    LoadStatus status{LoadStatus::Loaded};
    int errorNumber{}; // errno for CannotOpen and ReadError, else 0
    // The byte offset in the file where the check failed: for NotRiffWave that of the
    // identifier that is wrong, of a data chunk before the fmt chunk, or where the search
    // for the fmt chunk ended (at the latest the end of the file); for ZeroBlockAlign that
    // of the blockAlign field; for NoDataChunk where the search for it ended; for
    // UnsupportedFormat that of the field that names the format (formatTag, or an
    // extensible file's SubFormat); for ReadError where the failed read started (0 when
    // fstat failed; with two threads reading samples, the lowest); 0 for every other
    // status.
    std::uint64_t offset{};
    // For UnsupportedFormat: the format code the file names (its formatTag, or for an
    // extensible file the first two bytes of its SubFormat GUID); else 0.
    std::uint16_t formatCode{};
};

// How many threads read the samples of a load. Whatever the choice, the record ends up
// the same, and every thread has ended before the load returns.
enum class SampleThreads {
    Automatic, // two for a file large enough to gain, when the process may use two CPUs
    One,       // the calling thread alone
    Two,       // the calling thread and one more whenever there are samples to share
};

// Loads the wave file at path into record. On success the header fields, both sample
// arrays, the peak and path hold the new file; on any rejection the record is exactly as
// it was before the call. loaded is never touched. The record is committed before the
// samples are read, so the end of the file and a read error alike end the data there,
// and the elements after it read 0.
LoadOutcome LoadWaveFileExplained(WaveRecord& record, const std::string& path,
                                  SampleThreads threads = SampleThreads::Automatic);

// The same, reduced to 0 (loaded) or 1 (rejected).
int LoadWaveFile(WaveRecord& record, const std::string& path);

// Loads the wave file at path like LoadWaveFileExplained, with the same header checks and
// outcomes, but keeps of its samples only what a plot of columns columns reads: one frame
// per column, frame column * (frameCount / columns) for column 0 to columns - 1. The data
// is read once, front to back (by two threads, each its half, as threads and the file's
// size decide, as for a full load), and never held whole: peak and peakRight are those of
// every sample, as a full load gives them; the arrays still hold frameCount elements
// each, but only the kept frames are written, and the elements that are never written
// read as 0 and cost no memory. The record is untouched until the last sample has been
// read: an error the system reports while the samples are read (EIO, not the end of the
// file, which ends the data as for a full load) rejects the file with ReadError.
LoadOutcome LoadWaveFileStrided(WaveRecord& record, const std::string& path, std::uint32_t columns,
                                SampleThreads threads = SampleThreads::Automatic);

// Lets another thread follow a load and stop it. The load counts the bytes of sample data
// it has read against those it will read, and stops before its next block once cancelled.
class LoadProgress {
public:
    // Any thread, any time: the load ends with Cancelled as soon as it sees it.
    void Cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
    bool Cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }

    // Bytes of sample data read so far, and the bytes the load will read (0 until the
    // header has been read).
    std::uint64_t BytesRead() const { return m_bytesRead.load(std::memory_order_relaxed); }
    std::uint64_t BytesToRead() const { return m_bytesToRead.load(std::memory_order_relaxed); }

    // Called by the load as it goes.
    void Start(std::uint64_t bytesToRead) {
        m_bytesToRead.store(bytesToRead, std::memory_order_relaxed);
    }
    void Add(std::uint64_t bytes) { m_bytesRead.fetch_add(bytes, std::memory_order_relaxed); }

private:
    std::atomic<bool> m_cancelled{false};
    std::atomic<std::uint64_t> m_bytesRead{0};
    std::atomic<std::uint64_t> m_bytesToRead{0};
};

// read bytes of total in whole per cent (0 to 100); before total is known, 0, or 100 once
// the load has ended.
int PercentRead(std::uint64_t read, std::uint64_t total, bool ended);

// The strided load for a caller on another thread: the same, reporting through progress
// and stopping with Cancelled when it is cancelled. The record is untouched until the
// load has read its last sample: it then holds the new file whole, and after a rejection
// or a cancel it is exactly as before.
LoadOutcome LoadWaveFileStrided(WaveRecord& record, const std::string& path, std::uint32_t columns,
                                SampleThreads threads, LoadProgress& progress);

// Where a strided load writes the frames it keeps into the record's arrays.
enum class KeptFramePlace {
    Frame,  // at the frame's own elements, where a plot reads them
    Column, // at the column's elements (the frame of column 0 at element 0, and so on): a
            // caller that only copies them out touches a page or two, not a page per frame
};

// The same for a file that the caller has opened for reading already, as descriptor, which
// the load takes over and closes; path is only what the record's path becomes. For a process
// that opens its input and then gives up the right to open any file (tools/voq006-reader).
LoadOutcome LoadWaveFileStrided(WaveRecord& record, int descriptor, const std::string& path,
                                std::uint32_t columns, SampleThreads threads,
                                LoadProgress& progress, KeptFramePlace place);

// A short English description of a status, for command-line tools ("not a RIFF/WAVE file").
const char* DescribeLoadStatus(LoadStatus status);

// The common name of a wave format code ("IMA ADPCM" for 0x0011), or nullptr for a code
// without one here.
const char* DescribeFormatCode(std::uint16_t formatCode);
