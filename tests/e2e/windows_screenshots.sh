#!/usr/bin/env bash
# The Windows program's screenshots under Wine on a virtual X display: the four tabs and the two dialogs, as in
# docs/screenshots. DPI (default 96) sets Wine's resolution; file names then carry it (windows-144-tasten.png).
#
#   tests/e2e/windows_screenshots.sh BIN_DIR OUT_DIR [DPI]
#
# Fails when two of the four tab pictures are alike.
set -euo pipefail

bin=$(cd "${1:?usage: windows_screenshots.sh BIN_DIR OUT_DIR [DPI]}" && pwd)
out=${2:?usage: windows_screenshots.sh BIN_DIR OUT_DIR [DPI]}
dpi=${3:-96}
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"
need_tools Xvfb openbox xdotool xprop wineserver import compare
# shellcheck source=tests/e2e/wine.sh
source "$(dirname "$0")/wine.sh"
wine_use "$bin/valumat.exe" || wine_cannot "$wine_why"

work=$(mktemp -d)
pids=()
trap end_wine_session EXIT
fail() {
    echo "FAIL: $*" >&2
    import -window root "${E2E_FAILURE_SHOT:-/tmp/valumat-screenshots-failure.png}" 2>/dev/null &&
        echo "screenshot: ${E2E_FAILURE_SHOT:-/tmp/valumat-screenshots-failure.png}" >&2
    exit 1
}

export HOME=$work/home WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$HOME" "$out"
start_display "$work"
"$WINE" wineboot --init >"$work/wineboot.log" 2>&1 || fail "wineboot failed"
wineserver -w
if ((dpi != 96)); then
    "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    wineserver -w
fi

mkdir -p "$work/app"
cp -r "$bin"/. "$work/app/"
(cd "$work/app" && exec "$WINE" valumat.exe /config) >"$work/valumat.log" 2>&1 &
pids+=($!)
wait_for 60 "the configuration window" xdotool search --onlyvisible --name "^Valumat V1.2"
window=$(xdotool search --onlyvisible --name "^Valumat V1.2" | head -1)

# Points in the window, given in pixels at 96 dpi (twips / 15).
at() { echo $(($1 * dpi / 96)); }
click_in() { xdotool mousemove --window "$1" "$(at "$2")" "$(at "$3")" click 1; }
# A tab is chosen by the tab strip's own message (valumat_probe.exe, built beside BIN_DIR in tests/win32), as the
# keyboard chooses it: a click could miss a tab at another resolution or with other fonts.
probe=$bin/../tests/win32/valumat_probe.exe
[[ -f $probe ]] || fail "no $probe"
show_tab() {
    xdotool windowactivate --sync "$window" 2>/dev/null || true
    "$WINE" "$probe" tab "$1" >/dev/null || fail "tab $1 not shown"
    sleep 0.5
}
prefix=windows-
((dpi != 96)) && prefix=windows-$dpi-
names=(x tasten waehrungen optionen info)
for k in 1 2 3 4; do
    show_tab "$k"
    import -window "$window" "$out/$prefix${names[$k]}.png"
done
# The four tabs must show four different pictures.
for a in 1 2 3; do
    for ((b = a + 1; b <= 4; b++)); do
        differ=$(compare -metric AE "$out/$prefix${names[$a]}.png" "$out/$prefix${names[$b]}.png" null: 2>&1 || true)
        ((${differ%%[ .]*} > 1000)) || fail "the tabs ${names[$a]} and ${names[$b]} look the same ($differ pixels differ)"
    done
done
dialog_shot() { # TAB X Y TITLE FILE
    show_tab "$1"
    click_in "$window" "$2" "$3"
    wait_for 10 "the dialog $4" xdotool search --onlyvisible --name "^$4\$"
    local dialog
    dialog=$(xdotool search --onlyvisible --name "^$4\$" | head -1)
    sleep 0.5
    import -window "$dialog" "$out/$5"
    xdotool windowactivate --sync "$dialog" key alt+F4 2>/dev/null || xdotool key alt+F4
    wait_for 10 "the dialog $4 closed" sh -c "! xdotool search --onlyvisible --name '^$4\$'"
}
dialog_shot 1 60 115 "Neue Tastenkombination hinzufügen" "${prefix}neue-tastenkombination.png"
dialog_shot 2 244 241 "Neue Währung hinzufügen" "${prefix}neue-waehrung.png"
echo "screenshots in $out"
