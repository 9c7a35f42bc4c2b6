#include "tests/e2e/XSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "tests/support/ViewerText.h"
#include "tests/support/WavBuilder.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long the X server and the window manager may take to start: they answer in well under
// a second, but a machine busy with other tests' builds and servers can hold them longer.
constexpr int kSessionStartMs = 60000;

// The non-empty pieces of text between separators.
std::vector<std::string> Words(const std::string& text, char separator) {
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find(separator, start), text.size());
        if (end > start) {
            words.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return words;
}

// The directory of PATH that holds program, or program itself.
std::string FindProgram(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return program;
    }
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return program;
}

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, int outputFd,
            int keepFd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (outputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
        posix_spawn_file_actions_adddup2(&actions, outputFd, 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    if (keepFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, keepFd, 3);
    }
    std::vector<std::string> arguments = argv;
    std::vector<std::string> environment = env;
    const std::string program = FindProgram(argv.front());
    pid_t pid = -1;
    const int error =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, ArgumentPointers(arguments).data(),
                    ArgumentPointers(environment).data());
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

} // namespace

std::string StartAndReadLine(std::unique_ptr<ChildProcess>& process,
                             const std::vector<std::string>& argv,
                             const std::vector<std::string>& env, const std::string& log) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return {};
    }
    process = std::make_unique<ChildProcess>(argv, env, log, pipeFds[1]);
    close(pipeFds[1]);
    std::string text;
    pollfd reader{pipeFds[0], POLLIN, 0};
    while (text.find('\n') == std::string::npos && poll(&reader, 1, kSessionStartMs) > 0) {
        char buffer[256];
        const ssize_t count = read(pipeFds[0], buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(count));
    }
    close(pipeFds[0]);
    const std::size_t end = text.find('\n');
    return end == std::string::npos ? std::string() : text.substr(0, end);
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& env, const std::string& log,
                           int keepFd) {
    int output = -1;
    if (!log.empty()) {
        output = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    }
    m_pid = Spawn(argv, env, output, keepFd);
    if (output >= 0) {
        close(output);
    }
}

ChildProcess::~ChildProcess() {
    Stop();
}

std::optional<int> ChildProcess::WaitForExit(int timeoutMs) {
    if (m_status || m_pid <= 0) {
        return m_status;
    }
    WaitUntil(
        [this] {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            }
            return m_status.has_value();
        },
        timeoutMs);
    return m_status;
}

bool ChildProcess::IsRunning() {
    return m_pid > 0 && !WaitForExit(0).has_value();
}

void ChildProcess::Stop() {
    if (!IsRunning()) {
        return;
    }
    kill(m_pid, SIGTERM);
    if (!WaitForExit(3000)) {
        kill(m_pid, SIGKILL);
        WaitForExit(3000);
    }
}

