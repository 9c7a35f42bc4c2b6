// A load through the reader program runs in this order. The constructor starts the reader
// (Start) and a thread (State::Run). The thread reads the reader's messages until the pipe
// ends, the stream breaks the format or the load is cancelled (ReadAnswer); then it kills
// the reader unless the answer came whole, waits for it to exit and reaps it (AwaitExit),
// decides the outcome and, for a loaded file, takes the rebuilt record; last it says that
// the load has ended. Cancel and the destructor only kill the reader and wake the thread.

#include "wave/ReaderProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include "wave/DefaultExtension.h"
#include "wave/ReaderMessageReader.h"

namespace {

// The descriptor the reader writes its messages to.
constexpr int kReaderOutput = 3;

// How long the destructor waits for a killed reader to be reaped before it leaves the
// reader to the list below: a killed process ends within a millisecond unless a file system
// keeps it waiting.
constexpr auto kReapWait = std::chrono::milliseconds(200);

// Readers that were killed but had not ended when their ReaderProcess went (a file system
// that ignores even SIGKILL keeps them), reaped by whichever ReaderProcess starts next. Until
// reaped, a process number stays taken, so it names the same process all along.
std::mutex g_leftReadersMutex;
std::vector<pid_t> g_leftReaders;

void ReapLeftReaders() {
    const std::lock_guard<std::mutex> lock(g_leftReadersMutex);
    std::erase_if(g_leftReaders, [](pid_t reader) {
        return waitpid(reader, nullptr, WNOHANG) != 0; // ended and reaped, or not ours
    });
}

void CloseIfOpen(int& descriptor) {
    if (descriptor >= 0) {
        close(descriptor);
        descriptor = -1;
    }
}

} // namespace

// What the thread and the caller share. The thread holds it too, so that a thread still
// waiting for a reader after its caller has gone has everything it touches.
struct ReaderProcess::State {
    std::string path;
    std::string defaultExtension;
    std::uint32_t columns{};
    std::atomic<std::uint64_t> bytesRead{0};
    std::atomic<std::uint64_t> bytesToRead{0};
    LoadOutcome outcome{LoadStatus::ReaderFailed};
    WaveRecord record;
    std::atomic<bool> ended{false};
    std::mutex callbackMutex; // onEnded is either being called or cleared, never both
    std::function<void()> onEnded;

    // The reader, until it has been reaped; kill only while it has not (reaped under the
    // mutex), so that a signal never reaches a process that took over its number.
    std::mutex readerMutex;
    pid_t reader{-1};
    bool reaped{false};
    int exitStatus{};

    int pipe{-1};        // the read end of the reader's pipe
    int exited{-1};      // a pidfd of the reader, readable once it has exited (-1 without one)
    int wake[2]{-1, -1}; // a byte written to wake[1] wakes the thread's waits
    std::atomic<bool> cancelled{false};
    std::atomic<bool> leaveReader{false}; // the destructor stopped waiting for the reader

    std::mutex doneMutex;
    std::condition_variable doneCondition;
    bool done{false}; // the thread has nothing left to do

    ~State() {
        CloseIfOpen(pipe);
        CloseIfOpen(exited);
        CloseIfOpen(wake[0]);
        CloseIfOpen(wake[1]);
    }

    void Run();
    bool ReadAnswer(ReaderMessageReader& messages);
    bool WaitFor(int descriptor, const std::atomic<bool>& stop);
    void AwaitExit();
    void Decide(ReaderMessageReader& messages);
    void Kill();
    void Wake() const;
};

ReaderProcess::ReaderProcess(std::string path, std::uint32_t columns, std::function<void()> onEnded,
                             const std::string& program, std::string defaultExtension) {
    if (program.empty() || access(program.c_str(), X_OK) != 0) {
        m_inProcess = std::make_unique<BackgroundLoad>(std::move(path), columns, std::move(onEnded),
                                                       std::move(defaultExtension));
        return;
    }
    ReapLeftReaders();
    m_state = std::make_shared<State>();
    m_state->path = std::move(path);
    m_state->defaultExtension = std::move(defaultExtension);
    m_state->columns = columns;
    m_state->onEnded = std::move(onEnded);
    Start(program);
}

