#include "tools/PngOutput.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <filesystem>
#include <new>
#include <optional>
#include <string>

#include "wave/FileDescriptor.h"

// WritePng follows the links of the output's last component one by one, stopping where
// the chain reaches one of the process's own descriptors; then writes straight through a
// descriptor, a FIFO or a device, or replaces a regular file as one step (ReplaceFile).

namespace {

// The longest chain of symbolic links followed, as the kernel's own limit.
constexpr int kMaxLinks = 40;

OutputOutcome CannotWrite(int error) {
    return {OutputStatus::CannotWrite, error, {}};
}

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

bool IsInput(const struct stat& status, const std::optional<FileIdentity>& input) {
    return S_ISREG(status.st_mode) && input && *input == FileIdentity{status.st_dev, status.st_ino};
}

// The PNG is encoded in memory, so that the file is written with plain write(2) calls
// whose errors name their cause ("No space left on device"); Qt's image writer reports any
// failure of its device as an unknown error.
OutputOutcome EncodePng(const QImage& image, QByteArray& bytes) {
    if (image.isNull()) {
        // QImage leaves the image null when it cannot get the memory for its pixels.
        return {OutputStatus::CannotPaint, ENOMEM, {}};
    }
    try {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        if (!writer.write(image)) {
            return {OutputStatus::CannotEncode, 0, writer.errorString().toStdString()};
        }
        return {};
    } catch (const std::bad_alloc&) {
        return {OutputStatus::CannotEncode, ENOMEM, {}};
    }
}

// Writes all of bytes at the descriptor's own position.
OutputOutcome WriteAll(int fd, const QByteArray& bytes) {
    const char* next = bytes.constData();
    for (qsizetype left = bytes.size(); left > 0;) {
        const ssize_t written = write(fd, next, static_cast<std::size_t>(left));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return CannotWrite(written < 0 ? errno : EIO);
        }
        next += written;
        left -= written;
    }
    return {};
}

// Encodes the image into png and writes it through fd.
OutputOutcome EncodeAndWrite(int fd, const QImage& image, QByteArray& png) {
    if (OutputOutcome encoded = EncodePng(image, png); !encoded.Written()) {
        return encoded;
    }
    return WriteAll(fd, png);
}

// Writes through a descriptor that stands for the output: a FIFO, a device, or a file the
// caller opened (a redirection), unless that file is the input.
OutputOutcome WriteThrough(int fd, const QImage& image, const std::optional<FileIdentity>& input,
                           QByteArray& png) {
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        return CannotWrite(errno);
    }
    if (IsInput(status, input)) {
        return {OutputStatus::OutputIsInput, 0, {}};
    }
    return EncodeAndWrite(fd, image, png);
}

// Writes through a descriptor the process was given. The process's own descriptors (Qt's,
// the font cache's) are all opened close-on-exec, and no inherited one can be: those are
// not the caller's to name, and count as not open.
OutputOutcome WriteThroughGiven(int fd, const QImage& image,
                                const std::optional<FileIdentity>& input, QByteArray& png) {
    const int flags = fcntl(fd, F_GETFD);
    if (flags < 0 || (flags & FD_CLOEXEC) != 0) {
        return CannotWrite(EBADF);
    }
    return WriteThrough(fd, image, input, png);
}

