#!/usr/bin/env bash
# Runs the Windows backend's test program under Wine, in a fresh Wine prefix on a private virtual X display.
#
#   tests/win32/run_backend_tests.sh [valumat_backend_test.exe]
#
# Without an argument it takes build/windows/tests/win32/valumat_backend_test.exe and builds it first when it is
# missing (preset windows). The 32-bit program runs under Wine's 32-bit loader, the 64-bit one (preset windows64)
# under its 64-bit loader (tests/e2e/wine.sh). Exit status: 0 all passed, 1 a test failed, 77 skipped (Wine or Xvfb
# missing, or the loader cannot run here).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
exe=${1:-$root/build/windows/tests/win32/valumat_backend_test.exe}

# shellcheck source=tests/e2e/wine.sh
source "$root/tests/e2e/wine.sh"

if [[ ! -f $exe && $# -eq 0 ]]; then
    [[ -f $root/build/windows/build.ninja ]] || cmake --preset windows -S "$root" >/dev/null
    cmake --build "$root/build/windows" -j2 --target valumat_backend_test
fi
[[ -f $exe ]] || { echo "no test program: $exe" >&2; exit 2; }
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
wine_use "$exe" || wine_cannot "$wine_why"

work=$(mktemp -d)
xvfb=""
cleanup() {
    WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
    [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A display of our own: the first free number from 90 up.
display=90
while [[ -e /tmp/.X$display-lock || -e /tmp/.X11-unix/X$display ]]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do
    [[ -e /tmp/.X11-unix/X$display ]] && break
    sleep 0.05
done

export DISPLAY=:$display
export HOME=$work/home WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$HOME"

start=$SECONDS
"$WINE" wineboot -i >/dev/null 2>&1
wineserver -w
status=0
"$WINE" "$exe" || status=$?
echo "Wine run: $((SECONDS - start)) s (prefix included)"
exit "$status"
