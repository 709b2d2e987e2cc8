#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-60}
scripts/install-deps.sh
command -v clang++ >/dev/null || { apt-get install -y -qq --no-install-recommends clang libclang-rt-14-dev; }
cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$(nproc)"
for f in build-fuzz/fuzz_*; do
  [ -f "$f" ] && [ -x "$f" ] || continue
  mkdir -p "build-fuzz/corpus/$(basename "$f")"
  echo "== $(basename "$f")"
  "$f" -max_total_time="$SECONDS_EACH" -max_len=4096 "build-fuzz/corpus/$(basename "$f")" 2>&1 | tail -2
done
