#!/usr/bin/env bash
# Runs a test under Xvfb and a private session bus with an accessibility bus of its own
# (at-spi-bus-launcher; the registry is started by that bus on first use). The launcher is
# stopped by pid afterwards. Exits 77 when it cannot start.
set -uo pipefail
if [ "${1:-}" != "--inside" ]; then
  exec "$(dirname "$0")/with-xvfb.sh" "$0" --inside "$@"
fi
shift
launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] || { echo "at-spi-bus-launcher missing (at-spi2-core)" >&2; exit 77; }
"$launcher" --launch-immediately &
launcher_pid=$!
cleanup() { kill "$launcher_pid" 2>/dev/null && wait "$launcher_pid" 2>/dev/null; }
trap cleanup EXIT
ready=""
for _ in $(seq 200); do
  # Asking the name's owner starts nothing (a call to org.a11y.Bus would start a second launcher).
  if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q 'boolean true'; then
    ready=1
    break
  fi
  kill -0 "$launcher_pid" 2>/dev/null || break
  sleep 0.05
done
[ -n "$ready" ] || { echo "accessibility bus did not start" >&2; exit 77; }
"$@"
