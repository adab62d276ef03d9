#!/usr/bin/env bash
# What a conversion saves of a large clipboard and gives back, on a private Xvfb (German locale): a 3840x2160 image
# copied in a GTK program (tests/e2e/gtk_image.py, 16 image types) and a LibreOffice Calc range of 10000 x 10 numbers
# (24 targets, pictures of the range among them) on the clipboard, each time a conversion of "100" in Mousepad, then
# the user's content pasted back into its application and compared: the image's pixels in GTK, the range's text byte
# for byte, the range pasted in Calc. Valumat's trace says what it read of the owner: the image's PNG alone; the
# range's text and Calc's own formats, none of its pictures. Last, a conversion in Calc itself (spreadsheet mode)
# with the range on the clipboard.
#
#   tests/e2e/clipboard_e2e.sh BIN_DIR
set -euo pipefail

bin=$(cd "${1:?usage: clipboard_e2e.sh BIN_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"
need_tools Xvfb openbox xdotool xclip mousepad soffice localedef dbus-launch python3
/usr/bin/python3 -c 'import gi; gi.require_version("Gtk", "3.0")' 2>/dev/null ||
    { echo "SKIP: GTK's Python bindings are missing (python3-gi, gir1.2-gtk-3.0)"; exit 77; }
[[ -e /usr/share/i18n/locales/de_DE ]] || { echo "SKIP: the de_DE locale source is missing"; exit 77; }
gtk_image="/usr/bin/python3 $here/gtk_image.py"

begin_run
start_german_session "$work"
mkdir -p "$work/app"
cp -r "$bin"/. "$work/app/"
touch "$work/valumat.log"

touch "$work/dokument.txt"
mousepad "$work/dokument.txt" >"$work/mousepad.log" 2>&1 &
pids+=($!)
wait_for 20 "the editor window" xdotool search --onlyvisible --class mousepad
editor=$(xdotool search --onlyvisible --class mousepad | head -1)
focus_editor() { xdotool windowactivate --sync "$editor" && xdotool windowfocus --sync "$editor"; }
editor_has() { [[ "$(try_copied_text ctrl+a ctrl+c)" == "$1" ]]; }
# convert: "100" alone in the editor, selected, after the caller put the user's content on the clipboard; Ctrl+D.
type_amount() {
    focus_editor
    xdotool key --clearmodifiers ctrl+a 1 0 0
    wait_for 5 "the amount typed" editor_has 100
}
convert() {
    focus_editor
    xdotool key --clearmodifiers ctrl+a
    local n
    n=$(done_count)
    mark=$(log_mark)
    xdotool key --clearmodifiers ctrl+d
    wait_for 10 "the conversion done" done_more_than "$n"
    [[ "$(xclip -o -selection clipboard -t TARGETS 2>/dev/null)" != "" ]] || fail "the clipboard is empty afterwards"
}
# start_valumat SPREADSHEET_MODE NTH: Valumat on a copy of the shipped data, traced, in normal (0) or spreadsheet (1)
# mode; NTH: how many starts the log holds once it is ready.
start_valumat() {
    printf 'autostart: 0\r\nminimiert: 1\r\nexceloptimiert: %s\r\n' "$1" >"$work/app/options.dat"
    VALUMAT_TRACE_CLIPBOARD=1 "$work/app/valumat" >>"$work/valumat.log" 2>&1 &
    valumat_pid=$!
    pids+=("$valumat_pid")
    wait_for 20 "Valumat started" sh -c "[ \$(grep -c 'valumat: bereit' '$work/valumat.log') -ge $2 ]"
}
# read_line: what Valumat read of the user's content for the conversion: the save's trace line ("save: N of M
# targets read in T ms"), or, when the save used what was read ahead, the line of that read ("read ahead: N of M
# targets read in T ms ...", the last before the save).
read_line() {
    local save
    save=$(log_since "$mark" | grep -o 'save: .*' | head -1)
    if [[ $save == "save: read ahead"* ]]; then
        save="$(awk -v m="$mark" 'NR > m && /save: read ahead/ { exit } /read ahead: [0-9]+ of/ { line = $0 } END { print line }' \
            "$work/valumat.log" | grep -o 'read ahead: .*'), ${save#save: }"
    fi
    echo "$save"
}

start_valumat 0 1

# --- an image from a GTK program ---------------------------------------------------------------------------------
type_amount
$gtk_image copy 3840 2160 >"$work/image.log" 2>&1 &
image_pid=$!
pids+=("$image_pid")
wait_for 20 "the image copied" grep -q copied "$work/image.log"
convert
saved=$(read_line)
# The other image types are made from the PNG when asked for (a BMP, say).
[[ "$(xclip -o -selection clipboard -t image/bmp 2>/dev/null | head -c 2)" == BM ]] ||
    fail "image case: no BMP made from the saved PNG"
back=$($gtk_image paste 3840 2160 || true)
[[ $back == same ]] || fail "the image pasted in GTK after the conversion: $back"
editor_has "195,58" || fail "image case: the editor shows [$(try_copied_text ctrl+a ctrl+c)]"
[[ $saved == "save: 1 of "* || $saved == "read ahead: 1 of "* ]] || fail "image case: Valumat read more than the PNG ($saved)"
echo "image 3840x2160: converted, the image back in GTK pixel for pixel ($saved)"
stop_pids "$image_pid"

# --- a range from LibreOffice Calc ---------------------------------------------------------------------------------
office_profile "$work/office"
/usr/bin/python3 -c "
with open('$work/range.csv', 'w') as f:
    for r in range(10000):
        f.write(','.join(str((r * 10 + c) * 7 % 100000) for c in range(10)) + '\n')"
SAL_USE_VCLPLUGIN=gtk3 LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 soffice "-env:UserInstallation=file://$work/office" \
    --norestore --nologo --nolockcheck --calc --infilter="CSV:44,34,76,1" "$work/range.csv" >"$work/office.log" 2>&1 &
office_launcher=$!
pids+=("$office_launcher")
wait_for 120 "Calc" xdotool search --onlyvisible --class libreoffice-calc
office_win=$(xdotool search --onlyvisible --class libreoffice-calc | head -1)
office_pid=$(xdotool getwindowpid "$office_win")
pids+=("$office_pid")
wait_for 10 "Calc focused" focus_office
sleep 3 # the document shown
type_amount
focus_office
xdotool key --clearmodifiers Escape ctrl+Home ctrl+shift+End ctrl+c
wait_for 20 "the range copied" sh -c 'xclip -o -selection clipboard -t TARGETS | grep -q embed-source'
xclip -o -selection clipboard -t UTF8_STRING >"$work/range-before.txt"
convert
saved=$(read_line)
xclip -o -selection clipboard -t UTF8_STRING >"$work/range-after.txt"
cmp -s "$work/range-before.txt" "$work/range-after.txt" ||
    fail "the range's text changed across the conversion ($(wc -c <"$work/range-before.txt") bytes before, $(wc -c <"$work/range-after.txt") after)"
if xclip -o -selection clipboard -t TARGETS | grep -q -E '^(image/png|image/bmp|application/x-openoffice-(gdimetafile|emf|wmf|bitmap))'; then
    fail "range case: Valumat kept pictures of the range"
fi
xclip -o -selection clipboard -t TARGETS | grep -q embed-source || fail "range case: Calc's own format is not back ($saved)"
# Pasted in Calc beside the range (from L1): its corners are the range's.
focus_office
xdotool key --clearmodifiers Escape ctrl+Home
xdotool key --clearmodifiers --repeat 11 Right
xdotool key --clearmodifiers ctrl+v
cell_at() { # cell_at KEYS...: the text of the cell the keys lead to
    xdotool key --clearmodifiers "$@"
    try_copied_text ctrl+c | tr -d '\r\n'
}
sleep 3 # 100000 cells pasted
first=$(cell_at ctrl+Home Right Right Right Right Right Right Right Right Right Right Right)
last=$(cell_at ctrl+End)
[[ $first == 0 && $last == 99993 ]] || fail "the range pasted in Calc: L1 [$first], the last cell [$last]"
focus_editor
editor_has "195,58" || fail "range case: the editor shows [$(try_copied_text ctrl+a ctrl+c | head -c 60)]"
echo "Calc range 10000x10: converted, its text back byte for byte, pasted in Calc whole ($saved)"

# --- a conversion in Calc (spreadsheet mode) with the range on the clipboard ----------------------------------------
# In a new sheet of the same Calc (Ctrl+N), A1 holds 100; the range copied before is the user's clipboard.
stop_pids "$valumat_pid"
start_valumat 1 2
focus_office
xdotool key --clearmodifiers Escape ctrl+Home ctrl+shift+End ctrl+c
wait_for 20 "the range copied again" sh -c 'xclip -o -selection clipboard -t TARGETS | grep -q embed-source'
xclip -o -selection clipboard -t UTF8_STRING >"$work/range-before.txt"
xdotool key --clearmodifiers ctrl+n
wait_for 30 "a new sheet" sh -c "[ \$(xdotool search --onlyvisible --class libreoffice-calc | wc -l) -ge 2 ]"
office_win=$(xdotool search --onlyvisible --class libreoffice-calc | grep -v "^$office_win\$" | head -1)
wait_for 10 "the new sheet focused" focus_office
sleep 2
xdotool key --clearmodifiers ctrl+Home
xdotool type --delay 20 "100"
xdotool key --clearmodifiers Return ctrl+Home
n=$(done_count)
mark=$(log_mark)
xdotool key ctrl+d
wait_for 10 "the conversion in Calc done" done_more_than "$n"
saved=$(read_line)
xclip -o -selection clipboard -t UTF8_STRING >"$work/range-after.txt"
cmp -s "$work/range-before.txt" "$work/range-after.txt" || fail "Calc case: the range's text changed across the conversion"
xclip -o -selection clipboard -t TARGETS | grep -q embed-source || fail "Calc case: Calc's own format is not back"
cell=$(cell_at ctrl+Home)
[[ $cell == "195,58" ]] || fail "Calc case: A1 shows [$cell] instead of [195,58]"
echo "Calc, spreadsheet mode, the range on the clipboard: converted, its text and Calc's format back ($saved)"
