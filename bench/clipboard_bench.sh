#!/usr/bin/env bash
# Figures (not a test): what the user's clipboard costs a conversion, on a private Xvfb with Openbox. The same
# conversion of "100" in Mousepad (the shipped Ctrl+D), from the release of the combination to the changed text, with
# on the clipboard beforehand: a short text, an image of 640x480, 1920x1080 and 3840x2160 copied in a GTK program
# (tests/e2e/gtk_image.py: GTK offers 16 image types), a LibreOffice Calc range of 2000 x 10 and 10000 x 10 numbers.
# Every round puts the content on the clipboard anew through its application (the round before left Valumat's
# restore there). Prints per row the median and the largest of ROUNDS rounds, the ratio to the short text of the
# same run, Valumat's resident memory after the row, and whether the user's content came back; and, when Valumat
# read the content ahead of the hot key, how long its owner took to hand it over then (the median of the rounds:
# the owner's own work, once per copy) and how much of it is kept. "owner busy": the longest the owner took to
# answer a request for its list of types in the 2 s after the copy (asked every 20 ms; median of the rounds): how
# long the application stalls after a copy, with whatever Valumat reads of it meanwhile.
#
#   bench/clipboard_bench.sh [BIN_DIR] [ROUNDS]     (BIN_DIR default build/default/bin, ROUNDS default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bin=$(cd "${1:-build/default/bin}" && pwd)
rounds=${2:-5}
for tool in cc Xvfb openbox mousepad xdotool xclip xprop dbus-launch soffice /usr/bin/python3; do
    command -v "$tool" >/dev/null || { echo "missing: $tool"; exit 1; }
