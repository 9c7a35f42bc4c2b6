// voq006-reader: reads one wave file in a process that can do nothing else, for the viewer
// and voq006-render, which start it (wave/ReaderProcess.h); it is no command for people.
//
//   voq006-reader DESCRIPTOR COLUMNS PATH
//
// main checks the command line, makes sure it dies with the program that started it and
// keeps no descriptor but its own three and DESCRIPTOR, and greets. It opens PATH, confines
// itself (platform/Confinement.h) so that from then on it can read that one file and write
// to DESCRIPTOR and nothing else, and runs the strided load for a plot of COLUMNS columns,
// reporting its progress as it goes. Last it writes how the load ended, with what the plot
// reads of the record (wave/ReaderMessages.h). Exit status 0 once the answer is written, 1
// when it could not be, 2 for a wrong command line.

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
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
#include "wave/ReaderMessages.h"
#include "wave/WaveFileReader.h"
#include "wave/WaveRecord.h"

using namespace reader_messages;

namespace {

struct Arguments {
    int output{};
    std::uint32_t columns{};
    std::string path;
};

std::optional<Arguments> ParseArguments(int argc, char** argv);
void KeepOnlyOwnDescriptors(int output);
bool Send(int output, const MessageBytes& bytes);
LoadOutcome OpenAndConfine(const std::string& path, int output, std::string& loadPath);
LoadOutcome LoadReporting(WaveRecord& record, const std::string& loadPath,
                          const Arguments& arguments);

} // namespace

// Ends with _exit once the answer is written: nothing is left to release, and in sanitizer
// builds the leak check at exit would list /proc/self/task, which Landlock forbids.
int main(int argc, char** argv) {
    const std::optional<Arguments> arguments = ParseArguments(argc, argv);
    if (!arguments) {
        std::fputs("usage: voq006-reader DESCRIPTOR COLUMNS PATH (started by voq006 and "
                   "voq006-render)\n",
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
    std::string loadPath;
    WaveRecord record;
    LoadOutcome outcome = OpenAndConfine(arguments->path, arguments->output, loadPath);
    if (outcome.status == LoadStatus::Loaded) {
        outcome = LoadReporting(record, loadPath, *arguments);
    }
    _exit(Send(arguments->output, EncodeEnd(outcome, record, arguments->columns)) ? 0 : 1);
}

namespace {

bool ParseNumber(std::string_view text, std::uint32_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

std::optional<Arguments> ParseArguments(int argc, char** argv) {
    std::uint32_t output = 0;
    std::uint32_t columns = 0;
    if (argc != 4 || !ParseNumber(argv[1], output) || output < 3 || output > 1024 ||
        !ParseNumber(argv[2], columns) || columns == 0 || columns > kMostColumns) {
        return std::nullopt;
    }
    return Arguments{static_cast<int>(output), columns, argv[3]};
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

// The load opens its file by a path: the one that names the descriptor already open (opened
// is what fstat said of it), so that the file read is the one granted even if path now names
// another; path itself where /proc is not mounted.
std::string PathOfOpenFile(int input, const struct stat& opened, const std::string& path) {
    const std::string own = "/proc/self/fd/" + std::to_string(input);
    struct stat named {};
    const bool same = stat(own.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
                      opened.st_ino == named.st_ino;
    return same ? own : path;
}

// Opens path as the load does (non-blocking, so that a FIFO cannot hold it up), confines
// this process to reading it, and accepts only a regular file: what the load would decide
// before it reads a byte, decided here, since a file that is not regular is not granted to
// the confined process. Loaded when the load may go on, with the file open and loadPath
// naming it.
LoadOutcome OpenAndConfine(const std::string& path, int output, std::string& loadPath) {
    const int input = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const int openError = errno;
    struct stat status {};
    const bool described = input >= 0 && fstat(input, &status) == 0;
    const int describeError = errno;
    const bool regular = described && S_ISREG(status.st_mode);
    if (regular) {
        loadPath = PathOfOpenFile(input, status, path);
    }
    ConfineToParsing({regular ? input : -1, output});
    if (input < 0) {
        return {LoadStatus::CannotOpen, openError};
    }
    if (!described) {
        return {LoadStatus::ReadError, describeError};
    }
    return {regular ? LoadStatus::Loaded : LoadStatus::NotRegularFile};
}

// Runs the strided load on this thread (which shares the samples with a second one, as the
// load decides) while another sends the progress every 50 ms; without a thread to be had,
// only the last figures are sent.
LoadOutcome LoadReporting(WaveRecord& record, const std::string& loadPath,
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
    const LoadOutcome outcome = LoadWaveFileStrided(record, loadPath, arguments.columns,
                                                    SampleThreads::Automatic, progress);
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
