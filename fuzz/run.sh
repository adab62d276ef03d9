#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz": clang, libFuzzer, AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# each one in turn for the given number of seconds (default 30), one process at a time.
#
#   fuzz/run.sh [seconds] [target...]      e.g.  fuzz/run.sh 600 roundtrip
#
# The seed corpus in fuzz/corpus/<target>/ is only read; what the fuzzer learns goes to build/fuzz/corpus/<target>/
# and crashing inputs to build/fuzz/artifacts/. Extra libFuzzer flags can be passed in FUZZ_FLAGS. Exits non-zero
# as soon as a target finds a crash or a broken invariant.
#
# FUZZ_PRESET=fuzz-long uses the build without AddressSanitizer (UndefinedBehaviorSanitizer and the invariants of
# each target still abort), for long runs such as
#   FUZZ_PRESET=fuzz-long FUZZ_FLAGS="-runs=10000000 -max_len=4096" fuzz/run.sh 100000
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
    targets=(read_rates read_keylist read_options read_keypress convert press script roundtrip)
fi

preset=${FUZZ_PRESET:-fuzz}
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "${JOBS:-2}"

out=build/$preset
mkdir -p "$out/artifacts"
for target in "${targets[@]}"; do
    binary="$out/fuzz/fuzz_$target"
    [[ -x $binary ]] || { echo "unknown fuzz target: $target" >&2; exit 2; }
    mkdir -p "$out/corpus/$target"
    echo "== fuzz $target (${seconds}s)"
    log="$out/fuzz-$target.log"
    # shellcheck disable=SC2086
    if ! "$binary" "$out/corpus/$target" "fuzz/corpus/$target" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 -artifact_prefix="$out/artifacts/$target-" \
        ${FUZZ_FLAGS:-} >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "fuzz $target: FAILED (log: $log)" >&2
        exit 1
    fi
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$log" | tr '\n' ' '
    echo
done
echo "fuzz: ${#targets[@]} passed, 0 failed"
