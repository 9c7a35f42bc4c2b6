#include "platform/XConnectionWatch.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>

namespace {

// The watch that is active, for the message handler and the exit handler, which Qt and
// the C library call without an object (the message handler from any thread).
std::atomic<XConnectionWatch*> g_watch{nullptr};

void PrintLine(const std::string& line) {
    // One write, so that the line cannot be torn by other output of the process.
    const std::string text = line + "\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, text.data(), text.size());
}

// Qt takes "-name" and "--name" alike for its own options.
std::string_view OptionName(const char* argument) {
    std::string_view name(argument);
    if (name.rfind("--", 0) == 0) {
        name.remove_prefix(1);
    }
    return name;
}

bool IsSet(const char* value) {
    return value != nullptr && value[0] != '\0';
}

} // namespace

XConnectionWatch::XConnectionWatch(std::string_view program, WindowId window,
                                   std::function<void()> windowLost)
    : m_program(program), m_window(window), m_windowLost(std::move(windowLost)) {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr || g_watch.load() != nullptr) {
        return;
    }
    m_connection = x11->connection();
    QCoreApplication::instance()->installNativeEventFilter(this);
    g_watch = this;
    m_previousHandler = qInstallMessageHandler(HandleMessage);
    // Should Qt end the process without a message, the exit handlers still run; they are
    // the last chance to say why. Registered once: a handler cannot be taken back.
    static const bool registered = [] {
        return std::atexit([] {
                   if (XConnectionWatch* watch = g_watch.load();
                       watch != nullptr && watch->ConnectionBroke()) {
                       ReportLostConnection();
                   }
               }) == 0;
    }();
    static_cast<void>(registered);
}

XConnectionWatch::~XConnectionWatch() {
    if (m_connection == nullptr) {
        return;
    }
    qInstallMessageHandler(m_previousHandler);
    g_watch = nullptr;
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

bool XConnectionWatch::ConnectionBroke() const {
    return m_connection != nullptr && xcb_connection_has_error(m_connection) != 0;
}

void XConnectionWatch::ReportLostConnection() {
    // Several threads may get here at once; one prints, and every one ends the process.
    static std::atomic_flag reported = ATOMIC_FLAG_INIT;
    if (!reported.test_and_set()) {
        if (XConnectionWatch* watch = g_watch.load()) {
            PrintLine(watch->m_program + ": the connection to the X server was lost");
        }
    }
    // The windows and Qt's platform layer cannot be torn down over a connection that is
    // gone, and the destructors that exit() would run do just that. The system closes the
    // files, the single-instance lock with them.
    _exit(1);
}

void XConnectionWatch::HandleMessage(QtMsgType type, const QMessageLogContext& context,
                                     const QString& text) {
    XConnectionWatch* watch = g_watch.load();
    if (watch == nullptr) {
        return;
    }
    // Qt reports the broken connection just before it calls exit(1), and whatever it says
    // after the break is about the same loss.
    if (watch->ConnectionBroke()) {
        ReportLostConnection();
    }
    if (watch->m_previousHandler != nullptr) {
        watch->m_previousHandler(type, context, text);
    }
}

bool XConnectionWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t kind = event->response_type & 0x7F;
    if (kind == 0 && m_windowGone) {
        // Qt still sends requests about its window until it learns that the window has
        // gone; the server answers each with an error that would only repeat the line.
        const auto* error = static_cast<const xcb_generic_error_t*>(message);
        return error->resource_id == m_window;
    }
    if (kind == XCB_DESTROY_NOTIFY && !m_windowGone) {
        const auto* notify = static_cast<const xcb_destroy_notify_event_t*>(message);
        if (notify->window == m_window) {
            m_windowGone = true;
            PrintLine(m_program + ": the main window was destroyed by another X client");
            // After Qt has seen the event too, outside its event handling.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [this] {
                    if (m_windowLost) {
                        m_windowLost();
                    }
                },
                Qt::QueuedConnection);
        }
    }
    return false;
}

std::string XConnectionWatch::DisplayProblem(std::string_view program, int argc, char** argv) {
    const char* display = std::getenv("DISPLAY");
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = OptionName(argv[i]);
        if (option == "-platform") {
            return {}; // the user chose the platform
        }
        if (option == "-display" && i + 1 < argc) {
            display = argv[i + 1];
        }
    }
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (IsSet(platform)) {
        if (std::strncmp(platform, "xcb", 3) != 0) {
            return {};
        }
    } else if (IsSet(std::getenv("WAYLAND_DISPLAY")) && !IsSet(display)) {
        return {}; // Qt takes the Wayland session's own platform
    }
    if (!IsSet(display)) {
        return std::string(program) + ": cannot open the X display: DISPLAY is not set";
    }
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    const bool failed = xcb_connection_has_error(connection) != 0;
    xcb_disconnect(connection);
    if (failed) {
        return std::string(program) + ": cannot open the X display \"" + display + "\"";
    }
    return {};
}
