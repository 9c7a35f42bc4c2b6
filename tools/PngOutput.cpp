#include "tools/PngOutput.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <string>

#include "tools/RenderCommandLine.h"

namespace {

// The longest chain of symbolic links followed, as the kernel's own limit.
constexpr int kMaxLinks = 40;

void ReportWriteError(const std::string& output, int error) {
    std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, output.c_str(),
                 std::strerror(error));
}

// A descriptor closed when it goes out of scope.
struct Descriptor {
    int fd{-1};
    explicit Descriptor(int descriptor) : fd(descriptor) {}
    ~Descriptor() {
        if (fd >= 0) {
            close(fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
};

// Holds back the signals that end a process from a terminal or a session (SIGKILL cannot
// be held) while a temporary name exists, so that the name is gone before one of them acts.
struct TerminationHeld {
    sigset_t previous{};
    TerminationHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) {
            sigaddset(&held, signal);
        }
        sigprocmask(SIG_BLOCK, &held, &previous);
    }
    ~TerminationHeld() { sigprocmask(SIG_SETMASK, &previous, nullptr); }
    TerminationHeld(const TerminationHeld&) = delete;
    TerminationHeld& operator=(const TerminationHeld&) = delete;
};

// The PNG encoded in memory, so that the file is written with plain write(2) calls whose
// errors name their cause ("No space left on device"); Qt's image writer reports any
// failure of its device as an unknown error.
std::optional<QByteArray> EncodePng(const QImage& image) {
    if (image.isNull()) {
        // QImage leaves the image null when it cannot get the memory for its pixels.
        std::fprintf(stderr, "%s: cannot paint the picture: %s\n", kProgram, std::strerror(ENOMEM));
        return std::nullopt;
    }
    try {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        if (!writer.write(image)) {
            std::fprintf(stderr, "%s: cannot encode the picture as PNG: %s\n", kProgram,
                         writer.errorString().toLocal8Bit().constData());
            return std::nullopt;
        }
        return bytes;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: cannot encode the picture as PNG: %s\n", kProgram,
                     std::strerror(ENOMEM));
        return std::nullopt;
    }
}

// Writes all of bytes; 0, or the errno of the write that failed.
int WriteAll(int fd, const QByteArray& bytes) {
    const char* next = bytes.constData();
    for (qsizetype left = bytes.size(); left > 0;) {
        const ssize_t written = write(fd, next, static_cast<std::size_t>(left));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            return errno;
        }
        next += written;
        left -= written;
    }
    return 0;
}

// The file a write through path reaches: path with the symbolic links of its last
// component followed (those of its folders the system follows by itself). 0 or an errno.
int FollowLinks(std::string& path) {
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        char link[PATH_MAX];
        const ssize_t length = readlink(path.c_str(), link, sizeof link);
        if (length < 0) {
            // EINVAL: not a link; ENOENT: nothing there yet, which is created.
            return errno == EINVAL || errno == ENOENT ? 0 : errno;
        }
        if (static_cast<std::size_t>(length) == sizeof link) {
            return ENAMETOOLONG;
        }
        const std::filesystem::path target(std::string(link, static_cast<std::size_t>(length)));
        path = target.is_absolute() ? target.string()
                                    : (std::filesystem::path(path).parent_path() / target).string();
    }
    return ELOOP;
}

// Gives the new file the permission bits of the file it replaces, and its owner and group
// where the system allows (root replacing a user's file; a user may keep a group of theirs).
void KeepOwnerAndMode(int fd, const struct stat& existing) {
    if (existing.st_uid != geteuid() || existing.st_gid != getegid()) {
        if (fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            [[maybe_unused]] const int ignored =
                fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
        }
    }
    fchmod(fd, existing.st_mode & 0777);
}

// Links the unnamed file fd into folder under name. 0 or an errno (EEXIST when a file
// stands there).
int LinkUnnamed(int fd, int folder, const std::string& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return 0;
    }
    // Without /proc, AT_EMPTY_PATH does the same for a process allowed to use it.
    if (errno == ENOENT && linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH) == 0) {
        return 0;
    }
    return errno;
}

// A name for the moment between linking a complete file and renaming it over the output.
std::string TemporaryName(int attempt) {
    return ".voq006-render-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
}

