#!/usr/bin/env bash
# Figures of the Linux program under KDE Plasma on Wayland (not a test): the end-to-end run in a headless KWin with
# its figures switched on: start-up until the hot keys are set in KGlobalAccel, hot key to converted text in
# Mousepad (GTK's Wayland backend), idle memory and wake-ups while idle. Compare with bench/wayland_figures.sh (sway)
# and bench/linux_figures.sh (X11).
#
#   bench/kwin_figures.sh [BUILD_DIR] [IDLE_SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
E2E_FIGURES=${2:-60} E2E_RUNS=${E2E_RUNS:-5} tests/e2e/kwin_e2e.sh "$build/bin" "$build/tests/wayland/valumat_wlkeys" \
    packaging/linux | grep -E "^(figure|valumat: ready|PASS|FAIL)"
