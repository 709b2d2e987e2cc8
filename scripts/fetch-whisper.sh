#!/usr/bin/env bash
# Unpacks the whisper.cpp 1.9.1 source (with its Parakeet library and Silero detector) where the
# CMake build looks for it when the system has no whisper package. The source comes from the npm
# package that carries it, pinned and checked against its registry integrity. Idempotent.
set -euo pipefail

version=0.3.1
integrity="sha512-ceoilUVraRuR5FnNyXpGQT2auAR48Oc3AQBEmkXnVpSn9iN6yVRzQBFCqVTGWbk6Wdi95NhvwXNzFvuR7erLWw=="
dest=${OVRA_DEPS_DIR:-$HOME/.cache/ovra-deps}/whisper.cpp-1.9.1

[ -f "$dest/include/whisper.h" ] && [ -f "$dest/include/parakeet.h" ] && exit 0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tarball="$work/nodejs-whisper-$version.tgz"
if command -v npm >/dev/null; then
  (cd "$work" && npm pack --silent "nodejs-whisper@$version" >/dev/null)
else
  # Without npm, the registry's own tarball address; the integrity check below is the same.
  python3 -c 'import sys, urllib.request; urllib.request.urlretrieve(sys.argv[1], sys.argv[2])' \
    "https://registry.npmjs.org/nodejs-whisper/-/nodejs-whisper-$version.tgz" "$tarball"
fi
actual=$(python3 -c 'import sys, hashlib, base64; print("sha512-" + base64.b64encode(hashlib.sha512(open(sys.argv[1], "rb").read()).digest()).decode())' "$tarball")
if [ "$actual" != "$integrity" ]; then
  echo "fetch-whisper: nodejs-whisper@$version does not match its pinned integrity ($actual)" >&2
  exit 1
fi
tar -xzf "$tarball" -C "$work" package/cpp/whisper.cpp
mkdir -p "$(dirname "$dest")"
rm -rf "$dest.tmp"
mv "$work/package/cpp/whisper.cpp" "$dest.tmp"
rm -rf "$dest"
mv "$dest.tmp" "$dest"
echo "fetch-whisper: whisper.cpp source in $dest"
