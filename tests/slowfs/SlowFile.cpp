#include "tests/slowfs/SlowFile.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

std::int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

SlowFile::SlowFile(const std::string& source, double bytesPerSecond, std::uint64_t stallAfter,
                   Stall stall, std::uint64_t failFrom) {
    char folder[] = "/tmp/voq006-slow-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        m_problem = "cannot create a folder in /tmp";
        return;
    }
    m_folder = folder;
    const std::string mount = m_folder + "/mount";
    const std::string errors = m_folder + "/errors.log";
    std::filesystem::create_directory(mount);
    m_path = mount + "/" + std::filesystem::path(source).filename().string();
    std::vector<std::string> arguments{VOQ_SLOW_FILE_SYSTEM,
                                       mount,
                                       source,
                                       std::to_string(bytesPerSecond),
                                       std::to_string(stallAfter),
                                       std::to_string(failFrom),
                                       m_folder + "/reads.log",
                                       stall == Stall::UntilKilled ? "let-killed-go"
                                                                   : "keep-killed"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT, 0600);
    const int error = posix_spawn(&m_server, argv[0], &actions, nullptr, argv.data(), environ);
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
        if (waitpid(m_server, nullptr, WNOHANG) == m_server) {
            m_server = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::ostringstream why;
    why << std::ifstream(errors).rdbuf();
    m_problem = "slow_file_system did not serve the file: " + why.str();
}

SlowFile::~SlowFile() {
    if (m_server > 0) {
        // Killed, the server aborts its connection: every read still waiting fails.
        kill(m_server, SIGKILL);
        waitpid(m_server, nullptr, 0);
    }
    if (m_folder.empty()) {
        return;
    }
    const std::string mount = m_folder + "/mount";
    if (umount2(mount.c_str(), MNT_DETACH) != 0) {
        // Not root: the FUSE helper unmounts what the user mounted.
        std::system(("fusermount3 -uz '" + mount + "' 2>/dev/null").c_str());
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

SlowFile::Reads SlowFile::ReadsServed(std::int64_t afterNs) const {
    Reads reads;
    std::ifstream log(m_folder + "/reads.log");
    std::int64_t at = 0, offset = 0;
    std::uint64_t bytes = 0;
    while (log >> at >> offset >> bytes) {
        ++reads.count;
        reads.bytes += bytes;
        reads.lastNs = std::max(reads.lastNs, at);
        reads.after += at > afterNs;
    }
    return reads;
}
