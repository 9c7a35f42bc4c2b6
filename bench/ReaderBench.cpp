// Measures how fast LoadWaveFile reads two large files from the page cache, beside the
// floors of this machine (reading the file, faulting in the arrays, both, and reading
// while writing every byte of the arrays; on one thread and on two), the load on one
// thread, libsndfile (the library a user would reach for) and a plain memcpy of the bytes
// the load writes; then one thread against two for small files, where the load starts
// sharing its work. Prints the ratios and their targets.
//
//   reader_bench [--repetitions=N] [--only=TEXT] [FOLDER]
//
// Each repetition is one timed run. The first is shown apart (cold); the minimum, median
// and maximum are those of the others, and the ratios compare medians. --only runs the
// measurements whose name contains TEXT. Exits 0 when it measured, whatever the ratios
// (a missed target prints MISSED); 1 when something could not run, a timed load that
// failed included.

#include <fcntl.h>
#include <sched.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchFiles.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kPageBytes = 4096;
constexpr std::size_t kReadBlockBytes = std::size_t{1} << 20;

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "reader_bench: %s; nothing more is measured\n", why.c_str());
    std::exit(1);
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct BenchFile {
    std::string label;
    BenchFileShape shape;
    std::string path;
    std::uint64_t fileBytes{};
    std::uint32_t frameCount{};
    std::uint64_t arrayBytesWritten{}; // what a load writes: left, and right when stereo
};

BenchFile MakeBenchFile(std::string label, std::string path, const BenchFileShape& shape) {
    BenchFile file{std::move(label), shape, std::move(path)};
    file.fileBytes = 44 + std::uint64_t{shape.dataBytes};
    const std::uint32_t blockAlign = shape.channels * (shape.bitsPerSample / 8u);
    file.frameCount = shape.dataBytes / blockAlign;
    file.arrayBytesWritten = std::uint64_t{file.frameCount} * sizeof(std::int16_t) *
                             std::min<std::uint16_t>(shape.channels, 2);
    if (!EnsureBenchWaveFile(file.path, shape, shape.dataBytes)) {
        Fail("cannot write " + file.path);
    }
    WarmPageCache(file.path);
    return file;
}

// Fresh memory for bytes of samples, mapped and asked to be backed by huge pages exactly
// as the reader's arrays are; unmapped when it goes.
SampleArray FreshArrays(std::size_t bytes) {
    std::optional<SampleArray> arrays = SampleArray::Allocate(bytes / sizeof(std::int16_t));
    if (!arrays) {
        Fail("cannot map " + std::to_string(bytes) + " bytes");
    }
    arrays->PrepareForWriting(arrays->size(), SampleArray::Faulting::OnFirstWrite);
    return std::move(*arrays);
}

// The bytes of arrays, for touching and writing.
char* BytesOf(SampleArray& arrays) {
    return reinterpret_cast<char*>(arrays.data());
}

// Writes one byte per page, which faults the page in and has the kernel zero it.
void TouchPages(char* data, std::size_t bytes) {
    for (std::size_t at = 0; at < bytes; at += kPageBytes) {
        static_cast<volatile char*>(data)[at] = 1;
    }
}

// On this kind of virtual machine memory left unused for a few seconds goes back to the
// host and costs about ten times more to fault in again. Touching and freeing as much
// memory as a run is about to use, right before it, makes the figures compare the code
// rather than the host.
void UseFreshMemory(std::size_t bytes) {
    SampleArray memory = FreshArrays(bytes);
    TouchPages(BytesOf(memory), bytes);
}

