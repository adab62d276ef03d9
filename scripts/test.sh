#!/usr/bin/env bash
# Builds Valumat and runs every test: the release build and the sanitizer build, plus the format check.
# With FUZZ_SECONDS set, or in CI (CI=true, 20 s per target), the fuzz targets run too (fuzz/run.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=${JOBS:-2}

echo "== format"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

for preset in windows windows64; do
    echo "== build: $preset (mingw-w64, run under Wine by the release build's tests)"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
done
# Which Windows build each Windows test ran with, under which loader (tests/win32/each_build.sh, package_e2e.sh).
export VALUMAT_WINE_RECORD=$PWD/build/windows-tests.txt
rm -f "$VALUMAT_WINE_RECORD"

# A German locale for the tests that check that the user's locale changes nothing (built here: Debian's locales
# package ships the sources, not the compiled locale).
locales=$PWD/build/locale
if [[ ! -e $locales/de_DE.UTF-8 ]] && command -v localedef >/dev/null; then
    mkdir -p "$locales"
    localedef -i de_DE -f UTF-8 "$locales/de_DE.UTF-8" >/dev/null 2>&1 || true
fi
export LOCPATH=$locales

for preset in default asan; do
    echo "== build and test: $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
done

echo "== package: the .deb, the Windows installer and the zip, installed and run end to end"
start=$SECONDS
VALUMAT_SKIP_SETUP=1 JOBS=$jobs scripts/package.sh
status=0
tests/e2e/package_e2e.sh dist || status=$?
((status == 0 || status == 77)) || exit "$status"
echo "package: $((SECONDS - start)) s"

echo "== Windows tests: build, loader, outcome"
cat "$VALUMAT_WINE_RECORD" 2>/dev/null || echo "(none ran)"

if [[ -n ${FUZZ_SECONDS:-} || ${CI:-} == true ]]; then
    echo "== fuzz: ${FUZZ_SECONDS:-20} s per target"
    fuzz/run.sh "${FUZZ_SECONDS:-20}"
fi
