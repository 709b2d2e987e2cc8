#!/usr/bin/env bash
# Runs a test with an Avahi daemon of its own: a private system bus on a socket of ours, and
# avahi-daemon in a network + mount namespace (only loopback, /run on a tmpfs) so it neither
# sees nor disturbs the machine's network. Needs root (unshare). Both stop with the test.
set -uo pipefail
T=$(mktemp -d "${TMPDIR:-/tmp}/ovra-avahi.XXXXXX")
bus_pid=; avahi_pid=
cleanup() {
  [ -n "$avahi_pid" ] && kill "$avahi_pid" 2>/dev/null && wait "$avahi_pid" 2>/dev/null
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null && wait "$bus_pid" 2>/dev/null
  rm -rf "$T"
}
trap cleanup EXIT
cat > "$T/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$T/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/><allow own="*"/><allow send_destination="*"/><allow receive_sender="*"/>
  </policy>
</busconfig>
EOF
cat > "$T/avahi.conf" <<EOF
[server]
host-name=ovra-host
use-ipv4=yes
use-ipv6=no
allow-interfaces=lo
enable-dbus=yes
[publish]
publish-hinfo=no
publish-workstation=no
[wide-area]
enable-wide-area=no
EOF
dbus-daemon --config-file="$T/bus.conf" --nofork --nopidfile & bus_pid=$!
for _ in $(seq 100); do [ -S "$T/system_bus_socket" ] && break; sleep 0.05; done
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$T/system_bus_socket
unshare --net --mount --propagation private sh -c "ip link set lo up; mount -t tmpfs tmpfs /run;
  exec avahi-daemon -f '$T/avahi.conf' --no-drop-root --no-chroot --no-rlimits" >"$T/avahi.log" 2>&1 &
avahi_pid=$!
# Ready once the daemon owns its name and has finished probing its host name.
ready=
for _ in $(seq 200); do
  state=$(dbus-send --system --print-reply --dest=org.freedesktop.Avahi / org.freedesktop.Avahi.Server.GetState 2>/dev/null | awk '/int32/ {print $2}')
  [ "$state" = 2 ] && { ready=1; break; }
  sleep 0.05
done
[ -n "$ready" ] || { echo "avahi-daemon did not start:"; cat "$T/avahi.log"; exit 1; }
export OVRA_AVAHI_PID=$avahi_pid
"$@"
