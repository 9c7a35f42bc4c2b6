#include "platform/WindowActivation.h"

#include "platform/CompoundText.h"
#include "platform/XcbReply.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include <QGuiApplication>

#include <xcb/xcb.h>

namespace {

// The atoms this file uses, in the order of kAtomNames.
enum AtomIndex {
    kNetClientList,
    kNetWmName,
    kUtf8String,
    kWmState,
    kNetWmState,
    kNetWmStateHidden,
    kNetActiveWindow,
    kNetSupportingWmCheck,
    kCompoundText,
    kAtomCount
};
constexpr std::array<const char*, kAtomCount> kAtomNames{
    "_NET_CLIENT_LIST", "_NET_WM_NAME",         "UTF8_STRING",        "WM_STATE",
    "_NET_WM_STATE",    "_NET_WM_STATE_HIDDEN", "_NET_ACTIVE_WINDOW", "_NET_SUPPORTING_WM_CHECK",
    "COMPOUND_TEXT"};

// The states of WM_STATE (ICCCM 4.1.3.1).
constexpr std::uint32_t kNormalState = 1;
constexpr std::uint32_t kIconicState = 3;
// _NET_ACTIVE_WINDOW's source indication for a pager or similar tool acting for the user:
// window managers with focus-stealing prevention honour it.
constexpr std::uint32_t kSourceIndicationPager = 2;
// How long to wait for the server's timestamp before sending CurrentTime instead.
constexpr int kServerTimeTimeoutMs = 2000;

// A property's type and bytes; type XCB_ATOM_NONE when the window has no such property
// or is gone.
struct Property {
    xcb_atom_t type{XCB_ATOM_NONE};
    std::uint8_t format{};
    std::string bytes;

    std::vector<std::uint32_t> Values() const {
        std::vector<std::uint32_t> values;
        if (format == 32) {
            values.resize(bytes.size() / 4);
            std::memcpy(values.data(), bytes.data(), values.size() * 4);
        }
        return values;
    }
};

Property ReadProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property) {
    // Up to 1 MiB: far more than any caption or window list.
    constexpr std::uint32_t kMaxLongs = 1U << 18;
    const XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, kMaxLongs),
        nullptr));
    Property result;
    if (reply == nullptr || reply->type == XCB_ATOM_NONE) {
        return result;
    }
    result.type = reply->type;
    result.format = reply->format;
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
    const int length = xcb_get_property_value_length(reply.get());
    result.bytes.assign(data, static_cast<std::size_t>(length > 0 ? length : 0));
    return result;
}

} // namespace

WindowActivation::WindowActivation() {
    // Qt draws this program's windows on the same display only on its xcb platform. On
    // any other (offscreen, Wayland) there is no X11 display of this program's to look
    // at, and the running copy cannot be found.
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return;
    }
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        xcb_disconnect(connection);
        return;
    }
    m_connection = connection;
    m_root = screens.data->root;

    std::array<xcb_intern_atom_cookie_t, kAtomCount> cookies{};
    for (std::size_t i = 0; i < kAtomCount; ++i) {
        cookies[i] = xcb_intern_atom(
            connection, 0, static_cast<std::uint16_t>(std::strlen(kAtomNames[i])), kAtomNames[i]);
    }
    for (std::size_t i = 0; i < kAtomCount; ++i) {
        const XcbReply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(connection, cookies[i], nullptr));
        m_atoms[i] = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }
}

WindowActivation::~WindowActivation() {
    if (m_connection == nullptr) {
        return;
    }
    WaitForServer();
    xcb_disconnect(m_connection);
}

bool WindowActivation::WindowManagerRuns() {
    // A window manager names a check window of its own on the root, and the check window
    // names itself; a stale value left by a window manager that has gone fails the second
    // test.
    const std::vector<std::uint32_t> check =
        ReadProperty(m_connection, m_root, Atom(kNetSupportingWmCheck)).Values();
    if (check.size() != 1 || check[0] == XCB_WINDOW_NONE) {
        return false;
    }
    const std::vector<std::uint32_t> self =
        ReadProperty(m_connection, check[0], Atom(kNetSupportingWmCheck)).Values();
    return self.size() == 1 && self[0] == check[0];
}

bool WindowActivation::IsClientWindow(WindowId window) {
    const XcbReply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
        m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
    if (attributes == nullptr) {
        return false;
    }
    if (attributes->map_state != XCB_MAP_STATE_UNMAPPED) {
        return true;
    }
    // A minimised window is unmapped but keeps WM_STATE Iconic.
    const std::vector<std::uint32_t> state =
        ReadProperty(m_connection, window, Atom(kWmState)).Values();
    return !state.empty() && (state[0] == kNormalState || state[0] == kIconicState);
}

