#include "platform/WindowIconName.h"

#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xproto.h>

#include <cstdint>
#include <cstring>

#include "platform/CompoundText.h"
#include "platform/XcbReply.h"

void WriteWindowIconName(WindowId window, const std::string& name) {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr) {
        return;
    }
    xcb_connection_t* connection = x11->connection();
    const std::string text = Utf8ToCompoundText(name);
    xcb_atom_t type = XCB_ATOM_STRING;
    // Only a name outside Latin-1 needs an escape sequence, and the compound text type.
    if (text.find('\x1b') != std::string::npos) {
        const char* compoundText = "COMPOUND_TEXT";
        const XcbReply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
            connection,
            xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(compoundText)),
                            compoundText),
            nullptr));
        if (atom == nullptr) {
            return;
        }
        type = atom->atom;
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_ICON_NAME, type, 8,
                        static_cast<std::uint32_t>(text.size()), text.data());
    xcb_flush(connection);
}
