#!/usr/bin/env bash
# Runs a command as a client of a compositor of its own: sway with its headless back end, the
# keyboard layout OVRA_SWAY_LAYOUT (French by default), no XWayland unless OVRA_SWAY_XWAYLAND=1
# (then DISPLAY names sway's XWayland). Exports WAYLAND_DISPLAY (the socket's absolute path) and
# SWAYSOCK; own HOME and XDG_RUNTIME_DIR; otherwise DISPLAY unset so nothing falls back to an X
# server. sway is stopped by its pid. Exits 77 when sway cannot start.
set -uo pipefail
T=$(mktemp -d "${TMPDIR:-/tmp}/ovra-sway.XXXXXX")
# sway runs under another uid when we are root: every parent folder must be traversable.
chmod 755 "$T"
sway_pid=""
cleanup() {
  if [ -n "$sway_pid" ]; then
    kill "$sway_pid" 2>/dev/null
    wait "$sway_pid" 2>/dev/null
  fi
  rm -rf "$T"
}
trap cleanup EXIT

mkdir -p "$T/sway/home" "$T/sway/run" "$T/home" "$T/run"
chmod 700 "$T/sway/home" "$T/sway/run" "$T/home" "$T/run"
xwayland=disable
[ "${OVRA_SWAY_XWAYLAND:-}" = 1 ] && xwayland=enable
printf 'output HEADLESS-1 resolution 1280x720\ninput * xkb_layout %s\ndefault_border none\nxwayland %s\n' \
  "${OVRA_SWAY_LAYOUT:-fr}" "$xwayland" >"$T/sway.conf"
# XWayland started by wlroots admits no client here (no cookie is handed out, and sway may run as
# another user): the rig's XWayland lets every local client in.
printf '#!/bin/sh\nexec /usr/bin/Xwayland "$@" -ac\n' >"$T/xwayland"
chmod 755 "$T/xwayland"

sway_env=(env -i PATH=/usr/bin:/bin HOME="$T/sway/home" XDG_RUNTIME_DIR="$T/sway/run"
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman WLR_XWAYLAND=$T/xwayland)
if [ "$(id -u)" -eq 0 ]; then
  # sway refuses to run as root ("Unable to drop root").
  chown 4242:4242 "$T/sway/home" "$T/sway/run"
  "${sway_env[@]}" setpriv --reuid=4242 --regid=4242 --clear-groups -- sway -c "$T/sway.conf" >"$T/sway.log" 2>&1 &
else
  "${sway_env[@]}" sway -c "$T/sway.conf" >"$T/sway.log" 2>&1 &
fi
sway_pid=$!

ready=""
for _ in $(seq 250); do
  if [ -S "$T/sway/run/wayland-1" ] && ls "$T"/sway/run/sway-ipc.*.sock >/dev/null 2>&1; then
    ready=1
    break
  fi
  kill -0 "$sway_pid" 2>/dev/null || break
  sleep 0.02
done
if [ -z "$ready" ]; then
  echo "sway did not start" >&2
  cat "$T/sway.log" >&2
  exit 77
fi

export HOME=$T/home XDG_RUNTIME_DIR=$T/run
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share
export WAYLAND_DISPLAY=$T/sway/run/wayland-1
SWAYSOCK=$(ls "$T"/sway/run/sway-ipc.*.sock)
export SWAYSOCK
export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=sway
unset DISPLAY
# The socket is sway's; a root client may use it, another uid needs it opened up.
chmod 777 "$T/sway/run/wayland-1" "$SWAYSOCK" 2>/dev/null

if [ "$xwayland" = enable ]; then
  # sway starts XWayland on the first X client; its DISPLAY is in sway's own environment.
  swaymsg exec 'printf %s "$DISPLAY" >"$XDG_RUNTIME_DIR/display.part" && mv "$XDG_RUNTIME_DIR/display.part" "$XDG_RUNTIME_DIR/display"' >/dev/null
  for _ in $(seq 500); do
    [ -s "$T/sway/run/display" ] && break
    sleep 0.02
  done
  if [ ! -s "$T/sway/run/display" ]; then
    echo "sway gave no XWayland display" >&2
    exit 77
  fi
  DISPLAY=$(cat "$T/sway/run/display")
  export DISPLAY
fi

"$@"
