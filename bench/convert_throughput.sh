#!/usr/bin/env bash
# Times valumat-convert over 1,000,000 lines of standard input (the shipped data, binding 0) and prints the figures.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/default/bin/valumat-convert}
input=$(mktemp)
trap 'rm -f "$input"' EXIT
awk 'BEGIN { srand(7); for (i = 0; i < 1000000; i++) {
    r = int(rand() * 5)
    if (r == 0) printf "%d\n", int(rand() * 100000)
    else if (r == 1) printf "%d.%03d,%02d\n", int(rand() * 999), int(rand() * 1000), int(rand() * 100)
    else if (r == 2) printf "%d,%03d.%02d\n", int(rand() * 999), int(rand() * 1000), int(rand() * 100)
    else if (r == 3) printf " %d,%d \n", int(rand() * 1000), int(rand() * 10)
    else printf "EUR %d\n", int(rand() * 100)
} }' >"$input"
start=$(date +%s.%N)
"$bin" --dir data --binding 0 <"$input" | wc -l
end=$(date +%s.%N)
awk -v s="$start" -v e="$end" 'BEGIN { t = e - s; printf "1000000 lines in %.2f s: %.0f lines/s\n", t, 1000000 / t }'
