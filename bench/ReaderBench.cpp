// Measures how fast LoadWaveFile reads two large files from the page cache, against
// libsndfile (the library a user would reach for) and against a plain memcpy of the bytes
// the load writes, and prints the ratios at the end of the run.
//
//   reader_bench [benchmark flags] [data folder]

#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchFiles.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

namespace {

struct BenchFile {
    std::string label;
    BenchFileShape shape;
    std::string path;
    std::uint64_t fileBytes{};
    std::uint32_t frameCount{};
    std::uint64_t arrayBytesWritten{}; // what a load writes: left, and right when stereo
};

BenchFile MakeBenchFile(const std::string& folder, const LargeBenchFile& large) {
    const BenchFileShape& shape = large.shape;
    BenchFile file;
    file.label = large.label;
    file.shape = shape;
    file.path = LargeBenchFilePath(folder, large);
    file.fileBytes = 44 + std::uint64_t{shape.dataBytes};
    const std::uint32_t blockAlign = shape.channels * (shape.bitsPerSample / 8u);
    file.frameCount = shape.dataBytes / blockAlign;
    file.arrayBytesWritten = std::uint64_t{file.frameCount} * sizeof(std::int16_t) *
                             std::min<std::uint16_t>(shape.channels, 2);
    return file;
}

void ReportRate(benchmark::State& state, const BenchFile& file) {
    state.counters["file_GBps"] = benchmark::Counter(static_cast<double>(file.fileBytes) / 1e9,
                                                     benchmark::Counter::kIsIterationInvariantRate);
}

// (a) The reader under test, into a fresh record each time. Releasing the arrays is not
// part of a load into a fresh record, so it happens outside the timed region.
void LoadIntoFreshRecord(benchmark::State& state, const BenchFile& file, SampleThreads threads) {
    for (auto _ : state) {
        auto record = std::make_unique<WaveRecord>();
        if (LoadWaveFileExplained(*record, file.path, threads).status != LoadStatus::Loaded) {
            state.SkipWithError("LoadWaveFile rejected the file");
            break;
        }
        benchmark::DoNotOptimize(record->peak);
        state.PauseTiming();
        record.reset();
        state.ResumeTiming();
    }
    ReportRate(state, file);
}

// sf_readf_short in chunks, then the de-interleave and peak a user would write. For 8-bit
// files libsndfile scales samples to 16 bits; shifting back gives the values the reader
// stores, so both produce the same arrays.
std::int16_t ReadAllWithSndfile(SNDFILE* sound, const SF_INFO& info, std::int16_t* left,
                                std::int16_t* right, int shift) {
    constexpr sf_count_t kChunkFrames = 1 << 16;
    const int channels = info.channels;
    std::vector<short> chunk(static_cast<std::size_t>(kChunkFrames) * channels);
    std::int16_t peak = 0;
    std::int16_t peakRight = 0;
    std::size_t at = 0;
    sf_count_t got = 0;
    while ((got = sf_readf_short(sound, chunk.data(), kChunkFrames)) > 0) {
        const auto frames = static_cast<std::size_t>(got);
        if (channels == 1) {
            for (std::size_t i = 0; i < frames; ++i) {
                const auto value = static_cast<std::int16_t>(chunk[i] >> shift);
                left[at + i] = value;
                peak = std::max(peak, value);
            }
        } else {
            for (std::size_t i = 0; i < frames; ++i) {
                const auto l = static_cast<std::int16_t>(chunk[2 * i] >> shift);
                const auto r = static_cast<std::int16_t>(chunk[2 * i + 1] >> shift);
                left[at + i] = l;
                right[at + i] = r;
                peak = std::max(peak, l);
                peakRight = std::max(peakRight, r);
            }
        }
        at += frames;
    }
    return std::max(peak, peakRight);
}

enum class ArrayKind { Calloc, SampleArrays };

// (b) and (b'): the same libsndfile loop, into calloc'd buffers or into arrays allocated
// and prepared the way the reader's are (which isolates decoding from page faults).
void ReadWithSndfile(benchmark::State& state, const BenchFile& file, ArrayKind kind) {
    const int shift = file.shape.bitsPerSample == 8 ? 8 : 0;
    for (auto _ : state) {
        SF_INFO info{};
        SNDFILE* sound = sf_open(file.path.c_str(), SFM_READ, &info);
        if (sound == nullptr || info.channels < 1 || info.channels > 2) {
            state.SkipWithError("libsndfile cannot read the file");
            break;
        }
        const auto frames = static_cast<std::size_t>(info.frames);
        std::int16_t peak = 0;
        if (kind == ArrayKind::Calloc) {
            auto* left = static_cast<std::int16_t*>(std::calloc(frames, sizeof(std::int16_t)));
            auto* right = static_cast<std::int16_t*>(std::calloc(frames, sizeof(std::int16_t)));
            peak = ReadAllWithSndfile(sound, info, left, right, shift);
            sf_close(sound);
            state.PauseTiming();
            std::free(left);
            std::free(right);
            state.ResumeTiming();
        } else {
            auto left = SampleArray::Allocate(frames);
            auto right = SampleArray::Allocate(frames);
            left->PrepareForWriting(frames);
            if (info.channels == 2) {
                right->PrepareForWriting(frames);
            }
            peak = ReadAllWithSndfile(sound, info, left->data(), right->data(), shift);
            sf_close(sound);
            state.PauseTiming();
            left.reset();
            right.reset();
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(peak);
    }
    ReportRate(state, file);
}

// (c) The physical limit: copy as many bytes as the load writes into the arrays, between
// buffers that are already faulted in.
void CopyArrayBytes(benchmark::State& state, const BenchFile& file) {
    const std::size_t bytes = file.arrayBytesWritten;
    auto source = SampleArray::Allocate(bytes / sizeof(std::int16_t));
    auto target = SampleArray::Allocate(bytes / sizeof(std::int16_t));
    source->PrepareForWriting(source->size());
    target->PrepareForWriting(target->size());
    std::memset(source->data(), 0x5A, bytes);
    std::memset(target->data(), 0xA5, bytes);
    for (auto _ : state) {
        std::memcpy(target->data(), source->data(), bytes);
        benchmark::ClobberMemory();
    }
    ReportRate(state, file);
    state.counters["copied_GBps"] = benchmark::Counter(
        static_cast<double>(bytes) / 1e9, benchmark::Counter::kIsIterationInvariantRate);
}

// Seconds per run, on the wall clock (what the targets are stated in) and in CPU time
// (the process's own work, kernel included, which other users of a shared machine disturb
// far less).
struct Seconds {
    double wall{};
    double cpu{};
};

// The console output as usual, plus the medians, rates and ratios of each file once all
// runs are in.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    explicit SummaryReporter(std::vector<BenchFile> files)
        : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular),
          m_files(std::move(files)) {}

