#!/usr/bin/env bash
# Valumat end to end on a virtual X display: a window manager, a tray host, Valumat on a copy of the shipped data,
# a real text editor and a real spreadsheet; hot keys pressed with xdotool, results read back through the clipboard.
#
#   tests/e2e/linux_e2e.sh BIN_DIR [SCREENSHOT_DIR]
#
# E2E_RUNS sets how often the editor conversion runs in a row (default 20).
set -euo pipefail

bin=$(cd "${1:?usage: linux_e2e.sh BIN_DIR [SCREENSHOT_DIR]}" && pwd)
shots=${2:-}
runs=${E2E_RUNS:-20}
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"
need_tools Xvfb openbox trayer xdotool xclip xprop mousepad dbus-launch import python3

begin_run

fail() {
    echo "FAIL: $*" >&2
    local out=${shots:-$work}
    mkdir -p "$out"
    import -window root "$out/failure.png" 2>/dev/null && echo "screenshot: $out/failure.png" >&2
    show_valumat_log
    exit 1
}

start_session "$work"
trayer --edge top --align right --widthtype request --height 24 --SetDockType true >"$work/trayer.log" 2>&1 &
pids+=($!)
wait_for 10 "the tray host" xdotool search --class trayer

mkdir -p "$work/app"
cp -r "$bin"/. "$work/app/"
# Valumat runs as a German user runs it: under a German locale (a "," for the point in the C library must not
# change a result).
german=()
if build_de_locale "$work/locale"; then
    german=(env LOCPATH="$work/locale" LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8)
fi
"${german[@]}" "$work/app/valumat" >"$work/valumat.log" 2>&1 &
valumat_pid=$!
pids+=($valumat_pid)
wait_for 20 "Valumat started" grep -q "valumat: bereit" "$work/valumat.log"
wait_for 10 "the configuration window" xdotool search --onlyvisible --name "^Valumat V1.2"

# The editor's whole text, read through a sentinel on the clipboard so that a stale value cannot pass.
editor_text() { copied_text "the editor's copy" ctrl+a ctrl+c; }
editor_has() { [[ "$(editor_text)" == "$1" ]]; }

# --- the text editor -------------------------------------------------------------------------------------------
mousepad "$work/dokument.txt" >"$work/mousepad.log" 2>&1 &
pids+=($!)
wait_for 20 "the editor window" xdotool search --onlyvisible --class mousepad
editor=$(xdotool search --onlyvisible --class mousepad | head -1)
focus_editor() { xdotool windowactivate --sync "$editor" && xdotool windowfocus --sync "$editor"; }
wait_for 5 "the editor focused" focus_editor

# convert AMOUNT EXPECTED USER_CLIPBOARD: types the amount, selects it, presses Ctrl+D.
convert_amount() {
    local amount=$1 expected=$2 before=$3
    focus_editor
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 10 "$amount"
    wait_for 5 "the amount in the editor" editor_has "$amount"
    xdotool key --clearmodifiers ctrl+a
    clip_set "$before"
    local n
    n=$(done_count)
    xdotool key ctrl+d
    wait_for 5 "the conversion to finish" done_more_than "$n"
    clip_is "$before" || fail "the clipboard holds [$(clip_get)] instead of the user's [$before]"
    local got
    got=$(editor_text)
    [[ "$got" == "$expected" ]] || fail "the editor shows [$got] instead of [$expected] (amount $amount)"
    [[ "$(keys_down)" == 0 ]] || fail "keys left down after the conversion"
}

start=$(date +%s%N)
for ((i = 1; i <= runs; i++)); do
    convert_amount "100" "195,58" "vorher $i"
done
end=$(date +%s%N)
echo "editor: $runs conversions, $(((end - start) / runs / 1000000)) ms each (typing and checks included)"
convert_amount "12.345,60" "24.145,89" "Gruppierung"
convert_amount "Betrag 100" "Betrag 100" "Text"

