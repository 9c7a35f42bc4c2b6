#pragma once

// Where voq006-render writes its image, and what it never writes over.
//
// WritePng finds what the output names and writes the image there as a PNG:
// - "-", /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N (however spelled, also
//   through links) are the descriptors the process was given: written straight through
//   them at their own position, so an append redirection appends;
// - a FIFO or a character device is opened and written straight through;
// - a regular file, or a name where nothing stands yet, gets the whole new image or stays
//   as it was, whatever signal ends the process: the image is written into an unnamed
//   file in the same folder and linked in only when complete. An existing file keeps its
//   permission bits (and, where the system lets us, its owner); a symbolic link is
//   followed and its target replaced, the link stays.
// Never written: the input file itself, under whatever name, link or descriptor the
// output reaches it; and an existing file the user may not write (the system's own
// answer for the effective user, as an open for writing would give it).

#include <sys/types.h>

#include <optional>
#include <string>

class QByteArray;
class QImage;

// A file as the system tells files apart, whatever its names.
struct FileIdentity {
    dev_t device{};
    ino_t inode{};
    bool operator==(const FileIdentity&) const = default;
};

// The file path reaches (links followed); nothing when it cannot be examined.
std::optional<FileIdentity> IdentityOf(const std::string& path);

enum class OutputStatus {
    Written,
    CannotPaint,        // no memory for the picture's pixels
    CannotEncode,       // the PNG encoder failed; detail holds its words
    CannotWrite,        // a system call failed; errorNumber says why
    OutputIsInput,      // the output reaches the input file; nothing was written
    CannotFillHeldFile, // the image is at the output, but the caller's held file could not
                        // be filled; errorNumber says why
};

// What became of the image. The caller that shows it makes the message.
struct OutputOutcome {
    OutputStatus status{OutputStatus::Written};
    int errorNumber{};  // errno for CannotWrite, CannotFillHeldFile and CannotPaint (ENOMEM)
    std::string detail; // the encoder's own words, for CannotEncode
    bool Written() const { return status == OutputStatus::Written; }
};

// Writes the image as a PNG at output as described above, and hands back the PNG's bytes
// in png. input is the file that must not be written (nothing to protect when empty).
// The image is encoded only once its place is ready, so a refusal costs no encoding.
OutputOutcome WritePng(const QImage& image, const std::string& output,
                       const std::optional<FileIdentity>& input, QByteArray& png);
