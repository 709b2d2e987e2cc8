#!/usr/bin/env bash
# Runs a test on a private D-Bus session bus, with its own HOME and XDG_RUNTIME_DIR; the bus
# ends with the test.
set -uo pipefail
T=$(mktemp -d "${TMPDIR:-/tmp}/ovra-bus.XXXXXX")
trap 'rm -rf "$T"' EXIT
export HOME=$T/home XDG_RUNTIME_DIR=$T/run
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY
dbus-run-session -- "$@"
