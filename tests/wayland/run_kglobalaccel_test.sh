#!/usr/bin/env bash
# Runs the KGlobalAccel test on a private session bus; skipped (77) without dbus-run-session or python3-dbus.
set -euo pipefail
command -v dbus-run-session >/dev/null || { echo "SKIP: dbus-run-session missing"; exit 77; }
/usr/bin/python3 -c "import dbus, gi" 2>/dev/null || { echo "SKIP: python3-dbus or python3-gi missing"; exit 77; }
exec dbus-run-session -- "$@"