XSession::XSession(WindowManager windowManager) {
    m_runtime = m_folder.File("runtime");
    m_home = m_folder.File("home");
    mkdir(m_runtime.c_str(), 0700);
    mkdir(m_home.c_str(), 0700);

    // The server writes its display number once it accepts connections.
    const std::string number = StartAndReadLine(
        m_server, {"Xvfb", "-displayfd", "3", "-screen", "0", "1280x800x24", "-nolisten", "tcp"},
        {"PATH=/usr/bin:/bin"}, m_folder.File("xvfb.log"));
    if (number.empty()) {
        return;
    }
    m_display = ":" + number;
    if (windowManager == WindowManager::None) {
        m_ready = true;
        return;
    }

    m_windowManager =
        std::make_unique<ChildProcess>(std::vector<std::string>{"openbox", "--sm-disable"},
                                       Environment(), m_folder.File("openbox.log"));
    // The window manager is ready once it names its check window on the root.
    m_ready = WaitUntil(
        [this] {
            return Run({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).find("window id") !=
                   std::string::npos;
        },
        kSessionStartMs);
}

XSession::~XSession() {
    m_windowManager.reset();
    m_server.reset();
}

std::vector<std::string> XSession::Environment(const std::vector<std::string>& changes) const {
    const char* path = std::getenv("PATH");
    std::vector<std::string> environment{
        "DISPLAY=" + m_display, "XDG_RUNTIME_DIR=" + m_runtime, "HOME=" + m_home,
        "XDG_CONFIG_HOME=" + m_home + "/.config",
        "PATH=" + std::string(path != nullptr ? path : "/usr/bin:/bin"), "LANG=C.UTF-8",
        "LC_ALL=C.UTF-8",
        // The real windowing system, whatever the test runner was given.
        "QT_QPA_PLATFORM=xcb"};
    for (const std::string& change : changes) {
        const std::string name = change.substr(0, change.find('=') + 1);
        std::erase_if(environment,
                      [&](const std::string& entry) { return entry.starts_with(name); });
        environment.push_back(change);
    }
    return environment;
}

std::string XSession::Run(const std::vector<std::string>& argv, int timeoutMs) const {
    return RunProcess(argv, {Environment(), ProcessOptions::Errors::Discard, timeoutMs}).output;
}

std::unique_ptr<ChildProcess> XSession::StartViewer(const ViewerStart& start) const {
    std::vector<std::string> argv = start.prefix;
    argv.push_back(start.program.empty() ? VOQ_VIEWER_PATH : start.program);
    argv.insert(argv.end(), start.arguments.begin(), start.arguments.end());
    return std::make_unique<ChildProcess>(argv, Environment(start.changes), ViewerLog());
}

std::string XSession::StartViewerWindow(std::unique_ptr<ChildProcess>& viewer,
                                        const ViewerStart& start) const {
    viewer = StartViewer(start);
    const std::string window =
        viewer->Started() ? WaitForWindow(viewer->Pid(), kCaption, kFirstWindowMs) : std::string();
    if (window.empty()) {
        Describe(*viewer);
    }
    return window;
}

void XSession::Describe(ChildProcess& viewer) const {
    std::printf("viewer %d: %s\n", static_cast<int>(viewer.Pid()),
                viewer.IsRunning() ? "running" : "ended");
    for (const std::string& window : VisibleWindowsOf(viewer.Pid())) {
        std::printf("  window %s %s\n", window.c_str(), Property(window, "_NET_WM_NAME").c_str());
    }
    std::istringstream log(ReadFile<std::string>(ViewerLog()));
    for (std::string line; std::getline(log, line);) {
        std::printf("  log: %s\n", line.c_str());
    }
}

bool XSession::LockIsHeld() const {
    const int fd = open(LockFile().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return held;
}

std::unique_ptr<ChildProcess> XSession::HoldLock() const {
    auto holder = std::make_unique<ChildProcess>(
        std::vector<std::string>{"flock", LockFile(), "sleep", "120"}, Environment());
    WaitUntil([this] { return LockIsHeld(); }, 5000);
    return holder;
}

std::vector<std::string> XSession::VisibleWindowsOf(pid_t pid) const {
    return Words(Run({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid)}), '\n');
}

std::vector<std::string> XSession::WindowsNamed(pid_t pid, const std::string& name) const {
    std::vector<std::string> windows = VisibleWindowsOf(pid);
    std::erase_if(windows, [&](const std::string& window) {
        return Property(window, "_NET_WM_NAME") != "\"" + name + "\"";
    });
    return windows;
}

std::string XSession::WaitForWindow(pid_t pid, const std::string& name, int timeoutMs) const {
    std::string found;
    WaitUntil(
        [&] {
            const std::vector<std::string> windows = WindowsNamed(pid, name);
            if (!windows.empty()) {
                found = windows.front();
            }
            return !found.empty();
        },
        timeoutMs);
    return found;
}

std::string XSession::Property(const std::string& window, const std::string& property) const {
    const std::string output = Run({"xprop", "-id", window, "-notype", property});
    const std::size_t equals = output.find(" = ");
    if (equals == std::string::npos) {
        const std::size_t colon = output.find(':');
        return colon == std::string::npos ? std::string() : output.substr(colon + 1);
    }
    std::string value = output.substr(equals + 3);
    while (!value.empty() && value.back() == '\n') {
        value.pop_back();
    }
    return value;
}

void XSession::Keys(const std::string& keys) const {
    std::vector<std::string> argv{"xdotool", "key", "--delay", "100"};
    const std::vector<std::string> names = Words(keys, ' ');
    argv.insert(argv.end(), names.begin(), names.end());
    Run(argv);
}

void XSession::Type(const std::string& text) const {
    Run({"xdotool", "type", "--delay", "10", text}, 30000);
}

bool XSession::Activate(const std::string& window) const {
    Run({"xdotool", "windowactivate", "--sync", window});
    return WaitUntil(
        [&] {
            const std::string active = Run({"xdotool", "getactivewindow"});
            return active.substr(0, active.find('\n')) == window;
        },
        5000);
}

std::string XSession::Screenshot(const std::string& window, const std::string& name) const {
    const std::string path = m_folder.File(name);
    Run({"import", "-window", window, path}, 20000);
    return access(path.c_str(), R_OK) == 0 ? path : std::string();
}
