#!/usr/bin/env bash
# Builds the release artefacts into dist/:
#   dist/valumat_VERSION_amd64.deb      the Debian package (from the release build, preset default)
#   dist/valumat-VERSION-setup.exe      the Windows installer (NSIS, from the presets windows and windows64): the
#                                       64-bit program on 64-bit Windows, the 32-bit one elsewhere
#   dist/valumat-VERSION-win32.zip      the portable 32-bit Windows programs with their data files
#   dist/valumat-VERSION-win64.zip      the same with the 64-bit programs
# and build/package/valumat-VERSION-setup-amd64.exe, the installer built as a 64-bit program (not shipped: the test
# runs it where 32-bit programs cannot run). It checks them: lintian (no errors) on the package, appstreamcli on the metainfo. The version is the project's
# (CMakeLists.txt). Builds what is missing; an up-to-date build is only packaged.
set -euo pipefail
cd "$(dirname "$0")/.."
[[ ${VALUMAT_SKIP_SETUP:-} == 1 ]] || scripts/setup.sh
jobs=${JOBS:-2}
version=$(sed -n 's/^project(Valumat VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[[ -n $version ]] || { echo "package.sh: no version in CMakeLists.txt" >&2; exit 1; }
root=$PWD
staging=$root/build/package
rm -rf "$staging"
mkdir -p dist "$staging"

echo "== package: Debian"
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs" --target valumat valumat-convert valumat_packaging_docs
(cd build/default && cpack -G DEB -B "$staging/deb" >/dev/null)
deb=dist/valumat_${version}_amd64.deb
cp "$staging/deb/valumat_${version}_amd64.deb" "$deb"
appstreamcli validate --no-net packaging/linux/*.metainfo.xml
# Kept warning: national-encoding for the data files, which are Windows-1252 text by design (the file format).
lintian_status=0
lintian --fail-on error "$deb" >"$staging/lintian.txt" 2>&1 || lintian_status=$?
grep -v 'running with root privileges' "$staging/lintian.txt" || true
((lintian_status == 0)) || { echo "package.sh: lintian reports errors" >&2; exit 1; }

echo "== package: Windows"
# pe_bits: the machine of each executable must be the build's.
source tests/e2e/wine.sh
zips=()
for preset in windows windows64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs" --target valumat valumat-convert
    bits=32
    [[ $preset == windows64 ]] && bits=64
    objdump=i686-w64-mingw32-objdump
    [[ $bits == 64 ]] && objdump=x86_64-w64-mingw32-objdump
    for exe in valumat.exe valumat-convert.exe; do
        [[ $(pe_bits "build/$preset/bin/$exe") == "$bits" ]] || { echo "package.sh: $preset/$exe is not $bits-bit" >&2; exit 1; }
        # Nothing but system DLLs: the program is copied and run as it is.
        others=$("$objdump" -p "build/$preset/bin/$exe" | sed -n 's/^\tDLL Name: //p' |
            grep -viE '^(kernel32|user32|gdi32|comctl32|shell32|advapi32|msvcrt)\.dll$' || true)
        [[ -z $others ]] || { echo "package.sh: $preset/$exe needs $others" >&2; exit 1; }
    done
    # The zip: one folder Valumat with the programs and the data files side by side (portable use).
    rm -rf "$staging/zip$bits"
    mkdir -p "$staging/zip$bits/Valumat/hilfe"
    cp "build/$preset/bin/valumat.exe" "build/$preset/bin/valumat-convert.exe" "$staging/zip$bits/Valumat/"
    for file in waehrungen.dat tasten.dat options.dat keypress.txt keypressexcel.txt readme.txt hilfe/keypress.html; do
        cp "$root/data/$file" "$staging/zip$bits/Valumat/$file"
    done
    zip=dist/valumat-${version}-win$bits.zip
    rm -f "$zip"
    (cd "$staging/zip$bits" && zip -q -X -r "$root/$zip" Valumat)
    zips+=("$zip")
done
setup=dist/valumat-${version}-setup.exe
nsis=(-V2 -DVERSION="$version" -DBINDIR="$root/build/windows/bin" -DBINDIR64="$root/build/windows64/bin"
    -DRESDIR="$root/src/platform/win32/res")
makensis "${nsis[@]}" -DOUTFILE="$root/$setup" packaging/windows/valumat.nsi
[[ $(pe_bits "$setup") == 32 ]] || { echo "package.sh: the installer is not a 32-bit program" >&2; exit 1; }
makensis "${nsis[@]}" -DAMD64 -DOUTFILE="$staging/valumat-${version}-setup-amd64.exe" packaging/windows/valumat.nsi

for artefact in "$deb" "$setup" "${zips[@]}"; do
    printf '%10d  %s\n' "$(stat -c %s "$artefact")" "$artefact"
done
