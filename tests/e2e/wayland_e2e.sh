#!/usr/bin/env bash
# Valumat end to end in a headless sway (Wayland): Valumat on its Wayland backend against native Wayland
# applications: Mousepad, Gnumeric and a zenity dialog (a text that takes no paste) on GTK's Wayland backend,
# FeatherPad on Qt's. The test's user types text with wtype, presses the hot key and selects and copies with
# valumat_wlkeys, one virtual keyboard kept for the whole test as a real one is (sway's binding fires
# from it; wtype's modifiers do not reach GTK under sway 1.7, and each wtype run adds a keyboard, on which sway gives
# the window the focus anew and GTK may lose a key), and reads the clipboard with wl-paste.
#
#   tests/e2e/wayland_e2e.sh BIN_DIR WLKEYS [SCREENSHOT_DIR]
#
# sway refuses to run as root: run as root, the script runs itself as a user of its own (valumat-wl<pid>, created
# for the run and removed afterwards).
# E2E_RUNS sets how often the editor conversion runs in a row (default 20).
set -euo pipefail

bin=$(cd "${1:?usage: wayland_e2e.sh BIN_DIR WLKEYS [SCREENSHOT_DIR]}" && pwd)
wlkeys=$(realpath "${2:?usage: wayland_e2e.sh BIN_DIR WLKEYS [SCREENSHOT_DIR]}")
shots=${3:-}
runs=${E2E_RUNS:-20}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"
need_tools sway swaymsg wtype wl-copy wl-paste grim mousepad dbus-launch python3

