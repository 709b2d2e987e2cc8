#!/bin/sh
# Runs a command against a private PipeWire, the sound server of most desktops today: pipewire,
# its session manager (wireplumber) and its PulseAudio server (pipewire-pulse), on a session bus
# of their own. The same devices as with-pulse.sh: a null sink "spk" and a microphone "mic"
# remapped from its monitor, so what is played into "spk" comes out of "mic".
# Own temporary HOME and XDG_RUNTIME_DIR; every process is stopped by its pid. Exits 77 when the
# server cannot start.
set -eu
T=$(mktemp -d)
mkdir -p "$T/home" "$T/run"
chmod 700 "$T/run"
export HOME="$T/home" XDG_RUNTIME_DIR="$T/run"
unset DISPLAY WAYLAND_DISPLAY PIPEWIRE_REMOTE PULSE_SERVER
pids=""
stop() {
  for p in $pids; do kill "$p" 2>/dev/null || true; done
  for p in $pids; do
    i=0
    while kill -0 "$p" 2>/dev/null && [ $i -lt 50 ]; do i=$((i + 1)); sleep 0.1; done
    kill -9 "$p" 2>/dev/null || true
  done
  rm -rf "$T"
}
fail() { echo "$1" >&2; cat "$T"/*.log >&2 2>/dev/null || true; stop; exit 77; }
dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$T/bus" 4>"$T/bus.pid" 2>"$T/dbus.log" ||
  fail "no session bus"
pids="$(cat "$T/bus.pid")"
export DBUS_SESSION_BUS_ADDRESS="$(cat "$T/bus")"
pipewire >"$T/pipewire.log" 2>&1 &
pids="$! $pids"
wireplumber >"$T/wireplumber.log" 2>&1 &
pids="$! $pids"
pipewire-pulse >"$T/pipewire-pulse.log" 2>&1 &
pids="$! $pids"
export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
i=0
until pactl info >/dev/null 2>&1; do
  i=$((i + 1))
  [ $i -le 100 ] || fail "pipewire-pulse did not start"
  sleep 0.1
done
pactl load-module module-null-sink sink_name=spk rate=16000 channels=1 >/dev/null || fail "no null sink"
pactl load-module module-remap-source master=spk.monitor source_name=mic channels=1 >/dev/null || fail "no remapped source"
i=0
until pactl list short sources | grep -q "^[0-9]*	mic	"; do
  i=$((i + 1))
  [ $i -le 50 ] || fail "the microphone did not appear"
  sleep 0.1
done
pactl set-default-source mic
set +e
"$@"
rc=$?
stop
exit $rc
