#pragma once
// Synthetic key chords through the compositor's virtual-keyboard protocol (wlroots compositors).
// The keyboard sends its own keymap, a US one built for the purpose: the focused application
// reads our keys with it, so the chords resolve right whatever layout the user types with
// (AZERTY, Dvorak, Bépo).
#include "platform/KeySynthesizer.h"

#include <cstdint>

class WaylandConnection;
struct wl_event_queue;
struct wl_seat;
struct xkb_context;
struct xkb_keymap;
struct xkb_state;
struct zwp_virtual_keyboard_manager_v1;
struct zwp_virtual_keyboard_v1;

class WaylandKeySynthesizer : public KeySynthesizer
{
public:
    // Creates the keyboard at once: the seat takes a moment to adopt a new keyboard, and the
    // first chord must not be the key it loses.
    explicit WaylandKeySynthesizer(WaylandConnection& connection);
    ~WaylandKeySynthesizer() override;
    WaylandKeySynthesizer(const WaylandKeySynthesizer&) = delete;
    WaylandKeySynthesizer& operator=(const WaylandKeySynthesizer&) = delete;

    // True when the compositor accepted our keyboard and its keymap.
    bool isTrusted() const override;
    void post(KeyChord chord) override;

private:
    uint32_t keycodeOf(uint32_t keysym) const;
    void sendKey(uint32_t keycode, bool down);

    WaylandConnection& m_connection;
    wl_event_queue* m_queue = nullptr;
    wl_seat* m_seat = nullptr;
    zwp_virtual_keyboard_manager_v1* m_manager = nullptr;
    zwp_virtual_keyboard_v1* m_keyboard = nullptr;
    xkb_context* m_context = nullptr;
    xkb_keymap* m_keymap = nullptr;
    xkb_state* m_state = nullptr;
    bool m_ready = false;
};
