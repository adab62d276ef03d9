#!/usr/bin/env bash
# Runs one Windows test with every Windows build there is: the 32-bit program (build/windows) under Wine's 32-bit
# loader and the 64-bit one (build/windows64) under its 64-bit loader, each where its loader runs here (a kernel
# without 32-bit support runs only the 64-bit one).
#
#   tests/win32/each_build.sh NAME SCRIPT PATH [ARGUMENTS...]
#
# SCRIPT runs with the build's PATH (e.g. bin, tests/win32/valumat_backend_test.exe) and the ARGUMENTS; exit status
# 77 from it means it could not run there (it says why). VALUMAT_WINDOWS_BUILDS names the builds (default "windows
# windows64"). With VALUMAT_WINE_RECORD set, one line per build goes to that file: the test, the build, the loader
# and the outcome (scripts/test.sh prints them at the end).
#
# Exit status: 1 when a build failed; 0 when at least one ran and none failed; otherwise 77 (skipped, with the
# reasons), except with CI=true, where a test that ran under no loader at all fails.
set -uo pipefail

name=${1:?usage: each_build.sh NAME SCRIPT PATH [ARGUMENTS...]}
script=${2:?usage: each_build.sh NAME SCRIPT PATH [ARGUMENTS...]}
path=${3:?usage: each_build.sh NAME SCRIPT PATH [ARGUMENTS...]}
shift 3
root=$(cd "$(dirname "$0")/../.." && pwd)

record() {
    echo "== $name: $*"
    [[ -n ${VALUMAT_WINE_RECORD:-} ]] && printf '%-26s %s\n' "$name" "$*" >>"$VALUMAT_WINE_RECORD"
    return 0
}

passed=0
failed=0
reasons=()
for build in ${VALUMAT_WINDOWS_BUILDS:-windows windows64}; do
    if [[ $build == windows64 ]]; then loader="wine64 (64-bit prefix)"; else loader="wine (32-bit loader)"; fi
    target=$root/build/$build/$path
    if [[ ! -e $target ]]; then
        reasons+=("build/$build: not built (cmake --preset $build && cmake --build --preset $build)")
        record "build/$build  not built"
        continue
    fi
    echo "== $name: build/$build under $loader"
    start=$SECONDS
    "$script" "$target" "$@" 2>&1 | tee "${TMPDIR:-/tmp}/each_build.$$.log"
    status=${PIPESTATUS[0]}
    took=$((SECONDS - start))
    case $status in
    0)
        passed=$((passed + 1))
        record "build/$build  $loader  passed ($took s)"
        ;;
    77)
        why=$(grep -a '^SKIP: ' "${TMPDIR:-/tmp}/each_build.$$.log" | tail -1)
        why=${why#SKIP: }
        reasons+=("build/$build: ${why:-skipped}")
        record "build/$build  $loader  not run: ${why:-skipped}"
        ;;
    *)
        failed=$((failed + 1))
        record "build/$build  $loader  FAILED (exit status $status)"
        ;;
    esac
done
rm -f "${TMPDIR:-/tmp}/each_build.$$.log"

((failed == 0)) || exit 1
((passed > 0)) && exit 0
if [[ ${CI:-} == true ]]; then
    echo "FAIL: $name ran under no Wine loader:"
    printf '  %s\n' "${reasons[@]}"
    exit 1
fi
echo "SKIP: $name ran under no Wine loader:"
printf '  %s\n' "${reasons[@]}"
exit 77
