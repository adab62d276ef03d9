#!/usr/bin/env bash
# Builds the release artefacts into dist/:
#   dist/valumat_VERSION_amd64.deb      the Debian package (from the release build, preset default)
#   dist/valumat-VERSION-setup.exe      the Windows installer (NSIS, from the preset windows)
#   dist/valumat-VERSION-win32.zip      the portable Windows programs with their data files
# and checks them: lintian (no errors) on the package, appstreamcli on the metainfo. The version is the project's
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
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs" --target valumat valumat-convert
bin=$root/build/windows/bin
setup=dist/valumat-${version}-setup.exe
makensis -V2 -DVERSION="$version" -DBINDIR="$bin" -DRESDIR="$root/src/platform/win32/res" \
    -DOUTFILE="$root/$setup" packaging/windows/valumat.nsi

# The zip: one folder Valumat with the programs and the data files side by side (portable use).
mkdir -p "$staging/zip/Valumat/hilfe"
cp "$bin/valumat.exe" "$bin/valumat-convert.exe" "$staging/zip/Valumat/"
for file in waehrungen.dat tasten.dat options.dat keypress.txt keypressexcel.txt readme.txt hilfe/keypress.html; do
    cp "$root/data/$file" "$staging/zip/Valumat/$file"
done
zip=dist/valumat-${version}-win32.zip
rm -f "$zip"
(cd "$staging/zip" && zip -q -X -r "$root/$zip" Valumat)

for artefact in "$deb" "$setup" "$zip"; do
    printf '%10d  %s\n' "$(stat -c %s "$artefact")" "$artefact"
done
