#!/bin/sh
# Runs a command inside a private D-Bus session with an unlocked gnome-keyring Secret Service.
# Own temporary HOME and XDG_RUNTIME_DIR; the keyring daemon is stopped by its pid.
# Exits 77 when the keyring cannot start.
set -eu
T=$(mktemp -d)
mkdir -p "$T/home" "$T/run"
chmod 700 "$T/run"
export HOME="$T/home" XDG_RUNTIME_DIR="$T/run"
# DISPLAY is kept: this rig may run inside with-xvfb.sh.
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY
set +e
dbus-run-session -- sh -c '
  printf testpass | gnome-keyring-daemon --foreground --unlock --components=secrets >"$HOME/keyring.log" 2>&1 &
  kpid=$!
  i=0
  until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true"; do
    i=$((i + 1))
    if [ $i -gt 100 ]; then echo "gnome-keyring did not start" >&2; cat "$HOME/keyring.log" >&2; kill $kpid; exit 77; fi
    sleep 0.1
  done
  "$@"
  rc=$?
  kill $kpid 2>/dev/null
  wait $kpid 2>/dev/null
  exit $rc' sh "$@"
rc=$?
rm -rf "$T"
exit $rc