ReaderProcess::~ReaderProcess() {
    if (m_inProcess) {
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(m_state->callbackMutex);
        m_state->onEnded = nullptr;
    }
    Cancel();
    std::unique_lock<std::mutex> lock(m_state->doneMutex);
    if (!m_state->doneCondition.wait_for(lock, kReapWait, [&] { return m_state->done; })) {
        m_state->leaveReader.store(true);
        m_state->Wake();
    }
    lock.unlock();
    // The thread is at most a few instructions from its end now (it leaves the reader to
    // ReapLeftReaders), or it never ran because the load ran in the constructor.
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void ReaderProcess::Cancel() {
    if (m_inProcess) {
        m_inProcess->Cancel();
        return;
    }
    m_state->cancelled.store(true);
    m_state->Kill();
    m_state->Wake();
}

bool ReaderProcess::Ended() const {
    return m_inProcess ? m_inProcess->Ended() : m_state->ended.load(std::memory_order_acquire);
}

int ReaderProcess::PercentRead() const {
    if (m_inProcess) {
        return m_inProcess->PercentRead();
    }
    return ::PercentRead(m_state->bytesRead.load(std::memory_order_relaxed),
                         m_state->bytesToRead.load(std::memory_order_relaxed), Ended());
}

LoadOutcome ReaderProcess::Outcome() const {
    return m_inProcess ? m_inProcess->Outcome() : m_state->outcome;
}

WaveRecord& ReaderProcess::Record() {
    return m_inProcess ? m_inProcess->Record() : m_state->record;
}

const std::string& ReaderProcess::Path() const {
    return m_inProcess ? m_inProcess->Path() : m_state->path;
}

std::string ReaderProcess::ProgramBesideThisOne() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return {};
    }
    return (self.parent_path() / VOQ_READER_FROM_PROGRAMS).lexically_normal().string();
}

namespace {

// The reader's descriptors: /dev/null for its standard input and output, standard error
// shared, its end of the pipe as descriptor 3 and nothing else (the caller's files, sockets
// and windowing connections stay here, whatever their close-on-exec flags say). Its signal
// mask is empty and every signal has its default action.
pid_t SpawnReader(const std::string& program, const std::string& path,
                  const std::string& defaultExtension, std::uint32_t columns, int writeEnd) {
    std::vector<std::string> arguments{program, std::to_string(kReaderOutput),
                                       std::to_string(columns), path};
    if (!defaultExtension.empty()) {
        arguments.push_back(defaultExtension);
    }
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd, kReaderOutput);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, kReaderOutput + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t reader = -1;
    if (posix_spawn(&reader, program.c_str(), &actions, &attributes, argv.data(), environ) != 0) {
        reader = -1;
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return reader;
}

} // namespace

// Starts the reader and the thread that follows it. Whatever fails here, the thread still
// runs, finds no reader and ends the load with ReaderFailed.
void ReaderProcess::Start(const std::string& program) {
    State& state = *m_state;
    int ends[2]{-1, -1};
    if (pipe2(state.wake, O_CLOEXEC | O_NONBLOCK) == 0 && pipe2(ends, O_CLOEXEC) == 0) {
        state.pipe = ends[0];
        // Above the descriptors the reader's are made from, so that moving it to 3 is a copy.
        const int writeEnd = fcntl(ends[1], F_DUPFD_CLOEXEC, kReaderOutput + 1);
        close(ends[1]);
        if (writeEnd >= 0) {
            state.reader =
                SpawnReader(program, state.path, state.defaultExtension, state.columns, writeEnd);
            close(writeEnd);
        }
        fcntl(state.pipe, F_SETFL, O_NONBLOCK);
    }
    if (state.reader > 0) {
        // Called directly: glibc 2.36's <sys/pidfd.h> declares pidfd_open without C linkage.
        state.exited = static_cast<int>(syscall(SYS_pidfd_open, state.reader, 0U));
    }
    try {
        m_thread = std::thread([shared = m_state] { shared->Run(); });
    } catch (const std::system_error&) {
        state.Run(); // no thread to be had: the load is followed here
    }
}

