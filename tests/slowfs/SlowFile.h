#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

// A copy of a file served by slow_file_system for as long as the object lives: read at
// bytesPerSecond and, with stallAfter above 0, never past that byte, as a disk that stopped
// answering. A reader that is killed there is let go, or with Stall::EvenWhenKilled kept
// (in uninterruptible sleep) until the object goes. With failFrom above 0 the file is
// unreadable from that byte on, as a disk with a bad sector (a read there fails with EIO,
// one that reaches into it gets the bytes before it). Where FUSE cannot be mounted (no
// /dev/fuse, no permission) Problem() says why, and the caller skips saying so. The tests
// and the benchmarks share it.
class SlowFile {
public:
    enum class Stall { UntilKilled, EvenWhenKilled };

    SlowFile(const std::string& source, double bytesPerSecond, std::uint64_t stallAfter = 0,
             Stall stall = Stall::UntilKilled, std::uint64_t failFrom = 0);
    ~SlowFile();
    SlowFile(const SlowFile&) = delete;
    SlowFile& operator=(const SlowFile&) = delete;

    // Empty once the file is served.
    const std::string& Problem() const { return m_problem; }
    // The slow copy's path.
    const std::string& Path() const { return m_path; }

    // The reads served so far: how many, their bytes, when the last one was (CLOCK_MONOTONIC
    // nanoseconds, 0 before any), and how many came after afterNs.
    struct Reads {
        int count{};
        std::uint64_t bytes{};
        std::int64_t lastNs{};
        int after{};
    };
    Reads ReadsServed(std::int64_t afterNs = 0) const;

private:
    std::string m_folder; // a folder of its own in /tmp: the mount point and the logs
    std::string m_path;
    std::string m_problem;
    pid_t m_server{-1};
};

// CLOCK_MONOTONIC now, in nanoseconds, to compare with the times of the reads.
std::int64_t MonotonicNs();
