// voq006-reader: reads one wave file in a process that can do nothing else, for the viewer
// and voq006-render, which start it (wave/ReaderProcess.h); it is no command for people.
//
//   voq006-reader DESCRIPTOR COLUMNS PATH [EXTENSION]
//
// main checks the command line, makes sure it dies with the program that started it and
// keeps no descriptor but its own three and DESCRIPTOR, and greets. With an EXTENSION, the
// Open dialog's default extension, it adds it to PATH where the name takes it and names no
// existing file (wave/DefaultExtension.h). It opens the path, confines itself
// (platform/Confinement.h) so that from then on it can read the file it holds open and write
// to DESCRIPTOR and nothing else, and runs the strided load for a plot of COLUMNS columns,
// reporting its progress as it goes. Last it writes how the load ended and which path it
// opened, with what the plot reads of the record (wave/ReaderMessages.h). Exit status 0 once
// the answer is written, 1 when it could not be, 2 for a wrong command line.

#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "platform/Confinement.h"
#include "wave/DefaultExtension.h"
#include "wave/ReaderMessages.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

using namespace reader_messages;

namespace {

struct Arguments {
    int output{};
    std::uint32_t columns{};
    std::string path;
    std::string defaultExtension;
};

std::optional<Arguments> ParseArguments(int argc, char** argv);
void KeepOnlyOwnDescriptors(int output);
bool Send(int output, const MessageBytes& bytes);
LoadOutcome OpenAndConfine(const std::string& path, int output, int& input);
LoadOutcome LoadReporting(WaveRecord& record, int input, const std::string& path,
                          const Arguments& arguments);

} // namespace

// Ends with _exit once the answer is written: nothing is left to release, and in sanitizer
// builds the leak check at exit would list /proc/self/task, which Landlock forbids.
int main(int argc, char** argv) {
    const std::optional<Arguments> arguments = ParseArguments(argc, argv);
    if (!arguments) {
        std::fputs("usage: voq006-reader DESCRIPTOR COLUMNS PATH [EXTENSION] (started by voq006 "
                   "and voq006-render)\n",
                   stderr);
        return 2;
    }
    // The kernel kills this process when the thread that started it ends. A parent that had
    // already ended closed the pipe, and the greeting fails.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    KeepOnlyOwnDescriptors(arguments->output);
    if (!Send(arguments->output, EncodeGreeting())) {
        _exit(1);
    }
    const std::string path = WithDefaultExtension(arguments->path, arguments->defaultExtension);
    const PathOpened opened =
        path == arguments->path ? PathOpened::AsGiven : PathOpened::WithDefaultExtension;
    int input = -1;
    WaveRecord record;
    LoadOutcome outcome = OpenAndConfine(path, arguments->output, input);
    if (outcome.status == LoadStatus::Loaded) {
        outcome = LoadReporting(record, input, path, *arguments);
    }
    _exit(Send(arguments->output, EncodeEnd(outcome, record, arguments->columns, opened)) ? 0 : 1);
}

namespace {

bool ParseNumber(std::string_view text, std::uint32_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

std::optional<Arguments> ParseArguments(int argc, char** argv) {
    std::uint32_t output = 0;
    std::uint32_t columns = 0;
    if (argc < 4 || argc > 5 || !ParseNumber(argv[1], output) || output < 3 || output > 1024 ||
        !ParseNumber(argv[2], columns) || columns == 0 || columns > kMostColumns) {
        return std::nullopt;
    }
    return Arguments{static_cast<int>(output), columns, argv[3], argc == 5 ? argv[4] : ""};
}

// Standard input, output and error, and output: whatever else was inherited goes before
// the file is read.
void KeepOnlyOwnDescriptors(int output) {
    if (output > 3) {
        close_range(3, static_cast<unsigned>(output) - 1, 0);
    }
    close_range(static_cast<unsigned>(output) + 1, ~0U, 0);
}

bool Send(int output, const MessageBytes& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t written = write(output, bytes.data() + sent, bytes.size() - sent);
        if (written < 0 && errno != EINTR) {
            return false;
        }
        sent += written > 0 ? static_cast<std::size_t>(written) : 0;
    }
    return true;
}

// Opens path as the load would (non-blocking, so that a FIFO cannot hold it up) and then
// confines this process, which from then on can open no file at all: the load reads the
// descriptor opened here and decides, as it always does, whether it is a regular file.
// Loaded with input open, or CannotOpen.
LoadOutcome OpenAndConfine(const std::string& path, int output, int& input) {
    input = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const int openError = errno;
    ConfineToParsing({output});
    return input >= 0 ? LoadOutcome{LoadStatus::Loaded}
                      : LoadOutcome{LoadStatus::CannotOpen, openError};
}

// Runs the strided load on this thread (which shares the samples with a second one, as the
// load decides) while another sends the progress every 50 ms; without a thread to be had,
// only the last figures are sent.
LoadOutcome LoadReporting(WaveRecord& record, int input, const std::string& path,
                          const Arguments& arguments) {
    LoadProgress progress;
    std::mutex mutex;
    std::condition_variable loadEnded;
    bool ended = false;
    const auto report = [&] {
        std::uint64_t lastSent = ~std::uint64_t{0};
        std::unique_lock<std::mutex> lock(mutex);
        while (!loadEnded.wait_for(lock, std::chrono::milliseconds(50), [&] { return ended; })) {
            const std::uint64_t read = progress.BytesRead();
            if (read != lastSent && progress.BytesToRead() != 0) {
                Send(arguments.output, EncodeProgress(read, progress.BytesToRead()));
                lastSent = read;
            }
        }
    };
    std::thread reporter;
    try {
        reporter = std::thread(report);
    } catch (const std::system_error&) {
    }
    const LoadOutcome outcome =
        LoadWaveFileStrided(record, input, path, arguments.columns, SampleThreads::Automatic,
                            progress, KeptFramePlace::Column);
    {
        const std::lock_guard<std::mutex> lock(mutex);
        ended = true;
    }
    loadEnded.notify_one();
    if (reporter.joinable()) {
        reporter.join();
    }
    // The last figures, so that a load read whole ends at 100 %.
    if (progress.BytesToRead() != 0) {
        Send(arguments.output, EncodeProgress(progress.BytesRead(), progress.BytesToRead()));
    }
    return outcome;
}

} // namespace
