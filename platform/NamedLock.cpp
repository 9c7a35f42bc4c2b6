#include "platform/NamedLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <iterator>

// Create finds the folder of the user's locks (OpenLockFolder), opens the lock file in it
// through the folder's descriptor, checks that the file is the user's own regular file,
// and takes the lock. Each step that fails says what it found, and where.

namespace {

// Calls call again while it fails with EINTR: a signal arrived during a call that can wait.
template <typename Call> auto RetryOnInterrupt(Call call) {
    auto result = call();
    while (result < 0 && errno == EINTR) {
        result = call();
    }
    return result;
}

LockOutcome Failure(LockProblem problem, const std::string& path, int error = 0) {
    return {problem, error, path};
}

// Whether a file or folder that is open belongs to this user alone: owned by the user, and
// neither group nor others may write it. Anyone who could write the folder could hold or
// swap the lock file; anyone who could write the file could forge its note.
LockProblem OwnershipProblem(const struct stat& status) {
    if (status.st_uid != geteuid()) {
        return LockProblem::BelongsToAnotherUser;
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return LockProblem::WritableByOthers;
    }
    return LockProblem::None;
}

// What is wrong with a thing of this mode where a folder (or else a regular file) belongs.
LockProblem KindProblem(mode_t mode, bool folder) {
    if (S_ISLNK(mode)) {
        return LockProblem::IsSymbolicLink;
    }
    if (folder) {
        return S_ISDIR(mode) ? LockProblem::None : LockProblem::IsNotDirectory;
    }
    if (S_ISDIR(mode)) {
        return LockProblem::IsDirectory;
    }
    if (S_ISFIFO(mode)) {
        return LockProblem::IsFifo;
    }
    return S_ISREG(mode) ? LockProblem::None : LockProblem::IsNotRegularFile;
}

// Checks a file or folder that is open: its kind, then that it is the user's alone.
LockOutcome CheckOpened(int fd, const std::string& path, bool folder) {
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        return Failure(LockProblem::SystemError, path, errno);
    }
    LockProblem problem = KindProblem(status.st_mode, folder);
    if (problem == LockProblem::None) {
        problem = OwnershipProblem(status);
    }
    return Failure(problem, path);
}

// Why opening name in folder (or the absolute path name, with AT_FDCWD) failed with error:
// the kind of thing that stands there, or its owner being someone else ("Permission
// denied" would not say whom to ask), else the error itself.
LockOutcome OpenFailure(int folder, const std::string& name, const std::string& path, int error,
                        bool wantFolder) {
    struct stat status {};
    if (fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
        LockProblem problem = KindProblem(status.st_mode, wantFolder);
        if (problem == LockProblem::None && status.st_uid != geteuid()) {
            problem = LockProblem::BelongsToAnotherUser;
        }
        if (problem != LockProblem::None) {
            return Failure(problem, path);
        }
    }
    return Failure(LockProblem::SystemError, path, error);
}

// The folder of the user's locks: opened, with its path, or why there is none.
struct LockFolder {
    int fd{-1};
    std::string path;
    LockOutcome outcome;
};

// $XDG_RUNTIME_DIR is used when it is an absolute path (a relative one would name another
// folder in every working directory) to a directory of the user's own; else it is passed
// over in silence, as the XDG rule says. The fallback is the user's own folder under /tmp,
// made 0700 when missing. Anyone may create names in /tmp, so that one is used only when
// it is a real directory, not a link to one. The lock file is then opened through the
// descriptor of the folder that was checked, so that swapping a folder on the way
// afterwards leads nowhere else.
LockFolder OpenLockFolder() {
    LockFolder folder;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        folder.fd =
            RetryOnInterrupt([&] { return open(runtime, O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
        if (folder.fd >= 0 && CheckOpened(folder.fd, runtime, true)) {
            folder.path = runtime;
            return folder;
        }
        if (folder.fd >= 0) {
            close(folder.fd);
        }
    }
    folder.path = "/tmp/voq-" + std::to_string(geteuid());
    if (mkdir(folder.path.c_str(), 0700) != 0 && errno != EEXIST) {
        folder.fd = -1;
        folder.outcome = Failure(LockProblem::SystemError, folder.path, errno);
        return folder;
    }
    folder.fd = RetryOnInterrupt(
        [&] { return open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); });
    if (folder.fd < 0) {
        folder.outcome = OpenFailure(AT_FDCWD, folder.path, folder.path, errno, true);
        return folder;
    }
    folder.outcome = CheckOpened(folder.fd, folder.path, true);
    if (!folder.outcome) {
        close(folder.fd);
        folder.fd = -1;
    }
    return folder;
}

} // namespace

