#!/usr/bin/env bash
# Valumat end to end in a headless KWin (KDE Plasma 5.27 on Wayland, `kwin_wayland --virtual`): key strokes through
# KWin's fake input, hot keys through KGlobalAccel (which KWin runs on the test's own session bus), the clipboard
# through wlr data control, against Mousepad on GTK's Wayland backend.
#
#   tests/e2e/kwin_e2e.sh BIN_DIR WLKEYS DESKTOP_DIR
#
# KWin offers fake input only to programs whose desktop file lists it: Valumat's own (DESKTOP_DIR/valumat-kwin.desktop,
# its Exec= pointed at the test's copy) and one for the test's keyboard (valumat_wlkeys) are installed in the test's
# XDG_DATA_HOME; no permission check is switched off. Run as root, the script runs itself as a user of its own
# (valumat-kw<pid>, created for the run and removed afterwards): KWin's Xwayland and its tools do not run as root.
# The installed kwin_wayland carries file capabilities that an unprivileged exec is refused here: a plain copy runs.
# E2E_RUNS sets how often the conversion runs in a row (default 5).
set -euo pipefail

usage="usage: kwin_e2e.sh BIN_DIR WLKEYS DESKTOP_DIR"
bin=$(cd "${1:?$usage}" && pwd)
wlkeys=$(realpath "${2:?$usage}")
desktop=$(realpath "${3:?$usage}")
runs=${E2E_RUNS:-5}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"
need_tools kwin_wayland kbuildsycoca5 wl-copy wl-paste mousepad dbus-launch gdbus

if [[ $(id -u) -eq 0 ]]; then
    throwaway_user valumat-kw
    mkdir -p "$outer/desktop" "$outer/kwin"
    cp "$wlkeys" "$outer/valumat_wlkeys"
    cp "$desktop/valumat-kwin.desktop" "$outer/desktop/"
    cp "$here/kwin_e2e.sh" "$outer/tests/"
    as_throwaway_user "" "$outer/tests/kwin_e2e.sh" "$outer/bin" "$outer/valumat_wlkeys" "$outer/desktop"
    exit "$status"
fi

begin_run
figure_presses=0 # hot keys pressed for the figures, not counted in runs

fail() {
    echo "FAIL: $*" >&2
    show_valumat_log
    echo "--- kwin log" >&2
    grep -v "^OpenGL\|^GLSL\|^Driver\|^GPU\|^Mesa\|^Linux kernel\|^Requires\|^Texture\|^Virtual" "$work/kwin.log" |
        tail -8 >&2 || true
    exit 1
}

# A session of the test's own: home, runtime folder, applications folder, no X11 (Valumat must not fall back to it).
export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/home/.config
export XDG_DATA_HOME=$work/home/.local/share XDG_CACHE_HOME=$work/home/.cache XDG_DATA_DIRS=/usr/local/share:/usr/share
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$XDG_DATA_HOME/applications" "$XDG_CACHE_HOME"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK I3SOCK SESSION_MANAGER KWIN_WAYLAND_NO_PERMISSION_CHECKS
printf '[Layout]\nUse=true\nLayoutList=us\n' >"$XDG_CONFIG_HOME/kxkbrc"

mkdir -p "$work/app"
cp -r "$bin"/. "$work/app/"
cp "$wlkeys" "$work/valumat_wlkeys"
# The package installs the program as /usr/bin/valumat: its desktop file must name exactly that.
grep -qx "Exec=/usr/bin/valumat" "$desktop/valumat-kwin.desktop" || fail "valumat-kwin.desktop: $(grep Exec= "$desktop/valumat-kwin.desktop")"
grep -qx "X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input" "$desktop/valumat-kwin.desktop" ||
    fail "valumat-kwin.desktop does not ask for fake input"
# Valumat's desktop file as installed, Exec= pointing at this copy; the test's keyboard gets one of the same kind.
sed "s|^Exec=.*|Exec=$work/app/valumat|" "$desktop/valumat-kwin.desktop" >"$XDG_DATA_HOME/applications/valumat-kwin.desktop"
printf '[Desktop Entry]\nType=Application\nName=Test keyboard\nExec=%s\nNoDisplay=true\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n' \
    "$work/valumat_wlkeys" >"$XDG_DATA_HOME/applications/valumat-test-keyboard.desktop"
