// Times the load of the formats the reader converts to 16-bit values against the load of
// 16-bit files, and the 8- and 16-bit loads of this tree against those of an earlier
// tree's reader (built from VOQ_BENCH_BASELINE_SOURCE, see bench/CMakeLists.txt), all in
// one run: Google Benchmark interleaves the repetitions of every measurement at random,
// and the ratios compare medians.
//
//   format_bench [FOLDER] [benchmark flags]
//
// Every file holds the same 2^25 stereo frames (2^26 for 8-bit mono) of pseudo-random
// sound, written once into FOLDER (the bench data folder by default). Each repetition is
// one load into a fresh record, timed alone: writing the file, the untimed clean-up and
// memory used and freed beforehand (see UseFreshMemory) are outside it. A load counts
// only when it loaded the file whole: its status, frame count, a peak above 0 and a
// written last frame are checked, and a load that fails ends the run with status 1.
//
// Targets: 8- and 16-bit loads within 1.05 x of the earlier reader; 24-bit, 32-bit and
// float loads within 1.5 x of the 16-bit load per byte of the file read (full and strided
// loads alike). A-law and mu-law are shown in nanoseconds per sample. Exits 0 when it
// measured, 2 when a target was missed, 1 when something could not run.

#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <sys/mman.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/BenchFiles.h"
#include "bench/ReaderModule.h"

namespace {

constexpr std::uint32_t kStereoFrames = std::uint32_t{1} << 25;
constexpr unsigned kColumns = 840;   // the plot's, as the viewer's strided load keeps them
constexpr int kAutomaticThreads = 0; // SampleThreads::Automatic
constexpr std::size_t kPageBytes = 4096;

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "format_bench: %s; nothing more is measured\n", why.c_str());
    std::exit(1);
}

// ---- the files -----------------------------------------------------------------------

// A format as the measurements name it and the fmt chunk states it.
struct Format {
    const char* label;
    std::uint16_t tag; // 1 PCM, 3 IEEE float, 6 A-law, 7 mu-law
    std::uint16_t channels, bits;
};

constexpr Format kStereo16{"stereo16", 1, 2, 16};
constexpr Format kMono8{"mono8", 1, 1, 8};
constexpr Format kConverted[] = {
    {"stereo24", 1, 2, 24}, {"stereo32", 1, 2, 32}, {"float32", 3, 2, 32},
    {"float64", 3, 2, 64},  {"a-law", 6, 2, 8},     {"mu-law", 7, 2, 8},
};

struct File {
    Format format;
    std::string path;
    std::uint32_t frames{};
    std::uint64_t dataBytes{};
    std::uint64_t Bytes() const { return 44 + dataBytes; }
    std::uint64_t Samples() const { return std::uint64_t{frames} * format.channels; }
};

void PutLittleEndian(std::vector<unsigned char>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
    }
}

// The 44-byte header of a file of the format with dataBytes of samples.
std::vector<unsigned char> Header(const Format& format, std::uint64_t dataBytes) {
    const auto blockAlign = static_cast<std::uint16_t>(format.channels * format.bits / 8);
    std::vector<unsigned char> header;
    const auto id = [&header](const char* text) { header.insert(header.end(), text, text + 4); };
    id("RIFF");
    PutLittleEndian(header, 36 + dataBytes, 4);
    id("WAVE");
    id("fmt ");
    PutLittleEndian(header, 16, 4);
    PutLittleEndian(header, format.tag, 2);
    PutLittleEndian(header, format.channels, 2);
    PutLittleEndian(header, 44100, 4);
    PutLittleEndian(header, 44100u * blockAlign, 4);
    PutLittleEndian(header, blockAlign, 2);
    PutLittleEndian(header, format.bits, 2);
    id("data");
    PutLittleEndian(header, dataBytes, 4);
    return header;
}

