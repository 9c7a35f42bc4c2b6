#include "platform/NamedLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

// The user's own folder under /tmp, made 0700 when missing. Anyone may create names in
// /tmp, so it is used only when it is a real directory (not a link to one) that belongs
// to this user and that nobody else can write into; otherwise another user could hold
// or swap the lock file.
std::string PrivateTemporaryFolder() {
    const std::string folder = "/tmp/voq-" + std::to_string(geteuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return {};
    }
    struct stat status {};
    if (lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != geteuid() || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return {};
    }
    return folder;
}

} // namespace

std::string NamedLock::PathOf(std::string_view name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder =
        runtime != nullptr && runtime[0] != '\0' ? std::string(runtime) : PrivateTemporaryFolder();
    if (folder.empty()) {
        return {};
    }
    return folder + "/" + std::string(name);
}

NamedLock::~NamedLock() {
    Close();
}

bool NamedLock::Create(std::string_view name) {
    Close();
    const std::string path = PathOf(name);
    if (path.empty()) {
        return false;
    }
    // Read-only is enough for flock, and the file is never written. O_NOFOLLOW: a link
    // planted under the lock's name is refused rather than followed. O_NONBLOCK: a FIFO
    // under that name must not block the start. O_CLOEXEC: a program this process starts
    // must not inherit, and so keep, the lock.
    const int fd =
        open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            close(fd);
            return false;
        }
        m_alreadyExists = true;
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