    void ReportRuns(const std::vector<Run>& reports) override {
        for (const Run& run : reports) {
            m_failed = m_failed || run.error_occurred;
            if (run.error_occurred || run.iterations <= 0) {
                continue;
            }
            const auto iterations = static_cast<double>(run.iterations);
            const Seconds seconds{run.real_accumulated_time / iterations,
                                  run.cpu_accumulated_time / iterations};
            // With --benchmark_report_aggregates_only only the aggregates arrive; their
            // accumulated times are the statistic over the repetitions' accumulated times.
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                m_medians[run.run_name.function_name] = seconds;
            } else if (run.run_type == Run::RT_Iteration) {
                m_runs[run.run_name.function_name].push_back(seconds);
            }
        }
        ConsoleReporter::ReportRuns(reports);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nSummary: medians per run; GB/s of file bytes (1e9 bytes/s); a ratio x/y "
                    "is how many times faster a is than y\n");
        for (const BenchFile& file : m_files) {
            PrintFile(file);
        }
        std::printf("overall (wall-clock ratios): %s\n",
                    m_allMet ? "all targets met" : "TARGET MISSED");
    }

    bool AllTargetsMet() const { return m_allMet; }
    bool AnyRunFailed() const { return m_failed; }

private:
    static double Median(std::vector<double> values) {
        std::sort(values.begin(), values.end());
        const std::size_t middle = values.size() / 2;
        return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    }

    Seconds MedianOf(const std::string& name) const {
        if (auto median = m_medians.find(name); median != m_medians.end()) {
            return median->second;
        }
        auto found = m_runs.find(name);
        if (found == m_runs.end() || found->second.empty()) {
            return {};
        }
        std::vector<double> wall, cpu;
        for (const Seconds& run : found->second) {
            wall.push_back(run.wall);
            cpu.push_back(run.cpu);
        }
        return {Median(wall), Median(cpu)};
    }

    void PrintFile(const BenchFile& file) {
        const Seconds a = MedianOf(file.label + "/a_LoadWaveFile");
        const Seconds aOne = MedianOf(file.label + "/a1_LoadWaveFile_one_thread");
        const Seconds b = MedianOf(file.label + "/b_sndfile_calloc");
        const Seconds bPrime = MedianOf(file.label + "/b'_sndfile_sample_arrays");
        const Seconds c = MedianOf(file.label + "/c_memcpy");
        const auto rate = [&](double seconds) {
            return seconds > 0 ? static_cast<double>(file.fileBytes) / seconds / 1e9 : 0.0;
        };
        std::printf("%s (%llu file bytes, %u frames, %llu array bytes written)\n",
                    file.label.c_str(), static_cast<unsigned long long>(file.fileBytes),
                    file.frameCount, static_cast<unsigned long long>(file.arrayBytesWritten));
        std::printf("                                  wall            CPU\n");
        const auto line = [&](const char* name, const Seconds& times) {
            std::printf("  %-30s %6.3f s %5.2f GB/s  %6.3f s %5.2f GB/s\n", name, times.wall,
                        rate(times.wall), times.cpu, rate(times.cpu));
        };
        line("a  LoadWaveFile", a);
        line("a1 LoadWaveFile, one thread", aOne);
        line("b  libsndfile, calloc", b);
        line("b' libsndfile, sample arrays", bPrime);
        line("c  memcpy of the array bytes", c);
        const double bPrimeTarget = file.shape.bitsPerSample == 8 ? 2.0 : 1.2;
        PrintRatio("a/a1", a, aOne, 1.25); // two threads at most 0.8 x one
        PrintRatio("a/b ", a, b, 5.0);
        PrintRatio("a/b'", a, bPrime, bPrimeTarget);
        PrintRatio("a/c ", a, c, 0.25);
    }

    void PrintRatio(const char* name, const Seconds& a, const Seconds& other, double minimum) {
        if (a.wall <= 0 || other.wall <= 0) {
            std::printf("  %s = n/a (a run is missing or failed)\n", name);
            m_allMet = false;
            return;
        }
        const double wall = other.wall / a.wall;
        const double cpu = a.cpu > 0 ? other.cpu / a.cpu : 0.0;
        const bool met = wall >= minimum;
        m_allMet = m_allMet && met;
        std::printf("  %s = %6.2f wall, %6.2f CPU  (target >= %.2f: %s)\n", name, wall, cpu,
                    minimum, met ? "met" : "MISSED");
    }

    std::vector<BenchFile> m_files;
    std::map<std::string, std::vector<Seconds>> m_runs; // one entry per repetition
    std::map<std::string, Seconds> m_medians;           // as Google Benchmark computed them
    bool m_allMet = true;
    bool m_failed = false; // a timed load or read did not succeed: no figure is worth anything
};