// splitmix64: every bit of its numbers is as random as any other.
std::uint64_t NextRandom(std::uint64_t& state) {
    std::uint64_t z = state += 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// One sample of the format from a pseudo-random number: floats between -1 and 1 (noise
// bytes would be NaN and infinities, which no recording holds); any bytes for the others.
void PutSample(std::vector<unsigned char>& out, const Format& format, std::uint64_t random) {
    if (format.tag == 3) {
        const double value = static_cast<double>(random >> 11) / 4503599627370496.0 - 1.0;
        if (format.bits == 32) {
            std::uint32_t bits = 0;
            const auto single = static_cast<float>(value);
            std::memcpy(&bits, &single, sizeof bits);
            PutLittleEndian(out, bits, 4);
        } else {
            std::uint64_t bits = 0;
            std::memcpy(&bits, &value, sizeof bits);
            PutLittleEndian(out, bits, 8);
        }
        return;
    }
    PutLittleEndian(out, random, format.bits / 8);
}

// The file of the format in folder, written unless a file of its size is there.
File MakeFile(const std::string& folder, const Format& format) {
    File file{format, folder + "/format-" + format.label + ".wav"};
    file.frames = format.channels == 1 ? 2 * kStereoFrames : kStereoFrames;
    file.dataBytes = file.Samples() * (format.bits / 8);
    if (FileBytes(file.path) == file.Bytes()) {
        WarmPageCache(file.path);
        return file;
    }
    const std::string partial = file.path + ".partial";
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(partial.c_str(), "wb"),
                                                              &std::fclose);
    std::vector<unsigned char> block = Header(format, file.dataBytes);
    bool written = out != nullptr;
    std::uint64_t state = 0;
    for (std::uint64_t sample = 0; written && sample < file.Samples(); ++sample) {
        PutSample(block, format, NextRandom(state));
        if (block.size() >= (std::size_t{1} << 20) || sample + 1 == file.Samples()) {
            written = std::fwrite(block.data(), 1, block.size(), out.get()) == block.size();
            block.clear();
        }
    }
    if (!written || std::fflush(out.get()) != 0 ||
        std::rename(partial.c_str(), file.path.c_str()) != 0) {
        std::remove(partial.c_str());
        Fail("cannot write " + file.path);
    }
    WarmPageCache(file.path);
    return file;
}

// ---- the readers ---------------------------------------------------------------------

// A reader module, loaded on its own so that its symbols never meet the other's.
struct Reader {
    std::string label; // "this" or "baseline"
    ReaderModuleLoadFunction load{};
    ReaderModuleDescribeFunction describe{};
    ReaderModuleReleaseFunction release{};
};

Reader OpenReader(const std::string& label, const std::string& path) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        Fail("cannot load " + path + ": " + dlerror());
    }
    Reader reader{label};
    reader.load = reinterpret_cast<ReaderModuleLoadFunction>(dlsym(module, "ReaderModuleLoad"));
    reader.describe =
        reinterpret_cast<ReaderModuleDescribeFunction>(dlsym(module, "ReaderModuleDescribe"));
    reader.release =
        reinterpret_cast<ReaderModuleReleaseFunction>(dlsym(module, "ReaderModuleRelease"));
    if (reader.load == nullptr || reader.describe == nullptr || reader.release == nullptr) {
        Fail(path + " is not a reader module");
    }
    return reader; // the module stays loaded for the life of the process
}

// On this kind of virtual machine memory left unused for a few seconds goes back to the
// host and costs about ten times more to fault in again: touching and freeing as much as
// a load is about to use, right before it, makes the figures compare the readers rather
// than the host.
void UseFreshMemory(std::size_t bytes) {
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        return;
    }
    for (std::size_t at = 0; at < bytes; at += kPageBytes) {
        static_cast<volatile char*>(memory)[at] = 1;
    }
    munmap(memory, bytes);
}

