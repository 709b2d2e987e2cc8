#!/usr/bin/env bash
# Screenshots of the main window on each section and of the recorder panel in each state and
# style, made under an X server of their own (Xvfb) with a temporary HOME seeded with a few
# records. Usage: scripts/screenshots.sh [OUTDIR] (default build/screenshots).
# SECTIONS="history modes" limits the sections; BUILD_DIR picks the build folder.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
OUT=$(mkdir -p "${1:-$BUILD_DIR/screenshots}" && cd "${1:-$BUILD_DIR/screenshots}" && pwd)
OVRA=$BUILD_DIR/src/app/ovra
SHOT=$BUILD_DIR/tests/ui/ovra_screenshot
PREVIEW=$BUILD_DIR/tests/ui/ovra_panel_preview

if [ -z "${OVRA_SCREENSHOTS_INNER:-}" ]; then
  for tool in "$OVRA" "$SHOT" "$PREVIEW"; do
    [ -x "$tool" ] || { echo "missing $tool: cmake --build $BUILD_DIR --target ovra ovra_screenshot ovra_panel_preview" >&2; exit 1; }
  done
  OVRA_SCREENSHOTS_INNER=1 exec "$ROOT/tests/rigs/with-xvfb.sh" "$0" "$OUT"
fi

# From here on: our own X server, session bus and HOME (tests/rigs/with-xvfb.sh).
export OVRA_SECRET_STORE=memory
app_pid=""
stop_app() {
  if [ -n "$app_pid" ]; then
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
  fi
}
trap stop_app EXIT

# A few records, as a user would have them.
"$OVRA" modes add "Courriel" --provider groq --language fr --ai on --prompt "Rédige un courriel poli." >/dev/null
"$OVRA" modes add "Code" --provider apple --language en-US >/dev/null
"$OVRA" modes activate "Courriel" >/dev/null
"$OVRA" prompts add "Résumé" "Résume en une phrase." >/dev/null
"$OVRA" prompts add "Anglais" "Traduis en anglais." >/dev/null
"$OVRA" dictionary add "Ovra" --pronunciations "ovra,au vrai" >/dev/null
"$OVRA" dictionary add "PocketSphinx" --replacement "PocketSphinx" >/dev/null
if command -v espeak-ng >/dev/null && command -v sox >/dev/null; then
  espeak-ng -v en-us+m1 -s 140 -w "$HOME/raw.wav" "hello world this is a test" 2>/dev/null
  sox -D "$HOME/raw.wav" -r 16000 -c 1 -b 16 "$HOME/hello.wav" pad 0.5 0.5
  "$OVRA" transcribe "$HOME/hello.wav" --mode Code >/dev/null 2>&1 || true
fi
"$OVRA" settings set ovra.mac.updateFeedURL "https://ovra.example/version.json" --force >/dev/null
# Xvfb has no tray: the notice about it would cover every shot.
"$OVRA" settings set ovra.mac.noTrayNoticeShown true --force >/dev/null

sections=${SECTIONS:-"dictation history notes modes powerMode ovraHelper dictionary prompts learning stats models settings"}
for section in $sections; do
  "$OVRA" --show-section "$section" >"$HOME/app.log" 2>&1 &
  app_pid=$!
  wid=""
  for _ in $(seq 200); do
    wid=$(xdotool search --onlyvisible --name '^Ovra$' 2>/dev/null | head -1 || true)
    [ -n "$wid" ] && break
    kill -0 "$app_pid" 2>/dev/null || { cat "$HOME/app.log" >&2; exit 1; }
    sleep 0.05
  done
  [ -n "$wid" ] || { echo "no window for $section" >&2; cat "$HOME/app.log" >&2; exit 1; }
  # The first frame is painted once the window is mapped; give the event loop a moment.
  grep -q "Ovra est prêt." "$HOME/app.log" || sleep 0.3
  sleep 0.5
  "$SHOT" "$OUT/window-$section.png" "$wid"
  stop_app
done

if [ -z "${SECTIONS:-}" ] || [ -n "${PANEL:-}" ]; then
  "$PREVIEW" "$OUT"
fi
echo "$OUT"
