#include "tests/support/ProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

extern char** environ;

namespace {

// Reads from descriptor until its writers are gone or the deadline passes.
void ReadUntilEnd(int descriptor, std::string& output,
                  std::chrono::steady_clock::time_point deadline) {
    pollfd reader{descriptor, POLLIN, 0};
    while (std::chrono::steady_clock::now() < deadline) {
        if (poll(&reader, 1, 100) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if ((reader.revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t count = read(descriptor, buffer, sizeof buffer);
        if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN)) {
            return;
        }
        if (count > 0) {
            output.append(buffer, static_cast<std::size_t>(count));
        }
    }
}

} // namespace

std::vector<char*> ArgumentPointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& text : strings) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    ProcessResult result;
    int pipeEnds[2];
    if (argv.empty() || pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    if (options.errors == ProcessOptions::Errors::Merge) {
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    std::vector<std::string> arguments = argv;
    std::vector<std::string> environment;
    if (options.environment) {
        environment = *options.environment;
    }
    pid_t child = -1;
    const int spawned = posix_spawnp(
        &child, arguments[0].c_str(), &actions, nullptr, ArgumentPointers(arguments).data(),
        options.environment ? ArgumentPointers(environment).data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        result.output = "cannot start " + argv[0];
        return result;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(options.timeoutMs);
    ReadUntilEnd(pipeEnds[0], result.output, deadline);
    close(pipeEnds[0]);
    // A program may close its output before it ends: give it the rest of its time.
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(child, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        usleep(10000);
    }
    if (ended == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    result.exitStatus = ended > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}
