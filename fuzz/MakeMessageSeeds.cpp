// Writes the message fuzzer's seed corpus: for every wave file in the first folder, the
// stream the reader program sends for it (greeting, last progress, answer), as
// ReaderMessageFuzzer.cpp reads an input, into the second folder. The files vary how the
// stream arrives, so that pieces of every size start the search.

#include <fcntl.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "wave/ReaderMessages.h"
#include "wave/WaveFileReader.h"

namespace {

constexpr std::uint32_t kColumns = 840;

// What the reader program writes after loading path.
reader_messages::MessageBytes Stream(const std::string& path) {
    using namespace reader_messages;
    WaveRecord record;
    LoadProgress progress;
    LoadOutcome outcome{LoadStatus::CannotOpen};
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor >= 0) {
        outcome = LoadWaveFileStrided(record, descriptor, path, kColumns, SampleThreads::One,
                                      progress, KeptFramePlace::Column);
    }
    MessageBytes stream = EncodeGreeting();
    for (const MessageBytes& message :
         {EncodeProgress(progress.BytesRead(), progress.BytesToRead()),
          EncodeEnd(outcome, record, kColumns, PathOpened::AsGiven)}) {
        stream.insert(stream.end(), message.begin(), message.end());
    }
    return stream;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_message_seeds WAVE_FOLDER OUTPUT_FOLDER\n");
        return 1;
    }
    std::vector<std::filesystem::path> waves;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        if (entry.path().extension() == ".wav") {
            waves.push_back(entry.path());
        }
    }
    std::uint8_t arrival = 0;
    for (const std::filesystem::path& wave : waves) {
        reader_messages::MessageBytes input = Stream(wave.string());
        input.insert(input.begin(), arrival);
        arrival = static_cast<std::uint8_t>((arrival + 7) % 64);
        const std::string path = std::string(argv[2]) + "/" + wave.stem().string() + ".vqrd";
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr || std::fwrite(input.data(), 1, input.size(), file) != input.size() ||
            std::fclose(file) != 0) {
            std::fprintf(stderr, "make_message_seeds: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return waves.empty() ? 1 : 0;
}
