// slow_file_system: a FUSE file system of the tests' own that serves one file slowly, as a
// USB stick, a busy network share or a disk that stopped answering or went bad does.
//
//   slow_file_system MOUNTPOINT SOURCE BYTES_PER_SECOND STALL_AFTER FAIL_FROM LOG KILLED
//
// MOUNTPOINT shows one file, named as SOURCE's last component, with SOURCE's bytes. Reads
// share one budget of BYTES_PER_SECOND; a read that reaches past byte STALL_AFTER (0: never)
// waits until its reader is killed (KILLED "let-killed-go") or, with KILLED "keep-killed",
// until the file system is stopped: the kernel then keeps even a killed reader waiting, in
// uninterruptible sleep, as a file system that ignores interrupts does. From byte FAIL_FROM
// on (0: nowhere) the file cannot be read, as a disk with a bad sector: a read that starts
// there fails with EIO, and one that reaches into it gets the bytes before it. Each read
// served is appended to LOG as a line "<CLOCK_MONOTONIC nanoseconds> <offset> <bytes>", so
// that a test can tell when reading stopped. Runs in the foreground until SIGTERM, then
// unmounts.

#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace {

struct Settings {
    std::string source;
    std::string name; // "/" and the source's last component
    double bytesPerSecond{};
    std::uint64_t stallAfter{};
    std::uint64_t failFrom{};
    std::FILE* log{};
    bool letKilledGo{true};
};

Settings g_settings;
int g_source = -1;
std::mutex g_budgetMutex;
std::chrono::steady_clock::time_point g_budgetFree; // when the shared budget is next free

// Waits for count bytes' share of the budget.
void Throttle(std::size_t count) {
    using namespace std::chrono;
    steady_clock::time_point until;
    {
        const std::lock_guard<std::mutex> lock(g_budgetMutex);
        const auto start = std::max(steady_clock::now(), g_budgetFree);
        g_budgetFree = start + duration_cast<steady_clock::duration>(duration<double>(
                                   static_cast<double>(count) / g_settings.bytesPerSecond));
        until = g_budgetFree;
    }
    std::this_thread::sleep_until(until);
}

void Log(off_t offset, std::size_t count) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::lock_guard<std::mutex> lock(g_budgetMutex);
    std::fprintf(g_settings.log, "%" PRId64 " %" PRId64 " %zu\n",
                 static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec,
                 static_cast<std::int64_t>(offset), count);
    std::fflush(g_settings.log);
}

// Interrupts reach the thread serving a read as SIGUSR1, which fuse_interrupted() then
// reports. The library installs no handler when interrupts are switched on here, and the
// signal's default action would end the file system: a handler that does nothing keeps it.
void IgnoreInterruptSignal(int) {}

void* Initialise(fuse_conn_info*, fuse_config* config) {
    config->intr = 1;
    config->intr_signal = SIGUSR1;
    struct sigaction action {};
    action.sa_handler = IgnoreInterruptSignal;
    sigaction(SIGUSR1, &action, nullptr);
    return nullptr;
}

int GetAttributes(const char* path, struct stat* attributes, fuse_file_info*) {
    std::memset(attributes, 0, sizeof *attributes);
    if (std::strcmp(path, "/") == 0) {
        attributes->st_mode = S_IFDIR | 0755;
        attributes->st_nlink = 2;
        return 0;
    }
    if (g_settings.name != path) {
        return -ENOENT;
    }
    struct stat source {};
    if (fstat(g_source, &source) != 0) {
        return -errno;
    }
    attributes->st_mode = S_IFREG | 0444;
    attributes->st_nlink = 1;
    attributes->st_size = source.st_size;
    return 0;
}

int ReadDirectory(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
                  fuse_readdir_flags) {
    if (std::strcmp(path, "/") != 0) {
        return -ENOENT;
    }
    fill(buffer, ".", nullptr, 0, FUSE_FILL_DIR_PLUS);
    fill(buffer, "..", nullptr, 0, FUSE_FILL_DIR_PLUS);
    fill(buffer, g_settings.name.c_str() + 1, nullptr, 0, FUSE_FILL_DIR_PLUS);
    return 0;
}

int Open(const char* path, fuse_file_info* info) {
    if (g_settings.name != path) {
        return -ENOENT;
    }
    // Every read reaches this file system as the reader asked it, with no page cache
    // between: what the reader reads is what is served, and when.
    info->direct_io = 1;
    return 0;
}

int Read(const char*, char* buffer, std::size_t count, off_t offset, fuse_file_info*) {
    if (g_settings.stallAfter != 0 &&
        static_cast<std::uint64_t>(offset) + count > g_settings.stallAfter) {
        // A disk that stopped answering, behind a file system that lets a reader that is
        // killed go, as network file systems do: the kernel's interrupt ends the wait. One
        // that keeps killed readers answers nothing until it is stopped.
        while (!g_settings.letKilledGo || fuse_interrupted() == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -EINTR;
    }
    // A disk with a bad sector: a read that starts in it fails, one that reaches into it
    // gets the bytes before it, and the reader meets the error on its next read.
    const auto start = static_cast<std::uint64_t>(offset);
    if (g_settings.failFrom != 0 && start + count > g_settings.failFrom) {
        if (start >= g_settings.failFrom) {
            return -EIO;
        }
        count = static_cast<std::size_t>(g_settings.failFrom - start);
    }
    Throttle(count);
    const ssize_t got = pread(g_source, buffer, count, offset);
    if (got < 0) {
        return -errno;
    }
    Log(offset, static_cast<std::size_t>(got));
    return static_cast<int>(got);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 8) {
        std::fprintf(stderr,
                     "usage: %s MOUNTPOINT SOURCE BYTES_PER_SECOND STALL_AFTER FAIL_FROM LOG "
                     "let-killed-go|keep-killed\n",
                     argv[0]);
        return 2;
    }
    g_settings.source = argv[2];
    const std::size_t slash = g_settings.source.rfind('/');
    g_settings.name = "/" + g_settings.source.substr(slash == std::string::npos ? 0 : slash + 1);
    g_settings.bytesPerSecond = std::strtod(argv[3], nullptr);
    g_settings.stallAfter = std::strtoull(argv[4], nullptr, 10);
    g_settings.failFrom = std::strtoull(argv[5], nullptr, 10);
    g_settings.log = std::fopen(argv[6], "a");
    g_settings.letKilledGo = std::strcmp(argv[7], "keep-killed") != 0;
    g_source = open(argv[2], O_RDONLY | O_CLOEXEC);
    if (g_source < 0 || g_settings.log == nullptr || g_settings.bytesPerSecond <= 0) {
        std::fprintf(stderr, "%s: cannot use %s or %s\n", argv[0], argv[2], argv[6]);
        return 2;
    }

    static const fuse_operations operations = [] {
        fuse_operations ops{};
        ops.init = Initialise;
        ops.getattr = GetAttributes;
        ops.readdir = ReadDirectory;
        ops.open = Open;
        ops.read = Read;
        return ops;
    }();
    // In the foreground, with several threads, so that a stalled read holds up no other.
    char program[] = "slow_file_system";
    char foreground[] = "-f";
    char options[] = "-o";
    char name[] = "fsname=slow_file_system";
    char* fuseArguments[] = {program, foreground, options, name, argv[1], nullptr};
    return fuse_main(5, fuseArguments, &operations, nullptr);
}
