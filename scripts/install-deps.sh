#!/usr/bin/env bash
# Installs every Debian 12 package the project builds, runs and tests with. Idempotent.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache git
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qcoro-qt6-dev qt6-svg-dev
  libsqlite3-dev libssl-dev libsecret-1-dev zlib1g-dev
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  libpulse-dev libx11-dev libxtst-dev libxi-dev libxkbcommon-dev
  libmd4c-dev libmd4c-html0-dev
  pocketsphinx pocketsphinx-en-us libpocketsphinx-dev
  libbenchmark-dev
  espeak-ng sox xvfb xdotool xclip xterm pulseaudio pulseaudio-utils pipewire pipewire-pulse wireplumber dbus dbus-x11
  gnome-keyring libsecret-tools python3 python3-cryptography syncthing
  avahi-daemon iproute2 at-spi2-core
  xdg-desktop-portal python3-dbus python3-gi libglib2.0-bin
  libwayland-dev libwayland-bin wayland-protocols qt6-wayland sway wl-clipboard wayland-utils wtype foot xwayland
  curl
)

# Node.js runs the CouchDB-compatible server of the leaderboard tests; a Node.js installed
# otherwise (with its npm) is used as it is.
command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The on-device speech engine's source (not a Debian package).
"$(dirname "$0")/fetch-whisper.sh"

# The CouchDB-compatible server of the leaderboard tests, pinned, where
# tests/rigs/with-couchdb.sh looks for it. In memory only: the optional on-disk adapters (a
# native SQLite build of several minutes) are left out.
pouchdb_dir=${OVRA_DEPS_DIR:-$HOME/.cache/ovra-deps}/pouchdb-server-4.2.0
if [ ! -x "$pouchdb_dir/node_modules/.bin/pouchdb-server" ]; then
  mkdir -p "$pouchdb_dir"
  (cd "$pouchdb_dir" && npm install --no-audit --no-fund --loglevel=error --omit=optional pouchdb-server@4.2.0)
fi
