// The confinement of the reader program, shown by a process that confines itself as the
// reader does and then tries things (confinement_probe): what a parse needs still works,
// and opening another file, creating one, connecting a socket, tracing or starting a
// process and exec all fail, each cleanly, without ending the process.

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "platform/Confinement.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WavBuilder.h"

namespace {

// A TCP socket listening on the loopback interface, on a port of the system's choice.
class Listener {
public:
    Listener() : m_socket(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto* generic = reinterpret_cast<sockaddr*>(&address);
        if (bind(m_socket, generic, length) == 0 && listen(m_socket, 4) == 0 &&
            getsockname(m_socket, generic, &length) == 0) {
            m_port = ntohs(address.sin_port);
        }
    }
    ~Listener() { close(m_socket); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    int Port() const { return m_port; }

private:
    int m_socket;
    int m_port{};
};

// The probe's lines, by what they tried: "ok" or the error's number.
std::map<std::string, std::string> Attempts(const std::string& output) {
    std::map<std::string, std::string> attempts;
    std::istringstream lines(output);
    std::string what, result;
    while (lines >> what && std::getline(lines >> std::ws, result)) {
        attempts[what] = result;
    }
    return attempts;
}

std::string Errno(int number) {
    return std::to_string(number);
}

TEST(Confinement, LeavesAParseItsFileAndMemoryAndNothingElse) {
    TemporaryFolder folder;
    ASSERT_EQ(folder.Path().string().rfind("/tmp/", 0), 0u) << "the new file goes into /tmp";
    const std::string held = WavBuilder().Samples16({1, 2}).WriteTo(folder, "held.wav");
    const std::string created = folder.File("created");
    const Listener listener;
    ASSERT_NE(listener.Port(), 0);
    const ProcessResult probe =
        RunProcess({VOQ_CONFINEMENT_PROBE, held, created, std::to_string(listener.Port())});
    ASSERT_EQ(probe.exitStatus, 0) << probe.output;
    auto attempts = Attempts(probe.output);

    std::istringstream applied(attempts["applied"]);
    int noNewPrivileges = 0, landlockAbi = 0, seccompFilter = 0, processorLimit = 0;
    applied >> noNewPrivileges >> landlockAbi >> seccompFilter >> processorLimit;
    EXPECT_EQ(noNewPrivileges, 1);
    EXPECT_EQ(processorLimit, 1);
    EXPECT_EQ(seccompFilter, kSeccompInThisBuild ? 1 : 0);
    if (landlockAbi == 0) {
        GTEST_SKIP() << "this kernel has no Landlock: files stay open to the reader here";
    }

    for (const char* works : {"read-held", "reopen-held", "allocate", "thread"}) {
        EXPECT_EQ(attempts[works], "ok") << works;
    }
    // Landlock answers EACCES; seccomp, where it stops a call first, EPERM.
    const std::string refused = Errno(seccompFilter ? EPERM : EACCES);
    EXPECT_EQ(attempts["open-other"], Errno(EACCES)) << "a read-only open is Landlock's to deny";
    EXPECT_EQ(attempts["create"], refused);
    EXPECT_EQ(attempts["ptrace"], Errno(EPERM));
    EXPECT_EQ(attempts["exec"], refused);
    EXPECT_FALSE(std::filesystem::exists(created));
    // Without seccomp only Landlock's network rules (version 4 on) stop a connection, and
    // nothing stops a fork.
    if (seccompFilter || landlockAbi >= 4) {
        EXPECT_EQ(attempts["connect"], refused);
    }
    if (seccompFilter) {
        EXPECT_EQ(attempts["fork"], Errno(EPERM));
    }
    EXPECT_EQ(attempts.size(), 11u) << probe.output;
}

} // namespace