void ReaderProcess::State::Run() {
    const bool extensionPossible = !defaultExtension.empty() && TakesDefaultExtension(path);
    ReaderMessageReader messages(columns, extensionPossible
                                              ? reader_messages::PathOpened::WithDefaultExtension
                                              : reader_messages::PathOpened::AsGiven);
    if (reader > 0) {
        if (!ReadAnswer(messages)) {
            Kill(); // cancelled, or it sent what no reader sends: it has nothing more to say
        }
        CloseIfOpen(pipe);
        AwaitExit();
    }
    Decide(messages);
    ended.store(true, std::memory_order_release);
    {
        const std::lock_guard<std::mutex> lock(callbackMutex);
        if (onEnded) {
            onEnded();
        }
    }
    const std::lock_guard<std::mutex> lock(doneMutex);
    done = true;
    doneCondition.notify_all();
}

// Feeds the pipe to messages until it ends (true), or until the stream breaks the format or
// the load is cancelled (false).
bool ReaderProcess::State::ReadAnswer(ReaderMessageReader& messages) {
    std::vector<std::uint8_t> buffer(std::size_t{1} << 16);
    while (WaitFor(pipe, cancelled)) {
        const ssize_t got = read(pipe, buffer.data(), buffer.size());
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            return false;
        }
        if (!messages.Take(buffer.data(), static_cast<std::size_t>(got))) {
            return false;
        }
        bytesRead.store(messages.BytesRead(), std::memory_order_relaxed);
        bytesToRead.store(messages.BytesToRead(), std::memory_order_relaxed);
    }
    return false;
}

// Waits until descriptor is readable (true) or stop is set (false); whoever sets stop
// writes a byte to wake[1], which ends the wait.
bool ReaderProcess::State::WaitFor(int descriptor, const std::atomic<bool>& stop) {
    pollfd waits[2] = {{descriptor, POLLIN, 0}, {wake[0], POLLIN, 0}};
    for (;;) {
        if (stop.load()) {
            return false;
        }
        if (poll(waits, 2, -1) < 0 && errno != EINTR) {
            return false;
        }
        if (waits[1].revents != 0) {
            char drained[16];
            while (read(wake[0], drained, sizeof drained) > 0) {
            }
        }
        if (waits[0].revents != 0) {
            return true;
        }
    }
}

// Waits for the reader to exit and reaps it. Where the destructor stopped waiting (the
// reader, killed, still waits on a file system), the reader is left to ReapLeftReaders and
// this thread ends.
void ReaderProcess::State::AwaitExit() {
    if (exited >= 0 && !WaitFor(exited, leaveReader) && leaveReader.load()) {
        const std::lock_guard<std::mutex> lock(g_leftReadersMutex);
        g_leftReaders.push_back(reader);
        return;
    }
    // Without a pidfd (a kernel before 5.3) this waits as long as the reader takes. The wait
    // leaves the reader unreaped, so that its number stays its own until it is reaped under
    // the mutex that Kill takes.
    siginfo_t exitInfo{};
    while (waitid(P_PID, static_cast<id_t>(reader), &exitInfo, WEXITED | WNOWAIT) < 0 &&
           errno == EINTR) {
    }
    const std::lock_guard<std::mutex> lock(readerMutex);
    int status = 0;
    reaped = true;
    exitStatus = waitpid(reader, &status, WNOHANG) == reader ? status : -1;
}

// The answer counts when it came whole and the reader then exited with status 0; it names
// the path the reader opened.
void ReaderProcess::State::Decide(ReaderMessageReader& messages) {
    if (cancelled.load()) {
        outcome = {LoadStatus::Cancelled};
        return;
    }
    const bool exitedWell = reaped && WIFEXITED(exitStatus) && WEXITSTATUS(exitStatus) == 0;
    if (!messages.Complete() || !exitedWell) {
        outcome = {LoadStatus::ReaderFailed};
        return;
    }
    if (messages.Opened() == reader_messages::PathOpened::WithDefaultExtension) {
        path += "." + defaultExtension;
    }
    outcome = messages.Outcome();
    if (outcome.status == LoadStatus::Loaded) {
        record = std::move(messages.Record());
        record.path = path;
    }
}

void ReaderProcess::State::Kill() {
    const std::lock_guard<std::mutex> lock(readerMutex);
    if (reader > 0 && !reaped) {
        kill(reader, SIGKILL);
    }
}

void ReaderProcess::State::Wake() const {
    if (wake[1] >= 0) {
        [[maybe_unused]] const ssize_t written = write(wake[1], "", 1);
    }
}
