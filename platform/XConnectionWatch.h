#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <QAbstractNativeEventFilter>

#include "platform/WindowActivation.h"

struct xcb_connection_t;

// Watches the X connection that Qt's xcb platform holds, and the program's main window on
// it, so that the program ends with one line of its own on standard error when either goes:
//
// - The connection breaks (the server shut down, the session ended, a remote session was
//   dropped, XKillClient). Qt's xcb platform reports that in a warning and then calls
//   exit(1) from inside the event loop. The watch takes that warning, or any other message
//   Qt gives once the connection has broken, prints its line instead and ends the process
//   at once with status 1: nothing can be drawn or torn down on a connection that is gone.
// - Another client destroys the main window. Qt goes on without it, so the program would
//   keep running with no window at all; the watch prints its line and calls windowLost,
//   which ends the program as a closed window would, and keeps the X errors of Qt's
//   requests on the vanished window off standard error.
//
// On any platform other than xcb the watch does nothing. One watch at a time.
class XConnectionWatch final : public QAbstractNativeEventFilter {
public:
    // program names the program in the line it prints; window is the main window.
    XConnectionWatch(std::string_view program, WindowId window, std::function<void()> windowLost);
    ~XConnectionWatch() override;
    XConnectionWatch(const XConnectionWatch&) = delete;
    XConnectionWatch& operator=(const XConnectionWatch&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // Before Qt starts: when Qt is going to use its xcb platform (no other platform chosen
    // in QT_QPA_PLATFORM or by a -platform argument) and the X display it would open (the
    // -display argument, else DISPLAY) cannot be opened, the line that says so, without a
    // line end; else empty. Qt alone would abort there.
    static std::string DisplayProblem(std::string_view program, int argc, char** argv);

private:
    static void HandleMessage(QtMsgType type, const QMessageLogContext& context,
                              const QString& text);
    static void ReportLostConnection();
    bool ConnectionBroke() const;

    std::string m_program;
    WindowId m_window{kNoWindow};
    std::function<void()> m_windowLost;
    xcb_connection_t* m_connection{};
    bool m_windowGone{false};
    QtMessageHandler m_previousHandler{};
};
