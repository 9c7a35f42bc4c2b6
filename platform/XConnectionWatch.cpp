#include "platform/XConnectionWatch.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWindow>

#include <xcb/xcb.h>

#include "platform/XcbReply.h"

namespace {

// The watch that is active, for the message handler, the exit handler and Qt's post
// routine, which Qt and the C library call without an object (the message handler from
// any thread).
std::atomic<XConnectionWatch*> g_watch{nullptr};
// Set once the program has printed its line, whichever it was: one line and no more.
std::atomic_flag g_lineWritten = ATOMIC_FLAG_INIT;

// How long a destroyed window waits before its cause is named. When a compositor or the
// display ends, the window manager's frames go first and the server follows within a few
// milliseconds; a server that still answers after this long is still there.
constexpr int kSettleMs = 300;

void PrintLineOnce(const std::string& line) {
    if (g_lineWritten.test_and_set()) {
        return;
    }
    // One write, so that the line cannot be torn by other output of the process.
    const std::string text = line + "\n";
    ssize_t written = 0;
    do {
        written = write(STDERR_FILENO, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
}

} // namespace

XConnectionWatch::XConnectionWatch(Lines lines) : m_lines(std::move(lines)) {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr || g_watch.load() != nullptr) {
        return;
    }
    m_connection = x11->connection();
    QCoreApplication::instance()->installNativeEventFilter(this);
    g_watch = this;
    m_previousHandler = qInstallMessageHandler(HandleMessage);
    // Qt closes its connection after its post routines have run: the last moment at which
    // the connection can be asked about.
    qAddPostRoutine(ForgetConnection);
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
    if (g_watch.load() != this) {
        return;
    }
    // In the program this runs after Qt has gone, with no connection left to break.
    qInstallMessageHandler(m_previousHandler);
    g_watch = nullptr;
    if (m_connection != nullptr) {
        qRemovePostRoutine(ForgetConnection);
    }
}

void XConnectionWatch::WatchMainWindow(WindowId window, std::function<void()> mainWindowLost) {
    m_mainWindow = window;
    m_mainWindowLost = std::move(mainWindowLost);
}

void XConnectionWatch::OnWindowLost(std::function<void(WindowId)> windowLost) {
    m_windowLost = std::move(windowLost);
}

void XConnectionWatch::CheckConnection() const {
    if (ConnectionBroke()) {
        ReportLostConnection();
    }
}

bool XConnectionWatch::ConnectionBroke() const {
    xcb_connection_t* connection = m_connection.load();
    return connection != nullptr && xcb_connection_has_error(connection) != 0;
}

void XConnectionWatch::ReportLostConnection() {
    // Several threads may get here at once; one prints, and every one ends the process.
    if (XConnectionWatch* watch = g_watch.load()) {
        PrintLineOnce(watch->m_lines.connectionLost);
    }
    // The windows and Qt's platform layer cannot be torn down over a connection that is
    // gone, and the destructors that exit() would run do just that. The system closes the
    // files, the single-instance lock with them.
    _exit(1);
}

void XConnectionWatch::ForgetConnection() {
    XConnectionWatch* watch = g_watch.load();
    if (watch == nullptr) {
        return;
    }
    // Qt is about to close its connection, or would report the broken one while it does.
    watch->CheckConnection();
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(watch);
    }
    watch->m_connection = nullptr;
}

void XConnectionWatch::HandleMessage(QtMsgType type, const QMessageLogContext& context,
                                     const QString& text) {
    XConnectionWatch* watch = g_watch.load();
    if (watch == nullptr) {
        return;
    }
    // Qt reports the broken connection just before it calls exit(1) (and Xlib's handler
    // just after), and whatever Qt says after the break is about the same loss.
    watch->CheckConnection();
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
    if (kind == 0) {
        // Qt still sends requests about a window until it learns that the window has gone;
        // the server answers each with an error that would only repeat the line.
        const auto* error = static_cast<const xcb_generic_error_t*>(message);
        return m_destroyedWindows.count(error->resource_id) != 0;
    }
    if (kind == XCB_DESTROY_NOTIFY) {
        const auto* notify = static_cast<const xcb_destroy_notify_event_t*>(message);
        // A window Qt destroyed itself is no longer Qt's by the time the event arrives.
        if (notify->event == notify->window && QtHoldsWindow(notify->window) &&
            m_destroyedWindows.insert(notify->window).second) {
            const WindowId window = notify->window;
            // After Qt has seen the event too, outside its event handling.
            QTimer::singleShot(kSettleMs, QCoreApplication::instance(),
                               [this, window] { WindowDestroyed(window); });
        }
    }
    return false;
}

bool XConnectionWatch::QtHoldsWindow(WindowId window) const {
    const QWindowList windows = QGuiApplication::allWindows();
    // winId() would create a native window for one that has none.
    return std::any_of(windows.begin(), windows.end(), [window](const QWindow* qtWindow) {
        return qtWindow->handle() != nullptr && qtWindow->winId() == window;
    });
}

bool XConnectionWatch::ServerAnswers() const {
    xcb_connection_t* connection = m_connection.load();
    const XcbReply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    return reply != nullptr;
}

void XConnectionWatch::WindowDestroyed(WindowId window) {
    if (m_connection == nullptr) {
        return;
    }
    // A window destroyed because the display is going is the lost connection.
    if (!ServerAnswers()) {
        ReportLostConnection();
    }
    if (window == m_mainWindow) {
        PrintLineOnce(m_lines.mainWindowDestroyed);
        if (m_mainWindowLost) {
            m_mainWindowLost();
        }
    } else if (m_windowLost) {
        m_windowLost(window);
    }
}