# An image on the clipboard survives a conversion.
convert -size 16x16 xc:red "$work/bild.png" 2>/dev/null || python3 -c "
import zlib,struct
def chunk(t,d): return struct.pack('>I',len(d))+t+d+struct.pack('>I',zlib.crc32(t+d)&0xffffffff)
raw=b''.join(b'\x00'+b'\xff\x00\x00'*16 for _ in range(16))
open('$work/bild.png','wb').write(b'\x89PNG\r\n\x1a\n'+chunk(b'IHDR',struct.pack('>IIBBBBB',16,16,8,2,0,0,0))+chunk(b'IDAT',zlib.compress(raw))+chunk(b'IEND',b''))"
focus_editor
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 10 "100"
wait_for 5 "the amount in the editor" editor_has "100"
xdotool key --clearmodifiers ctrl+a
xclip -selection clipboard -t image/png -i "$work/bild.png"
wait_for 5 "the image on the clipboard" sh -c 'xclip -o -selection clipboard -t TARGETS | grep -q image/png'
n=$(done_count)
xdotool key ctrl+d
wait_for 5 "the conversion to finish" done_more_than "$n"
xclip -o -selection clipboard -t image/png >"$work/zurueck.png" 2>/dev/null || fail "no image on the clipboard after the conversion"
cmp -s "$work/bild.png" "$work/zurueck.png" || fail "the image on the clipboard changed"
[[ "$(editor_text)" == "195,58" ]] || fail "image case: the editor does not show 195,58"
echo "editor: the image on the clipboard came back unchanged"

# --- the window, its tabs and dialogs, the tray ---------------------------------------------------------------
window=$(xdotool search --onlyvisible --name "^Valumat V1.2" | head -1)
# Points in the window (pixels at 96 dpi: twips / 15).
tab_x=(0 43 136 238 318)
click_in() { xdotool mousemove --window "$1" "$2" "$3" click 1; }
shot_window() { import -window "$1" "$2"; }
show_tab() {
    xdotool windowactivate --sync "$window"
    click_in "$window" "${tab_x[$1]}" 17
    sleep 0.3
}
if [[ -n $shots ]]; then
    mkdir -p "$shots"
    names=(x tasten waehrungen optionen info)
    for k in 1 2 3 4; do
        show_tab "$k"
        shot_window "$window" "$shots/linux-${names[$k]}.png"
    done
    dialog_shot() { # TAB X Y TITLE FILE
        show_tab "$1"
        click_in "$window" "$2" "$3"
        wait_for 5 "the dialog $4" xdotool search --onlyvisible --name "^$4\$"
        local dialog
        dialog=$(xdotool search --onlyvisible --name "^$4\$" | head -1)
        sleep 0.3
        shot_window "$dialog" "$shots/$5"
        xdotool windowactivate --sync "$dialog" key alt+F4
        wait_for 5 "the dialog $4 closed" sh -c "! xdotool search --onlyvisible --name '^$4\$'"
    }
    dialog_shot 1 60 115 "Neue Tastenkombination hinzufügen" linux-neue-tastenkombination.png
    dialog_shot 2 244 241 "Neue Währung hinzufügen" linux-neue-waehrung.png
    echo "screenshots in $shots"
fi

# "Ok" hides the window behind the tray icon; the icon's menu opens the window on the options tab.
show_tab 3
shot_window "$window" "$work/options-tab.png"
show_tab 1
click_in "$window" 176 316
wait_for 5 "the window hidden" sh -c "! xdotool search --onlyvisible --name '^Valumat V1.2'"
wait_for 10 "the tray icon" sh -c 'xwininfo -root -tree | grep -q "\"Valumat\": (\"valumat\""'
icon=$(xwininfo -root -tree | grep '"Valumat": ("valumat"' | grep -o '+[0-9]*+[0-9]*$' | head -1)
icon_x=$(cut -d+ -f2 <<<"$icon")
icon_y=$(cut -d+ -f3 <<<"$icon")
# The menu opens when the right button comes up over the icon, not when it goes down: a new visible window of
# Valumat's appears only then.
valumat_windows() { xdotool search --onlyvisible --class valumat 2>/dev/null | wc -l; }
more_valumat_windows() { (($(valumat_windows) > $1)); }
open_tray_menu() {
    local before
    before=$(valumat_windows)
    xdotool mousemove $((icon_x + 11)) $((icon_y + 11)) mousedown 3
    sleep 0.5
    (($(valumat_windows) == before)) || { xdotool mouseup 3; fail "the tray menu opened when the right button went down"; }
    xdotool mouseup 3
    wait_for 5 "the tray menu when the right button comes up" more_valumat_windows "$before"
}
open_tray_menu
xdotool key Down Down Down Return
wait_for 5 "the window shown from the tray menu" xdotool search --onlyvisible --name "^Valumat V1.2"
sleep 0.3
shot_window "$window" "$work/from-tray.png"
diff=$(compare -metric AE "$work/options-tab.png" "$work/from-tray.png" null: 2>&1 || true)
[[ "$diff" == 0 ]] || fail "the tray menu's \"Optionen\" did not show the options tab ($diff pixels differ)"
echo "tray: icon present, its menu opens on the release of the right button and opens the options tab"

