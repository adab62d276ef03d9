#!/usr/bin/env bash
# Builds Valumat and runs it on the shipped data (copied beside the programs in build/default/bin).
#
#   scripts/run.sh [/config]            the desktop program (needs an X11 or Wayland session: DISPLAY or
#                                       WAYLAND_DISPLAY)
#   scripts/run.sh --convert ARGS...    the command-line converter, e.g. --convert --binding 0 -- 100
#
# Without a display the converter demo runs instead: the bindings, and a few amounts converted with Ctrl+D's
# binding (Euro to Deutsche Mark).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >&2
cmake --preset default >/dev/null
cmake --build --preset default -j "${JOBS:-2}" >&2
bin=build/default/bin
if [[ ${1:-} == --convert ]]; then
    shift
    exec "$bin/valumat-convert" --dir data "$@"
fi
if [[ (-n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-}) && -x $bin/valumat ]]; then
    echo "Valumat läuft: Text markieren und z. B. Strg+D drücken (Euro in Deutsche Mark)." >&2
    exec "$bin/valumat" "$@"
fi
echo "Keine Anzeige (DISPLAY, WAYLAND_DISPLAY): statt des Programms der Umrechner auf der Kommandozeile." >&2
"$bin/valumat-convert" --dir data --list
echo
echo "Strg+D (Euro >> Deutsche Mark):"
for amount in 100 12.345,60 " 1.000 " -1.234,56 "EUR 5"; do
    printf '  [%s] -> [%s]\n' "$amount" "$("$bin/valumat-convert" --dir data --binding 0 -- "$amount")"
done
