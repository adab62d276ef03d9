#!/usr/bin/env bash
# Figures of valumat.exe under Wine on a private Xvfb (not a test): executable sizes, start-up until the hot keys are
# live, hot key to changed text in notepad, idle CPU time and memory.
#
#   bench/windows_figures.sh [BIN_DIR] [IDLE_SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(cd "${1:-build/windows/bin}" && pwd)
idle=${2:-60}
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

for exe in "$bin"/*.exe; do echo "$(basename "$exe"): $(($(stat -c %s "$exe") / 1024)) KiB"; done

export HOME=$work/home XDG_RUNTIME_DIR=$work/run WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
until [[ -s $work/display ]]; do sleep 0.05; done
export DISPLAY=:$(head -1 "$work/display")
openbox >/dev/null 2>&1 &
pids+=($!)
wineboot --init >/dev/null 2>&1
wineserver -w

mkdir -p "$work/app"
cp -r "$bin"/. "$work/app/"
t0=$(now_ms)
(cd "$work/app" && WINEDEBUG=-all,warn+seh exec wine valumat.exe) >"$work/log" 2>&1 &
pids+=($!)
until grep -aq "valumat: bereit" "$work/log"; do sleep 0.005; done
echo "start-up until the hot keys are live (warm Wine prefix): $(($(now_ms) - t0)) ms"

wine notepad >/dev/null 2>&1 &
pids+=($!)
until xdotool search --onlyvisible --name "Notepad" >/dev/null 2>&1; do sleep 0.05; done
notepad=$(xdotool search --onlyvisible --name "Notepad" | head -1)
xdotool windowactivate --sync "$notepad"
sleep 1
runs=()
for i in $(seq 10); do
    xdotool key ctrl+a
    xdotool type --delay 10 "100"
    xdotool key ctrl+a
    sleep 0.3
    n=$(grep -ac erledigt "$work/log" || true)
    t0=$(now_ms)
    xdotool key ctrl+d
    until (($(grep -ac erledigt "$work/log" || true) > n)); do sleep 0.002; done
    runs+=($(($(now_ms) - t0)))
done
echo "hot key to converted text in notepad (script done, clipboard back; 100 ms is the script's SLEEP): $(printf '%s\n' "${runs[@]}" | median) ms"

pid=$(pgrep -f 'valumat.exe' | head -1)
rss=$(awk '/VmRSS/ { print $2 }' "/proc/$pid/status")
echo "idle resident memory of the valumat.exe process: $((rss / 1024)) MiB"
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
before=$(ticks)
sleep "$idle"
after=$(ticks)
echo "CPU time while idle: $(((after - before) * 1000 / $(getconf CLK_TCK))) ms in ${idle} s"
