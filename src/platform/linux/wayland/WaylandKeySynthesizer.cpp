#include "WaylandKeySynthesizer.h"

#include "WaylandConnection.h"

#include "virtual-keyboard-unstable-v1-client-protocol.h"

#include <QElapsedTimer>

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

namespace {

struct KeymapLookup
{
    uint32_t keysym = 0;
    xkb_keycode_t found = 0;
};

// A keymap travels as a file the compositor maps; a sealed-off memory file is enough.
int keymapFile(const char* text, size_t size)
{
    const int fd = memfd_create("ovra-keymap", MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, text + written, size - written);
        if (n <= 0) {
            close(fd);
            return -1;
        }
        written += size_t(n);
    }
    return fd;
}

uint32_t nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint32_t(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

} // namespace

WaylandKeySynthesizer::WaylandKeySynthesizer(WaylandConnection& connection) : m_connection(connection)
{
    m_queue = connection.createQueue();
    m_seat = static_cast<wl_seat*>(connection.bind(&wl_seat_interface, 1, m_queue));
    m_manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
        connection.bind(&zwp_virtual_keyboard_manager_v1_interface, 1, m_queue));
    if (!m_seat || !m_manager)
        return;

    m_context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
    m_keymap = m_context ? xkb_keymap_new_from_names(m_context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS) : nullptr;
    if (!m_keymap)
        return;
    m_state = xkb_state_new(m_keymap);
    char* text = xkb_keymap_get_as_string(m_keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    if (!text)
        return;
    const size_t size = std::strlen(text) + 1;
    const int fd = keymapFile(text, size);
    free(text);
    if (fd < 0)
        return;

    m_keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(m_manager, m_seat);
    zwp_virtual_keyboard_v1_keymap(m_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, uint32_t(size));
    close(fd);
    // The seat adopts the new keyboard on its first event: a neutral modifier state, so no key
    // of the first chord is what gets lost.
    zwp_virtual_keyboard_v1_modifiers(m_keyboard, 0, 0, 0, 0);
    // A compositor that refuses us (unauthorized) says so before this returns.
    m_ready = connection.roundtrip(m_queue);
}

WaylandKeySynthesizer::~WaylandKeySynthesizer()
{
    if (m_keyboard)
        zwp_virtual_keyboard_v1_destroy(m_keyboard);
    if (m_manager)
        zwp_virtual_keyboard_manager_v1_destroy(m_manager);
    if (m_seat)
        wl_seat_destroy(m_seat);
    m_connection.flush();
    if (m_state)
        xkb_state_unref(m_state);
    if (m_keymap)
        xkb_keymap_unref(m_keymap);
    if (m_context)
        xkb_context_unref(m_context);
}

bool WaylandKeySynthesizer::isTrusted() const { return m_ready && !m_connection.isBroken(); }

uint32_t WaylandKeySynthesizer::keycodeOf(uint32_t keysym) const
{
    KeymapLookup lookup{keysym, 0};
    xkb_keymap_key_for_each(
        m_keymap,
        [](xkb_keymap* keymap, xkb_keycode_t key, void* data) {
            auto* l = static_cast<KeymapLookup*>(data);
            if (l->found)
                return;
            const xkb_keysym_t* syms = nullptr;
            const int n = xkb_keymap_key_get_syms_by_level(keymap, key, 0, 0, &syms);
            for (int i = 0; i < n; ++i)
                if (syms[i] == l->keysym)
                    l->found = key;
        },
        &lookup);
    return lookup.found;
}

void WaylandKeySynthesizer::sendKey(uint32_t keycode, bool down)
{
    // The protocol speaks evdev codes; xkbcommon's keycodes are 8 above them.
    zwp_virtual_keyboard_v1_key(m_keyboard, nowMs(), keycode - 8,
                                down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    const xkb_state_component changed = xkb_state_update_key(m_state, keycode, down ? XKB_KEY_DOWN : XKB_KEY_UP);
    if (changed & XKB_STATE_MODS_EFFECTIVE)
        zwp_virtual_keyboard_v1_modifiers(m_keyboard, xkb_state_serialize_mods(m_state, XKB_STATE_MODS_DEPRESSED),
                                          xkb_state_serialize_mods(m_state, XKB_STATE_MODS_LATCHED),
                                          xkb_state_serialize_mods(m_state, XKB_STATE_MODS_LOCKED),
                                          xkb_state_serialize_layout(m_state, XKB_STATE_LAYOUT_EFFECTIVE));
}

void WaylandKeySynthesizer::post(KeyChord chord)
{
    if (!isTrusted())
        return;
    std::vector<uint32_t> keysyms;
    switch (chord) {
    case KeyChord::paste:
        keysyms = {XKB_KEY_Control_L, XKB_KEY_v};
        break;
    case KeyChord::terminalPaste:
        keysyms = {XKB_KEY_Control_L, XKB_KEY_Shift_L, XKB_KEY_v};
        break;
    case KeyChord::copy:
        keysyms = {XKB_KEY_Control_L, XKB_KEY_c};
        break;
    case KeyChord::terminalCopy:
        keysyms = {XKB_KEY_Control_L, XKB_KEY_Shift_L, XKB_KEY_c};
        break;
    case KeyChord::returnKey:
        keysyms = {XKB_KEY_Return};
        break;
    }
    std::vector<uint32_t> keycodes;
    for (uint32_t sym : keysyms) {
        const uint32_t code = keycodeOf(sym);
        if (code == 0)
            return;
        keycodes.push_back(code);
    }
    for (uint32_t code : keycodes)
        sendKey(code, true);
    for (auto it = keycodes.rbegin(); it != keycodes.rend(); ++it)
        sendKey(*it, false);
    m_connection.flush();
}
