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

std::string g_inputPath;   // the current input, as a file
std::string g_earlierPath; // the file loaded before each input
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

void WriteWhole(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
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
    g_record.path.clear();
    if (LoadWaveFile(g_record, g_earlierPath) != 0) {
        Fail("the earlier file does not load");
    }
    g_record.loaded = 1; // what the view does after a successful load
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = ScratchFolder() + "/voq006-fuzz-XXXXXX";
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) {
        Fail("cannot create a scratch file from " + pattern);
    }
    close(descriptor);
    g_inputPath = pattern;
    g_earlierPath = pattern + "-earlier.wav";
    std::atexit(RemoveScratchFiles);
    const std::vector<std::uint8_t> earlier = EarlierFileBytes();
    WriteWhole(g_earlierPath, earlier.data(), earlier.size());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (g_recordChanged) {
        LoadEarlierFile();
    }
    WriteWhole(g_inputPath, data, size);
    const std::string problem =
        CheckLoad(g_record, g_inputPath, std::vector<std::uint8_t>(data, data + size));
    if (!problem.empty()) {
        Fail(problem);
    }
    g_recordChanged = g_record.path == g_inputPath;
    return 0;
}
