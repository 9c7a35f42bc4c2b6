#pragma once

#include <atomic>
#include <functional>
#include <set>
#include <string>

#include <QAbstractNativeEventFilter>

#include "platform/WindowActivation.h"

struct xcb_connection_t;

// Watches the X connection that Qt's xcb platform holds, and the program's windows on it,
// so that the program ends with one line of its own on standard error, and never more than
// one, whatever takes the X side away:
//
// - The connection breaks (the server shut down, the session or the compositor ended, a
//   remote session was dropped, XKillClient). Qt reports that in a warning and then calls
//   exit(1), and Xlib's error handler would add a line of its own. The watch takes Qt's
//   warning, or any other message Qt gives once the connection has broken, prints its line
//   instead and ends the process at once with status 1: nothing can be drawn or torn down on
//   a connection that is gone.
// - Another client destroys one of the program's windows. Qt goes on as if the window were
//   still there. A window destroyed because the display is going (the window manager's
//   frame goes first, the server right after) is the lost connection, so the watch names
//   the cause only once the server has shown, a moment later, that it still answers. For
//   the main window it prints its line and calls mainWindowLost, which ends the program as a
//   closed window would; for any other window it calls windowLost, which ends the dialog on
//   it. The X errors of Qt's requests on a vanished window are kept off standard error.
//
// The watch stays until the process ends (its message handler until Qt has closed the
// connection), so that neither Qt nor Xlib has a word after its line. On any platform other
// than xcb it does nothing. One watch at a time.
class XConnectionWatch final : public QAbstractNativeEventFilter {
public:
    // The lines the watch prints, as the program words them.
    struct Lines {
        std::string connectionLost;      // the connection to the X server broke
        std::string mainWindowDestroyed; // another client destroyed the main window
    };

    explicit XConnectionWatch(Lines lines);
    ~XConnectionWatch() override;
    XConnectionWatch(const XConnectionWatch&) = delete;
    XConnectionWatch& operator=(const XConnectionWatch&) = delete;

    // The main window, and what ends the program when another client destroys it.
    void WatchMainWindow(WindowId window, std::function<void()> mainWindowLost);
    // What ends a dialog whose window another client destroyed.
    void OnWindowLost(std::function<void(WindowId)> windowLost);
    // For a caller that waits outside the event loop: ends the process with the line when
    // the connection has broken.
    void CheckConnection() const;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    static void HandleMessage(QtMsgType type, const QMessageLogContext& context,
                              const QString& text);
    [[noreturn]] static void ReportLostConnection();
    static void ForgetConnection();
    bool ConnectionBroke() const;
    bool ServerAnswers() const;
    bool QtHoldsWindow(WindowId window) const;
    void WindowDestroyed(WindowId window);

    Lines m_lines;
    WindowId m_mainWindow{kNoWindow};
    std::function<void()> m_mainWindowLost;
    std::function<void(WindowId)> m_windowLost;
    // Qt's connection; null where there is none, and once Qt is closing it.
    std::atomic<xcb_connection_t*> m_connection{};
    std::set<WindowId> m_destroyedWindows;
    QtMessageHandler m_previousHandler{};
};
