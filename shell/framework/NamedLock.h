#pragma once

#include <string>

#include "shell/framework/AfxRes.h"

// The platform's named lock: one per name and user, held by whichever process created it
// until that process closes it or ends (also by a crash or kill -9). On Linux it is an
// flock(2) lock on an empty file named after the lock in the user's runtime folder,
// $XDG_RUNTIME_DIR, or /tmp/voq-<uid> where that variable is unset or empty. TMPDIR is
// not consulted, so that every copy of a program agrees on the file. The file is never
// written and never removed: removing it would let two processes lock two different
// files of the same name.
class CNamedLock {
public:
    CNamedLock() = default;
    ~CNamedLock();
    CNamedLock(const CNamedLock&) = delete;
    CNamedLock& operator=(const CNamedLock&) = delete;

    // Creates the lock named lpszName, or opens it when another process holds it. Closes
    // what this object held before. FALSE when no handle came back: the runtime folder or
    // the file cannot be used.
    BOOL Create(const char* lpszName);
    // A handle came back from Create and has not been closed.
    BOOL IsOpen() const { return m_fd >= 0 ? TRUE : FALSE; }
    // The last Create found the lock held by another process (or another handle of this
    // one); this handle does not hold it.
    BOOL AlreadyExists() const { return m_alreadyExists ? TRUE : FALSE; }
    // Lets the lock go, if this handle holds it.
    void Close();

    // The file that stands for the lock named lpszName, or empty when the runtime folder
    // cannot be used. Makes /tmp/voq-<uid> when that is the folder and it is missing.
    static std::string PathOf(const char* lpszName);

private:
    int m_fd{-1};
    bool m_alreadyExists{false};
};