// Whether folder is this process's descriptor folder: /dev/fd, /proc/self/fd and
// /proc/thread-self/fd by their names (also where /proc is missing, as the shell's names
// count), or any spelling the system resolves to /proc/PID/fd or /proc/PID/task/TID/fd of
// this process (the threads of a process share its descriptors).
bool IsOwnDescriptorFolder(const std::string& folder) {
    if (folder == "/dev/fd" || folder == "/proc/self/fd" || folder == "/proc/thread-self/fd") {
        return true;
    }
    std::error_code error;
    const std::string resolved = std::filesystem::canonical(folder, error).string();
    const std::string own = "/proc/" + std::to_string(getpid()) + "/";
    if (error || resolved.rfind(own, 0) != 0) {
        return false;
    }
    const std::string rest = resolved.substr(own.size());
    const std::string task = "task/";
    if (rest.rfind(task, 0) != 0 || rest.size() <= task.size() + 3) {
        return rest == "fd";
    }
    const std::string thread = rest.substr(task.size(), rest.size() - task.size() - 3);
    return rest.compare(rest.size() - 3, 3, "/fd") == 0 &&
           std::all_of(thread.begin(), thread.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The descriptor path names when it is an entry of this process's descriptor folder, or one
// of the names the shell gives the standard descriptors. Such a path reaches the file behind
// the descriptor, but opening it anew would lose the descriptor's position and its append
// mode, and replacing it would replace the file.
std::optional<int> DescriptorNamed(const std::string& path) {
    if (path == "/dev/stdin" || path == "/dev/stdout" || path == "/dev/stderr") {
        return path == "/dev/stdin" ? 0 : path == "/dev/stdout" ? 1 : 2;
    }
    const std::filesystem::path named(path);
    const std::string number = named.filename().string();
    if (number.empty() || number.size() > 9 ||
        !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    if (IsOwnDescriptorFolder(named.parent_path().string())) {
        return std::stoi(number);
    }
    return std::nullopt;
}

// What a write through an output path reaches: a descriptor of the process, or the file
// at path with the symbolic links of its last component followed (those of its folders
// the system follows by itself).
struct Reached {
    std::string path;
    std::optional<int> descriptor;
};

OutputOutcome FollowLinks(const std::string& output, Reached& reached) {
    reached.path = output;
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        reached.descriptor = DescriptorNamed(reached.path);
        if (reached.descriptor) {
            return {};
        }
        char link[PATH_MAX];
        const ssize_t length = readlink(reached.path.c_str(), link, sizeof link);
        if (length < 0) {
            // EINVAL: not a link; ENOENT: nothing there yet, which is created.
            return errno == EINVAL || errno == ENOENT ? OutputOutcome{} : CannotWrite(errno);
        }
        if (static_cast<std::size_t>(length) == sizeof link) {
            return CannotWrite(ENAMETOOLONG);
        }
        const std::filesystem::path target(std::string(link, static_cast<std::size_t>(length)));
        reached.path = target.is_absolute()
                           ? target.string()
                           : (std::filesystem::path(reached.path).parent_path() / target).string();
    }
    return CannotWrite(ELOOP);
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

// Whether the file that stands at name in folder may be replaced: it is not the input,
// and the user may write it. Replacing goes through the folder, which the system checks by
// itself; the file's own permission is asked of the system for the effective user, as an
// open for writing would be decided (so root replaces a read-only file, as cp does).
OutputOutcome MayReplace(int folder, const std::string& name, const struct stat& existing,
                         const std::optional<FileIdentity>& input) {
    if (IsInput(existing, input)) {
        return {OutputStatus::OutputIsInput, 0, {}};
    }
    if (faccessat(folder, name.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0) {
        return CannotWrite(errno);
    }
    return {};
}

// Opens the file the image is written to before it takes the output's name: an unnamed
// file, which vanishes with the process however it ends. Some filesystems (FAT, NFS,
// overlays on older kernels) have no unnamed files: a named temporary then stands in, with
// the termination signals held until it is renamed or removed. 0, or the errno.
int OpenNewFile(int folder, FileDescriptor& file, std::string& temporary,
                std::optional<TerminationHeld>& held) {
    file.Reset(openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (file.Get() < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        held.emplace();
        for (int attempt = 0; file.Get() < 0 && attempt < 100; ++attempt) {
            temporary = TemporaryName(attempt);
            file.Reset(openat(folder, temporary.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
            if (file.Get() < 0 && errno != EEXIST) {
                break;
            }
        }
    }
    return file.Get() < 0 ? errno : 0;
}

// Gives the written file the output's name in one step. 0, or the errno; temporary then
// names what is left to remove, if anything.
int TakeName(int file, int folder, const std::string& name, bool exists, std::string& temporary,
             std::optional<TerminationHeld>& held) {
    if (temporary.empty()) {
        // Where nothing stands yet, the link itself creates the output.
        int error = exists ? EEXIST : LinkUnnamed(file, folder, name);
        if (error != EEXIST) {
            return error;
        }
        // No call links a file over an existing one: link it under a temporary name and
        // rename that over the output, with the termination signals held in between.
        held.emplace();
        for (int attempt = 0; error == EEXIST && attempt < 100; ++attempt) {
            temporary = TemporaryName(attempt);
            error = LinkUnnamed(file, folder, temporary);
        }
        if (error != 0) {
            temporary.clear();
            return error;
        }
    }
    return renameat(folder, temporary.c_str(), folder, name.c_str()) != 0 ? errno : 0;
}

// Replaces the regular file (or nothing) at target by the image, as one step.
OutputOutcome ReplaceFile(const std::string& target, const QImage& image,
                          const std::optional<FileIdentity>& input, QByteArray& png) {
    const std::filesystem::path targetPath(target);
    const std::string folderPath =
        targetPath.has_parent_path() ? targetPath.parent_path().string() : std::string(".");
    const std::string name = targetPath.filename().string();
    const FileDescriptor folder(open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() < 0) {
        return CannotWrite(errno);
    }
    struct stat existingStatus {};
    const bool exists =
        fstatat(folder.Get(), name.c_str(), &existingStatus, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists) {
        if (OutputOutcome allowed = MayReplace(folder.Get(), name, existingStatus, input);
            !allowed.Written()) {
            return allowed;
        }
    }

    std::optional<TerminationHeld> held;
    std::string temporary;
    FileDescriptor file(-1);
    if (const int error = OpenNewFile(folder.Get(), file, temporary, held); error != 0) {
        return CannotWrite(error);
    }
    const auto fail = [&](const OutputOutcome& outcome) {
        if (!temporary.empty()) {
            unlinkat(folder.Get(), temporary.c_str(), 0);
        }
        return outcome;
    };
    if (exists) {
        KeepOwnerAndMode(file.Get(), existingStatus);
    }
    if (OutputOutcome written = EncodeAndWrite(file.Get(), image, png); !written.Written()) {
        return fail(written);
    }
    if (fsync(file.Get()) != 0) {
        return fail(CannotWrite(errno));
    }
    if (const int error = TakeName(file.Get(), folder.Get(), name, exists, temporary, held);
        error != 0) {
        return fail(CannotWrite(error));
    }
    return {};
}

} // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return FileIdentity{status.st_dev, status.st_ino};
}

OutputOutcome WritePng(const QImage& image, const std::string& output,
                       const std::optional<FileIdentity>& input, QByteArray& png) {
    // A file size limit then fails the write with "File too large" instead of killing
    // the process.
    std::signal(SIGXFSZ, SIG_IGN);

    if (output == "-") {
        return WriteThroughGiven(STDOUT_FILENO, image, input, png);
    }
    Reached reached;
    if (OutputOutcome followed = FollowLinks(output, reached); !followed.Written()) {
        return followed;
    }
    if (reached.descriptor) {
        return WriteThroughGiven(*reached.descriptor, image, input, png);
    }
    struct stat status {};
    if (stat(reached.path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        if (S_ISDIR(status.st_mode)) {
            return CannotWrite(EISDIR);
        }
        // A FIFO waits here for its reader.
        int fd = -1;
        do {
            fd = open(reached.path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        const FileDescriptor file(fd);
        if (file.Get() < 0) {
            return CannotWrite(errno);
        }
        return WriteThrough(file.Get(), image, input, png);
    }
    return ReplaceFile(reached.path, image, input, png);
}
