#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The shape of a plain 44-byte-header PCM wave file made for measurements.
struct BenchFileShape {
    std::uint16_t channels{};
    std::uint16_t bitsPerSample{};
    std::uint32_t dataBytes{}; // body of the data chunk
};

// Writes a PCM wave file of the given shape whose samples are pseudo-random (the same for
// the same seed), through a temporary name so that an interrupted run leaves no partial
// file behind. Returns false if the file cannot be written.
bool WriteBenchWaveFile(const std::string& path, const BenchFileShape& shape, std::uint64_t seed);

// The same, unless a file of exactly the right size already exists at path: the large
// files take seconds to write and are kept between runs.
bool EnsureBenchWaveFile(const std::string& path, const BenchFileShape& shape, std::uint64_t seed);

// The two large files the speed and peak-memory measurements read: 1 GiB of 16-bit
// stereo data and 256 MiB of 8-bit mono data (whose left array alone is 512 MiB).
struct LargeBenchFile {
    const char* label; // also the file's name without ".wav"
    BenchFileShape shape;
};
inline constexpr LargeBenchFile kLargeBenchFiles[] = {
    {"stereo16", {2, 16, 1u << 30}},
    {"mono8", {1, 8, 1u << 28}},
};
// The largest data chunk a wave file can hold: 4 GiB less 4 bytes of 16-bit stereo, for the
// programs that keep only what they draw.
inline constexpr LargeBenchFile kFourGiBBenchFile{"stereo16-4gib", {2, 16, 0xFFFFFFFCu}};

// The path of a large file in folder, written there first if it is missing.
std::string LargeBenchFilePath(const std::string& folder, const LargeBenchFile& file);
bool EnsureLargeBenchFile(const std::string& folder, const LargeBenchFile& file);

// What a reader-process measurement compares: a copy of program in folder/in-process/bin,
// where no reader program lies beside it, so that it reads files in its own process; and
// the files it reads, the 1 GiB one and one second of CD sound.
struct InProcessComparison {
    std::string copy;      // the copy's path, empty when something could not be prepared
    std::string large;     // the 1 GiB file
    std::string oneSecond; // one second of 16-bit stereo at 44.1 kHz (176 kB)
};
InProcessComparison PrepareInProcessComparison(const std::string& folder,
                                               const std::string& program);

// A file of that comparison and how often it is measured: the large file with runs pairs of
// runs, compared as a ratio; the small one, whose difference is compared in milliseconds
// and is small against the noise, with 4 * runs + 1.
struct ComparedFile {
    const char* label;
    std::string path;
    bool large;
    int repetitions;
};
std::vector<ComparedFile> ComparedFiles(const InProcessComparison& comparison, int runs);

// Size of the file at path in bytes, or 0 if it does not exist.
std::uint64_t FileBytes(const std::string& path);

// Reads the whole file once so that the measurements read it from the page cache.
void WarmPageCache(const std::string& path);

// Where the measurement files live when the command line names no folder: in the build
// tree, never in the repository.
std::string DefaultBenchDataFolder();

// The process's resident set (VmRSS) and its high-water mark (VmHWM), in bytes.
std::size_t ResidentBytes();
std::size_t PeakResidentBytes();

// The load averages over 1, 5 and 15 minutes ("0.41 1.65 2.04"), to say how busy the
// machine was around a measurement.
std::string LoadAverage();

// The transparent huge page mode, as the kernel reports it ("always [madvise] never").
std::string TransparentHugePageMode();