// A timed load fails the whole run unless it loaded the file whole: a rejection, a wrong
// frame count, or a second thread that wrote nothing at the end of the arrays (the files
// hold pseudo-random samples, so the last elements are not all zero).
void CheckLoaded(const WaveRecord& record, const LoadOutcome& outcome, const BenchFile& file) {
    if (outcome.status != LoadStatus::Loaded) {
        Fail("the load of " + file.path + " failed: " + DescribeLoadStatus(outcome.status));
    }
    const std::size_t tail = std::min<std::size_t>(64, record.frameCount);
    const bool tailWritten = std::any_of(record.left.end() - static_cast<std::ptrdiff_t>(tail),
                                         record.left.end(), [](std::int16_t v) { return v != 0; });
    if (record.frameCount != file.frameCount || record.peak <= 0 || !tailWritten) {
        Fail("the load of " + file.path + " did not read the whole file");
    }
}

double TimeLoad(const BenchFile& file, SampleThreads threads) {
    WaveRecord record;
    const Clock::time_point start = Clock::now();
    const LoadOutcome outcome = LoadWaveFileExplained(record, file.path, threads);
    const double seconds = SecondsSince(start);
    CheckLoaded(record, outcome, file);
    return seconds; // releasing the arrays is not part of a load into a fresh record
}

// The floors: what any load of the file must at least do on this machine.
enum class Floor {
    Read,  // pread(2) of the whole file in 1 MiB blocks into one reused buffer
    Fault, // fresh arrays of the load's size, one byte written per page
    Both,  // each thread reads its part of the file, then faults its part of the arrays
    Write, // each thread reads its part block by block and after each block writes every
           // byte of its share of the arrays: all the memory a load moves, without decoding
};

// One thread's share of a floor: bytes [from, to) of the file and arrayBytes of the
// arrays from arrays on. False when a read failed or the file ended early.
bool FloorPart(Floor floor, int descriptor, std::uint64_t from, std::uint64_t to, char* arrays,
               std::size_t arrayBytes) {
    if (floor != Floor::Fault) {
        std::vector<char> block(kReadBlockBytes);
        const std::uint64_t partBytes = to - from;
        std::size_t written = 0;
        for (std::uint64_t at = from; at < to;) {
            const std::size_t ask =
                static_cast<std::size_t>(std::min<std::uint64_t>(to - at, block.size()));
            const ssize_t got = pread(descriptor, block.data(), ask, static_cast<off_t>(at));
            if (got <= 0) {
                return false;
            }
            at += static_cast<std::uint64_t>(got);
            if (floor == Floor::Write) { // the arrays' share of what has been read
                const auto upTo = static_cast<std::size_t>(arrayBytes * (at - from) / partBytes);
                std::memset(arrays + written, 0x5A, upTo - written);
                written = upTo;
            }
        }
    }
    if (floor == Floor::Fault || floor == Floor::Both) {
        TouchPages(arrays, arrayBytes);
    }
    return true;
}

// With two threads, each takes half of the file and half of the arrays.
double TimeFloor(const BenchFile& file, Floor floor, int threads) {
    const Clock::time_point start = Clock::now();
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> opened(
        std::fopen(file.path.c_str(), "rb"), &std::fclose);
    const int descriptor = opened ? fileno(opened.get()) : -1;
    const std::size_t arrayBytes = floor == Floor::Read ? 0 : file.arrayBytesWritten;
    SampleArray arrays = FreshArrays(arrayBytes);
    const auto part = [&](int index) {
        const std::uint64_t from = file.fileBytes * index / threads;
        const std::uint64_t to = file.fileBytes * (index + 1) / threads;
        const std::size_t first = arrayBytes * index / threads;
        const std::size_t last = arrayBytes * (index + 1) / threads;
        return FloorPart(floor, descriptor, from, to, BytesOf(arrays) + first, last - first);
    };
    bool secondRead = true;
    std::thread second;
    if (threads == 2) {
        second = std::thread([&] { secondRead = part(1); });
    }
    const bool firstRead = descriptor >= 0 && part(0);
    if (second.joinable()) {
        second.join();
    }
    const double seconds = SecondsSince(start);
    if (!firstRead || !secondRead) {
        Fail("the floor could not read " + file.path);
    }
    return seconds;
}

