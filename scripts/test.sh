#!/usr/bin/env bash
# Second README command: install, build, run the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
exec scripts/run-tests.sh "${BUILD_DIR:-build}" "$@"
