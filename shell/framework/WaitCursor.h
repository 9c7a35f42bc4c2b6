#pragma once

// The busy cursor for as long as the object lives: shown on construction, and the
// previous cursor restored on destruction, on every path out of the scope.
class CWaitCursor {
public:
    CWaitCursor() { Begin(); }
    ~CWaitCursor() { End(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

    static void Begin();
    static void End();
};
