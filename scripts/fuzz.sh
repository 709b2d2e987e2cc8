#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 60).
# scripts/fuzz.sh --replay only runs each target over the seed corpus kept in fuzz/corpus, once:
# the test run does it so that the targets keep building and the seeds keep passing.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-60}
scripts/install-deps.sh
command -v clang++ >/dev/null || { apt-get install -y -qq --no-install-recommends clang libclang-rt-14-dev; }
launcher=(); command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j"$(nproc)"
if [ "$SECONDS_EACH" = --replay ]; then
  for f in build-fuzz/fuzz_*; do
    [ -f "$f" ] && [ -x "$f" ] || continue
    name=$(basename "$f")
    [ -d "fuzz/corpus/$name" ] || { echo "$name has no seed corpus in fuzz/corpus" >&2; exit 1; }
    "$f" -runs=0 "fuzz/corpus/$name" 2>&1 | tail -1
  done
  exit 0
fi
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