std::string LoadAverage() {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen("/proc/loadavg", "r"),
                                                         &std::fclose);
    char line[128] = {};
    if (!file || std::fgets(line, sizeof line, file.get()) == nullptr) {
        return "unknown";
    }
    line[std::strcspn(line, "\n")] = '\0';
    return line;
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const std::string folder = argc > 1 ? argv[1] : DefaultBenchDataFolder();

    std::vector<BenchFile> files;
    for (const LargeBenchFile& large : kLargeBenchFiles) {
        files.push_back(MakeBenchFile(folder, large));
        if (!EnsureLargeBenchFile(folder, large)) {
            std::fprintf(stderr, "reader_bench: cannot write %s\n", files.back().path.c_str());
            return 1;
        }
        WarmPageCache(files.back().path);
    }
    std::printf("transparent huge pages: %s\nload average before: %s\n",
                TransparentHugePageMode().c_str(), LoadAverage().c_str());

    for (const BenchFile& file : files) {
        const auto add = [&](const std::string& name, auto function) {
            benchmark::RegisterBenchmark((file.label + "/" + name).c_str(), function, file)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        };
        add("a_LoadWaveFile", [](benchmark::State& state, const BenchFile& f) {
            LoadIntoFreshRecord(state, f, SampleThreads::Automatic);
        });
        add("a1_LoadWaveFile_one_thread", [](benchmark::State& state, const BenchFile& f) {
            LoadIntoFreshRecord(state, f, SampleThreads::One);
        });
        add("b_sndfile_calloc", [](benchmark::State& state, const BenchFile& f) {
            ReadWithSndfile(state, f, ArrayKind::Calloc);
        });
        add("b'_sndfile_sample_arrays", [](benchmark::State& state, const BenchFile& f) {
            ReadWithSndfile(state, f, ArrayKind::SampleArrays);
        });
        add("c_memcpy", CopyArrayBytes);
    }

    SummaryReporter reporter(files);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("load average after: %s\n", LoadAverage().c_str());
    benchmark::Shutdown();
    if (reporter.AnyRunFailed()) {
        std::fprintf(stderr, "reader_bench: a timed load failed; the figures above are void\n");
        return 1;
    }
    return reporter.AllTargetsMet() ? 0 : 2;
}
