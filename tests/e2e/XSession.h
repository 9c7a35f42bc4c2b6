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
    // The environment of programs run in this session.
    std::vector<std::string> Environment() const;

    // Runs an X tool to its end (at most timeoutMs) and returns its standard output.
    std::string Run(const std::vector<std::string>& argv, int timeoutMs = 10000) const;
    // Starts the viewer with arguments; its output goes to the session's log.
    std::unique_ptr<ChildProcess> StartViewer(const std::vector<std::string>& arguments = {}) const;

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
