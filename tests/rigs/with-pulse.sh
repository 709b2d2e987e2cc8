#!/bin/sh
# Runs a command against a private PulseAudio server: a null sink "spk" (no rewinds, so what is
# played right after a stream opens is not lost) and a microphone "mic" remapped from its
# monitor. What is played into "spk" (paplay -d spk) comes out of "mic".
# Own temporary HOME and XDG_RUNTIME_DIR; the server is stopped by its pid. Exits 77 when the
# server cannot start.
set -eu
T=$(mktemp -d)
mkdir -p "$T/home" "$T/run"
chmod 700 "$T/run"
export HOME="$T/home" XDG_RUNTIME_DIR="$T/run"
unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY
cat > "$T/pa.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$XDG_RUNTIME_DIR/native
load-module module-null-sink sink_name=spk rate=16000 channels=1 norewinds=1
load-module module-remap-source master=spk.monitor source_name=mic channels=1
set-default-source mic
PA
pulseaudio -n -F "$T/pa.pa" --exit-idle-time=-1 --disallow-exit=yes --daemonize=yes \
  --use-pid-file=yes --log-target="file:$T/pa.log" 2>>"$T/pa.log" || { cat "$T/pa.log" >&2; rm -rf "$T"; exit 77; }
export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/native"
i=0
until pactl info >/dev/null 2>&1; do
  i=$((i + 1))
  if [ $i -gt 100 ]; then echo "pulseaudio did not start" >&2; cat "$T/pa.log" >&2; rm -rf "$T"; exit 77; fi
  sleep 0.1
done
pid=$(cat "$XDG_RUNTIME_DIR/pulse/pid")
set +e
"$@"
rc=$?
kill "$pid" 2>/dev/null
i=0
while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do i=$((i + 1)); sleep 0.1; done
rm -rf "$T"
exit $rc
