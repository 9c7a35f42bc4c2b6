#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

// An open file's descriptor, closed on every way out of the scope that holds it: the file
// a load reads, or one the renderer writes. Reads name their offset, so that the header
// parse and the threads that read the samples never depend on a shared file position.
class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor) : m_descriptor(descriptor) {}
    ~FileDescriptor() { Reset(-1); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    // The descriptor, or -1 when the file could not be opened.
    int Get() const { return m_descriptor; }

    // Closes the descriptor held, if any, and holds descriptor instead.
    void Reset(int descriptor) {
        if (m_descriptor >= 0) {
            close(m_descriptor);
        }
        m_descriptor = descriptor;
    }

    // pread(2), resumed after a signal: a slow disk read may be interrupted before it has
    // read a byte. Returns the bytes read, 0 at the end of the file, or -1 with errno set
    // (an offset beyond what off_t holds gives EINVAL).
    ssize_t ReadAt(std::uint8_t* into, std::size_t count, std::uint64_t offset) const {
        for (;;) {
            const ssize_t got = pread(m_descriptor, into, count, static_cast<off_t>(offset));
            if (got >= 0 || errno != EINTR) {
                return got;
            }
        }
    }

private:
    int m_descriptor;
};
