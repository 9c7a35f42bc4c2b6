#include "tests/support/KnownWaveFiles.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "tests/support/ProcessRunner.h"

namespace {

std::vector<std::string> WaveFilesIn(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".wav") {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

std::vector<std::string> KnownWaveFiles(const TemporaryFolder& seeds) {
    if (RunProcess({VOQ_SEED_CORPUS_WRITER, seeds.Path().string()}).exitStatus != 0) {
        return {};
    }
    std::vector<std::string> files;
    for (const std::string& folder :
         {seeds.Path().string(), std::string(VOQ_FIXTURES), std::string(VOQ_SAMPLES)}) {
        const std::vector<std::string> found = WaveFilesIn(folder);
        if (found.empty()) {
            return {};
        }
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}
