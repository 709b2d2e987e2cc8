#!/usr/bin/env bash
# First README command: install, build, run the main job on its embedded default.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
exec scripts/demo.sh "$BUILD_DIR/src/app/ovra"
