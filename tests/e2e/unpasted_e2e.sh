#!/usr/bin/env bash
# A result the application does not take, end to end under Xvfb: a read-only text (zenity's text view) copies but
# does not paste. The user's clipboard comes back, the result is told through the notification service (here a
# small one of the test's own, tests/e2e/notify_server.py: no tray icon in this session) as "100 Euro = 195,58
# Deutsche Mark", and a click on the notification puts it on the clipboard.
#
#   tests/e2e/unpasted_e2e.sh BIN_DIR
set -euo pipefail

bin=$(cd "${1:?usage: unpasted_e2e.sh BIN_DIR}" && pwd)
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"
need_tools Xvfb openbox xdotool xclip zenity dbus-launch /usr/bin/python3
begin_run
trap 'cat "$work/notify.log" >&2 2>/dev/null; end_session' EXIT
start_session "$work"

/usr/bin/python3 "$(dirname "$0")/notify_server.py" "$work/notifications.txt" >"$work/notify.log" 2>&1 &
pids+=($!)
wait_for 10 "the notification service" dbus-send --session --print-reply --dest=org.freedesktop.Notifications \
    /org/freedesktop/Notifications org.freedesktop.Notifications.GetCapabilities

mkdir -p "$work/app"
cp -r "$bin"/. "$work/app/"
"$work/app/valumat" >"$work/valumat.log" 2>&1 &
pids+=($!)
wait_for 20 "Valumat started" grep -q "valumat: bereit" "$work/valumat.log"
xdotool search --sync --name "^Valumat" windowminimize 2>/dev/null || true

# A selectable label: it copies its selection but takes no paste (it does not even ask for the clipboard, as a web
# page does not; a read-only text view would fetch the text and then drop it, which no program can tell apart).
zenity --info --title=Seite --text="Preis: 100" --no-wrap >/dev/null 2>&1 &
pids+=($!)
page=$(xdotool search --sync --name "^Seite$" | head -1)
xdotool windowactivate --sync "$page"
sleep 0.5
# A double click on the amount selects it (the label's last word: its right end, a little in from the edge).
label=$(xwininfo -id "$page" | awk '/Width:/ { print $2 }')
xdotool mousemove --window "$page" $((label - 20)) 20 click --repeat 2 --delay 80 1
sleep 0.3
clip_set "MEIN TEXT"
xdotool key ctrl+d
message="Nicht eingefügt – ein Klick kopiert das Ergebnis: 100 Euro = 195,58 Deutsche Mark"
wait_for 10 "the notification" grep -qF "$message" "$work/notifications.txt"
grep -qF "das Ergebnis wurde nicht abgeholt" "$work/valumat.log" || fail "the note of the result not fetched is missing"
clip_is "MEIN TEXT" || fail "the user's clipboard is not back: [$(clip_get)]"
echo "notification: $(tail -1 "$work/notifications.txt")"

dbus-send --session --type=method_call --dest=org.freedesktop.Notifications /org/freedesktop/Notifications \
    org.freedesktop.Notifications.Invoke
wait_for 10 "the result on the clipboard after the click" clip_is "195,58"
echo "click: the result is on the clipboard"
echo PASS
