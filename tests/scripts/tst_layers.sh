#!/usr/bin/env bash
# The libraries of src/ link in one direction only: CMake's own dependency graph has no loop.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
T=$(mktemp -d "${TMPDIR:-/tmp}/ovra-layers.XXXXXX")
trap 'rm -rf "$T"' EXIT
cmake -S "$root" -B "$T/build" --graphviz="$T/graph.dot" >"$T/cmake.log" 2>&1 || { cat "$T/cmake.log"; exit 1; }
# "nodeN" [ label = "ovra_x" ...] and "nodeA" -> "nodeB" lines; keep the edges between our libraries.
awk '
  /\[ label = "/ { match($0, /label = "[^"]*"/); label[$1] = substr($0, RSTART + 9, RLENGTH - 10) }
  / -> / { from[++n] = $1; to[n] = $3 }
  END { for (i = 1; i <= n; i++) if (label[from[i]] ~ /^ovra_/ && label[to[i]] ~ /^ovra_/) print label[from[i]], label[to[i]] }
' "$T/graph.dot" >"$T/edges"
[ -s "$T/edges" ] || { echo "FAIL: no library edges found"; exit 1; }
if ! tsort "$T/edges" >/dev/null 2>"$T/loop"; then
  echo "FAIL: the libraries link each other:"
  cat "$T/loop"
  exit 1
fi
echo "PASS"
