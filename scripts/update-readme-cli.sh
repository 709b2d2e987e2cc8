#!/usr/bin/env bash
# Rewrites the README's command-line section from the program's own usage texts
# (`ovra help --all`); tst_cli_usage fails while the two differ.
set -euo pipefail
cd "$(dirname "$0")/.."
ovra=${1:-build/src/app/ovra}
help=$(mktemp)
trap 'rm -f "$help"' EXIT
"$ovra" help --all > "$help"
python3 - "$help" <<'PY'
import sys
begin, end = "<!-- ovra help --all -->\n```text\n", "```\n<!-- end of ovra help --all -->"
text = open("README.md", encoding="utf-8").read()
i, j = text.index(begin), text.index(end)
usage = open(sys.argv[1], encoding="utf-8").read()
open("README.md", "w", encoding="utf-8").write(text[:i + len(begin)] + usage + text[j:])
PY
