#!/usr/bin/env bash
# Runs a Windows test program under Wine on a private X display (with Openbox when installed) and a fresh Wine prefix
# (unless WINEPREFIX names one that exists), e.g. the Win32 renderer tests:
#
#   tests/win32ui/run_tests.sh build/windows/tests/win32ui/valumat_win32ui_tests.exe [gtest arguments]
#
# WINE_DPI=144 runs it on a screen of that resolution. The loader fits the program (tests/e2e/wine.sh).
set -euo pipefail

program=${1:?usage: run_tests.sh PROGRAM.exe [arguments]}
shift
# shellcheck source=tests/e2e/wine.sh
source "$(dirname "$0")/../e2e/wine.sh"
wine_use "$program" || wine_cannot "$wine_why"

work=$(mktemp -d)
pids=()
cleanup() {
    wineserver -k 2>/dev/null || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

if [[ -z ${WINEPREFIX:-} || ! -d ${WINEPREFIX:-} ]]; then
    export WINEPREFIX=$work/prefix
fi
export HOME=${HOME:-$work} WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do
    [[ -s $work/display ]] && break
    sleep 0.1
done
[[ -s $work/display ]] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=:$(head -1 "$work/display")
# Without a window manager Wine waits for every window it shows or hides (two seconds a window).
if command -v openbox >/dev/null; then
    openbox >"$work/openbox.log" 2>&1 &
    pids+=($!)
fi

"$WINE" wineboot --init >"$work/wineboot.log" 2>&1 || { echo "wineboot failed"; cat "$work/wineboot.log"; exit 1; }
wineserver -w
# WINE_DPI: the screen's resolution the program sees (e.g. 144); Wine's default is 96.
if [[ -n ${WINE_DPI:-} ]]; then
    "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$WINE_DPI" /f >/dev/null 2>&1
    wineserver -w
fi
"$WINE" "$program" "$@"
