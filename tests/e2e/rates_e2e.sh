#!/usr/bin/env bash
# The tray menu's "Kurse aktualisieren (EZB)" end to end under Xvfb: Valumat starts minimised on a copy of the
# shipped data, the menu entry loads a rates file (VALUMAT_RATES_URL stands in for the bank's address), the balloon
# says how many rates of which day, the currency file holds them and the tooltip names their day.
#
#   tests/e2e/rates_e2e.sh BIN_DIR [SCREENSHOT_DIR]
set -euo pipefail

bin=$(cd "${1:?usage: rates_e2e.sh BIN_DIR [SCREENSHOT_DIR]}" && pwd)
shots=${2:-}
[[ -n $shots ]] && mkdir -p "$shots"
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"
need_tools Xvfb openbox trayer xdotool dbus-launch import

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    [[ -n ${DBUS_SESSION_BUS_PID:-} ]] && kill "$DBUS_SESSION_BUS_PID" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    cat "$work/valumat.log" >&2 2>/dev/null || true
    exit 1
}

start_session "$work"
trayer --edge top --align right --widthtype request --height 24 --SetDockType true >"$work/trayer.log" 2>&1 &
pids+=($!)
wait_for 10 "the tray host" xdotool search --class trayer

mkdir -p "$work/app"
cp -r "$bin"/. "$work/app/"
printf 'autostart: 0\r\nminimiert: 1\r\n"exceloptimiert: 0"\r\n' >"$work/app/options.dat"
cat >"$work/rates.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<gesmes:Envelope xmlns:gesmes="http://www.gesmes.org/xml/2002-08-01" xmlns="http://www.ecb.int/vocabulary/2002-08-01/eurofxref">
<Cube><Cube time='2026-12-08'>
<Cube currency='USD' rate='1.1642'/><Cube currency='JPY' rate='180.42'/><Cube currency='GBP' rate='0.87405'/>
<Cube currency='CHF' rate='0.9368'/><Cube currency='BGN' rate='1.9558'/><Cube currency='ZAR' rate='19.7520'/>
</Cube></Cube></gesmes:Envelope>
EOF
VALUMAT_RATES_URL=$work/rates.xml "$work/app/valumat" >"$work/valumat.log" 2>&1 &
pids+=($!)
wait_for 20 "Valumat started" grep -q "valumat: bereit" "$work/valumat.log"
wait_for 10 "the tray icon" sh -c 'xwininfo -root -tree | grep -q "\"Valumat\": (\"valumat\""'
icon=$(xwininfo -root -tree | grep '"Valumat": ("valumat"' | grep -o '+[0-9]*+[0-9]*$' | head -1)
icon_x=$(cut -d+ -f2 <<<"$icon")
icon_y=$(cut -d+ -f3 <<<"$icon")

xdotool mousemove $((icon_x + 11)) $((icon_y + 11)) click 3
sleep 1
[[ -n $shots ]] && import -window root -crop 520x300+760+0 "$shots/linux-kurse-menue.png"
# Tastenbelegung, Währungen, Optionen, Info, the mode switch, "Kurse aktualisieren (EZB)".
xdotool key Down Down Down Down Down Down Return
wait_for 10 "the balloon" grep -q "Valumat: 4 Kurse vom 08.12.2026 aktualisiert" "$work/valumat.log"
sleep 1
[[ -n $shots ]] && import -window root -crop 560x200+720+0 "$shots/linux-kurse-meldung.png"
iconv -f WINDOWS-1252 -t UTF-8 "$work/app/waehrungen.dat" | grep -q "^US-Dollar; USD ;Vereinigte Staaten; 1,1642; 0,858959; 0; 2"$'\r'"$" ||
    fail "the currency file lacks the new US-Dollar rate"
grep -q "^datum: 2026-12-08"$'\r'"$" "$work/app/kurse.dat" || fail "kurse.dat: $(cat "$work/app/kurse.dat")"
echo "rates: the tray menu's update wrote 4 rates of 08.12.2026 and said so"