kbuildsycoca5 --noincremental >"$work/sycoca.log" 2>&1 || fail "kbuildsycoca5 failed"

eval "$(dbus-launch --sh-syntax)"
cp "$(command -v kwin_wayland)" "$work/kwin_wayland" # without the file capabilities
socket=valumat-kwin
"$work/kwin_wayland" --virtual --width 1280 --height 800 --socket "$socket" --no-lockscreen --no-kactivities \
    >"$work/kwin.log" 2>&1 &
pids+=($!)
wait_for 20 "KWin" test -S "$XDG_RUNTIME_DIR/$socket"
export WAYLAND_DISPLAY=$socket
kglobalaccel_up() {
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.NameHasOwner org.kde.kglobalaccel 2>/dev/null | grep -q true
}
wait_for 10 "KGlobalAccel on the session bus" kglobalaccel_up
if command -v dbus-monitor >/dev/null; then # KGlobalAccel's signals, for the artifacts
    dbus-monitor --session "sender=org.kde.kglobalaccel" >"$work/dbus.log" 2>&1 &
    pids+=($!)
fi

# The test's keyboard: valumat_wlkeys serving lines of key combinations through fake input, each acknowledged.
mkfifo "$work/keys.in" "$work/keys.ack"
"$work/valumat_wlkeys" --serve "$work/keys.in" "$work/keys.ack" 2>"$work/wlkeys.log" &
pids+=($!)
exec 7>"$work/keys.in" 8<"$work/keys.ack"
keys() {
    echo "$*" >&7
    read -r -t 5 -u 8 _ || fail "the test's keyboard does not answer: $(cat "$work/wlkeys.log")"
}

clip_get() { wl-paste --no-newline 2>/dev/null; }
clip_is() { [[ "$(clip_get)" == "$1" ]]; }
clip_is_not() { [[ "$(clip_get)" != "$1" ]]; }
clip_set() {
    printf '%s' "$1" | wl-copy
    wait_for 5 "clipboard set" clip_is "$1"
}

# KWin's check is real: the same program at a path no desktop file names gets no fake input, and says so.
mkdir -p "$work/elsewhere"
cp "$work/app/valumat" "$work/elsewhere/valumat"
status=0
VALUMAT_PLATFORM=wayland timeout 20 "$work/elsewhere/valumat" >"$work/refused.log" 2>&1 || status=$?
((status != 0 && status != 124)) || fail "Valumat without a desktop file: exit status $status, $(cat "$work/refused.log")"
grep -q "org_kde_kwin_fake_input" "$work/refused.log" ||
    fail "Valumat without a desktop file does not name fake input: $(cat "$work/refused.log")"
echo "without a desktop file: no fake input, and Valumat names org_kde_kwin_fake_input as missing"

german=()
if build_de_locale "$work/locale"; then
    german=(env LOCPATH="$work/locale" LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8)
fi
start_ns=$(date +%s%N)
"${german[@]}" env VALUMAT_TRACE_HOTKEYS=1 "$work/app/valumat" >"$work/valumat.log" 2>&1 &
valumat_pid=$!
pids+=("$valumat_pid")
wait_for 20 "Valumat started" grep -q "valumat: bereit" "$work/valumat.log"
ready_ns=$(date +%s%N)
grep -q "Tastenkombinationen über KGlobalAccel, Tastenanschläge über KWins Fake-Input" "$work/valumat.log" ||
    fail "Valumat does not use KGlobalAccel and fake input"
echo "valumat: ready $(((ready_ns - start_ns) / 1000000)) ms after the start (process start included)"
# The default hot key Ctrl+D as KGlobalAccel took it: Qt's Ctrl bit and key D.
grep -q "KGlobalAccel hotkey-[-0-9]*: 0x4000044" "$work/valumat.log" || fail "KGlobalAccel did not take Ctrl+D"

GDK_BACKEND=wayland mousepad "$work/dokument.txt" >"$work/mousepad.log" 2>&1 &
editor_pid=$!
pids+=("$editor_pid")
sleep 2 # KWin gives the new window the focus

