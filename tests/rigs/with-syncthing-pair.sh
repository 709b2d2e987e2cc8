#!/usr/bin/env bash
# Runs a test with two Syncthing instances on this machine sharing one folder ("ovra-test"):
# listening on 127.0.0.1 only, discovery, relays and NAT off, ports chosen free. Exports for
# the test: OVRA_ST_FOLDER_A/B (the two copies), OVRA_ST_GUI_A/B (REST address), OVRA_ST_KEY
# (the REST key of both), OVRA_ST_ID_A/B (device ids). Both stop with the test, by pid.
# Exits 77 when Syncthing is missing or the two never connect.
set -uo pipefail
command -v syncthing >/dev/null || { echo "syncthing is not installed" >&2; exit 77; }
T=$(mktemp -d "${TMPDIR:-/tmp}/ovra-syncthing.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  rm -rf "$T"
}
trap cleanup EXIT

# Four free ports, bound and released at once by the kernel's choice.
read -r PA PB GA GB < <(python3 -c '
import socket
socks = [socket.socket() for _ in range(4)]
for s in socks: s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in socks))
for s in socks: s.close()')
KEY=ovra-rig-$RANDOM$RANDOM

for side in a b; do
  mkdir -p "$T/$side/home" "$T/$side/folder"
  HOME="$T/$side/home" syncthing generate --home="$T/$side/cfg" --no-default-folder >/dev/null 2>&1 ||
    { echo "syncthing generate failed" >&2; exit 77; }
done
ID_A=$(HOME="$T/a/home" syncthing serve --home="$T/a/cfg" --device-id 2>/dev/null)
ID_B=$(HOME="$T/b/home" syncthing serve --home="$T/b/cfg" --device-id 2>/dev/null)

config() { # self peer port peerport guiport folder
  cat <<XML
<configuration version="36">
  <folder id="ovra-test" label="ovra-test" path="$6" type="sendreceive" rescanIntervalS="3600" fsWatcherEnabled="true" fsWatcherDelayS="1">
    <device id="$1"></device><device id="$2"></device>
    <maxConflicts>10</maxConflicts><minDiskFree unit="%">1</minDiskFree>
  </folder>
  <device id="$1" name="self"><address>dynamic</address></device>
  <device id="$2" name="peer"><address>tcp://127.0.0.1:$4</address></device>
  <gui enabled="true" tls="false"><address>127.0.0.1:$5</address><apikey>$KEY</apikey></gui>
  <options>
    <listenAddress>tcp://127.0.0.1:$3</listenAddress>
    <globalAnnounceEnabled>false</globalAnnounceEnabled><localAnnounceEnabled>false</localAnnounceEnabled>
    <relaysEnabled>false</relaysEnabled><natEnabled>false</natEnabled><startBrowser>false</startBrowser>
    <urAccepted>-1</urAccepted><crashReportingEnabled>false</crashReportingEnabled>
    <autoUpgradeIntervalH>0</autoUpgradeIntervalH><stunKeepaliveStartS>0</stunKeepaliveStartS>
    <reconnectionIntervalS>1</reconnectionIntervalS>
  </options>
</configuration>
XML
}
config "$ID_A" "$ID_B" "$PA" "$PB" "$GA" "$T/a/folder" > "$T/a/cfg/config.xml"
config "$ID_B" "$ID_A" "$PB" "$PA" "$GB" "$T/b/folder" > "$T/b/cfg/config.xml"

for side in a b; do
  env -i PATH=/usr/bin:/bin HOME="$T/$side/home" STNORESTART=1 STNOUPGRADE=1 \
    syncthing serve --home="$T/$side/cfg" --no-browser --no-restart --no-upgrade --logflags=3 \
    > "$T/$side/log" 2>&1 &
  pids+=($!)
done

connected() { # gui peer
  python3 - "$1" "$2" "$KEY" <<'PY' 2>/dev/null
import json, sys, urllib.request
gui, peer, key = sys.argv[1:4]
req = urllib.request.Request(f"http://127.0.0.1:{gui}/rest/system/connections", headers={"X-API-Key": key})
d = json.load(urllib.request.urlopen(req, timeout=2))
sys.exit(0 if d["connections"][peer]["connected"] else 1)
PY
}
for _ in $(seq 300); do
  connected "$GA" "$ID_B" && connected "$GB" "$ID_A" && break
  sleep 0.1
done
if ! { connected "$GA" "$ID_B" && connected "$GB" "$ID_A"; }; then
  echo "the two Syncthing instances did not connect" >&2
  tail -20 "$T/a/log" "$T/b/log" >&2
  exit 77
fi

export OVRA_ST_FOLDER_A="$T/a/folder" OVRA_ST_FOLDER_B="$T/b/folder" OVRA_ST_KEY="$KEY" \
  OVRA_ST_GUI_A="127.0.0.1:$GA" OVRA_ST_GUI_B="127.0.0.1:$GB" OVRA_ST_ID_A="$ID_A" OVRA_ST_ID_B="$ID_B"
"$@"
rc=$?
[ $rc -ne 0 ] && tail -30 "$T/a/log" "$T/b/log" >&2
exit $rc
