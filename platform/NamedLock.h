#pragma once

#include <string>
#include <string_view>

// The platform's named lock: one per name and user, held by whichever process created it
// until that process closes it or ends (also by a crash or kill -9). On Linux it is an
// flock(2) lock on a file named after the lock in the user's runtime folder:
// $XDG_RUNTIME_DIR where that is an absolute path to a directory of the user's own that
// nobody else can write into, else /tmp/voq-<uid>. TMPDIR is not consulted, so that every
// copy of a program agrees on the file. The file is never removed: removing it would let
// two processes lock two different files of the same name. Its holder may keep a short
// note in it for the processes that find the lock taken; since only the user can write
// the file, they can trust the note.

// Why Create gave no handle: what stands where the lock or its folder belongs, or the
// system's error.
enum class LockProblem {
    None,
    SystemError,          // a call failed; errorNumber says why
    IsDirectory,          // a folder stands where the lock file belongs
    IsNotDirectory,       // something other than a folder stands where the folder belongs
    IsSymbolicLink,       // links are never followed there
    IsFifo,               // a FIFO stands where the lock file belongs
    IsNotRegularFile,     // a socket or a device stands where the lock file belongs
    BelongsToAnotherUser, // the file or folder is not the user's
    WritableByOthers,     // group or others may write it
};

// What came of Create, and where: the lock file, or its folder when the folder is the
// problem.
struct LockOutcome {
    LockProblem problem{LockProblem::None};
    int errorNumber{}; // errno for SystemError, else 0
    std::string path;
    explicit operator bool() const { return problem == LockProblem::None; }
};

// A short English description of a problem other than SystemError, said of its path:
// "is a directory", "belongs to another user".
const char* DescribeLockProblem(LockProblem problem);

class NamedLock {
public:
    NamedLock() = default;
    ~NamedLock();
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

    // Creates the lock called name, or opens it when another process holds it. Closes
    // what this object held before. A new holder starts with no note. False when no
    // handle came back, with the file or folder that cannot be used and why.
    LockOutcome Create(std::string_view name);
    // A handle came back from Create and has not been closed.
    bool IsOpen() const { return m_fd >= 0; }
    // The last Create found the lock held by another process (or another handle of this
    // one); this handle does not hold it.
    bool AlreadyExists() const { return m_alreadyExists; }
    // Lets the lock go, if this handle holds it.
    void Close();

    // The holder replaces its note. False when this handle does not hold the lock or the
    // note could not be written.
    bool WriteNote(std::string_view note);
    // The holder's note as it stands now (up to 4 KiB), or empty.
    std::string ReadNote() const;

    // The file that stands for the lock called name, or empty when the runtime folder
    // cannot be used. Makes /tmp/voq-<uid> when that is the folder and it is missing.
    static std::string PathOf(std::string_view name);

private:
    int m_fd{-1};
    bool m_alreadyExists{false};
};
