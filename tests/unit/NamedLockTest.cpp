#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>

#include "platform/NamedLock.h"
#include "tests/support/CaseName.h"
#include "tests/support/TemporaryFolder.h"

extern char** environ;

namespace {

// Each test gets a runtime folder of its own, as a user session has one.
class NamedLockTest : public testing::Test {
protected:
    void SetUp() override { setenv("XDG_RUNTIME_DIR", m_folder.Path().c_str(), 1); }
    void TearDown() override { unsetenv("XDG_RUNTIME_DIR"); }

    std::string LockFile() const { return m_folder.File("VOQ"); }

    TemporaryFolder m_folder;
};

// A child process that creates the lock, reports what it found through a pipe and then
// waits to be killed. Returns its pid, and through holds whether it got the lock.
pid_t StartHolder(bool& holds) {
    int fds[2];
    if (pipe(fds) != 0) {
        return -1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        NamedLock lock;
        const char state = lock.Create("VOQ") && !lock.AlreadyExists() ? 'H' : 'N';
        if (write(fds[1], &state, 1) != 1) {
            _exit(2);
        }
        pause();
        _exit(0);
    }
    close(fds[1]);
    char state = 0;
    holds = read(fds[0], &state, 1) == 1 && state == 'H';
    close(fds[0]);
    return pid;
}

TEST_F(NamedLockTest, FirstCreateHoldsTheLockInAnEmptyPrivateFile) {
    NamedLock lock;
    ASSERT_TRUE(lock.Create("VOQ"));
    EXPECT_TRUE(lock.IsOpen());
    EXPECT_FALSE(lock.AlreadyExists());
    struct stat status {};
    ASSERT_EQ(stat(LockFile().c_str(), &status), 0);
    EXPECT_TRUE(S_ISREG(status.st_mode));
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(status.st_size, 0);
}

TEST_F(NamedLockTest, SecondCreateFindsItAlreadyExistsUntilTheFirstCloses) {
    NamedLock first;
    ASSERT_TRUE(first.Create("VOQ"));
    NamedLock second;
    ASSERT_TRUE(second.Create("VOQ")) << "a handle comes back also for a lock that exists";
    EXPECT_TRUE(second.AlreadyExists());
    second.Close();
    EXPECT_FALSE(second.IsOpen());

    first.Close();
    NamedLock third;
    ASSERT_TRUE(third.Create("VOQ"));
    EXPECT_FALSE(third.AlreadyExists());
    EXPECT_TRUE(std::ifstream(LockFile()).good()) << "closing never removes the file";
}

TEST_F(NamedLockTest, ClosingTheHandleOfALaterCopyLeavesTheHolderHoldingIt) {
    NamedLock holder;
    ASSERT_TRUE(holder.Create("VOQ"));
    {
        NamedLock later;
        ASSERT_TRUE(later.Create("VOQ"));
        ASSERT_TRUE(later.AlreadyExists());
    }
    NamedLock another;
    ASSERT_TRUE(another.Create("VOQ"));
    EXPECT_TRUE(another.AlreadyExists());
}

TEST_F(NamedLockTest, LocksOfOtherNamesAreIndependent) {
    NamedLock voq;
    ASSERT_TRUE(voq.Create("VOQ"));
    NamedLock other;
    ASSERT_TRUE(other.Create("VOQ2"));
    EXPECT_FALSE(other.AlreadyExists());
}

TEST_F(NamedLockTest, LockHeldByAnotherProcessIsReleasedWhenItIsKilled) {
    bool holds = false;
    const pid_t holder = StartHolder(holds);
    ASSERT_GT(holder, 0);
    ASSERT_TRUE(holds);

    NamedLock lock;
    ASSERT_TRUE(lock.Create("VOQ"));
    EXPECT_TRUE(lock.AlreadyExists());

    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    ASSERT_TRUE(lock.Create("VOQ"));
    EXPECT_FALSE(lock.AlreadyExists()) << "the lock dies with the process that held it";
}

TEST_F(NamedLockTest, AProgramStartedByTheHolderDoesNotKeepTheLock) {
    NamedLock lock;
    ASSERT_TRUE(lock.Create("VOQ"));
    const char* argv[] = {"/bin/sleep", "30", nullptr};
    pid_t child = -1;
    ASSERT_EQ(posix_spawn(&child, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    lock.Close();

    NamedLock next;
    ASSERT_TRUE(next.Create("VOQ"));
    EXPECT_FALSE(next.AlreadyExists()) << "the child inherited the lock";
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

// What stands at the lock's place, why no handle comes back, and what Create says of it.
// Permissions prove nothing to a test run as root, so every case is one that refuses
// root too.
struct NoHandleCase : NamedCase {
    void (*prepare)(const TemporaryFolder& folder);
    LockProblem problem;
};
const NoHandleCase kNoHandleCases[] = {
    {"LockIsALink",
     [](const TemporaryFolder& folder) {
         std::ofstream(folder.File("target")) << "";
         ASSERT_EQ(symlink(folder.File("target").c_str(), folder.File("VOQ").c_str()), 0);
     },
     LockProblem::IsSymbolicLink},
    {"LockIsADirectory",
     [](const TemporaryFolder& folder) { ASSERT_EQ(mkdir(folder.File("VOQ").c_str(), 0700), 0); },
     LockProblem::IsDirectory},
    // Opening a FIFO for reading would wait for a writer: the start must not hang.
    {"LockIsAFifo",
     [](const TemporaryFolder& folder) { ASSERT_EQ(mkfifo(folder.File("VOQ").c_str(), 0600), 0); },
     LockProblem::IsFifo},
    // Whoever can write the file could forge the holder's note.
    {"LockWritableByOthers",
     [](const TemporaryFolder& folder) {
         std::ofstream(folder.File("VOQ")) << "";
         ASSERT_EQ(chmod(folder.File("VOQ").c_str(), 0666), 0);
     },
     LockProblem::WritableByOthers},
};

class NoHandleTest : public NamedLockTest, public testing::WithParamInterface<NoHandleCase> {};

TEST_P(NoHandleTest, CreateGivesNoHandleAndSaysWhichFileAndWhy) {
    GetParam().prepare(m_folder);
    NamedLock lock;
    const LockOutcome outcome = lock.Create("VOQ");
    EXPECT_FALSE(outcome);
    EXPECT_EQ(outcome.problem, GetParam().problem);
    EXPECT_EQ(outcome.path, LockFile());
    EXPECT_FALSE(lock.IsOpen());
    EXPECT_FALSE(lock.AlreadyExists());
}

INSTANTIATE_TEST_SUITE_P(NamedLock, NoHandleTest, testing::ValuesIn(kNoHandleCases), CaseName);

// The fallback folder under /tmp that another user made first (anyone may create names
// there): the lock is not taken in it, and Create names that folder. Run by a child that
// becomes nobody, for whom the test, as root, makes the folder.
TEST(NamedLockFolder, AFallbackFolderOfAnotherUserIsNamedAndNotUsed) {
    constexpr uid_t kNobody = 65534;
    const std::string folder = "/tmp/voq-" + std::to_string(kNobody);
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to make a folder for another user";
    }
    if (mkdir(folder.c_str(), 0700) != 0) {
        GTEST_SKIP() << folder << " exists already: it may be in use";
    }
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        unsetenv("XDG_RUNTIME_DIR");
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0) {
            _exit(2);
        }
        NamedLock lock;
        const LockOutcome outcome = lock.Create("VOQ");
        const std::string said =
            std::to_string(static_cast<int>(outcome.problem)) + " " + outcome.path;
        _exit(write(fds[1], said.data(), said.size()) == static_cast<ssize_t>(said.size()) ? 0 : 3);
    }
    close(fds[1]);
    char said[256] = {};
    const ssize_t count = read(fds[0], said, sizeof said - 1);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    struct stat folderStatus {};
    EXPECT_EQ(stat((folder + "/VOQ").c_str(), &folderStatus), -1) << "a lock file was made there";
    rmdir(folder.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ASSERT_GT(count, 0);
    EXPECT_EQ(std::string(said),
              std::to_string(static_cast<int>(LockProblem::BelongsToAnotherUser)) + " " + folder);
}

TEST_F(NamedLockTest, TheHoldersNoteIsReadByLaterHandlesAndGoesWithTheHolder) {
    NamedLock holder;
    ASSERT_TRUE(holder.Create("VOQ"));
    EXPECT_TRUE(holder.WriteNote("first note, longer\n"));
    EXPECT_TRUE(holder.WriteNote("12345\n")) << "a note replaces the one before";
    NamedLock later;
    ASSERT_TRUE(later.Create("VOQ"));
    ASSERT_TRUE(later.AlreadyExists());
    EXPECT_EQ(later.ReadNote(), "12345\n");
    EXPECT_FALSE(later.WriteNote("forged\n")) << "only the holder writes the note";
    EXPECT_EQ(later.ReadNote(), "12345\n");

    holder.Close();
    NamedLock next;
    ASSERT_TRUE(next.Create("VOQ"));
    ASSERT_FALSE(next.AlreadyExists());
    EXPECT_EQ(next.ReadNote(), "") << "a new holder starts without the old holder's note";
}

// Values of XDG_RUNTIME_DIR that another user could use to hold or swap the lock, or
// that name a different folder for every copy: each is ignored, and the lock lives in the
// user's own folder under /tmp.
struct IgnoredFolderCase : NamedCase {
    // The value of XDG_RUNTIME_DIR, given a fresh 0700 folder of this user.
    std::string (*value)(const TemporaryFolder& folder);
};
constexpr uid_t kNobody = 65534;

const IgnoredFolderCase kIgnoredFolderCases[] = {
    {"Relative", [](const TemporaryFolder&) { return std::string("."); }},
    {"Missing", [](const TemporaryFolder& folder) { return folder.File("missing"); }},
    {"RegularFile",
     [](const TemporaryFolder& folder) {
         std::ofstream(folder.File("file")) << "x";
         return folder.File("file");
     }},
    {"WorldWritable",
     [](const TemporaryFolder& folder) {
         chmod(folder.Path().c_str(), 01777);
         return folder.Path().string();
     }},
    {"GroupWritable",
     [](const TemporaryFolder& folder) {
         chmod(folder.Path().c_str(), 0770);
         return folder.Path().string();
     }},
    {"AnotherUsers",
     [](const TemporaryFolder& folder) {
         return chown(folder.Path().c_str(), kNobody, kNobody) == 0 ? folder.Path().string()
                                                                    : std::string();
     }},
};

class IgnoredRuntimeFolder : public testing::TestWithParam<IgnoredFolderCase> {};

TEST_P(IgnoredRuntimeFolder, LockLivesInTheUsersOwnFolderUnderTmp) {
    if (std::string(GetParam().name) == "AnotherUsers" && geteuid() != 0) {
        GTEST_SKIP() << "needs root to give a folder to another user";
    }
    TemporaryFolder folder;
    setenv("XDG_RUNTIME_DIR", GetParam().value(folder).c_str(), 1);
    EXPECT_EQ(NamedLock::PathOf("VOQ"), "/tmp/voq-" + std::to_string(geteuid()) + "/VOQ");
    unsetenv("XDG_RUNTIME_DIR");
}

INSTANTIATE_TEST_SUITE_P(NamedLock, IgnoredRuntimeFolder, testing::ValuesIn(kIgnoredFolderCases),
                         CaseName);

TEST(NamedLockFolder, WithoutARuntimeFolderTheLockLivesInTheUsersOwnFolderUnderTmp) {
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        if (value == nullptr) {
            unsetenv("XDG_RUNTIME_DIR");
        } else {
            setenv("XDG_RUNTIME_DIR", value, 1);
        }
        setenv("TMPDIR", "/nonexistent", 1); // not consulted: every copy must agree
        const std::string folder = "/tmp/voq-" + std::to_string(geteuid());
        EXPECT_EQ(NamedLock::PathOf("VOQ"), folder + "/VOQ");
        struct stat status {};
        ASSERT_EQ(lstat(folder.c_str(), &status), 0);
        EXPECT_TRUE(S_ISDIR(status.st_mode));
        EXPECT_EQ(status.st_uid, geteuid());
        EXPECT_EQ(status.st_mode & 0077, 0u);
    }
    unsetenv("TMPDIR");
}

} // namespace