done
work=$(mktemp -d)
pids=()
cleanup() {
    stop_pids "${pids[@]}"
    [[ -n ${DBUS_SESSION_BUS_PID:-} ]] && kill "$DBUS_SESSION_BUS_PID" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=tests/e2e/lib.sh
source tests/e2e/lib.sh
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The probe of bench/roundtrip_bench.sh ("press": Ctrl+D, then the times until the title's "*" and the clipboard back).
# shellcheck disable=SC2016 # the pattern is the script's own text
sed -n '/^cat >"$work\/cliptool.c" <<.C_SOURCE.$/,/^C_SOURCE$/p' bench/roundtrip_bench.sh | sed '1d;$d' >"$work/cliptool.c"
cc -O2 -Wall -o "$work/cliptool" "$work/cliptool.c" -lX11 -lX11-xcb -lxcb -lxcb-res -lXtst -lXfixes ||
    fail "cannot build the probe (needs libx11-xcb-dev, libxcb-res0-dev, libxtst-dev)"
probe=$work/cliptool
gtk_image="/usr/bin/python3 $root/tests/e2e/gtk_image.py"

start_session "$work"
build_de_locale "$work/locale" || fail "could not build the de_DE locale"
export LOCPATH=$work/locale
mkdir -p "$work/app"
cp -r "$bin"/. "$work/app/"
printf 'autostart: 0\r\nminimiert: 1\r\nexceloptimiert: 0\r\n' >"$work/app/options.dat"
VALUMAT_TRACE_CLIPBOARD=1 "$work/app/valumat" >"$work/valumat.log" 2>&1 &
valumat_pid=$!
pids+=("$valumat_pid")
wait_for 20 "Valumat started" grep -q "valumat: bereit" "$work/valumat.log"

touch "$work/dokument.txt"
mousepad "$work/dokument.txt" >"$work/mousepad.log" 2>&1 &
pids+=($!)
wait_for 20 "the editor window" xdotool search --onlyvisible --class mousepad
editor=$(xdotool search --onlyvisible --class mousepad | head -1)
focus_editor() { xdotool windowactivate --sync "$editor" && xdotool windowfocus --sync "$editor"; }
wait_for 5 "the editor focused" focus_editor
title_clean() { ! xprop -id "$editor" _NET_WM_NAME | grep -q '= "\*'; }
editor_has() { [[ "$(try_copied_text ctrl+a ctrl+c)" == "$1" ]]; }
prepare() {
    focus_editor
    xdotool key --clearmodifiers ctrl+a 1 0 0
    wait_for 5 "the amount typed" editor_has 100
    xdotool key --clearmodifiers ctrl+a ctrl+s
    wait_for 5 "the document saved" title_clean
}
rss_mib() { awk '/VmRSS/ { printf "%.0f", $2 / 1024 }' "/proc/$valumat_pid/status"; }
stats() { sort -g | awk '{ a[NR] = $1 } END { printf "%7.0f %7.0f", (NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2), a[NR] }'; }

# One conversion after `set_clipboard`; appends the ms to the changed text to the array `times`.
convert_once() {
    prepare
    local from
    from=$(wc -l <"$work/valumat.log")
    "$set_clipboard"
    stalls+=("$(owner_stall)")
    # The selection is gone once another window had the focus: selected again, with the focus surely back.
    editor_focused() { focus_editor && sleep 0.2 && [[ $(xdotool getwindowfocus) == "$editor" ]]; }
    wait_for 10 "the editor focused" editor_focused
    xdotool key --clearmodifiers ctrl+a
    local line t n
    n=$(grep -ac erledigt "$work/valumat.log" || true)
    # The probe presses Ctrl+D and reports once told the conversion is over (it watches 5 s at most: a longer
    # conversion counts as 5000 ms).
    "$probe" press "$editor" "$valumat_pid" >"$work/press.out" \
        < <(poll_until 30 bash -c "(( \$(grep -ac erledigt '$work/valumat.log') > $n ))" || true; sleep 0.3; echo "done")
    line=$(head -1 "$work/press.out")
    read -r _ _ t _ <<<"$line"
    if [[ $t == -1* ]]; then
        echo "  the text did not change within 5 s: ${line:0:100}" >&2
        t=5000
    fi
    local got
    got=$("${check[@]}" 2>&1 || true)
    [[ $got == same ]] || back="$got"
    focus_editor
    editor_has "195,58" || echo "  the editor shows [$(try_copied_text ctrl+a ctrl+c | head -c 60)]" >&2
    times+=("$t")
    # The read ahead that the save used: the last before it.
    line=$(awk -v m="$from" 'NR > m && /save: read ahead/ { print line; exit } NR > m && /read ahead: [0-9]+ of/ { line = $0 }' \
        "$work/valumat.log")
    if [[ $line =~ read\ in\ ([0-9]+)\ ms,\ ([0-9]+)\ bytes ]]; then
        owner_ms+=("${BASH_REMATCH[1]}")
        kept_kib=$((BASH_REMATCH[2] / 1024))
    fi
}

# The longest the clipboard's owner takes to answer for its list of types, asked for every 20 ms over 2 s.
owner_stall() {
    local end worst=0 t0 t1
    end=$(($(date +%s%N) / 1000000 + 2000))
    while t0=$(($(date +%s%N) / 1000000)) && ((t0 < end)); do
        timeout 5 xclip -o -selection clipboard -t TARGETS >/dev/null 2>&1 || true
        t1=$(($(date +%s%N) / 1000000))
        ((t1 - t0 <= worst)) || worst=$((t1 - t0))
        sleep 0.02
    done
    echo "$worst"
}

# The clipboards.
short_text() { clip_set "vorher"; }
image_pid=""
gtk_copy() {
    [[ -z $image_pid ]] || stop_pids "$image_pid"
    $gtk_image copy "$1" "$2" >"$work/image.log" 2>&1 &
    image_pid=$!
    pids+=("$image_pid")
    wait_for 10 "the image copied" grep -q copied "$work/image.log"
}
image_back() { $gtk_image paste "$1" "$2"; }
calc_copy() {
    focus_office
    xdotool key --clearmodifiers ctrl+Home ctrl+shift+End ctrl+c
    wait_for 20 "the range copied" sh -c 'xclip -o -selection clipboard -t TARGETS | grep -q embed-source'
    sleep 0.5 # Calc done with its copy
}
calc_back() {
    # Pasted beside the range (from L1), its last cell is the one copied.
    focus_office
    local got
    xdotool key --clearmodifiers ctrl+Home
    xdotool key --clearmodifiers --repeat 11 Right
    xdotool key --clearmodifiers ctrl+v
    sleep 3
    xdotool key --clearmodifiers ctrl+End
    got=$(try_copied_text ctrl+c | tr -d '\r\n')
    xdotool key Escape ctrl+z
    [[ $got == "$1" ]] && echo same || echo "the last cell holds [$got], not [$1]"
}

printf '%-58s %7s %7s %6s %9s  %-12s %11s  %s\n' "the user's clipboard before the hot key" "median" "max" "ratio" \
    "memory" "content back" "owner busy" "read ahead (owner ms, kept)"
base=""
row() { # row NAME CONTENT_CHECK...: the check prints "same" when the user's content is back after a conversion
    local name=$1
    shift
    check=("$@")
    times=()
    owner_ms=()
    stalls=()
    kept_kib=0
    back=same
    for ((r = 1; r <= rounds; r++)); do convert_once; done
    local figures median
    figures=$(printf '%s\n' "${times[@]}" | stats)
    median=${figures% *}
    [[ -n $base ]] || base=$median
    local ahead="none used"
    if ((${#owner_ms[@]} > 0)); then
        ahead="$(printf '%s\n' "${owner_ms[@]}" | stats | awk '{ print $1 }') ms, $kept_kib KiB (${#owner_ms[@]} of $rounds)"
    fi
    printf '%-58s %s %6.1f %5s MiB  %-12s %8s ms  %s\n' "$name" "$figures" \
        "$(awk -v m="$median" -v b="$base" 'BEGIN { print m / b }')" "$(rss_mib)" "$back" \
        "$(printf '%s\n' "${stalls[@]}" | stats | awk '{ print $1 }')" "$ahead"
}

set_clipboard=short_text
# shellcheck disable=SC2016 # run by the inner shell
row "a short text" bash -c '[[ $(xclip -o -selection clipboard) == vorher ]] && echo same || echo differs'
for size in "640 480" "1920 1080" "3840 2160"; do
    read -r w h <<<"$size"
    gtk_set() { gtk_copy "$w" "$h"; }
    set_clipboard=gtk_set
    row "an image ${w}x${h} copied in a GTK program" image_back "$w" "$h"
done
stop_pids "$image_pid"

office_profile "$work/office"
for rows in 2000 10000; do
    /usr/bin/python3 -c "
import sys
with open('$work/range$rows.csv', 'w') as f:
    for r in range($rows):
        f.write(','.join(str((r * 10 + c) * 7 % 100000) for c in range(10)) + '\n')"
    SAL_USE_VCLPLUGIN=gtk3 LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 soffice "-env:UserInstallation=file://$work/office" \
        --norestore --nologo --nolockcheck --calc --infilter="CSV:44,34,76,1" "$work/range$rows.csv" \
        >"$work/office.log" 2>&1 &
    office_launcher=$!
    pids+=("$office_launcher")
    wait_for 120 "Calc" xdotool search --onlyvisible --class libreoffice-calc
    office_win=$(xdotool search --onlyvisible --class libreoffice-calc | head -1)
    office_pid=$(xdotool getwindowpid "$office_win")
    pids+=("$office_pid")
    sleep 3
    last=$(((rows * 10 - 1) * 7 % 100000))
    set_clipboard=calc_copy
    row "a Calc range of $rows x 10 numbers" calc_back "$last"
    stop_office
done
