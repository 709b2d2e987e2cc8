#!/usr/bin/env bash
# Configures and builds in Release into build/ (BUILD_DIR overrides).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DOVRA_WERROR=$werror "$@" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
