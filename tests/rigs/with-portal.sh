#!/usr/bin/env bash
# Runs a test against Debian's xdg-desktop-portal on a private session bus whose service folder
# is empty (the frontend activates no helper), with the test's own back end (tests/portal/
# portal_backend.py). The test reaches the back end's control interface and finds the frontend's
# process id in OVRA_PORTAL_PID (to make the portal disappear). Everything is stopped by PID.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
frontend=/usr/libexec/xdg-desktop-portal
if [ ! -x "$frontend" ] || ! /usr/bin/python3 -c 'import dbus, gi' 2>/dev/null; then
  echo "with-portal: xdg-desktop-portal or python3-dbus missing" >&2
  exit 77
fi
if [ "${OVRA_PORTAL_INNER:-}" != 1 ]; then
  T=$(mktemp -d "${TMPDIR:-/tmp}/ovra-portal.XXXXXX")
  trap 'rm -rf "$T"' EXIT
  mkdir -p "$T/services" "$T/portals" "$T/home" "$T/run" && chmod 700 "$T/run"
  cat > "$T/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <keep_umask/>
  <listen>unix:tmpdir=$T</listen>
  <auth>EXTERNAL</auth>
  <servicedir>$T/services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
  cat > "$T/portals/ovratest.portal" <<PORTAL
[portal]
DBusName=org.freedesktop.impl.portal.desktop.ovratest
Interfaces=org.freedesktop.impl.portal.GlobalShortcuts;org.freedesktop.impl.portal.RemoteDesktop;
UseIn=ovratest
PORTAL
  export HOME=$T/home XDG_RUNTIME_DIR=$T/run OVRA_PORTAL_DIR=$T
  export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share
  unset DISPLAY WAYLAND_DISPLAY
  OVRA_PORTAL_INNER=1 dbus-run-session --config-file="$T/bus.conf" -- "$0" "$@"
  exit $?
fi

hasname() {
  gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
    -m org.freedesktop.DBus.NameHasOwner "$1" 2>/dev/null | grep -q true
}
waitname() { for _ in $(seq 1 200); do hasname "$1" && return 0; sleep 0.05; done; return 1; }

/usr/bin/python3 "$here/../portal/portal_backend.py" > "$OVRA_PORTAL_DIR/backend.log" 2>&1 &
backend=$!
frontend_pid=""
stop() {
  [ -n "$frontend_pid" ] && kill "$frontend_pid" 2>/dev/null && wait "$frontend_pid" 2>/dev/null
  kill "$backend" 2>/dev/null && wait "$backend" 2>/dev/null
}
trap 'stop' EXIT
if ! waitname org.freedesktop.impl.portal.desktop.ovratest; then
  echo "with-portal: the test back end did not start" >&2; cat "$OVRA_PORTAL_DIR/backend.log" >&2
  exit 77
fi
XDG_CURRENT_DESKTOP=ovratest XDG_DESKTOP_PORTAL_DIR="$OVRA_PORTAL_DIR/portals" \
  "$frontend" -r > "$OVRA_PORTAL_DIR/frontend.log" 2>&1 &
frontend_pid=$!
if ! waitname org.freedesktop.portal.Desktop; then
  echo "with-portal: xdg-desktop-portal did not start" >&2; cat "$OVRA_PORTAL_DIR/frontend.log" >&2
  exit 77
fi
export OVRA_PORTAL_PID=$frontend_pid
"$@"
rc=$?
if [ $rc -ne 0 ]; then
  echo "--- back end" >&2; cat "$OVRA_PORTAL_DIR/backend.log" >&2
  echo "--- frontend" >&2; tail -50 "$OVRA_PORTAL_DIR/frontend.log" >&2
fi
exit $rc
