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
# A note with an assistant conversation and its proposal, and suggestions to review.
cat >"$HOME/notes-seed.json" <<'JSON'
{"schema": 1, "app": "Ovra", "exportedAt": "2026-12-01T09:00:00.000Z", "prompts": [], "modes": [],
 "notes": [{"id": "5B0C2D1E-0000-4000-8000-000000000001", "title": "Réunion d'équipe", "isFavorite": true,
   "content": "# Réunion d'équipe\n\nbudget a revoir, jean s'occupe des devis\n\n```python\ntotal = sum(devis)  # à vérifier\n```\n\nMarge visée : $m = (p - c) / p$",
   "createdAt": "2026-12-01T09:00:00.000Z", "updatedAt": "2026-12-01T09:05:00.000Z",
   "lastEditedDeviceID": "SEED", "lastEditedDeviceName": "seed",
   "assistantTranscriptJSON": "{\"messages\":[{\"role\":\"user\",\"text\":\"Corrige et structure la note\"},{\"role\":\"assistant\",\"text\":\"J'ai corrigé les accents et ajouté une liste d'actions.\",\"proposal\":\"# Réunion d'équipe\\n\\nLe budget est à revoir ; Jean s'occupe des devis.\\n\\n```python\\ntotal = sum(devis)  # à vérifier\\n```\\n\\nMarge visée : $m = (p - c) / p$\"}],\"latestProposal\":\"# Réunion d'équipe\\n\\nLe budget est à revoir ; Jean s'occupe des devis.\\n\\n```python\\ntotal = sum(devis)  # à vérifier\\n```\\n\\nMarge visée : $m = (p - c) / p$\"}"},
  {"id": "5B0C2D1E-0000-4000-8000-000000000002", "title": "", "isFavorite": false, "content": "Idées de vacances\n- Gaspésie\n- Charlevoix",
   "createdAt": "2026-11-20T09:00:00.000Z", "updatedAt": "2026-11-20T09:00:00.000Z", "lastEditedDeviceID": "SEED", "lastEditedDeviceName": "seed"}],
 "dictionary": [], "transcriptions": [],
 "learning": [{"id": "5B0C2D1E-0000-4000-8000-000000000011", "createdAt": "2026-12-01T09:00:00.000Z", "kindRaw": "newEntry",
   "title": "Ajouter « Mirelo »", "rationale": "Whisper écrit « mire l'eau » dans trois dictées.", "suggestedTerm": "Mirelo",
   "suggestedPronunciationsRaw": "mire l'eau,mirlo", "suggestedScopesRaw": 5, "statusRaw": "pending"},
  {"id": "5B0C2D1E-0000-4000-8000-000000000012", "createdAt": "2026-12-01T09:00:00.000Z", "kindRaw": "styleRule",
   "title": "Signature des courriels", "rationale": "Tu termines tes courriels par la même formule.",
   "suggestedPromptText": "Termine chaque courriel par « Merci et bonne journée » sauf si une autre formule est dictée.",
   "suggestedScopesRaw": 0, "statusRaw": "pending"}],
 "usage": [], "tombstones": [], "transformStats": []}
JSON
"$OVRA" import "$HOME/notes-seed.json" >/dev/null
"$OVRA" settings set ovra.mac.notes.assistantVisible true >/dev/null
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
