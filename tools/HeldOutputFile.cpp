#include "tools/HeldOutputFile.h"

#include <QByteArray>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

HeldOutputFile::HeldOutputFile(const std::string& output) {
    // O_NONBLOCK: opening a FIFO must never wait for a reader; only a regular file is kept.
    int descriptor = -1;
    do {
        descriptor = open(output.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    } while (descriptor < 0 && errno == EINTR);
    struct stat status {};
    if (descriptor >= 0 && fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)) {
        m_descriptor = descriptor;
    } else if (descriptor >= 0) {
        close(descriptor);
    }
}

HeldOutputFile::~HeldOutputFile() {
    if (m_descriptor >= 0) {
        close(m_descriptor);
    }
}

OutputOutcome HeldOutputFile::FillIfReplaced(const QByteArray& png) {
    struct stat status {};
    // A file that is still linked is the output itself (written in place) or another
    // name's contents, which are not ours to change.
    if (m_descriptor < 0 || fstat(m_descriptor, &status) != 0 || status.st_nlink != 0) {
        return {};
    }
    const char* next = png.constData();
    off_t offset = 0;
    for (qsizetype left = png.size(); left > 0;) {
        const ssize_t written = pwrite(m_descriptor, next, static_cast<std::size_t>(left), offset);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return {OutputStatus::CannotFillHeldFile, written < 0 ? errno : EIO, {}};
        }
        next += written;
        offset += written;
        left -= written;
    }
    int truncated = 0;
    do {
        truncated = ftruncate(m_descriptor, offset);
    } while (truncated != 0 && errno == EINTR);
    if (truncated != 0) {
        return {OutputStatus::CannotFillHeldFile, errno, {}};
    }
    return {};
}