const char* DescribeLockProblem(LockProblem problem) {
    // One text per problem, in the order of LockProblem.
    static constexpr const char* kDescriptions[] = {
        "can be used",           "cannot be used",          "is a directory",
        "is not a directory",    "is a symbolic link",      "is a FIFO",
        "is not a regular file", "belongs to another user", "can be written by other users",
    };
    static_assert(std::size(kDescriptions) ==
                  static_cast<std::size_t>(LockProblem::WritableByOthers) + 1);
    const auto index = static_cast<std::size_t>(problem);
    return index < std::size(kDescriptions) ? kDescriptions[index] : "cannot be used";
}

std::string NamedLock::PathOf(std::string_view name) {
    const LockFolder folder = OpenLockFolder();
    if (folder.fd < 0) {
        return {};
    }
    close(folder.fd);
    return folder.path + "/" + std::string(name);
}

NamedLock::~NamedLock() {
    Close();
}

LockOutcome NamedLock::Create(std::string_view name) {
    Close();
    const LockFolder folder = OpenLockFolder();
    if (folder.fd < 0) {
        return folder.outcome;
    }
    const std::string file(name);
    const std::string path = folder.path + "/" + file;
    // Read and write: the holder keeps its note in the file. O_NOFOLLOW: a link planted
    // under the lock's name is refused rather than followed. O_NONBLOCK: a FIFO under that
    // name must not block the start. O_CLOEXEC: a program this process starts must not
    // inherit, and so keep, the lock.
    const int fd = RetryOnInterrupt([&] {
        return openat(folder.fd, file.c_str(),
                      O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    });
    LockOutcome outcome =
        fd < 0 ? OpenFailure(folder.fd, file, path, errno, false) : CheckOpened(fd, path, false);
    close(folder.fd);
    if (outcome && RetryOnInterrupt([&] { return flock(fd, LOCK_EX | LOCK_NB); }) != 0) {
        if (errno == EWOULDBLOCK) {
            m_alreadyExists = true;
        } else {
            outcome = Failure(LockProblem::SystemError, path, errno);
        }
    } else if (outcome && RetryOnInterrupt([&] { return ftruncate(fd, 0); }) != 0) {
        // The note of a holder that has ended is no note of this one.
        outcome = Failure(LockProblem::SystemError, path, errno);
    }
    if (!outcome) {
        if (fd >= 0) {
            close(fd);
        }
        m_alreadyExists = false;
        return outcome;
    }
    m_fd = fd;
    return outcome;
}

void NamedLock::Close() {
    if (m_fd >= 0) {
        close(m_fd);
    }
    m_fd = -1;
    m_alreadyExists = false;
}

bool NamedLock::WriteNote(std::string_view note) {
    if (m_fd < 0 || m_alreadyExists || RetryOnInterrupt([&] { return ftruncate(m_fd, 0); }) != 0) {
        return false;
    }
    // One write at the start of an empty file: a reader sees nothing, a beginning, or all
    // of it, and the note's own form tells a beginning from the whole.
    const ssize_t written =
        RetryOnInterrupt([&] { return pwrite(m_fd, note.data(), note.size(), 0); });
    return written >= 0 && static_cast<std::size_t>(written) == note.size();
}

std::string NamedLock::ReadNote() const {
    if (m_fd < 0) {
        return {};
    }
    std::string note(4096, '\0');
    const ssize_t count =
        RetryOnInterrupt([&] { return pread(m_fd, note.data(), note.size(), 0); });
    note.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    return note;
}