// One load of file by reader, timed alone; the record is checked and released after.
void TimeLoads(benchmark::State& state, const Reader& reader, const File& file, unsigned columns) {
    const std::size_t arrayBytes =
        std::size_t{file.frames} * sizeof(std::int16_t) * (file.format.channels == 1 ? 1 : 2);
    for (auto _ : state) {
        UseFreshMemory(columns == 0 ? arrayBytes : std::size_t{64} << 20);
        int status = -1;
        const auto start = std::chrono::steady_clock::now();
        void* record = reader.load(file.path.c_str(), columns, kAutomaticThreads, &status);
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        ReaderModuleFacts facts{};
        if (record != nullptr) {
            reader.describe(record, kColumns, &facts);
            reader.release(record);
        }
        // Pseudo-random sound: the last frame read is not silent in both channels.
        const std::int16_t* last = columns == 0 ? facts.lastFrame : facts.lastKept;
        const bool lastWritten = last[0] != 0 || last[1] != 0;
        if (status != 0 || facts.frameCount != file.frames || facts.peak <= 0 || !lastWritten) {
            Fail(reader.label + " did not load " + file.path + " whole (status " +
                 std::to_string(status) + ")");
        }
        state.SetIterationTime(seconds.count());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.Bytes()));
    state.counters["ns_per_sample"] =
        benchmark::Counter(static_cast<double>(state.iterations() * file.Samples()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

std::string Name(const char* load, const File& file, const Reader& reader) {
    return std::string(load) + "/" + file.format.label + "/" + reader.label;
}

void Register(const Reader& reader, const File& file, bool strided) {
    benchmark::RegisterBenchmark(Name(strided ? "strided" : "full", file, reader).c_str(),
                                 [&reader, &file, strided](benchmark::State& state) {
                                     TimeLoads(state, reader, file, strided ? kColumns : 0);
                                 })
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
}

// ---- the ratios ----------------------------------------------------------------------

// Keeps the median of each measurement's repetitions (or its only run).
class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const std::string name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                m_medians[name] = run.GetAdjustedRealTime();
            } else if (run.run_type == Run::RT_Iteration && m_medians.count(name) == 0) {
                m_singles[name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Milliseconds, or nothing when a filter left the measurement out.
    std::optional<double> Median(const std::string& name) const {
        for (const auto* table : {&m_medians, &m_singles}) {
            if (const auto found = table->find(name); found != table->end()) {
                return found->second;
            }
        }
        return std::nullopt;
    }

private:
    std::map<std::string, double> m_medians, m_singles;
};

struct Verdict {
    bool met = true;

    void Ratio(const std::string& what, std::optional<double> numerator,
               std::optional<double> denominator, double target) {
        if (!numerator || !denominator) {
            return;
        }
        const double ratio = *numerator / *denominator;
        met = met && ratio <= target;
        std::printf("  %-52s %6.3f  (target <= %.2f: %s)\n", what.c_str(), ratio, target,
                    ratio <= target ? "met" : "MISSED");
    }
};

} // namespace

int main(int argc, char** argv) {
    // Defaults that a flag on the command line overrides: interleaved repetitions, medians.
    std::vector<char*> arguments(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=9";
    char interleaving[] = "--benchmark_enable_random_interleaving=true";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    arguments.insert(arguments.begin() + 1, {repetitions, interleaving, aggregates});
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    const std::string folder = count > 1 ? arguments[1] : DefaultBenchDataFolder();

    std::vector<Reader> readers = {OpenReader("this", VOQ_READER_MODULE)};
#ifdef VOQ_BASELINE_READER_MODULE
    readers.push_back(OpenReader("baseline", VOQ_BASELINE_READER_MODULE));
#endif
    const File stereo16 = MakeFile(folder, kStereo16);
    const File mono8 = MakeFile(folder, kMono8);
    std::vector<File> converted;
    for (const Format& format : kConverted) {
        converted.push_back(MakeFile(folder, format));
    }
    for (const Reader& reader : readers) {
        Register(reader, stereo16, false);
        Register(reader, stereo16, true);
        Register(reader, mono8, false);
    }
    for (const File& file : converted) {
        Register(readers.front(), file, false);
        Register(readers.front(), file, true);
    }
    std::printf("load average before: %s\n", LoadAverage().c_str());
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nratios of medians (smaller is faster); load average after: %s\n",
                LoadAverage().c_str());
    Verdict verdict;
    const auto median = [&reporter](const std::string& name) { return reporter.Median(name); };
    for (const char* load : {"full", "strided"}) {
        for (const File* file : {&stereo16, &mono8}) {
            const std::string name = std::string(load) + "/" + file->format.label;
            verdict.Ratio(name + ": this / baseline", median(name + "/this"),
                          median(name + "/baseline"), 1.05);
        }
        // Per byte read: each file's time over its bytes, against the 16-bit file's.
        const std::optional<double> sixteen = median(std::string(load) + "/stereo16/this");
        for (const File& file : converted) {
            const std::optional<double> time = median(Name(load, file, readers.front()));
            if (file.format.bits == 8 || !time || !sixteen) {
                continue;
            }
            const double perByte = *time / static_cast<double>(file.Bytes());
            const double sixteenPerByte = *sixteen / static_cast<double>(stereo16.Bytes());
            verdict.Ratio(std::string(load) + "/" + file.format.label + " / stereo16, per byte",
                          perByte, sixteenPerByte, 1.5);
        }
        for (const File& file : converted) {
            const std::optional<double> time = median(Name(load, file, readers.front()));
            if (file.format.bits == 8 && time) {
                std::printf("  %-52s %6.2f ns per sample (figure only)\n",
                            (std::string(load) + "/" + file.format.label).c_str(),
                            *time * 1e6 / static_cast<double>(file.Samples()));
            }
        }
    }
    return verdict.met ? 0 : 2;
}
