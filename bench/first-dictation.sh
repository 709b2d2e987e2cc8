#!/bin/sh
# The first dictation after the program starts, key-down to the first captured samples, over
# several fresh processes on one sound server (run inside tests/rigs/with-pulse.sh or
# tests/rigs/with-pipewire.sh). A single
# process gives one figure only, and it depends on where the server's own capture schedule stands
# when the stream opens, so one number says little. The first process also meets a server that
# has never served a low-latency capture, unlike a desktop's long-running one: it is reported
# apart.
set -eu
bench=${1:-build/bench/bench_audio}
runs=${2:-10}
[ -n "${PULSE_SERVER:-}" ] || { echo "run inside tests/rigs/with-pulse.sh or with-pipewire.sh" >&2; exit 2; }
# One line per process: the first samples' arrival, when their audio began, and when the
# capture stream was running.
first() {
  "$bench" --benchmark_filter='KeyDown.*/0/' 2>/dev/null |
    sed -n 's/.*first_dictation_captured_ms=\([0-9.]*\).*first_dictation_ms=\([0-9.]*\).*first_dictation_running_ms=\([0-9.]*\).*/\2 \1 \3/p'
}
summary() {
  sort -n -k"$1" | awk -v k="$1" -v what="$2" '{v[NR]=$k} END {printf "%s over %d processes: min %.1f median %.1f max %.1f ms\n", what, NR, v[1], v[int((NR+1)/2)], v[NR]}'
}
echo "fresh server (arrival, audio began, stream running): $(first) ms"
out=$(mktemp)
i=0
while [ $i -lt "$runs" ]; do
  first >> "$out"
  i=$((i + 1))
done
summary 1 "first samples arrived" < "$out"
summary 2 "their audio began" < "$out"
summary 3 "the capture stream was running" < "$out"
rm -f "$out"
