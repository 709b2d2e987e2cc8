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
  name=$(basename "$f")
  mkdir -p "build-fuzz/corpus/$name"
  # Seeds and dictionaries kept in fuzz/ start the run where they exist.
  seeds=(); [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
  dict=(); [ -f "fuzz/$name.dict" ] && dict=("-dict=fuzz/$name.dict")
  echo "== $name"
  "$f" -max_total_time="$SECONDS_EACH" -max_len=4096 "${dict[@]}" "build-fuzz/corpus/$name" "${seeds[@]}" 2>&1 | tail -2
done
