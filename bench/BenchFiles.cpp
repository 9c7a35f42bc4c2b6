#include "bench/BenchFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "tests/support/ProcessStatus.h"

namespace {

void PutU16(std::vector<unsigned char>& out, std::uint16_t value) {
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void PutU32(std::vector<unsigned char>& out, std::uint32_t value) {
    PutU16(out, static_cast<std::uint16_t>(value));
    PutU16(out, static_cast<std::uint16_t>(value >> 16));
}

void PutId(std::vector<unsigned char>& out, const char (&id)[5]) {
    out.insert(out.end(), id, id + 4);
}

std::vector<unsigned char> Header(const BenchFileShape& shape) {
    const std::uint16_t blockAlign =
        static_cast<std::uint16_t>(shape.channels * (shape.bitsPerSample / 8));
    const std::uint32_t sampleRate = 44100;
    std::vector<unsigned char> header;
    PutId(header, "RIFF");
    PutU32(header, 36 + shape.dataBytes);
    PutId(header, "WAVE");
    PutId(header, "fmt ");
    PutU32(header, 16);
    PutU16(header, 1); // integer PCM
    PutU16(header, shape.channels);
    PutU32(header, sampleRate);
    PutU32(header, sampleRate * blockAlign);
    PutU16(header, blockAlign);
    PutU16(header, shape.bitsPerSample);
    PutId(header, "data");
    PutU32(header, shape.dataBytes);
    return header;
}

// xorshift64*: fast enough that writing a gigabyte is bound by the disk, not by this.
std::uint64_t NextRandom(std::uint64_t& state) {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 0x2545F4914F6CDD1DULL;
}

// A value from /proc/self/status in bytes, or 0.
std::size_t StatusBytes(const char* key) {
    const long kibibytes = StatusKiB(key);
    return kibibytes > 0 ? static_cast<std::size_t>(kibibytes) * 1024 : 0;
}

} // namespace

bool WriteBenchWaveFile(const std::string& path, const BenchFileShape& shape, std::uint64_t seed) {
    const std::string partial = path + ".partial";
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(partial.c_str(), "wb"),
                                                         &std::fclose);
    if (!file) {
        return false;
    }
    const std::vector<unsigned char> header = Header(shape);
    bool written = std::fwrite(header.data(), 1, header.size(), file.get()) == header.size();

    std::uint64_t state = seed | 1;            // xorshift must not start from 0
    std::vector<std::uint64_t> block(1 << 17); // 1 MiB
    std::uint64_t remaining = shape.dataBytes;
    while (written && remaining > 0) {
        for (std::uint64_t& word : block) {
            word = NextRandom(state);
        }
        const std::size_t bytes =
            static_cast<std::size_t>(std::min<std::uint64_t>(remaining, block.size() * 8));
        written = std::fwrite(block.data(), 1, bytes, file.get()) == bytes;
        remaining -= bytes;
    }
    written = std::fclose(file.release()) == 0 && written;
    if (!written || std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        return false;
    }
    return true;
}

bool EnsureBenchWaveFile(const std::string& path, const BenchFileShape& shape, std::uint64_t seed) {
    if (FileBytes(path) == 44 + std::uint64_t{shape.dataBytes}) {
        return true;
    }
    return WriteBenchWaveFile(path, shape, seed);
}

std::string LargeBenchFilePath(const std::string& folder, const LargeBenchFile& file) {
    return folder + "/" + file.label + ".wav";
}

bool EnsureLargeBenchFile(const std::string& folder, const LargeBenchFile& file) {
    return EnsureBenchWaveFile(LargeBenchFilePath(folder, file), file.shape, file.shape.dataBytes);
}

std::uint64_t FileBytes(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(status.st_size);
}

void WarmPageCache(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) {
        return;
    }
    std::vector<char> block(1 << 20);
    while (std::fread(block.data(), 1, block.size(), file.get()) == block.size()) {
    }
}

std::string DefaultBenchDataFolder() {
    return VOQ_BENCH_DATA_FOLDER;
}

std::size_t ResidentBytes() {
    return StatusBytes("VmRSS");
}

std::size_t PeakResidentBytes() {
    return StatusBytes("VmHWM");
}

std::string TransparentHugePageMode() {
    std::ifstream mode("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string line;
    std::getline(mode, line);
    return line.empty() ? "unknown" : line;
}

std::string LoadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    if (!(file >> one >> five >> fifteen)) {
        return "unknown";
    }
    return one + " " + five + " " + fifteen;
}

InProcessComparison PrepareInProcessComparison(const std::string& folder,
                                               const std::string& program) {
    const std::string bin = folder + "/in-process/bin";
    InProcessComparison comparison{bin + "/" + std::filesystem::path(program).filename().string(),
                                   LargeBenchFilePath(folder, kLargeBenchFiles[0]),
                                   folder + "/stereo16-one-second.wav"};
    std::error_code error;
    std::filesystem::create_directories(bin, error);
    std::filesystem::copy_file(program, comparison.copy,
                               std::filesystem::copy_options::overwrite_existing, error);
    if (error || !EnsureLargeBenchFile(folder, kLargeBenchFiles[0]) ||
        !EnsureBenchWaveFile(comparison.oneSecond, {2, 16, 176400}, 7)) {
        comparison.copy.clear();
    }
    return comparison;
}

std::vector<ComparedFile> ComparedFiles(const InProcessComparison& comparison, int runs) {
    return {{"1 GiB", comparison.large, true, runs},
            {"176 kB", comparison.oneSecond, false, 4 * runs + 1}};
}