enum class ArrayKind { Calloc, SampleArrays };

// sf_readf_short in chunks, then the de-interleave and peak a user would write. For 8-bit
// files libsndfile scales samples to 16 bits; shifting back gives the values the reader
// stores, so both produce the same arrays. Returns the frames read.
std::size_t ReadAllWithSndfile(SNDFILE* sound, const SF_INFO& info, std::int16_t* left,
                               std::int16_t* right, int shift, std::int16_t& peak) {
    constexpr sf_count_t kChunkFrames = 1 << 16;
    const int channels = info.channels;
    std::vector<short> chunk(static_cast<std::size_t>(kChunkFrames) * channels);
    std::int16_t peakLeft = 0;
    std::int16_t peakRight = 0;
    std::size_t at = 0;
    sf_count_t got = 0;
    while ((got = sf_readf_short(sound, chunk.data(), kChunkFrames)) > 0) {
        const auto frames = static_cast<std::size_t>(got);
        if (channels == 1) {
            for (std::size_t i = 0; i < frames; ++i) {
                const auto value = static_cast<std::int16_t>(chunk[i] >> shift);
                left[at + i] = value;
                peakLeft = std::max(peakLeft, value);
            }
        } else {
            for (std::size_t i = 0; i < frames; ++i) {
                const auto l = static_cast<std::int16_t>(chunk[2 * i] >> shift);
                const auto r = static_cast<std::int16_t>(chunk[2 * i + 1] >> shift);
                left[at + i] = l;
                right[at + i] = r;
                peakLeft = std::max(peakLeft, l);
                peakRight = std::max(peakRight, r);
            }
        }
        at += frames;
    }
    peak = std::max(peakLeft, peakRight);
    return at;
}

// The same libsndfile loop, into calloc'd buffers or into arrays allocated and prepared
// the way the reader's are (which isolates decoding from page faults).
double TimeSndfile(const BenchFile& file, ArrayKind kind) {
    using Buffer = std::unique_ptr<std::int16_t, void (*)(void*)>;
    const int shift = file.shape.bitsPerSample == 8 ? 8 : 0;
    const Clock::time_point start = Clock::now();
    SF_INFO info{};
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> sound(sf_open(file.path.c_str(), SFM_READ, &info),
                                                      &sf_close);
    if (!sound || info.channels < 1 || info.channels > 2) {
        Fail("libsndfile cannot read " + file.path);
    }
    const auto frames = static_cast<std::size_t>(info.frames);
    Buffer leftBuffer(nullptr, &std::free), rightBuffer(nullptr, &std::free);
    std::optional<SampleArray> leftArray, rightArray;
    std::int16_t* left = nullptr;
    std::int16_t* right = nullptr;
    if (kind == ArrayKind::Calloc) {
        leftBuffer.reset(static_cast<std::int16_t*>(std::calloc(frames, sizeof(std::int16_t))));
        rightBuffer.reset(static_cast<std::int16_t*>(std::calloc(frames, sizeof(std::int16_t))));
        left = leftBuffer.get();
        right = rightBuffer.get();
    } else {
        leftArray = SampleArray::Allocate(frames);
        rightArray = SampleArray::Allocate(frames);
        if (leftArray && rightArray) {
            leftArray->PrepareForWriting(frames);
            if (info.channels == 2) {
                rightArray->PrepareForWriting(frames);
            }
            left = leftArray->data();
            right = rightArray->data();
        }
    }
    if (left == nullptr || right == nullptr) {
        Fail("cannot allocate the arrays for libsndfile");
    }
    std::int16_t peak = 0;
    const std::size_t read = ReadAllWithSndfile(sound.get(), info, left, right, shift, peak);
    sound.reset();
    const double seconds = SecondsSince(start);
    if (read != file.frameCount || peak <= 0) {
        Fail("libsndfile did not read the whole of " + file.path);
    }
    return seconds;
}