# The editor's whole text, read through a sentinel on the clipboard so that a stale value cannot pass.
editor_text() {
    local sentinel="@@sentinel-$RANDOM$RANDOM@@"
    clip_set "$sentinel"
    keys STRG+65 STRG+67
    wait_for 5 "the editor's copy" clip_is_not "$sentinel"
    clip_get
}
editor_has() { [[ "$(editor_text)" == "$1" ]]; }
# type_amount DIGITS: replaces the editor's text by DIGITS (typed key by key through fake input) and selects it.
type_amount() {
    local codes=() i
    for ((i = 0; i < ${#1}; i++)); do codes+=("$(printf '%d' "'${1:i:1}")"); done
    keys STRG+65 "${codes[@]}"
    poll_until 3 editor_has "$1" || fail "the editor does not show the typed [$1] but [$(editor_text)]"
    keys STRG+65
}

convert_amount() {
    local amount=$1 expected=$2 before=$3
    type_amount "$amount"
    clip_set "$before"
    local n
    n=$(done_count)
    keys STRG+68
    wait_for 5 "the conversion to finish" done_more_than "$n"
    poll_until 2 clip_is "$before" || fail "the clipboard holds [$(clip_get)] instead of the user's [$before]"
    local got
    got=$(editor_text)
    [[ "$got" == "$expected" ]] || fail "the editor shows [$got] instead of [$expected] (amount $amount)"
}

# Figures (E2E_FIGURES=IDLE_SECONDS; printed, not asserted): hot key to converted text (script done, clipboard
# back), idle memory and wake-ups while idle.
if [[ -n ${E2E_FIGURES:-} ]]; then
    press_figures true keys STRG+68
    figure_presses=10
fi

start=$(date +%s%N)
for ((i = 1; i <= runs; i++)); do
    convert_amount "100" "195,58" "vorher $i"
done
end=$(date +%s%N)
echo "editor: $runs conversions through KWin, $(((end - start) / runs / 1000000)) ms each (typing and checks included)"
# An image on the clipboard survives a conversion, byte for byte (KWin's data control, every format saved and set
# again).
/usr/bin/python3 -c "
import zlib,struct
def chunk(t,d): return struct.pack('>I',len(d))+t+d+struct.pack('>I',zlib.crc32(t+d)&0xffffffff)
raw=b''.join(b'\x00'+b''.join(bytes((x*7%256,y*5%256,(x*y)%256)) for x in range(64)) for y in range(64))
open('$work/bild.png','wb').write(b'\x89PNG\r\n\x1a\n'+chunk(b'IHDR',struct.pack('>IIBBBBB',64,64,8,2,0,0,0))+chunk(b'IDAT',zlib.compress(raw))+chunk(b'IEND',b''))"
type_amount "100"
wl-copy --type image/png <"$work/bild.png"
wait_for 5 "the image on the clipboard" sh -c 'wl-paste --list-types | grep -q image/png'
n=$(done_count)
keys STRG+68
wait_for 5 "the conversion to finish" done_more_than "$n"
poll_until 2 sh -c 'wl-paste --list-types | grep -q image/png' || fail "no image on the clipboard after the conversion"
wl-paste --type image/png >"$work/zurueck.png" 2>/dev/null || fail "the image cannot be read back"
cmp -s "$work/bild.png" "$work/zurueck.png" || fail "the image on the clipboard changed"
[[ "$(editor_text)" == "195,58" ]] || fail "image case: the editor does not show 195,58"
echo "editor: the image on the clipboard came back unchanged"
runs=$((runs + 1))

# FeatherPad on Qt's Wayland platform, whose own Ctrl+D deletes the selection: KWin keeps the hot key's press from
# it (the editor comes up in Mousepad's place and gets the focus).
qt_runs=0
if command -v featherpad >/dev/null; then
    kill "$editor_pid"
    QT_QPA_PLATFORM=wayland featherpad "$work/qt.txt" >"$work/featherpad.log" 2>&1 &
    editor_pid=$!
    pids+=("$editor_pid")
    sleep 2
    for i in 1 2 3; do
        convert_amount "100" "195,58" "Qt $i"
    done
    qt_runs=3
    echo "qt editor: three conversions in FeatherPad"
else
    echo "qt editor: skipped (featherpad missing)"
fi
runs=$((runs + qt_runs))

# Spreadsheet mode (the options file of a restarted Valumat), then a cell holding 12345,6 (German locale, decimal
# comma) converted in place in Gnumeric on GTK's Wayland backend: the cell must hold the number 24145,89, so that a
# formula on it computes. Typed through fake input with KWin's US layout: 188 is the comma, Shift+8 the asterisk.
if command -v gnumeric >/dev/null && ((${#german[@]})); then
    kill "$valumat_pid" "$editor_pid" 2>/dev/null || true
    wait "$valumat_pid" 2>/dev/null || true
    sed -i 's/exceloptimiert: 0/exceloptimiert: 1/' "$work/app/options.dat"
    "${german[@]}" env VALUMAT_TRACE_HOTKEYS=1 "$work/app/valumat" >>"$work/valumat.log" 2>&1 &
    valumat_pid=$!
    pids+=("$valumat_pid")
    wait_for 20 "Valumat started again" sh -c "[ \$(grep -c 'valumat: bereit' '$work/valumat.log') -ge 2 ]"
    LOCPATH=$work/locale LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 GDK_BACKEND=wayland gnumeric \
        >"$work/gnumeric.log" 2>&1 &
    pids+=($!)
    cell_text() {
        local sentinel="@@sentinel-$RANDOM$RANDOM@@"
        clip_set "$sentinel"
        keys STRG+67
        poll_until 3 clip_is_not "$sentinel" || return 1
        clip_get | tr -d '\r\n'
        keys 27
    }
    cell_is() { [[ "$(cell_text)" == "$1" ]]; }
    amount=(49 50 51 52 53 188 54) # 12345,6
    typed=""
    for _ in 1 2 3 4 5 6 7 8 9 10; do # Gnumeric takes a few seconds to come up and get the focus
        sleep 1
        keys STRG+36 46 "${amount[@]}" 13 38
        if poll_until 2 cell_is "12345,6"; then
            typed=1
            break
        fi
    done
    [[ -n $typed ]] || fail "spreadsheet: the cell does not hold 12345,6"
    clip_set "vorher Tabelle"
    n=$(done_count)
    keys STRG+68
    wait_for 5 "the conversion to finish" done_more_than "$n"
    poll_until 2 clip_is "vorher Tabelle" || fail "spreadsheet: the clipboard holds [$(clip_get)]"
    keys STRG+36
    wait_for 5 "the converted cell" cell_is "24145,89"
    keys 39 187 65 49 SHIFT+56 50 13 38 # =A1*2 in B1
    wait_for 5 "a formula computing with the converted cell" cell_is "48291,78"
    echo "spreadsheet: 12345,6 became the number 24145,89 in Gnumeric"
    runs=$((runs + 1))
else
    echo "spreadsheet: skipped (gnumeric or the de_DE locale source missing)"
fi

presses=$(($(grep -c "KGlobalAccel gedrückt" "$work/valumat.log" || true) - figure_presses))
releases=$(($(grep -c "KGlobalAccel losgelassen" "$work/valumat.log" || true) - figure_presses))
echo "KGlobalAccel: $presses presses, $releases releases reported"
((presses == runs)) || fail "KGlobalAccel reported $presses presses for $runs hot keys"
# KWin 5.27 tells the release: each hot key ran on it, not after the bound.
((releases == runs)) || fail "KGlobalAccel reported $releases releases for $runs hot keys"

# Ended, Valumat takes its shortcuts out of KGlobalAccel again: Ctrl+D is the editor's once more.
actions() {
    gdbus call --session --dest org.kde.kglobalaccel --object-path /kglobalaccel \
        --method org.kde.KGlobalAccel.allActionsForComponent "['valumat', '', '', '']" 2>/dev/null |
        grep -o "'hotkey-[-0-9]*'" | sort -u | wc -l
}
registered=$(actions)
((registered > 0)) || fail "KGlobalAccel lists no action of Valumat"
kill "$valumat_pid"
wait "$valumat_pid" 2>/dev/null || true
(($(actions) == 0)) || fail "KGlobalAccel still lists $(actions) of Valumat's actions after its end"
echo "KGlobalAccel: $registered actions while Valumat ran, none after its end"
echo "PASS"
