#!/usr/bin/env bash
# The demo session end to end: it must finish and leave a picture for every step on its page.
# Argument: the demo program.
set -euo pipefail
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
"$1" --out "$folder/out" >"$folder/log"
pictures=$(grep -o 'src="step[0-9]*\.png"' "$folder/out/index.html" | wc -l)
test "$pictures" -ge 10
for f in "$folder"/out/step*.png; do test -s "$f"; done
grep -q "Final scan" "$folder/out/index.html"
