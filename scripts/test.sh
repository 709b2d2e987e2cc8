#!/usr/bin/env bash
# Second README command: install, build, run the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
scripts/run-tests.sh "${BUILD_DIR:-build}" "$@"
# The fuzz targets build with clang apart; their seed corpora run once, as regression inputs.
scripts/fuzz.sh --replay
