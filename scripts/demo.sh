#!/usr/bin/env bash
# The main job on its embedded default: no key, no network. Makes a spoken English sample with
# espeak-ng and transcribes it with the system recogniser (provider "apple", PocketSphinx).
set -euo pipefail
OVRA=$1
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
espeak-ng -v en-us+m1 -s 140 -w "$T/raw.wav" "hello world this is a test"
sox -D "$T/raw.wav" -r 16000 -c 1 -b 16 "$T/sample.wav" pad 0.5 0.5
echo "Échantillon : « hello world this is a test » (espeak-ng)" >&2
if "$OVRA" help | grep -q '^  transcribe '; then
  "$OVRA" transcribe "$T/sample.wav" --provider apple --language en-US
else
  "$OVRA" recognize "$T/sample.wav" --language en-US
fi
