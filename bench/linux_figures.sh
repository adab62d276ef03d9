#!/usr/bin/env bash
# Figures of the Linux program on a private Xvfb (not a test): hot key to changed text in an editor, the editor's
# own copy round trip, start-up until the hot keys are live (shipped data and 32000 currencies with 201 bindings),
# idle memory and wake-ups while idle.
#
#   bench/linux_figures.sh [BIN_DIR] [IDLE_SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(cd "${1:-build/default/bin}" && pwd)
idle=${2:-60}
# shellcheck source=tests/e2e/lib.sh
source tests/e2e/lib.sh
begin_run
now_ms() { echo $(($(date +%s%N) / 1000000)); }

start_session "$work"

# start_valumat DIR: prints the milliseconds from the start until the hot keys are live ("bereit").
start_valumat() {
    local dir=$1 t0
    t0=$(now_ms)
    "$dir/valumat" >"$dir/log" 2>&1 &
    pids+=($!)
    echo $! >"$dir/pid"
    until grep -q "valumat: bereit" "$dir/log" 2>/dev/null; do sleep 0.005; done
    echo $(($(now_ms) - t0))
}

mkdir -p "$work/shipped" "$work/large"
cp -r "$bin"/. "$work/shipped/"
cp -r "$bin"/. "$work/large/"
awk 'BEGIN { for (i = 0; i < 32000; i++) printf "Waehrung %05d; W%03d ;Land; 1,95583; 0,5112919; 0; 2\r\n", i, i % 1000
             printf "Euro; EUR ;EU; 1; 1; 1; 2\r\n" }' >"$work/large/waehrungen.dat"
awk 'BEGIN { for (i = 0; i < 201; i++) printf "Euro#:#Waehrung %05d#:#-#:#F%d#:#0#:##:#2#:#,\r\n", i, (i % 12) + 1 }' \
    >"$work/large/tasten.dat"

large=()
for i in 1 2 3; do
    large+=("$(start_valumat "$work/large")")
    kill "$(cat "$work/large/pid")"
    sleep 0.3
done
echo "start-up to hot keys live, 32000 currencies and 201 bindings: $(printf '%s\n' "${large[@]}" | median) ms"

shipped=$(start_valumat "$work/shipped")
echo "start-up to hot keys live, shipped data: $shipped ms"
pid=$(cat "$work/shipped/pid")

mousepad "$work/doc.txt" >/dev/null 2>&1 &
pids+=($!)
until xdotool search --onlyvisible --class mousepad >/dev/null 2>&1; do sleep 0.05; done
editor=$(xdotool search --onlyvisible --class mousepad | head -1)
xdotool windowactivate --sync "$editor"
sleep 0.5
clip() { xclip -o -selection clipboard 2>/dev/null; }

# The editor's own copy: Ctrl+C until the text is on the clipboard.
copies=()
for i in $(seq 10); do
    xdotool key ctrl+a
    xdotool type --delay 5 "$((100 + i))"
    xdotool key ctrl+a
    printf 'sentinel' | xclip -selection clipboard -i
    sleep 0.1
    t0=$(now_ms)
    xdotool key ctrl+c
    until [[ "$(clip)" == "$((100 + i))" ]]; do sleep 0.002; done
    copies+=($(($(now_ms) - t0)))
done
echo "the editor's own Ctrl+C until the clipboard holds the text: $(printf '%s\n' "${copies[@]}" | median) ms"

# Hot key to changed text: from the key press until the script has finished and the text is in the editor.
runs=()
for i in $(seq 10); do
    xdotool key ctrl+a
    xdotool type --delay 5 "100"
    xdotool key ctrl+a
    sleep 0.2
    n=$(grep -c erledigt "$work/shipped/log" || true)
    t0=$(now_ms)
    xdotool key ctrl+d
    until (($(grep -c erledigt "$work/shipped/log" || true) > n)); do sleep 0.002; done
    runs+=($(($(now_ms) - t0)))
done
echo "hot key to converted text (script done, clipboard back; 100 ms of it is the script's SLEEP): $(printf '%s\n' "${runs[@]}" | median) ms"

rss=$(awk '/VmRSS/ { print $2 }' "/proc/$pid/status")
echo "idle resident memory: $((rss / 1024)) MiB"
before=$(awk '/^voluntary_ctxt_switches/ { v = $2 } /^nonvoluntary_ctxt_switches/ { n = $2 } END { print v + n }' "/proc/$pid/status")
sleep "$idle"
after=$(awk '/^voluntary_ctxt_switches/ { v = $2 } /^nonvoluntary_ctxt_switches/ { n = $2 } END { print v + n }' "/proc/$pid/status")
echo "wake-ups while idle: $((after - before)) in ${idle} s"
