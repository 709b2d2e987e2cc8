#!/usr/bin/env bash
# Runs a test under an X server of its own (Xvfb on a free display) inside a private session
# bus, with its own HOME and XDG_RUNTIME_DIR; stops the server by pid afterwards. Exits 77 when
# the server cannot start.
set -uo pipefail
T=$(mktemp -d "${TMPDIR:-/tmp}/ovra-xvfb.XXXXXX")
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$T"
}
trap cleanup EXIT

export HOME=$T/home XDG_RUNTIME_DIR=$T/run
# An X11 session: a compositor of the caller's session must not be picked up instead.
unset WAYLAND_DISPLAY
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# -displayfd: the server picks a free display number and writes it once it accepts clients.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$T/display" 2>"$T/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$T/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { cat "$T/xvfb.log" >&2; exit 77; }
  sleep 0.05
done
[ -s "$T/display" ] || { echo "Xvfb did not start" >&2; exit 77; }
export DISPLAY=:$(tr -d '\n' <"$T/display")
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

dbus-run-session -- "$@"
