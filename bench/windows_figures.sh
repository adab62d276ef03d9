#!/usr/bin/env bash
# Figures of valumat.exe under Wine on a private Xvfb (not a test): executable sizes, start-up until the hot keys are
# live, the conversion's round trip in notepad against the limit, quick presses, the end of the session, idle CPU
# time and memory.
#
#   bench/windows_figures.sh [BIN_DIR] [ROUNDS] [IDLE_SECONDS]
#
# The round trip is timed by valumat_probe.exe (built beside BIN_DIR in tests/win32), inside Wine: ROUNDS rounds
# (default 30) of the limit (the probe's own Ctrl+C, wait for the copy, offer the result, Ctrl+V, serve the paste,
# clipboard back) and of Valumat's hot key, interleaved, each from the moment the combination was sent.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(cd "${1:-build/windows/bin}" && pwd)
rounds=${2:-30}
idle=${3:-60}
probe=$bin/../tests/win32/valumat_probe.exe
# shellcheck source=tests/e2e/wine.sh
source tests/e2e/wine.sh
wine_use "$bin/valumat.exe" || { echo "$wine_why" >&2; exit 1; }
work=$(mktemp -d)
pids=()
cleanup() {
    WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
now_ms() { echo $(($(date +%s%N) / 1000000)); }
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
done_count() { grep -ac erledigt "$work/log" || true; }

for exe in "$bin"/*.exe; do echo "$(basename "$exe"): $(($(stat -c %s "$exe") / 1024)) KiB"; done

export HOME=$work/home XDG_RUNTIME_DIR=$work/run WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
until [[ -s $work/display ]]; do sleep 0.05; done
export DISPLAY=:$(head -1 "$work/display")
openbox >/dev/null 2>&1 &
pids+=($!)
"$WINE" wineboot --init >/dev/null 2>&1
wineserver -w

mkdir -p "$work/app"
cp -r "$bin"/. "$work/app/"
start_valumat() {
    local t0
    t0=$(now_ms)
    (cd "$work/app" && WINEDEBUG=-all,warn+seh exec "$WINE" valumat.exe) >"$work/log" 2>&1 &
    valumat=$!
    pids+=("$valumat")
    until grep -aq "valumat: bereit" "$work/log"; do sleep 0.005; done
    startup=$(($(now_ms) - t0))
}
start_valumat
echo "start-up until the hot keys are live (the first Wine program of the session, Wine's own start included): $startup ms"

"$WINE" notepad >/dev/null 2>&1 &
pids+=($!)
until xdotool search --onlyvisible --name "Notepad" >/dev/null 2>&1; do sleep 0.05; done
notepad=$(xdotool search --onlyvisible --name "Notepad" | head -1)
xdotool windowactivate --sync "$notepad"
sleep 1

if [[ -f $probe ]]; then
    xdotool windowactivate --sync "$notepad"
    "$WINE" "$probe" rounds "$rounds" >"$work/rounds" || true
    grep -v '^median' "$work/rounds" | sed 's/^/  /'
    tail -1 "$work/rounds"
    awk '/^round/ && $4 > 0 && $9 > 0 && $11 > 0 { n++; if ($9 <= 2 * $4) t++; if ($11 <= 3 * $6) c++ }
        END { printf "rounds with the text within 2x their limit: %d of %d, with the clipboard back within 3x: %d of %d\n",
              t, n, c, n }' "$work/rounds"
    awk '/^median/ { printf "valumat / limit, medians: %.2fx to the text, %.2fx to the clipboard back\n", $18 / $6, $23 / $11 }' \
        "$work/rounds"
else
    echo "round trip: not measured (no $probe)"
fi

# Quick presses: ten lines, each selected, the hot key, a pause, the next line; how many lines came out converted.
amounts=(100 101 102 103 104 105 106 107 108 109)
converted=("195,58" "197,54" "199,49" "201,45" "203,41" "205,36" "207,32" "209,27" "211,23" "213,19")
# The pause is the sleep between the hot key's xdotool call and the next line's; each xdotool call adds its own start.
for pause in 0.1 0.05 0.02 0; do
    xdotool windowactivate --sync "$notepad"
    xdotool key ctrl+a
    xdotool type --delay 5 "$(IFS=$'\n' && echo "${amounts[*]}")"
    xdotool key ctrl+Home
    sleep 0.3
    n=$(done_count)
    t0=$(now_ms)
    for ((i = 0; i < 10; i++)); do
        xdotool key Home shift+End ctrl+d
        sleep "$pause"
        xdotool key Down
    done
    interval=$((($(now_ms) - t0) / 10))
    deadline=$((SECONDS + 15))
    until (($(done_count) >= n + 10)) || ((SECONDS > deadline)); do sleep 0.05; done
    sleep 0.5
    # The document read back behind a sentinel on the clipboard.
    sentinel="@@sentinel-$RANDOM$RANDOM@@"
    printf '%s' "$sentinel" | xclip -selection clipboard -i
    until [[ "$(xclip -o -selection clipboard 2>/dev/null)" == "$sentinel" ]]; do sleep 0.05; done
    xdotool key ctrl+a ctrl+c
    deadline=$((SECONDS + 5))
    while [[ "$(xclip -o -selection clipboard 2>/dev/null)" == "$sentinel" ]] && ((SECONDS <= deadline)); do sleep 0.05; done
    mapfile -t got < <(xclip -o -selection clipboard 2>/dev/null)
    right=0
    for ((i = 0; i < 10; i++)); do
        [[ "${got[i]:-}" == "${converted[i]}" ]] && right=$((right + 1))
    done
    line="quick presses, pause $(awk -v p="$pause" 'BEGIN { print p * 1000 }') ms (one hot key every $interval ms)"
    if ((right == 10)); then
        echo "$line: 10 of 10 lines converted"
    else
        echo "$line: $right of 10 lines converted: ${got[*]}"
    fi
done

pid=$valumat
rss=$(awk '/VmRSS/ { print $2 }' "/proc/$pid/status")
echo "idle resident memory of the valumat.exe process: $((rss / 1024)) MiB"
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
before=$(ticks)
sleep "$idle"
after=$(ticks)
echo "CPU time while idle: $(((after - before) * 1000 / $(getconf CLK_TCK))) ms in ${idle} s"

# The end of the session, idle and in the middle of a conversion (waiting for a copy that never comes).
if [[ -f $probe ]]; then
    ended=$("$WINE" "$probe" end-session | grep -o 'ended [0-9]* ms' || echo "did not end")
    echo "end of the session, idle: $ended after WM_ENDSESSION (Windows process ended; Wine needs about a second more to remove it)"
    start_valumat
    echo "start-up until the hot keys are live (Wine's desktop process running, Wine's own start included): $startup ms"
    t0=$(date +%s%N)
    "$WINE" "$probe" >/dev/null 2>&1 || true
    echo "for comparison, Wine starting and ending a console program that does nothing: $((($(date +%s%N) - t0) / 1000000)) ms"
    xdotool windowactivate --sync "$notepad"
    xdotool key ctrl+a Delete
    xdotool key ctrl+d
    sleep 0.15
    ended=$("$WINE" "$probe" end-session | grep -o 'ended [0-9]* ms' || echo "did not end")
    echo "end of the session during a conversion: $ended after WM_ENDSESSION"
fi
