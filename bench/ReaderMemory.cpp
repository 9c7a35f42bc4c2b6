// The memory side of the reader, one measurement per mode; each prints its figures and
// exits 0 when its target is met, 2 when it is missed, 1 when it cannot run.
//
//   reader_memory load FILE          load once (run it under /usr/bin/time -v for peak RSS)
//   reader_memory huge-claim FOLDER  a 200-byte file claiming 2^32-1 frames, then strided reads
//   reader_memory series FOLDER      100 files of varied sizes loaded into one record
//   reader_memory descriptors FOLDER 1000 loads, rejected ones included: no descriptor and no
//                                    thread left behind
//   reader_memory generate FOLDER    write the two large measurement files if missing

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchFiles.h"
#include "tests/support/ProcessStatus.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

int Verdict(bool met) {
    std::printf("  target %s\n", met ? "met" : "MISSED");
    return met ? 0 : 2;
}

int LoadOnce(const std::string& path) {
    WaveRecord record;
    const LoadOutcome outcome = LoadWaveFileExplained(record, path);
    std::printf("load %s: %s, frameCount %u, peak %d, VmHWM %.1f MiB\n", path.c_str(),
                DescribeLoadStatus(outcome.status), record.frameCount, record.peak,
                static_cast<double>(PeakResidentBytes()) / kMiB);
    return outcome.status == LoadStatus::Loaded ? 0 : 1;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

// A 44-byte header whose data chunk claims 0xFFFFFFFF bytes with one byte per frame,
// followed by 156 bytes of real data: 200 bytes in all.
bool WriteHugeClaim(const std::string& path, std::uint16_t channels) {
    std::vector<unsigned char> bytes = {
        'R', 'I', 'F', 'F', 0xC0, 0, 0,   0,   'W', 'A',  'V',  'E',  'f',  'm',  't',
        ' ', 16,  0,   0,   0,    1, 0,   0,   0,   0x44, 0xAC, 0,    0,    0x44, 0xAC,
        0,   0,   1,   0,   8,    0, 'd', 'a', 't', 'a',  0xFF, 0xFF, 0xFF, 0xFF};
    bytes[22] = static_cast<unsigned char>(channels);
    for (int i = 0; bytes.size() < 200; ++i) {
        bytes.push_back(static_cast<unsigned char>(0x80 + (i * 37) % 100));
    }
    return WriteBytes(path, std::string(bytes.begin(), bytes.end()));
}

// The waveform plot reads one element per pixel column across the whole claim.
int StridedReads(const WaveRecord& record) {
    constexpr std::uint64_t kColumns = 840;
    int sum = 0;
    for (std::uint64_t column = 0; column < kColumns; ++column) {
        const std::size_t index = column * record.frameCount / kColumns;
        if (index < record.left.size() && index < record.right.size()) {
            sum += record.left[index] + record.right[index];
        }
    }
    return sum;
}

int HugeClaim(const std::string& folder) {
    bool met = true;
    for (const std::uint16_t channels : {std::uint16_t{1}, std::uint16_t{2}}) {
        const std::string path = folder + "/huge-claim-" + std::to_string(channels) + ".wav";
        if (!WriteHugeClaim(path, channels)) {
            std::fprintf(stderr, "reader_memory: cannot write %s\n", path.c_str());
            return 1;
        }
        WaveRecord record;
        const int result = LoadWaveFile(record, path);
        const int sum = StridedReads(record);
        const double peakMiB = static_cast<double>(PeakResidentBytes()) / kMiB;
        std::printf("huge claim, %u channel(s), %llu bytes: result %d, frameCount %u, "
                    "strided sum %d, VmRSS %.1f MiB, VmHWM %.1f MiB\n",
                    channels, static_cast<unsigned long long>(FileBytes(path)), result,
                    record.frameCount, sum, static_cast<double>(ResidentBytes()) / kMiB, peakMiB);
        met = met && result == 0 && record.frameCount == UINT32_MAX && peakMiB < 64.0;
    }
    std::printf("  (result 0, frameCount 4294967295, peak RSS under 64 MiB)\n");
    return Verdict(met);
}

// Sizes that rise and fall, so that a release of the previous arrays that came late or
// never would show as a resident set above the current file's arrays.
BenchFileShape SeriesShape(int index) {
    static const BenchFileShape kShapes[] = {{2, 16, 0}, {1, 8, 0}, {1, 16, 0}, {2, 8, 0}};
    BenchFileShape shape = kShapes[index % 4];
    const std::uint32_t mebibytes = static_cast<std::uint32_t>((index * 29) % 32 + 1);
    const std::uint32_t blockAlign = shape.channels * (shape.bitsPerSample / 8u);
    shape.dataBytes = (mebibytes << 20) / blockAlign * blockAlign + blockAlign * (index % 3);
    return shape;
}

int Series(const std::string& folder) {
    constexpr int kFiles = 100;
    constexpr double kConstantMiB = 16.0; // scratch buffers and the like, independent of size
    std::vector<std::string> paths;
    for (int i = 0; i < kFiles; ++i) {
        paths.push_back(folder + "/series-" + std::to_string(i) + ".wav");
        if (!EnsureBenchWaveFile(paths.back(), SeriesShape(i), static_cast<std::uint64_t>(i) + 1)) {
            std::fprintf(stderr, "reader_memory: cannot write %s\n", paths.back().c_str());
            return 1;
        }
    }
    WaveRecord record;
    const double baseline = static_cast<double>(ResidentBytes()) / kMiB;
    double worstExcess = -1e9;
    int worstFile = -1;
    int rejected = 0;
    for (int i = 0; i < kFiles; ++i) {
        rejected += LoadWaveFile(record, paths[static_cast<std::size_t>(i)]);
        const double arrays =
            static_cast<double>(record.left.size() + record.right.size()) * 2.0 / kMiB;
        const double excess = static_cast<double>(ResidentBytes()) / kMiB - baseline - arrays;
        if (excess > worstExcess) {
            worstExcess = excess;
            worstFile = i;
        }
    }
    std::printf("series of %d files into one record: %d rejected, RSS before %.1f MiB; "
                "largest RSS above baseline + current arrays: %.1f MiB (file %d)\n",
                kFiles, rejected, baseline, worstExcess, worstFile);
    std::printf("  (at most %.0f MiB above the current file's arrays)\n", kConstantMiB);
    return Verdict(rejected == 0 && worstExcess <= kConstantMiB);
}

// The good file holds 8 MiB of samples, so that its loads share the samples with a
// second thread.
int Descriptors(const std::string& folder) {
    const std::string good = folder + "/descriptors-good.wav";
    const std::string notWave = folder + "/descriptors-not-wave.wav";
    const std::string noData = folder + "/descriptors-no-data.wav";
    const std::string fifo = folder + "/descriptors-fifo.wav";
    std::string header("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\1\0\1\0\x44\xAC\0\0\x44\xAC\0\0\1\0\x08\0",
                       36);
    unlink(fifo.c_str());
    if (!EnsureBenchWaveFile(good, {2, 16, 8u << 20}, 7) || !WriteBytes(notWave, "RIFX0000") ||
        !WriteBytes(noData, header + "LIST\x04\0\0\0abcd") || mkfifo(fifo.c_str(), 0600) != 0) {
        std::fprintf(stderr, "reader_memory: cannot write the files in %s\n", folder.c_str());
        return 1;
    }
    const std::vector<std::string> paths = {good, notWave, noData,
                                            fifo, folder,  folder + "/descriptors-missing.wav"};
    const int before = OpenDescriptors();
    const long threadsBefore = StatusKiB("Threads"); // a count, whatever the function's name
    WaveRecord record;
    int loaded = 0;
    for (int i = 0; i < 1000; ++i) {
        loaded += LoadWaveFile(record, paths[static_cast<std::size_t>(i) % paths.size()]) == 0;
    }
    const int after = OpenDescriptors();
    const long threadsAfter = StatusKiB("Threads");
    unlink(fifo.c_str());
    std::printf("1000 loads (%d loaded, %d rejected): %d descriptors open before, %d after; "
                "%ld threads before, %ld after\n",
                loaded, 1000 - loaded, before, after, threadsBefore, threadsAfter);
    return Verdict(after == before && threadsAfter == threadsBefore && loaded == 167);
}

int Generate(const std::string& folder) {
    for (const LargeBenchFile& file : kLargeBenchFiles) {
        if (!EnsureLargeBenchFile(folder, file)) {
            std::fprintf(stderr, "reader_memory: cannot write %s\n",
                         LargeBenchFilePath(folder, file).c_str());
            return 1;
        }
        std::printf("%s\n", LargeBenchFilePath(folder, file).c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: reader_memory load FILE | huge-claim FOLDER | series FOLDER | "
                             "descriptors FOLDER | generate FOLDER\n");
        return 1;
    }
    const std::string mode = argv[1];
    const std::string argument = argv[2];
    if (mode == "load") {
        return LoadOnce(argument);
    }
    if (mode == "huge-claim") {
        return HugeClaim(argument);
    }
    if (mode == "series") {
        return Series(argument);
    }
    if (mode == "descriptors") {
        return Descriptors(argument);
    }
    if (mode == "generate") {
        return Generate(argument);
    }
    std::fprintf(stderr, "reader_memory: unknown mode %s\n", mode.c_str());
    return 1;
}
