#include "platform/NamedLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

// Whether a file or folder that is open belongs to this user alone: owned by the user, and
// neither group nor others may write it. Anyone who could write the folder could hold or
// swap the lock file; anyone who could write the file could forge its note.
bool IsUsersOwn(int fd) {
    struct stat status {};
    return fstat(fd, &status) == 0 && status.st_uid == geteuid() &&
           (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The folder at path, opened, if it is a directory of the user's own; else -1.
int OpenUsersFolder(const char* path, int flags) {
    const int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC | flags);
    if (fd >= 0 && !IsUsersOwn(fd)) {
        close(fd);
        return -1;
    }
    return fd;
}

// The folder of the user's locks, opened (and its path, if asked for); -1 when there is
// none. $XDG_RUNTIME_DIR is used when it is an absolute path (a relative one would name
// another folder in every working directory) to a directory of the user's own; else the
// user's own folder under /tmp, made 0700 when missing. Anyone may create names in /tmp,
// so that one is used only when it is a real directory, not a link to one. The lock file
// is then opened through the descriptor of the folder that was checked, so that swapping
// a folder on the way afterwards leads nowhere else.
int OpenLockFolder(std::string* path = nullptr) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        const int fd = OpenUsersFolder(runtime, 0);
        if (fd >= 0) {
            if (path != nullptr) {
                *path = runtime;
            }
            return fd;
        }
    }
    const std::string folder = "/tmp/voq-" + std::to_string(geteuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return -1;
    }
    const int fd = OpenUsersFolder(folder.c_str(), O_NOFOLLOW);
    if (fd >= 0 && path != nullptr) {
        *path = folder;
    }
    return fd;
}

} // namespace

std::string NamedLock::PathOf(std::string_view name) {
    std::string folder;
    const int fd = OpenLockFolder(&folder);
    if (fd < 0) {
        return {};
    }
    close(fd);
    return folder + "/" + std::string(name);
}

NamedLock::~NamedLock() {
    Close();
}

bool NamedLock::Create(std::string_view name) {
    Close();
    const int folder = OpenLockFolder();
    if (folder < 0) {
        return false;
    }
    // Read and write: the holder keeps its note in the file. O_NOFOLLOW: a link planted
    // under the lock's name is refused rather than followed. O_NONBLOCK: a FIFO under that
    // name must not block the start. O_CLOEXEC: a program this process starts must not
    // inherit, and so keep, the lock.
    const int fd = openat(folder, std::string(name).c_str(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    close(folder);
    if (fd < 0) {
        return false;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || !IsUsersOwn(fd)) {
        close(fd);
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            close(fd);
            return false;
        }
        m_alreadyExists = true;
    } else if (ftruncate(fd, 0) != 0) {
        // The note of a holder that has ended is no note of this one.
        close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void NamedLock::Close() {
    if (m_fd >= 0) {
        close(m_fd);
    }
    m_fd = -1;
    m_alreadyExists = false;
}

bool NamedLock::WriteNote(std::string_view note) {
    if (m_fd < 0 || m_alreadyExists || ftruncate(m_fd, 0) != 0) {
        return false;
    }
    // One write at the start of an empty file: a reader sees nothing, a beginning, or all
    // of it, and the note's own form tells a beginning from the whole.
    const ssize_t written = pwrite(m_fd, note.data(), note.size(), 0);
    return written >= 0 && static_cast<std::size_t>(written) == note.size();
}

std::string NamedLock::ReadNote() const {
    if (m_fd < 0) {
        return {};
    }
    std::string note(4096, '\0');
    const ssize_t count = pread(m_fd, note.data(), note.size(), 0);
    note.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    return note;
}
