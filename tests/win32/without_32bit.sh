#!/usr/bin/env bash
# Runs a command as on a machine whose kernel cannot run 32-bit programs: in a mount namespace of its own, the
# 32-bit program loader and Wine's 32-bit loader and server are replaced by a file no kernel can execute, so that
# every 32-bit program fails with "Exec format error". For trying the Windows tests' fallback to Wine's 64-bit
# loader on a machine that has 32-bit support (needs root, or unshare's rights), e.g.
#
#   tests/win32/without_32bit.sh tests/e2e/windows_e2e.sh build/windows64/bin
set -euo pipefail
(($#)) || { echo "usage: without_32bit.sh COMMAND [ARGUMENTS...]" >&2; exit 2; }
blocker=$(mktemp)
trap 'rm -f "$blocker"' EXIT
printf 'not a program\0\0\0\0' >"$blocker" # binary: no shell runs it as a script either
chmod +x "$blocker"
unshare -m bash -c '
    blocker=$1
    shift
    for file in /lib/ld-linux.so.2 /usr/lib/wine/wine /usr/lib/wine/wineserver32; do
        [[ -e $file ]] && mount --bind "$blocker" "$file"
    done
    exec "$@"' bash "$blocker" "$@"