# --- the spreadsheet -------------------------------------------------------------------------------------------
# Spreadsheet mode through the tray menu's mode switch, then a cell holding 12345,6 (German locale, decimal
# comma) converted in place: the cell must hold the number 24145,89, so a formula on it computes.
if command -v gnumeric >/dev/null && ((${#german[@]})); then
    LOCPATH=$work/locale LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 gnumeric >"$work/gnumeric.log" 2>&1 &
    pids+=($!)
    wait_for 30 "the spreadsheet window" xdotool search --onlyvisible --class gnumeric
    sheet=$(xdotool search --onlyvisible --class gnumeric | head -1)
    focus_sheet() { xdotool windowactivate --sync "$sheet" && xdotool windowfocus --sync "$sheet"; }
    wait_for 5 "the spreadsheet focused" focus_sheet
    # cell_text: the current cell as the spreadsheet copies it, through a sentinel
    cell_text() {
        copied_text "the spreadsheet's copy" ctrl+c | tr -d '\r\n'
        xdotool key Escape
    }
    cell_is() { [[ "$(cell_text)" == "$1" ]]; }
    xdotool key --clearmodifiers ctrl+Home
    xdotool type --delay 20 "12345,6"
    xdotool key Return Up
    wait_for 5 "the amount in the cell" cell_is "12345,6"

    open_tray_menu
    xdotool key Down Down Down Down Down Return
    wait_for 5 "spreadsheet mode saved" grep -q "exceloptimiert: 1" "$work/app/options.dat"

    focus_sheet
    clip_set "vorher Tabelle"
    n=$(done_count)
    xdotool key ctrl+d
    wait_for 5 "the conversion to finish" done_more_than "$n"
    clip_is "vorher Tabelle" || fail "spreadsheet: the clipboard holds [$(clip_get)] instead of the user's text"
    [[ "$(keys_down)" == 0 ]] || fail "spreadsheet: keys left down"
    focus_sheet
    xdotool key --clearmodifiers ctrl+Home
    wait_for 5 "the converted cell" cell_is "24145,89"
    xdotool key Right
    xdotool type --delay 20 "=A1*2"
    xdotool key Return Up
    wait_for 5 "a formula computing with the converted cell" cell_is "48291,78"
    echo "spreadsheet: 12345,6 became the number 24145,89"
else
    echo "spreadsheet: skipped (gnumeric or the de_DE locale source missing)"
fi

# --- second start ----------------------------------------------------------------------------------------------
"$work/app/valumat" >"$work/second.log" 2>&1 || fail "a second start did not end cleanly"
grep -q "läuft bereits" "$work/second.log" || fail "a second start said nothing"
kill -0 "$valumat_pid" || fail "the first Valumat ended"
echo "second start: refused cleanly"

# --- a combination another program holds -----------------------------------------------------------------------
# Another X client grabs Ctrl+D before Valumat starts (minimised): the tray says so once.
grabber=$bin/../tests/x11/valumat_grab_key
if [[ -x $grabber ]]; then
    kill "$valumat_pid"
    wait_for 5 "Valumat ended" sh -c "! kill -0 $valumat_pid 2>/dev/null"
    "$grabber" d ctrl >"$work/grab.log" 2>&1 &
    pids+=($!)
    wait_for 5 "the other program's grab" grep -q grabbed "$work/grab.log"
    printf 'autostart: 0\r\nminimiert: 1\r\n"exceloptimiert: 0"\r\n' >"$work/app/options.dat"
    "${german[@]}" "$work/app/valumat" >"$work/valumat.log" 2>&1 &
    valumat_pid=$!
    pids+=($valumat_pid)
    wait_for 20 "Valumat started again" grep -q "valumat: bereit" "$work/valumat.log"
    wait_for 10 "the refusal in the tray" grep -q \
        "Tastenkombination von einem anderen Programm belegt: STRG + D" "$work/valumat.log"
    (($(grep -c "belegt" "$work/valumat.log") == 1)) || fail "the refusal was announced more than once"
    echo "refused hot key: Ctrl+D held by another X client is announced in the tray"
else
    echo "refused hot key: not tested (no $grabber)"
fi

echo "PASS"