std::string WindowActivation::Caption(WindowId window) {
    const Property name = ReadProperty(m_connection, window, Atom(kNetWmName));
    if (name.type == Atom(kUtf8String) && name.format == 8) {
        return name.bytes;
    }
    const Property legacy = ReadProperty(m_connection, window, XCB_ATOM_WM_NAME);
    if (legacy.format != 8) {
        return {};
    }
    if (legacy.type == XCB_ATOM_STRING) {
        return Latin1ToUtf8(legacy.bytes);
    }
    if (legacy.type == Atom(kCompoundText)) {
        return CompoundTextToUtf8(legacy.bytes);
    }
    if (legacy.type == Atom(kUtf8String)) {
        return legacy.bytes;
    }
    return {};
}

WindowId WindowActivation::CheckWindow(WindowId window, std::string_view caption) {
    if (m_connection == nullptr || window == kNoWindow) {
        return kNoWindow;
    }
    const std::vector<std::uint32_t> windows = TopLevelWindows();
    const bool listed = std::find(windows.begin(), windows.end(), window) != windows.end();
    return listed && IsClientWindow(window) && Caption(window) == caption ? window : kNoWindow;
}

// The window manager's list of client windows; without one, the root's children and
// theirs, where a window manager that keeps no list has put the client windows into frames.
std::vector<std::uint32_t> WindowActivation::TopLevelWindows() {
    if (WindowManagerRuns()) {
        const Property list = ReadProperty(m_connection, m_root, Atom(kNetClientList));
        if (list.type == XCB_ATOM_WINDOW && !list.Values().empty()) {
            return list.Values();
        }
    }
    std::vector<std::uint32_t> windows;
    const XcbReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr));
    if (tree == nullptr) {
        return windows;
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    for (int i = 0; i < count; ++i) {
        windows.push_back(children[i]);
        const XcbReply<xcb_query_tree_reply_t> inner(
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, children[i]), nullptr));
        if (inner != nullptr) {
            const xcb_window_t* grandchildren = xcb_query_tree_children(inner.get());
            windows.insert(windows.end(), grandchildren,
                           grandchildren + xcb_query_tree_children_length(inner.get()));
        }
    }
    return windows;
}

bool WindowActivation::IsIconic(WindowId window) {
    if (m_connection == nullptr || window == kNoWindow) {
        return false;
    }
    const std::vector<std::uint32_t> state =
        ReadProperty(m_connection, window, Atom(kWmState)).Values();
    if (!state.empty() && state[0] == kIconicState) {
        return true;
    }
    const std::vector<std::uint32_t> netState =
        ReadProperty(m_connection, window, Atom(kNetWmState)).Values();
    return std::find(netState.begin(), netState.end(), Atom(kNetWmStateHidden)) != netState.end();
}

void WindowActivation::Restore(WindowId window) {
    if (m_connection == nullptr || window == kNoWindow) {
        return;
    }
    // Mapping an iconic window is the request to make it normal again (ICCCM 4.1.4); a
    // window manager turns it into a map request and restores the window.
    xcb_map_window(m_connection, window);
    xcb_flush(m_connection);
}

bool WindowActivation::SetForegroundWindow(WindowId window) {
    if (m_connection == nullptr || window == kNoWindow) {
        return false;
    }
    const std::uint32_t time = ServerTime();
    if (WindowManagerRuns()) {
        // Ask the window manager: it raises the window, gives it the focus and restores
        // it if it is still minimised.
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = Atom(kNetActiveWindow);
        message.data.data32[0] = kSourceIndicationPager;
        message.data.data32[1] = time;
        message.data.data32[2] = XCB_WINDOW_NONE;
        xcb_send_event(m_connection, 0, m_root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&message));
    } else {
        // Nobody manages the windows: do it ourselves.
        xcb_map_window(m_connection, window);
        const std::uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(m_connection, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_POINTER_ROOT, window, time);
    }
    WaitForServer();
    return true;
}

std::uint32_t WindowActivation::ServerTime() {
    // The server stamps a PropertyNotify with its time: append nothing to a property of an
    // invisible window of our own and read the stamp from the event.
    if (m_ownWindow == kNoWindow) {
        m_ownWindow = xcb_generate_id(m_connection);
        const std::uint32_t eventMask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_ownWindow, m_root, -1, -1, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &eventMask);
    }
    xcb_change_property(m_connection, XCB_PROP_MODE_APPEND, m_ownWindow, XCB_ATOM_WM_NAME,
                        XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(m_connection);

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kServerTimeTimeoutMs);
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            const XcbReply<xcb_generic_event_t> owned(event);
            if ((event->response_type & 0x7F) == XCB_PROPERTY_NOTIFY) {
                const auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
                if (notify->window == m_ownWindow) {
                    return notify->time;
                }
            }
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || xcb_connection_has_error(m_connection) != 0) {
            return XCB_CURRENT_TIME;
        }
        pollfd reader{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        poll(&reader, 1, static_cast<int>(left));
    }
}

void WindowActivation::WaitForServer() {
    // A reply comes only after the server has carried out every request before it.
    const XcbReply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}
