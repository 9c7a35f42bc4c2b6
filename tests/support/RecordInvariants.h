#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

// Checks shared by the fuzzer and the fuzz regression test: what must hold of a record
// after any load, successful or not, whatever the file's bytes were.

// Everything a rejected load must leave as it was: every field, the identity and size of
// both arrays and, up to a window, their contents.
struct RecordSnapshot {
    WaveRecord fields; // the scalar fields and path; its arrays stay empty
    const std::int16_t* leftData{};
    const std::int16_t* rightData{};
    std::size_t leftSize{}, rightSize{};
    std::vector<std::int16_t> leftWindow, rightWindow; // first elements, and the last
};

// How many elements of an array a check reads, so that a header claiming 2^32 - 1 frames
// is never scanned in full.
inline constexpr std::size_t kCheckedElements = std::size_t{1} << 16;

RecordSnapshot TakeSnapshot(const WaveRecord& record);

// Empty when record matches snapshot, else the first difference.
std::string DescribeChange(const WaveRecord& record, const RecordSnapshot& snapshot);

// The invariants of a successful load that hold whatever the file: both arrays hold
// frameCount elements, peak is at least 0 and no element (of those checked) is above it,
// the arrays are flagged as allocated and path is the path loaded. Empty when they hold.
std::string DescribeBrokenInvariant(const WaveRecord& record, const std::string& path);

// The file every checked load is made over, so that a rejection is compared against a
// record holding real samples: a short 16-bit stereo file.
std::vector<std::uint8_t> EarlierFileBytes();

// Compares a record made by LoadWaveFileStrided(strided, path, columns) with one made by a
// full load of the same file: every header field, the peaks, the path and the array sizes
// are equal, the frames a plot of columns columns reads hold the full load's samples, and
// every other element is 0 (checked over the first kCheckedElements of each array and at
// every kept frame). Empty when they agree, else the first difference.
std::string DescribeStridedDifference(const WaveRecord& strided, const WaveRecord& full,
                                      std::uint32_t columns);

// Loads path once more, read by threads from an open descriptor with the kept frames at
// their columns (KeptFramePlace::Column), as the reader program loads, and compares what
// it kept with strided, the loaded record of the strided load that keeps them at their
// frames. Empty when they agree, else the first difference.
std::string DescribeKeptInColumnsDifference(const WaveRecord& strided, const std::string& path,
                                            SampleThreads threads);

// Loads the file at path, whose contents are bytes, into record with LoadWaveFileExplained
// and checks the outcome against the reference decoder: the same acceptance (and for a
// rejection the same status and format code), on success
// every field and the samples the file supplies (and zeros after them), the invariants
// above, and on rejection a record left exactly as it was. Then loads it again with
// LoadWaveFileStrided for the waveform plot's columns, which must give the same outcome
// and, on success, agree with the full load. Both loads are read by threads. Empty when
// all hold, else what went wrong.
std::string CheckLoad(WaveRecord& record, const std::string& path,
                      const std::vector<std::uint8_t>& bytes,
                      SampleThreads threads = SampleThreads::Automatic);
