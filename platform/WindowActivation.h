#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct xcb_connection_t;

// A top-level window on the display, of this program or any other: its X11 id.
using WindowId = std::uint32_t;
inline constexpr WindowId kNoWindow = 0;

// Checks another program's top-level window by its id and caption and brings it to the user:
// restores it when it is minimised and makes it the active window. It talks to the X
// server on a connection of its own, and only when this program runs on the xcb platform.
// Where there is no X11 display (Qt's offscreen platform, a pure Wayland session, DISPLAY
// unset, or a display that refuses the connection) no window is ever found, and the
// other calls do nothing.
class WindowActivation {
public:
    WindowActivation();
    // Waits until the server has carried out every request sent.
    ~WindowActivation();
    WindowActivation(const WindowActivation&) = delete;
    WindowActivation& operator=(const WindowActivation&) = delete;

    // Checks the one window the caller trusts, and searches for no other: window, if it is
    // a client window of the display whose caption (_NET_WM_NAME, else WM_NAME) is exactly
    // caption (UTF-8); else kNoWindow. Only top-level windows that are mapped or managed by
    // a window manager count: Qt keeps unmapped helper windows of its own. Any program may
    // give a window any caption, so other windows with the caption are never taken for it.
    WindowId CheckWindow(WindowId window, std::string_view caption);
    // The window is minimised (WM_STATE IconicState, or _NET_WM_STATE_HIDDEN).
    bool IsIconic(WindowId window);
    // Shows a minimised window again.
    void Restore(WindowId window);
    // Makes the window the active one, raised and with the input focus.
    bool SetForegroundWindow(WindowId window);

    // True when this object has an X11 connection.
    bool HasDisplay() const { return m_connection != nullptr; }

private:
    std::uint32_t Atom(int which) const { return m_atoms[static_cast<std::size_t>(which)]; }
    bool WindowManagerRuns();
    std::string Caption(WindowId window);
    std::vector<std::uint32_t> TopLevelWindows();
    bool IsClientWindow(WindowId window);
    std::uint32_t ServerTime();
    void WaitForServer();

    xcb_connection_t* m_connection{};
    WindowId m_root{};
    WindowId m_ownWindow{};
    std::array<std::uint32_t, 9> m_atoms{};
};