// The physical limit: copy as many bytes as the load writes into the arrays, between
// buffers that are already faulted in.
double TimeCopy(const BenchFile& file) {
    const std::size_t count = file.arrayBytesWritten / sizeof(std::int16_t);
    auto source = SampleArray::Allocate(count);
    auto target = SampleArray::Allocate(count);
    if (!source || !target) {
        Fail("cannot allocate the buffers for memcpy");
    }
    source->PrepareForWriting(count);
    target->PrepareForWriting(count);
    std::memset(source->data(), 0x5A, file.arrayBytesWritten);
    std::memset(target->data(), 0xA5, file.arrayBytesWritten);
    const Clock::time_point start = Clock::now();
    std::memcpy(target->data(), source->data(), file.arrayBytesWritten);
    const double seconds = SecondsSince(start);
    if ((*target)[count - 1] != (*source)[count - 1]) {
        Fail("memcpy did not copy");
    }
    return seconds;
}

// One thing timed, once per repetition, right after fresh memory of its arrays' size.
struct Measurement {
    std::string name;
    const BenchFile* file;
    std::function<double()> run;
    std::vector<double> seconds; // one per repetition, the first one cold

    // The median of the repetitions after the first (of the first alone if there is no
    // other).
    double Median() const {
        std::vector<double> warm(seconds.size() > 1 ? seconds.begin() + 1 : seconds.begin(),
                                 seconds.end());
        std::sort(warm.begin(), warm.end());
        const std::size_t middle = warm.size() / 2;
        return warm.size() % 2 == 1 ? warm[middle] : (warm[middle - 1] + warm[middle]) / 2;
    }
};

using Measurements = std::vector<Measurement>;

void AddLargeFileMeasurements(Measurements& all, const BenchFile& file) {
    const auto add = [&](const std::string& name, std::function<double()> run) {
        all.push_back({file.label + "/" + name, &file, std::move(run), {}});
    };
    add("load", [&file] { return TimeLoad(file, SampleThreads::Automatic); });
    add("load-one-thread", [&file] { return TimeLoad(file, SampleThreads::One); });
    for (const int threads : {1, 2}) {
        const std::string suffix = threads == 1 ? "-one-thread" : "-two-threads";
        add("floor-read" + suffix,
            [&file, threads] { return TimeFloor(file, Floor::Read, threads); });
        add("floor-fault" + suffix,
            [&file, threads] { return TimeFloor(file, Floor::Fault, threads); });
        add("floor-both" + suffix,
            [&file, threads] { return TimeFloor(file, Floor::Both, threads); });
        add("floor-write" + suffix,
            [&file, threads] { return TimeFloor(file, Floor::Write, threads); });
    }
    add("sndfile-calloc", [&file] { return TimeSndfile(file, ArrayKind::Calloc); });
    add("sndfile-sample-arrays", [&file] { return TimeSndfile(file, ArrayKind::SampleArrays); });
    add("memcpy", [&file] { return TimeCopy(file); });
}

// Runs every measurement once per round, in turn, so that a change in what else the
// machine does spreads over all of them rather than falling on one.
void RunRounds(std::span<Measurement> measurements, int rounds) {
    for (int round = 0; round < rounds; ++round) {
        for (Measurement& measurement : measurements) {
            UseFreshMemory(measurement.file->arrayBytesWritten);
            measurement.seconds.push_back(measurement.run());
        }
    }
}

void PrintTable(const Measurements& measurements) {
    if (measurements.empty()) {
        return;
    }
    std::printf("%-36s %9s %9s %9s %9s %7s\n", "milliseconds", "first", "min", "median", "max",
                "GB/s");
    for (const Measurement& m : measurements) {
        const auto warm = m.seconds.size() > 1 ? m.seconds.begin() + 1 : m.seconds.begin();
        const auto [least, most] = std::minmax_element(warm, m.seconds.end());
        const double median = m.Median();
        std::printf("%-36s %9.1f %9.1f %9.1f %9.1f %7.2f\n", m.name.c_str(),
                    m.seconds.front() * 1e3, *least * 1e3, median * 1e3, *most * 1e3,
                    static_cast<double>(m.file->fileBytes) / median / 1e9);
    }
}

