#include "platform/LockKeyIndicators.h"

#include "platform/XcbReply.h"

#include <cstring>

#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>
// xkb.h names a structure field "explicit", a C++ keyword.
#define explicit explicit_ // NOLINT(clang-diagnostic-keyword-macro)
#include <xcb/xkb.h>
#undef explicit

namespace {

// The indicator names XKB keyboards give the four lock lights, in the order of LockKey.
constexpr std::array<const char*, 4> kIndicatorNames{"Kana", "Caps Lock", "Num Lock",
                                                     "Scroll Lock"};

xcb_atom_t AtomIfExists(xcb_connection_t* connection, const char* name) {
    const XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr));
    return reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

} // namespace

LockKeyIndicators::LockKeyIndicators(std::function<void()> onChange)
    : m_onChange(std::move(onChange)) {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr) {
        return;
    }
    xcb_connection_t* connection = x11->connection();
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_xkb_id);
    if (extension == nullptr || extension->present == 0) {
        return;
    }
    const XcbReply<xcb_xkb_use_extension_reply_t> use(xcb_xkb_use_extension_reply(
        connection, xcb_xkb_use_extension(connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION),
        nullptr));
    if (use == nullptr || use->supported == 0) {
        return;
    }
    m_connection = connection;
    m_firstEvent = extension->first_event;
    // Adds indicator-state events to what this client already selected (Qt selects the
    // keyboard's state and map events on the same connection).
    // and the state events' locked-modifier detail, leaving the other details Qt chose.
    xcb_xkb_select_events_details_t details{};
    details.affectState = XCB_XKB_STATE_PART_MODIFIER_LOCK;
    details.stateDetails = XCB_XKB_STATE_PART_MODIFIER_LOCK;
    xcb_xkb_select_events_aux(connection, XCB_XKB_ID_USE_CORE_KBD,
                              XCB_XKB_EVENT_TYPE_INDICATOR_STATE_NOTIFY |
                                  XCB_XKB_EVENT_TYPE_STATE_NOTIFY,
                              0, XCB_XKB_EVENT_TYPE_INDICATOR_STATE_NOTIFY, 0, 0, &details);
    FindIndicatorBits();
    FindNumLockModifier();
    ReadState();
    QCoreApplication::instance()->installNativeEventFilter(this);
}

LockKeyIndicators::~LockKeyIndicators() {
    if (m_connection != nullptr && QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

void LockKeyIndicators::FindIndicatorBits() {
    const XcbReply<xcb_xkb_get_names_reply_t> names(
        xcb_xkb_get_names_reply(m_connection,
                                xcb_xkb_get_names(m_connection, XCB_XKB_ID_USE_CORE_KBD,
                                                  XCB_XKB_NAME_DETAIL_INDICATOR_NAMES),
                                nullptr));
    if (names == nullptr) {
        return;
    }
    xcb_xkb_get_names_value_list_t list{};
    xcb_xkb_get_names_value_list_unpack(xcb_xkb_get_names_value_list(names.get()), names->nTypes,
                                        names->indicators, names->virtualMods, names->groupNames,
                                        names->nKeys, names->nKeyAliases, names->nRadioGroups,
                                        names->which, &list);
    // The reply lists one name for each bit set in names->indicators, lowest bit first.
    std::array<xcb_atom_t, 4> wanted{};
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        wanted[i] = AtomIfExists(m_connection, kIndicatorNames[i]);
    }
    int nameIndex = 0;
    for (std::uint32_t bit = 0; bit < 32; ++bit) {
        const std::uint32_t mask = std::uint32_t{1} << bit;
        if ((names->indicators & mask) == 0) {
            continue;
        }
        const xcb_atom_t atom = list.indicatorNames[nameIndex++];
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            if (atom != XCB_ATOM_NONE && atom == wanted[i]) {
                m_bits[i] = mask;
            }
        }
    }
}

void LockKeyIndicators::FindNumLockModifier() {
    constexpr xcb_keysym_t kNumLock = 0xff7f;
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    const XcbReply<xcb_get_keyboard_mapping_reply_t> keys(xcb_get_keyboard_mapping_reply(
        m_connection, xcb_get_keyboard_mapping(m_connection, setup->min_keycode, count), nullptr));
    const XcbReply<xcb_get_modifier_mapping_reply_t> modifiers(xcb_get_modifier_mapping_reply(
        m_connection, xcb_get_modifier_mapping(m_connection), nullptr));
    if (keys == nullptr || modifiers == nullptr || keys->keysyms_per_keycode == 0) {
        return;
    }
    const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(keys.get());
    const int symbolCount = xcb_get_keyboard_mapping_keysyms_length(keys.get());
    const xcb_keycode_t* modifierKeys = xcb_get_modifier_mapping_keycodes(modifiers.get());
    // Eight modifiers (Shift, Lock, Control, Mod1 to Mod5), each with its row of keys.
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int column = 0; column < modifiers->keycodes_per_modifier; ++column) {
            const xcb_keycode_t key =
                modifierKeys[modifier * modifiers->keycodes_per_modifier + column];
            if (key < setup->min_keycode) {
                continue;
            }
            const int first = (key - setup->min_keycode) * keys->keysyms_per_keycode;
            for (int level = 0; level < keys->keysyms_per_keycode && first + level < symbolCount;
                 ++level) {
                if (symbols[first + level] == kNumLock) {
                    m_numLockModifier = static_cast<std::uint8_t>(1U << modifier);
                    return;
                }
            }
        }
    }
}

void LockKeyIndicators::ReadState() {
    const XcbReply<xcb_xkb_get_state_reply_t> modifiers(xcb_xkb_get_state_reply(
        m_connection, xcb_xkb_get_state(m_connection, XCB_XKB_ID_USE_CORE_KBD), nullptr));
    if (modifiers != nullptr) {
        m_lockedModifiers = modifiers->lockedMods;
    }
    const XcbReply<xcb_xkb_get_indicator_state_reply_t> state(xcb_xkb_get_indicator_state_reply(
        m_connection, xcb_xkb_get_indicator_state(m_connection, XCB_XKB_ID_USE_CORE_KBD), nullptr));
    if (state != nullptr) {
        m_state = state->state;
    }
}

bool LockKeyIndicators::IsOn(LockKey key) const {
    if (key == LockKey::CapsLock && m_connection != nullptr) {
        return (m_lockedModifiers & XCB_MOD_MASK_LOCK) != 0;
    }
    if (key == LockKey::NumLock && m_numLockModifier != 0) {
        return (m_lockedModifiers & m_numLockModifier) != 0;
    }
    const std::uint32_t bit = m_bits[static_cast<std::size_t>(key)];
    return bit != 0 && (m_state & bit) != 0;
}

bool LockKeyIndicators::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != m_firstEvent) {
        return false;
    }
    // Every XKB event carries its own kind in the byte after the event code.
    const auto* notify = static_cast<const xcb_xkb_indicator_state_notify_event_t*>(message);
    if (notify->xkbType == XCB_XKB_INDICATOR_STATE_NOTIFY && notify->state != m_state) {
        m_state = notify->state;
        if (m_onChange) {
            m_onChange();
        }
    }
    const auto* state = static_cast<const xcb_xkb_state_notify_event_t*>(message);
    if (state->xkbType == XCB_XKB_STATE_NOTIFY && state->lockedMods != m_lockedModifiers) {
        m_lockedModifiers = state->lockedMods;
        if (m_onChange) {
            m_onChange();
        }
    }
    // Qt sees the event too.
    return false;
}
