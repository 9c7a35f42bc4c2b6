#include "tests/slowfs/SlowFile.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "tests/support/ProcessRunner.h"
#include "tests/support/WavBuilder.h"

extern char** environ;

std::int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

SlowFile::SlowFile(const std::string& source, double bytesPerSecond, std::uint64_t stallAfter)
    : m_mountPoint(m_folder.File("mount")), m_log(m_folder.File("reads.log")) {
    std::filesystem::create_directory(m_mountPoint);
    m_path = m_mountPoint + "/" + std::filesystem::path(source).filename().string();
    const std::string errors = m_folder.File("errors.log");
    std::vector<std::string> argv{
        VOQ_SLOW_FILE_SYSTEM,       m_mountPoint, source, std::to_string(bytesPerSecond),
        std::to_string(stallAfter), m_log};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT, 0600);
    const int error = posix_spawn(&m_server, argv[0].c_str(), &actions, nullptr,
                                  ArgumentPointers(argv).data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        m_server = -1;
        m_problem = "cannot start slow_file_system";
        return;
    }
    // Served once the file shows with its size; a server that ends has said why.
    struct stat expected {};
    stat(source.c_str(), &expected);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        struct stat served {};
        if (stat(m_path.c_str(), &served) == 0 && served.st_size == expected.st_size) {
            return;
        }
        int status = 0;
        if (waitpid(m_server, &status, WNOHANG) == m_server) {
            m_server = -1;
            m_problem = "slow_file_system could not mount: " + ReadFile<std::string>(errors);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_problem =
        "slow_file_system did not serve the file within 10 s: " + ReadFile<std::string>(errors);
}

SlowFile::~SlowFile() {
    if (m_server > 0) {
        // Killed, the server aborts its connection: every read still waiting fails.
        kill(m_server, SIGKILL);
        waitpid(m_server, nullptr, 0);
    }
    if (umount2(m_mountPoint.c_str(), MNT_DETACH) != 0) {
        ProcessOptions quiet;
        quiet.errors = ProcessOptions::Errors::Discard;
        RunProcess({"fusermount3", "-uz", m_mountPoint}, quiet);
    }
}

int SlowFile::Reads() const {
    std::ifstream in(m_log);
    int reads = 0;
    for (std::string line; std::getline(in, line);) {
        ++reads;
    }
    return reads;
}

std::int64_t SlowFile::LastReadNs() const {
    std::ifstream in(m_log);
    std::int64_t last = 0;
    for (std::string line; std::getline(in, line);) {
        last = std::stoll(line);
    }
    return last;
}
