// confinement_probe HELD_FILE NEW_FILE PORT: confines itself as the reader program does,
// holding HELD_FILE open for reading and standard output as its output, then tries what a
// parse needs and what an attacker would want, and prints one line for each on standard
// output: "<what> ok", or "<what> <errno>" with the number of the error it met. The first
// line says what the confinement applied: "applied <no new privileges> <Landlock version>
// <seccomp> <processor limit>". Each attempt that fails must fail cleanly, so that the next
// one still runs; exec comes last, since it would end the probe if it worked.

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "platform/Confinement.h"

namespace {

void Say(const std::string& line) {
    const std::string text = line + "\n";
    [[maybe_unused]] const ssize_t written = write(1, text.data(), text.size());
}

void SayResult(const char* what, bool worked) {
    Say(std::string(what) + (worked ? " ok" : " " + std::to_string(errno)));
}

bool ConnectTo(int port) {
    const int socketFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socketFd < 0) {
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return connect(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

// A child that could be started ends at once.
bool StartProcess() {
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    return child > 0 && waitpid(child, nullptr, 0) == child;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: confinement_probe HELD_FILE NEW_FILE PORT\n", stderr);
        return 2;
    }
    const int held = open(argv[1], O_RDONLY | O_CLOEXEC);
    const ConfinementReport report = ConfineToParsing({held, 1});
    Say("applied " + std::to_string(report.noNewPrivileges) + " " +
        std::to_string(report.landlockAbi) + " " + std::to_string(report.seccompFilter) + " " +
        std::to_string(report.processorLimit));

    char byte = 0;
    SayResult("read-held", pread(held, &byte, 1, 0) == 1);
    const std::string again = "/proc/self/fd/" + std::to_string(held);
    SayResult("reopen-held", open(again.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) >= 0);
    constexpr std::size_t kBytes = std::size_t{64} << 20;
    const std::unique_ptr<char[]> memory(new (std::nothrow) char[kBytes]);
    SayResult("allocate", memory != nullptr && std::memset(memory.get(), 1, kBytes) != nullptr);
    std::atomic<bool> ran{false};
    std::thread([&] { ran = true; }).join();
    SayResult("thread", ran);

    SayResult("open-other", open("/etc/passwd", O_RDONLY | O_CLOEXEC) >= 0);
    SayResult("create", open(argv[2], O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600) >= 0);
    SayResult("connect", ConnectTo(std::atoi(argv[3])));
    SayResult("ptrace", ptrace(PTRACE_SEIZE, getppid(), nullptr, nullptr) == 0);
    SayResult("fork", StartProcess());
    execl("/bin/true", "true", static_cast<char*>(nullptr));
    SayResult("exec", false);
    // As the reader ends: in sanitizer builds the leak check at exit would list
    // /proc/self/task, which Landlock forbids.
    _exit(0);
}
