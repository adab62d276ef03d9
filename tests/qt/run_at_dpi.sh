#!/usr/bin/env bash
# Runs a Qt test program on a private Xvfb whose resolution (Xft.dpi) is DPI, e.g. the layout tests at 144 dpi:
#
#   tests/qt/run_at_dpi.sh 144 build/default/tests/qt/valumat_qt_tests --gtest_filter=QtLayout.*
#
# Qt 6 shows such a screen with a device pixel ratio of DPI/96: the widgets' pixels are scaled, their fonts too.
set -euo pipefail
dpi=${1:?usage: run_at_dpi.sh DPI PROGRAM [arguments]}
shift
for tool in Xvfb xprop; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
work=$(mktemp -d)
# -noreset: the resolution set below stays on the root window between clients.
Xvfb -displayfd 3 -noreset -screen 0 1920x1200x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do
    [[ -s $work/display ]] && break
    sleep 0.1
done
export DISPLAY=:$(head -1 "$work/display")
xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "$(printf 'Xft.dpi:\t%s\n' "$dpi")"
QT_QPA_PLATFORM=xcb "$@"
