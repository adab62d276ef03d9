#!/usr/bin/env bash
# Builds Valumat and runs it on the shipped data in data/.
# Without arguments: lists the key bindings and converts a few amounts with binding 0 (Ctrl+D, Euro to Deutsche
# Mark). With arguments: they go to valumat-convert, e.g.  scripts/run.sh --binding 0 -- 100  or
# echo 12.345,60 | scripts/run.sh --binding 0
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >&2
cmake --preset default >/dev/null
cmake --build --preset default -j "${JOBS:-2}" >&2
bin=build/default/bin
if (($#)); then
    exec "$bin/valumat-convert" --dir data "$@"
fi
"$bin/valumat-convert" --dir data --list
echo
echo "Strg+D (Euro >> Deutsche Mark):"
for amount in 100 12.345,60 " 1.000 " -1.234,56 "EUR 5"; do
    printf '  [%s] -> [%s]\n' "$amount" "$("$bin/valumat-convert" --dir data --binding 0 -- "$amount")"
done