if [[ $(id -u) -eq 0 ]]; then
    throwaway_user valumat-wl
    mkdir -p "$outer/shots"
    cp "$wlkeys" "$outer/valumat_wlkeys"
    cp "$here/wayland_e2e.sh" "$here/sni_watcher.py" "$here/notify_server.py" "$outer/tests/"
    as_throwaway_user "VALUMAT_TRACE_CLIPBOARD E2E_SWAY_DEBUG E2E_QUICK_PAUSE VALUMAT_TRACE_HOTKEYS" \
        "$outer/tests/wayland_e2e.sh" "$outer/bin" "$outer/valumat_wlkeys" "${shots:+$outer/shots}"
    if [[ -n $shots ]]; then
        mkdir -p "$shots"
        cp "$outer"/shots/* "$shots/" 2>/dev/null || true
    fi
    exit "$status"
fi

begin_run

fail() {
    echo "FAIL: $*" >&2
    local out=${shots:-$work}
    mkdir -p "$out"
    grim "$out/failure.png" 2>/dev/null && echo "screenshot: $out/failure.png" >&2
    show_valumat_log
    echo "--- sway log" >&2
    tail -5 "$work/sway.log" >&2 || true
    exit 1
}

# A session of the test's own: home, runtime folder, no X11 (Valumat must not fall back to it).
export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK I3SOCK SESSION_MANAGER
cat >"$work/sway.config" <<'CONFIG'
output HEADLESS-1 resolution 1280x800
default_border normal
for_window [app_id="valumat"] floating enable
CONFIG
WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway ${E2E_SWAY_DEBUG:+-d} -c "$work/sway.config" \
    >"$work/sway.log" 2>&1 &
pids+=($!)
wait_for 10 "sway" sh -c "ls '$XDG_RUNTIME_DIR' | grep -q '^wayland-[0-9]*$'"
wait_for 10 "sway's IPC socket" sh -c "ls '$XDG_RUNTIME_DIR' | grep -q '^sway-ipc'"
WAYLAND_DISPLAY=$(ls "$XDG_RUNTIME_DIR" | grep '^wayland-[0-9]*$' | head -1)
SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock | head -1)
export WAYLAND_DISPLAY SWAYSOCK
eval "$(dbus-launch --sh-syntax)"

# A notification area: a StatusNotifierWatcher on the session bus (Qt shows its tray icon through it under Wayland).
tray=""
if /usr/bin/python3 -c "import dbus, gi" 2>/dev/null; then
    /usr/bin/python3 "$here/sni_watcher.py" >"$work/tray.log" 2>&1 &
    pids+=($!)
    wait_for 10 "the notification area" grep -q "^ready" "$work/tray.log"
    tray=1
fi

# The test's keyboard: valumat_wlkeys serving lines of key combinations, each acknowledged once sent.
mkfifo "$work/keys.in" "$work/keys.ack"
"$wlkeys" --serve "$work/keys.in" "$work/keys.ack" 2>"$work/wlkeys.log" &
pids+=($!)
exec 7>"$work/keys.in" 8<"$work/keys.ack"

clip_get() { wl-paste --no-newline 2>/dev/null; }
clip_is() { [[ "$(clip_get)" == "$1" ]]; }
clip_is_not() { [[ "$(clip_get)" != "$1" ]]; }
clip_set() {
    printf '%s' "$1" | wl-copy
    wait_for 5 "clipboard set" clip_is "$1"
}
keys() {
    echo "$*" >&7
    local ack
    read -r -t 5 -u 8 ack || fail "the test's keyboard does not answer"
}
hot_key() { keys "STRG+$1"; } # the hot key's virtual-key code: 68 is D
app_shown() { swaymsg -t get_tree | grep -q "\"app_id\": \"$1\""; }
# The application with the keyboard focus, as sway sees it.
focused_app() {
    swaymsg -t get_tree | python3 -c '
import json, sys
def walk(node):
    if node.get("focused"):
        print(node.get("app_id") or "")
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        walk(child)
walk(json.load(sys.stdin))'
}
app_focused() { [[ "$(focused_app)" == "$1" ]]; }
focus_app() {
    swaymsg "[app_id=\"$1\"] focus" >/dev/null
    wait_for 5 "$1 focused" app_focused "$1"
    sleep 0.2 # the application handles its focus
}

mkdir -p "$work/app"
cp -r "$bin"/. "$work/app/"
german=()
if build_de_locale "$work/locale"; then
    german=(env LOCPATH="$work/locale" LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8)
fi
start_ns=$(date +%s%N)
"${german[@]}" "$work/app/valumat" >"$work/valumat.log" 2>&1 &
valumat_pid=$!
pids+=($valumat_pid)
wait_for 20 "Valumat started" grep -q "valumat: bereit" "$work/valumat.log"
ready_ns=$(date +%s%N)
grep -q "Tastenkombinationen über sway" "$work/valumat.log" || fail "Valumat does not bind its hot keys through sway"
wait_for 10 "the configuration window" app_shown valumat
echo "valumat: ready $(((ready_ns - start_ns) / 1000000)) ms after the start (process start included)"

# The editor's whole text, read through a sentinel on the clipboard so that a stale value cannot pass.
editor_text() {
    local sentinel="@@sentinel-$RANDOM$RANDOM@@"
    clip_set "$sentinel"
    keys STRG+65 STRG+67
    wait_for 5 "the editor's copy" clip_is_not "$sentinel"
    clip_get
}
editor_has() { [[ "$(editor_text)" == "$1" ]]; }

# --- a text that takes no paste ----------------------------------------------------------------------------------
# A selectable label in zenity on GTK's Wayland backend copies its selection and takes no paste. Valumat, whose icon
# is not yet shown (its window is open), tells the result through the notification service on its session bus (a
# small one of the test's own, notify_server.py) after giving the user's clipboard back; the notification's default
# action (its Invoke(), as a click) puts the result on the clipboard.
if [[ -n $tray ]] && command -v zenity >/dev/null; then
    /usr/bin/python3 "$here/notify_server.py" "$work/notifications.txt" >"$work/notify.log" 2>&1 &
    pids+=($!)
    wait_for 10 "the notification service" dbus-send --session --print-reply --dest=org.freedesktop.Notifications \
        /org/freedesktop/Notifications org.freedesktop.Notifications.GetCapabilities
    GDK_BACKEND=wayland zenity --info --title=Seite --text="Preis: 100" --no-wrap >"$work/zenity.log" 2>&1 &
    page=$!
    pids+=("$page")
    wait_for 20 "the page" app_shown zenity
    focus_app zenity
    # The amount selected from the keyboard: Tab puts the cursor into the label, End and Ctrl+Shift+Left select its
    # last word. (sway's own pointer does not reach the applications: the headless seat has no pointer device.)
    keys 9 35 STRG+SHIFT+37
    primary_is() { [[ "$(wl-paste --primary --no-newline 2>/dev/null)" == "$1" ]]; }
    wait_for 5 "the amount selected in the label" primary_is 100
    clip_set "MEIN TEXT"
    hot_key 68
    message="Nicht eingefügt – ein Klick kopiert das Ergebnis: 100 Euro = 195,58 Deutsche Mark"
    wait_for 10 "the notification" grep -qxF "$message" "$work/notifications.txt"
    grep -qF "das Ergebnis wurde nicht abgeholt" "$work/valumat.log" || fail "no note of the result not fetched"
    clip_is "MEIN TEXT" || fail "the user's clipboard is not back: [$(clip_get)]"
    dbus-send --session --type=method_call --dest=org.freedesktop.Notifications /org/freedesktop/Notifications \
        org.freedesktop.Notifications.Invoke
    wait_for 5 "the result on the clipboard after the click" clip_is "195,58"
    kill "$page"
    echo "page: not pasted, clipboard back, notified [$(tail -1 "$work/notifications.txt")]; a click copies 195,58"
else
    echo "page: skipped (zenity, python3-dbus or python3-gi missing)"
fi

# --- the text editor -------------------------------------------------------------------------------------------
GDK_BACKEND=wayland mousepad "$work/dokument.txt" >"$work/mousepad.log" 2>&1 &
pids+=($!)
wait_for 20 "the editor window" app_shown mousepad
editor_app=mousepad
focus_editor() { [[ "$(focused_app)" == "$editor_app" ]] || focus_app "$editor_app"; }
focus_editor

# type_amount TEXT: replaces the editor's text by TEXT (typed again should a key get lost when the keyboard
# changes) and selects it.
type_amount() {
    local tries
    for tries in 1 2 3; do
        keys STRG+65
        wtype "$1"
        if poll_until 2 editor_has "$1"; then
            keys STRG+65
            return 0
        fi
    done
    fail "the editor does not show the typed [$1]"
}

# convert_amount AMOUNT EXPECTED USER_CLIPBOARD [KEY]: types the amount, selects it, presses the hot key.
convert_amount() {
    local amount=$1 expected=$2 before=$3 key=${4:-68}
    focus_editor
    type_amount "$amount"
    clip_set "$before"
    local n
    n=$(done_count)
    hot_key "$key"
    wait_for 5 "the conversion to finish" done_more_than "$n"
    poll_until 2 clip_is "$before" || fail "the clipboard holds [$(clip_get)] instead of the user's [$before]"
    local got
    got=$(editor_text)
    [[ "$got" == "$expected" ]] || fail "the editor shows [$got] instead of [$expected] (amount $amount)"
}

# Figures (E2E_FIGURES=IDLE_SECONDS, bench/wayland_figures.sh; printed, not asserted): hot key to converted text
# (script done, clipboard back), idle memory and wake-ups while idle.
if [[ -n ${E2E_FIGURES:-} ]]; then
    press_figures focus_editor hot_key 68
fi

start=$(date +%s%N)
for ((i = 1; i <= runs; i++)); do
    convert_amount "100" "195,58" "vorher $i"
done
end=$(date +%s%N)
echo "editor: $runs conversions, $(((end - start) / runs / 1000000)) ms each (typing and checks included)"
# A clipboard history running (wl-paste --watch reads every new selection at once): five more conversions.
wl-paste --watch sh -c "cat >/dev/null; echo gelesen >>'$work/watcher.log'" 2>/dev/null &
watcher=$!
pids+=($watcher)
for ((i = 1; i <= 5; i++)); do
    convert_amount "100" "195,58" "mit Verlauf $i"
done
kill "$watcher"
(($(wc -l <"$work/watcher.log") >= 10)) || fail "the clipboard history did not read the clipboard"
echo "editor: five conversions with a clipboard history reading every selection"
convert_amount "12.345,60" "24.145,89" "Gruppierung"
convert_amount "Betrag 100" "Betrag 100" "Text"
echo "editor: a grouped amount converted, a text left as it was"

# An image on the clipboard survives a conversion, byte for byte.
python3 -c "
import zlib,struct
def chunk(t,d): return struct.pack('>I',len(d))+t+d+struct.pack('>I',zlib.crc32(t+d)&0xffffffff)
raw=b''.join(b'\x00'+b''.join(bytes((x*7%256,y*5%256,(x*y)%256)) for x in range(64)) for y in range(64))
open('$work/bild.png','wb').write(b'\x89PNG\r\n\x1a\n'+chunk(b'IHDR',struct.pack('>IIBBBBB',64,64,8,2,0,0,0))+chunk(b'IDAT',zlib.compress(raw))+chunk(b'IEND',b''))"
focus_editor
type_amount "100"
wl-copy --type image/png <"$work/bild.png"
wait_for 5 "the image on the clipboard" sh -c 'wl-paste --list-types | grep -q image/png'
n=$(done_count)
hot_key 68
wait_for 5 "the conversion to finish" done_more_than "$n"
poll_until 2 sh -c 'wl-paste --list-types | grep -q image/png' || fail "no image on the clipboard after the conversion"
wl-paste --type image/png >"$work/zurueck.png" 2>/dev/null || fail "the image cannot be read back"
cmp -s "$work/bild.png" "$work/zurueck.png" || fail "the image on the clipboard changed"
# The other image types are made from the saved PNG when asked for (a BMP, say).
[[ "$(wl-paste --type image/bmp 2>/dev/null | head -c 2)" == BM ]] || fail "no BMP made from the saved PNG"
[[ "$(editor_text)" == "195,58" ]] || fail "image case: the editor does not show 195,58"
echo "editor: the image on the clipboard came back unchanged"

# Quick presses: ten lines "100"; on each the line is selected, the hot key pressed and, E2E_QUICK_PAUSE ms later
# (default 100; 50 passes on an idle machine), the cursor goes on to the next line, without waiting for the
# conversion. Every line must read 195,58 afterwards.
focus_editor
lines=$(printf '100\n%.0s' 1 2 3 4 5 6 7 8 9 10)
lines=${lines%$'\n'}
keys STRG+65
for k in 1 2 3 4 5 6 7 8 9 10; do
    wtype "100"
    [[ $k -lt 10 ]] && wtype -k Return
done
poll_until 3 editor_has "$lines" || fail "quick presses: the ten lines were not typed"
clip_set "schnell"
n=$(done_count)
keys STRG+36 # to the start of the text
for k in 1 2 3 4 5 6 7 8 9 10; do
    keys 36 SHIFT+35
    hot_key 68
    sleep "$(awk -v p="${E2E_QUICK_PAUSE:-100}" 'BEGIN { printf "%.3f", p / 1000 }')"
    keys 40
done
wait_for 10 "the ten quick conversions" done_more_than $((n + 9))
expected=$(printf '195,58\n%.0s' 1 2 3 4 5 6 7 8 9 10)
expected=${expected%$'\n'}
poll_until 2 clip_is "schnell" || fail "quick presses: the clipboard holds [$(clip_get)]"
got=$(editor_text)
[[ "$got" == "$expected" ]] || fail "quick presses: the editor shows [${got//$'\n'/|}]"
echo "editor: ten quick presses ${E2E_QUICK_PAUSE:-100} ms apart, every line converted"

# --- a Qt editor ------------------------------------------------------------------------------------------------
# FeatherPad on Qt's Wayland platform: five conversions with the clipboard back, and a text left as it was. Its own
# Ctrl+D deletes the selection: the hot key's press must not reach it.
if command -v featherpad >/dev/null; then
    QT_QPA_PLATFORM=wayland featherpad "$work/qt.txt" >"$work/featherpad.log" 2>&1 &
    pids+=($!)
    wait_for 20 "the Qt editor window" app_shown featherpad
    editor_app=featherpad
    for i in 1 2 3 4 5; do
        convert_amount "100" "195,58" "Qt vorher $i"
    done
    convert_amount "Betrag 100" "Betrag 100" "Qt Text"
    editor_app=mousepad
    echo "qt editor: five conversions and a text in FeatherPad"
else
    echo "qt editor: skipped (featherpad missing)"
fi

if [[ -n $shots ]]; then
    mkdir -p "$shots"
    focus_app valumat
    sleep 0.3
    grim "$shots/wayland-sway.png"
fi

# A binding changed in the window: the first binding's key D becomes K (its combination box, reached with Tab from
# the tab strip: Beenden, Ok, Abbrechen, the list, Hinzufügen, Entfernen, two currencies, the code, the modifier,
# the key), then Ok (ten steps back), which registers the hot keys anew. Ctrl+K converts at once; Ctrl+D no longer runs anything.
focus_app valumat
keys 9 9 9 9 9 9 9 9 9 9 9
keys 75
keys SHIFT+9 SHIFT+9 SHIFT+9 SHIFT+9 SHIFT+9 SHIFT+9 SHIFT+9 SHIFT+9 SHIFT+9 SHIFT+9 # back to Ok (Übernehmen
keys 32                                                                                 # is enabled now)
wait_for 5 "the window hidden by Ok" sh -c "! swaymsg -t get_tree | grep -q '\"app_id\": \"valumat\"'"
convert_amount "100" "195,58" "neu belegt" 75
echo "window: a binding changed to Ctrl+K converts at once"
focus_editor
type_amount "100"
presses=$(grep -c "valumat: Tastenkombination" "$work/valumat.log" || true)
hot_key 68
sleep 1
(($(grep -c "valumat: Tastenkombination" "$work/valumat.log" || true) == presses)) ||
    fail "Ctrl+D still reaches Valumat after its binding was changed to Ctrl+K"
echo "window: the old combination Ctrl+D no longer fires"

# The tray icon (StatusNotifierItem): registered with the notification area; its activation (a click there) shows
# the window that Ok hid.
if [[ -n $tray ]]; then
    wait_for 10 "the tray icon registered" grep -q "^item " "$work/tray.log"
    read -r _ service path < <(grep "^item " "$work/tray.log" | tail -1)
    gdbus call --session --dest "$service" --object-path "$path" --method org.kde.StatusNotifierItem.Activate 0 0 \
        >/dev/null || fail "the tray icon does not take Activate"
    wait_for 5 "the window shown from the tray icon" app_shown valumat
    echo "tray: the icon registered as a StatusNotifierItem; activating it shows the window"
else
    echo "tray: skipped (python3-dbus or python3-gi missing)"
fi

# `valumat --hotkey N`, as a compositor without sway's IPC would run it: binding 1 (Ctrl+E, Deutsche Mark to
# Euro) on 195,58.
convert_by_command() {
    local amount=$1 expected=$2 before=$3 slot=$4
    focus_editor
    type_amount "$amount"
    clip_set "$before"
    local n
    n=$(done_count)
    "$work/app/valumat" --hotkey "$slot" || fail "valumat --hotkey $slot was refused"
    wait_for 5 "the conversion to finish" done_more_than "$n"
    poll_until 2 clip_is "$before" || fail "the clipboard holds [$(clip_get)] instead of the user's [$before]"
    local got
    got=$(editor_text)
    [[ "$got" == "$expected" ]] || fail "valumat --hotkey: the editor shows [$got] instead of [$expected]"
}
convert_by_command "195,58" "$("$work/app/valumat-convert" --binding 1 -- "195,58")" "Befehl" 1
"$work/app/valumat" --hotkey 150 2>/dev/null && fail "valumat --hotkey 150 (no such binding) was accepted"
echo "command: valumat --hotkey 1 converted, an unknown binding refused"

# The choice of the backend: a Wayland session without a compositor and no X11 is said so, and so is an unknown
# VALUMAT_PLATFORM; neither starts.
for setting in "WAYLAND_DISPLAY=wayland-none" "VALUMAT_PLATFORM=x11" "VALUMAT_PLATFORM=mir"; do
    if env "$setting" "$work/app/valumat" >"$work/choice.log" 2>&1; then
        fail "Valumat started with $setting and neither a compositor nor X11"
    fi
    grep -q "valumat: " "$work/choice.log" || fail "no reason given with $setting"
done
echo "start: a missing compositor, a missing X11 and an unknown VALUMAT_PLATFORM are reported"

# --- the spreadsheet -------------------------------------------------------------------------------------------
# Spreadsheet mode (the options file of a restarted Valumat), then a cell holding 12345,6 (German locale, decimal
# comma) converted in place in Gnumeric on GTK's Wayland backend: the cell must hold the number 24145,89, so that a
# formula on it computes.
if command -v gnumeric >/dev/null && ((${#german[@]})); then
    kill "$valumat_pid"
    wait "$valumat_pid" 2>/dev/null || true
    sed -i 's/exceloptimiert: 0/exceloptimiert: 1/' "$work/app/options.dat"
    "${german[@]}" "$work/app/valumat" >>"$work/valumat.log" 2>&1 &
    valumat_pid=$!
    pids+=($valumat_pid)
    wait_for 20 "Valumat started again" sh -c "[ \$(grep -c 'valumat: bereit' '$work/valumat.log') -ge 2 ]"
    LOCPATH=$work/locale LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 GDK_BACKEND=wayland gnumeric \
        >"$work/gnumeric.log" 2>&1 &
    pids+=($!)
    wait_for 30 "the spreadsheet window" app_shown gnumeric
    focus_app gnumeric
    cell_text() {
        local sentinel="@@sentinel-$RANDOM$RANDOM@@"
        clip_set "$sentinel"
        keys STRG+67
        wait_for 5 "the spreadsheet's copy" clip_is_not "$sentinel"
        clip_get | tr -d '\r\n'
        keys 27
    }
    cell_is() { [[ "$(cell_text)" == "$1" ]]; }
    keys STRG+36
    wtype "12345,6"
    keys 13 38
    poll_until 5 cell_is "12345,6" || {
        keys STRG+36 46
        wtype "12345,6"
        keys 13 38
        wait_for 5 "the amount in the cell" cell_is "12345,6"
    }
    clip_set "vorher Tabelle"
    n=$(done_count)
    hot_key 75 # Ctrl+K since the change in the window, saved by Ok
    wait_for 5 "the conversion to finish" done_more_than "$n"
    poll_until 2 clip_is "vorher Tabelle" || fail "spreadsheet: the clipboard holds [$(clip_get)]"
    keys STRG+36
    wait_for 5 "the converted cell" cell_is "24145,89"
    keys 39
    wtype "=A1*2"
    keys 13 38
    wait_for 5 "a formula computing with the converted cell" cell_is "48291,78"
    echo "spreadsheet: 12345,6 became the number 24145,89 in Gnumeric"
else
    echo "spreadsheet: skipped (gnumeric or the de_DE locale source missing)"
fi

echo "PASS: Wayland (sway) end to end"