const Measurement* Find(const Measurements& measurements, const std::string& name) {
    for (const Measurement& m : measurements) {
        if (m.name == name) {
            return &m;
        }
    }
    return nullptr;
}

// Prints numerator / denominator of the medians of one file's runs against its target
// (none when target is 0). Nothing when --only left one of them out.
void PrintRatio(const Measurements& measurements, const std::string& label,
                const std::string& numerator, const std::string& denominator, double target) {
    const Measurement* top = Find(measurements, label + "/" + numerator);
    const Measurement* bottom = Find(measurements, label + "/" + denominator);
    if (top == nullptr || bottom == nullptr) {
        return;
    }
    const double ratio = top->Median() / bottom->Median();
    std::printf("  %-44s %6.3f", (numerator + " / " + denominator).c_str(), ratio);
    if (target > 0) {
        std::printf("  (target <= %.2f: %s)", target, ratio <= target ? "met" : "MISSED");
    }
    std::printf("\n");
}

int UsableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    return sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
}

void PrintLargeFileRatios(const Measurements& measurements, const BenchFile& file) {
    if (Find(measurements, file.label + "/load") == nullptr) {
        return;
    }
    const bool eightBit = file.shape.bitsPerSample == 8;
    // On one CPU the load must pick one thread and cost no more than the one-thread load.
    const double againstOneThread = UsableProcessors() >= 2 ? 0.8 : 1.05;
    std::printf("%s: %llu file bytes, %u frames, %llu array bytes written\n", file.label.c_str(),
                static_cast<unsigned long long>(file.fileBytes), file.frameCount,
                static_cast<unsigned long long>(file.arrayBytesWritten));
    const auto ratio = [&](const char* numerator, const char* denominator, double target) {
        PrintRatio(measurements, file.label, numerator, denominator, target);
    };
    ratio("load", "floor-both-two-threads", eightBit ? 1.3 : 1.15);
    ratio("load", "floor-write-two-threads", 0);
    ratio("load", "load-one-thread", againstOneThread);
    ratio("load-one-thread", "floor-both-one-thread", 0);
    ratio("load", "sndfile-calloc", 0.2);
    ratio("load", "sndfile-sample-arrays", eightBit ? 0.5 : 0.83);
    ratio("load", "memcpy", 4.0);
}

// One thread against two for small 16-bit stereo files, to show where sharing the load
// starts to pay; the load shares from 8 MiB of sample data on.
constexpr std::uint32_t kThresholdMebibytes[] = {1, 2, 4, 8, 16, 32, 64};

std::vector<BenchFile> ThresholdFiles(const std::string& folder) {
    std::vector<BenchFile> files;
    for (const std::uint32_t mebibytes : kThresholdMebibytes) {
        const std::string label = "threshold-" + std::to_string(mebibytes) + "MiB";
        files.push_back(
            MakeBenchFile(label, folder + "/" + label + ".wav", {2, 16, mebibytes << 20}));
    }
    return files;
}

void AddThresholdMeasurements(Measurements& all, const std::vector<BenchFile>& files) {
    for (const BenchFile& file : files) {
        all.push_back({file.label + "/one-thread",
                       &file,
                       [&file] { return TimeLoad(file, SampleThreads::One); },
                       {}});
        all.push_back({file.label + "/two-threads",
                       &file,
                       [&file] { return TimeLoad(file, SampleThreads::Two); },
                       {}});
    }
}