// Replaces the regular file (or nothing) at target by the image as a PNG, as one step.
// Failures are reported under the name output.
bool ReplaceFile(const std::string& target, const QImage& image, const std::string& output) {
    const std::filesystem::path targetPath(target);
    const std::string folderPath =
        targetPath.has_parent_path() ? targetPath.parent_path().string() : std::string(".");
    const std::string name = targetPath.filename().string();
    const Descriptor folder(open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.fd < 0) {
        ReportWriteError(output, errno);
        return false;
    }
    struct stat existingStatus {};
    const bool exists = fstatat(folder.fd, name.c_str(), &existingStatus, AT_SYMLINK_NOFOLLOW) == 0;

    // The unnamed file vanishes with the process, however it ends. Some filesystems (FAT,
    // NFS, overlays on older kernels) have no unnamed files: a named temporary then stands
    // in, with the termination signals held until it is renamed or removed.
    std::optional<TerminationHeld> held;
    std::string temporary;
    Descriptor file(openat(folder.fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (file.fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        held.emplace();
        for (int attempt = 0; file.fd < 0 && attempt < 100; ++attempt) {
            temporary = TemporaryName(attempt);
            file.fd = openat(folder.fd, temporary.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (file.fd < 0 && errno != EEXIST) {
                break;
            }
        }
    }
    if (file.fd < 0) {
        ReportWriteError(output, errno);
        return false;
    }
    const auto fail = [&](int error) {
        if (!temporary.empty()) {
            unlinkat(folder.fd, temporary.c_str(), 0);
        }
        if (error != 0) {
            ReportWriteError(output, error);
        }
        return false;
    };
    if (exists) {
        KeepOwnerAndMode(file.fd, existingStatus);
    }
    const std::optional<QByteArray> png = EncodePng(image);
    if (!png) {
        return fail(0);
    }
    if (const int error = WriteAll(file.fd, *png); error != 0) {
        return fail(error);
    }
    if (fsync(file.fd) != 0) {
        return fail(errno);
    }

    if (temporary.empty()) {
        // Where nothing stands yet, the link itself creates the output.
        int error = exists ? EEXIST : LinkUnnamed(file.fd, folder.fd, name);
        if (error == 0) {
            return true;
        }
        if (error != EEXIST) {
            return fail(error);
        }
        // No call links a file over an existing one: link it under a temporary name and
        // rename that over the output, with the termination signals held in between.
        held.emplace();
        for (int attempt = 0; error == EEXIST && attempt < 100; ++attempt) {
            temporary = TemporaryName(attempt);
            error = LinkUnnamed(file.fd, folder.fd, temporary);
        }
        if (error != 0) {
            temporary.clear();
            return fail(error);
        }
    }
    if (renameat(folder.fd, temporary.c_str(), folder.fd, name.c_str()) != 0) {
        return fail(errno);
    }
    return true;
}

// Writes the image as a PNG through the descriptor of a FIFO, a device or standard output.
bool WriteStraightThrough(int fd, const QImage& image, const std::string& output) {
    const std::optional<QByteArray> png = EncodePng(image);
    if (!png) {
        return false;
    }
    if (const int error = WriteAll(fd, *png); error != 0) {
        ReportWriteError(output, error);
        return false;
    }
    return true;
}

} // namespace

bool WritePng(const QImage& image, const std::string& output) {
    // A file size limit then fails the write with "File too large" instead of killing
    // the process.
    std::signal(SIGXFSZ, SIG_IGN);

    if (output == "-") {
        return WriteStraightThrough(STDOUT_FILENO, image, output);
    }
    struct stat status {};
    const bool found = stat(output.c_str(), &status) == 0;
    if (found && S_ISDIR(status.st_mode)) {
        ReportWriteError(output, EISDIR);
        return false;
    }
    if (found && !S_ISREG(status.st_mode)) {
        const Descriptor file(open(output.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
        if (file.fd < 0) {
            ReportWriteError(output, errno);
            return false;
        }
        return WriteStraightThrough(file.fd, image, output);
    }
    std::string target = output;
    if (const int error = FollowLinks(target); error != 0) {
        ReportWriteError(output, error);
        return false;
    }
    return ReplaceFile(target, image, output);
}
