#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/ProcessRunner.h"
#include "tests/support/TemporaryFolder.h"

// A process started by a test, killed (SIGTERM, then SIGKILL) when the object goes.
class ChildProcess {
public:
    // Starts argv[0] (searched in PATH) with exactly the environment env. With a log
    // path, standard output and error go there; else to /dev/null. keepFd, if not -1,
    // is passed on as descriptor 3.
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                 const std::string& log = {}, int keepFd = -1);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    // The exit status once the process has ended within timeoutMs; -(signal) if a
    // signal ended it; nothing while it still runs.
    std::optional<int> WaitForExit(int timeoutMs);
    bool IsRunning();
    void Stop();

private:
    pid_t m_pid{-1};
    std::optional<int> m_status;
};

// Starts a program that tells on descriptor 3, with one line, that it is ready (Xvfb its
// display number, dbus-daemon its address): that line, or empty if none came within 15 s.
std::string StartAndReadLine(std::unique_ptr<ChildProcess>& process,
                             const std::vector<std::string>& argv,
                             const std::vector<std::string>& env, const std::string& log);

// How long a program started by a test may take to show its first window: long, because
// on a loaded machine other tests start theirs at the same time.
constexpr int kFirstWindowMs = 40000;

// How the viewer is started: its arguments, changes to the session's environment
// ("NAME=value" replaces NAME), a command that runs it (setpriv, env -C) and the program,
// when it is not the built viewer.
struct ViewerStart {
    std::vector<std::string> arguments{};
    std::vector<std::string> changes{};
    std::vector<std::string> prefix{};
    std::string program{};
};

// Whether a session runs a window manager.
enum class WindowManager { Openbox, None };

// A private X display for one test: its own Xvfb (the server picks a free display
// number and tells it through -displayfd), the openbox window manager (unless told to
// run none), a 0700 runtime folder and a home folder of its own. The viewer and the X
// tools run with an environment that names only these.
class XSession {
public:
    explicit XSession(WindowManager windowManager = WindowManager::Openbox);
    ~XSession();

    // True once the server accepts clients and the window manager, if any, has announced
    // itself on the root window.
    bool Ready() const { return m_ready; }
    const std::string& Display() const { return m_display; }
    const TemporaryFolder& Folder() const { return m_folder; }
    // The environment of programs run in this session, with changes ("NAME=value") made.
    std::vector<std::string> Environment(const std::vector<std::string>& changes = {}) const;

    // Runs an X tool to its end (at most timeoutMs) and returns its standard output.
    std::string Run(const std::vector<std::string>& argv, int timeoutMs = 10000) const;
    // Starts the viewer; its output goes to ViewerLog().
    std::unique_ptr<ChildProcess> StartViewer(const ViewerStart& start = {}) const;
    // Starts the viewer and waits for its main window: the window, or empty once it said
    // what became of the viewer.
    std::string StartViewerWindow(std::unique_ptr<ChildProcess>& viewer,
                                  const ViewerStart& start = {}) const;
    std::string ViewerLog() const { return m_folder.File("viewer.log"); }
    // Prints whether a viewer runs, its windows and the viewer log.
    void Describe(ChildProcess& viewer) const;
    // The viewer's single-instance lock, in the session's runtime folder.
    std::string LockFile() const { return m_runtime + "/VOQ"; }
    // Whether a process holds the lock (a lock of this process would succeed otherwise).
    bool LockIsHeld() const;
    // Holds the lock from another process, as a first copy that is still starting does;
    // returns once the lock is held, or after 5 s.
    std::unique_ptr<ChildProcess> HoldLock() const;

    // The mapped top-level windows of a process: all of them, or those whose _NET_WM_NAME
    // is name.
    std::vector<std::string> VisibleWindowsOf(pid_t pid) const;
    std::vector<std::string> WindowsNamed(pid_t pid, const std::string& name) const;
    // Waits up to timeoutMs for one such window; its id, or empty.
    std::string WaitForWindow(pid_t pid, const std::string& name, int timeoutMs = 15000) const;
    // The value of a property of a window as xprop prints it after "=" (or empty).
    std::string Property(const std::string& window, const std::string& property) const;
    // Presses keys (xdotool key syntax, separated by spaces) where the focus is.
    void Keys(const std::string& keys) const;
    void Type(const std::string& text) const;
    // Makes a window the active one and waits until it is.
    bool Activate(const std::string& window) const;
    // A picture of a window's contents; empty path on failure.
    std::string Screenshot(const std::string& window, const std::string& name) const;

private:
    TemporaryFolder m_folder;
    std::string m_runtime;
    std::string m_home;
    std::string m_display;
    std::unique_ptr<ChildProcess> m_server;
    std::unique_ptr<ChildProcess> m_windowManager;
    bool m_ready{false};
};

// Polls condition every 50 ms until it holds or timeoutMs passed.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs);