void PrintThresholdSeries(const Measurements& measurements, const std::vector<BenchFile>& files) {
    if (measurements.empty()) {
        return;
    }
    std::printf("one thread against two, 16-bit stereo, medians in milliseconds\n");
    std::printf("  %-10s %11s %11s %9s\n", "data", "one thread", "two threads", "two/one");
    std::string gainsFrom = "no size";
    for (const BenchFile& file : files) {
        const Measurement* one = Find(measurements, file.label + "/one-thread");
        const Measurement* two = Find(measurements, file.label + "/two-threads");
        if (one == nullptr || two == nullptr) {
            return;
        }
        const double ratio = two->Median() / one->Median();
        const std::string size = std::to_string(file.shape.dataBytes >> 20) + " MiB";
        std::printf("  %-10s %11.2f %11.2f %9.3f\n", size.c_str(), one->Median() * 1e3,
                    two->Median() * 1e3, ratio);
        if (ratio >= 1.0) {
            gainsFrom = "no size";
        } else if (gainsFrom == "no size") {
            gainsFrom = size;
        }
    }
    std::printf("  two threads are faster from %s on (the load shares from 8 MiB on)\n",
                gainsFrom.c_str());
}

struct Options {
    int repetitions = 6;
    std::string only;
    std::string folder = DefaultBenchDataFolder();
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--repetitions=", 0) == 0) {
            options.repetitions = std::atoi(argument.c_str() + 14);
        } else if (argument.rfind("--only=", 0) == 0) {
            options.only = argument.substr(7);
        } else if (argument.rfind("--", 0) != 0) {
            options.folder = argument;
        } else {
            options.repetitions = 0;
        }
    }
    if (options.repetitions < 1) {
        std::fprintf(stderr, "usage: reader_bench [--repetitions=N (1 or more)] [--only=TEXT] "
                             "[FOLDER]\n");
        std::exit(1);
    }
    return options;
}

// Drops the measurements whose name does not contain text.
void KeepOnly(Measurements& measurements, const std::string& text) {
    std::erase_if(measurements,
                  [&](const Measurement& m) { return m.name.find(text) == std::string::npos; });
}

} // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    std::vector<BenchFile> large;
    for (const LargeBenchFile& file : kLargeBenchFiles) {
        large.push_back(
            MakeBenchFile(file.label, LargeBenchFilePath(options.folder, file), file.shape));
    }
    const std::vector<BenchFile> threshold = ThresholdFiles(options.folder);
    std::printf("usable CPUs: %d; transparent huge pages: %s; load average before: %s\n",
                UsableProcessors(), TransparentHugePageMode().c_str(), LoadAverage().c_str());

    Measurements largeRuns;
    for (const BenchFile& file : large) {
        AddLargeFileMeasurements(largeRuns, file);
    }
    Measurements thresholdRuns;
    AddThresholdMeasurements(thresholdRuns, threshold);
    KeepOnly(largeRuns, options.only);
    KeepOnly(thresholdRuns, options.only);

    // The small files' loads take milliseconds, so their medians need more repetitions.
    RunRounds(largeRuns, options.repetitions);
    // Each small file's runs back to back, so that each way of loading is seen in its
    // own steady state: after a two-thread load frees its two scratch buffers, malloc
    // hands the memory back to the system and the next load faults it in again, which
    // on this kind of machine costs more than loading a 1 MiB file.
    for (Measurement& measurement : thresholdRuns) {
        RunRounds(std::span(&measurement, 1), options.repetitions * 5);
    }
    std::printf("\nruns per large file: %d, per small one: %d; the first (cold) one is shown "
                "apart, min, median and max are those of the others (of the first if alone)\n",
                options.repetitions, options.repetitions * 5);
    PrintTable(largeRuns);
    PrintTable(thresholdRuns);
    std::printf("\nratios of medians (smaller is faster)\n");
    for (const BenchFile& file : large) {
        PrintLargeFileRatios(largeRuns, file);
    }
    PrintThresholdSeries(thresholdRuns, threshold);
    std::printf("load average after: %s\n", LoadAverage().c_str());
    return 0;
}
