#!/usr/bin/env bash
# The main job on its embedded default: no key, no network.
set -euo pipefail
OVRA=$1
"$OVRA"
