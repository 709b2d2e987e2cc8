#!/usr/bin/env bash
# Second README command: install, build, run the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
cd "$BUILD_DIR"
if ! ctest --output-on-failure -j"$(nproc)" "$@"; then
  # The integration tests start real X, sound and bus servers; under load one of them can miss
  # its start-up window. Failures are shown above and run once more, alone.
  echo "Running the failed tests once more, one at a time:"
  ctest --output-on-failure --rerun-failed
fi
