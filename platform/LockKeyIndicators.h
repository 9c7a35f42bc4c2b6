#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include <QAbstractNativeEventFilter>

struct xcb_connection_t;

// The four lock keys whose lights a status bar shows.
enum class LockKey { Kana, CapsLock, NumLock, ScrollLock };

// The keyboard's lock indicators (kana, caps lock, num lock, scroll lock) as the X
// server's keyboard extension (XKB) reports them, found by their indicator names and kept
// current by its indicator-state events, which arrive through a native event filter.
// Caps lock and num lock follow the locked modifiers instead (Lock, and the modifier the
// Num_Lock key sets): some servers (Xwayland) update the indicators late, while the locked
// modifiers change with the key press itself.
// Where the platform is not X11 (offscreen, Wayland) nothing is known and every
// indicator reads off.
class LockKeyIndicators final : public QAbstractNativeEventFilter {
public:
    // onChange is called after an indicator changed.
    explicit LockKeyIndicators(std::function<void()> onChange);
    ~LockKeyIndicators() override;
    LockKeyIndicators(const LockKeyIndicators&) = delete;
    LockKeyIndicators& operator=(const LockKeyIndicators&) = delete;

    // Whether the light of this key is on.
    bool IsOn(LockKey key) const;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void FindIndicatorBits();
    void FindNumLockModifier();
    void ReadState();

    std::function<void()> m_onChange;
    xcb_connection_t* m_connection{};
    std::uint8_t m_firstEvent{};
    std::uint32_t m_state{}; // one bit per XKB indicator
    // The XKB indicator bit of each LockKey, in its order; 0 where the keyboard
    // has no indicator of that name.
    std::array<std::uint32_t, 4> m_bits{};
    std::uint8_t m_lockedModifiers{};
    // The real modifier that Num_Lock sets; 0 where no key sets one.
    std::uint8_t m_numLockModifier{};
};
