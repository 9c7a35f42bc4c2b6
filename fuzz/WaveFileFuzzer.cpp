// libFuzzer target for the wave reader. Each input is written to a file, since the reader
// opens a path, and loaded over a record that holds an earlier load, so that a rejection is
// checked to leave real content untouched. The outcome is compared with the reference
// decoder; any disagreement aborts with a description.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/RecordInvariants.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

namespace {

// The input and the earlier file exist in the scratch folder only while they are loaded,
// so that a run that libFuzzer ends (time limit, signal) leaves nothing behind.
std::string g_inputPath;
std::string g_earlierPath;
WaveRecord g_record;
bool g_recordChanged = true; // the last input loaded, so the earlier file must be reloaded

void RemoveScratchFiles() {
    unlink(g_inputPath.c_str());
    unlink(g_earlierPath.c_str());
}

// libFuzzer keeps the input that got here as a crash file of its own.
void Fail(const std::string& problem) {
    std::fprintf(stderr, "wave_fuzzer: %s\n", problem.c_str());
    RemoveScratchFiles();
    std::abort();
}

void WriteWhole(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
        std::fclose(file) != 0) {
        Fail("cannot write " + path);
    }
}

// A folder in memory where one is available: every input is written once.
std::string ScratchFolder() {
    if (access("/dev/shm", W_OK) == 0) {
        return "/dev/shm";
    }
    const char* temporary = std::getenv("TMPDIR");
    return temporary != nullptr && *temporary != '\0' ? temporary : "/tmp";
}

void LoadEarlierFile() {
    WriteWhole(g_earlierPath, EarlierFileBytes());
    g_record.path.clear();
    const LoadOutcome outcome = LoadWaveFileExplained(g_record, g_earlierPath);
    unlink(g_earlierPath.c_str());
    if (outcome.status != LoadStatus::Loaded) {
        Fail(std::string("the earlier file does not load: ") + DescribeLoadStatus(outcome.status) +
             " (errno " + std::to_string(outcome.errorNumber) + ")");
    }
    g_record.loaded = 1; // what the view does after a successful load
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // mkstemp only picks a name no other process uses; the file is written per input.
    std::string pattern = ScratchFolder() + "/voq006-fuzz-XXXXXX";
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) {
        Fail("cannot create a scratch file from " + pattern);
    }
    close(descriptor);
    g_inputPath = pattern;
    g_earlierPath = pattern + "-earlier.wav";
    unlink(g_inputPath.c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (g_recordChanged) {
        LoadEarlierFile();
    }
    const std::vector<std::uint8_t> bytes(data, data + size);
    WriteWhole(g_inputPath, bytes);
    // Inputs of even size are read by two threads, odd ones by one, so that both ways of
    // reading the samples are fuzzed and a crash file reproduces the same way.
    const std::string problem = CheckLoad(g_record, g_inputPath, bytes,
                                          size % 2 == 0 ? SampleThreads::Two : SampleThreads::One);
    unlink(g_inputPath.c_str());
    if (!problem.empty()) {
        Fail(problem);
    }
    g_recordChanged = g_record.path == g_inputPath;
    return 0;
}
