#!/usr/bin/env bash
# Valumat and a clipboard history on a virtual X display: CopyQ keeps every new clipboard content, except content
# that carries the password managers' hint (configured as its users configure it: an automatic command for the
# format x-kde-passwordManagerHint that runs "copyq ignore"). The user has "MY OWN CLIP" on the clipboard; ten
# amounts are converted in Mousepad, one per line. Afterwards no result is in the history, "MY OWN CLIP" is its
# newest entry and still on the clipboard, and the document holds the ten results (read from the saved file, not
# through the clipboard, which would add entries of its own). Then the user's content carries the hint itself (a
# password): after a conversion it is back with its hint, and the history has not kept it.
#
#   tests/e2e/history_e2e.sh BIN_DIR
set -euo pipefail

bin=$(cd "${1:?usage: history_e2e.sh BIN_DIR}" && pwd)
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"
need_tools Xvfb openbox xdotool xclip mousepad copyq dbus-launch python3 localedef

begin_run
start_german_session "$work"

# --- CopyQ, with the command that leaves hinted content out --------------------------------------------------------
mkdir -p "$XDG_CONFIG_HOME/copyq"
cat >"$XDG_CONFIG_HOME/copyq/copyq-commands.ini" <<'EOF'
[Commands]
1\Automatic=true
1\Command=copyq ignore
1\Input=x-kde-passwordManagerHint
1\Name=Passwort nicht aufnehmen
size=1
EOF
copyq >"$work/copyq.log" 2>&1 &
pids+=($!)
wait_for 20 "CopyQ answering" copyq count
history_newest_is() { [[ "$(copyq read 0)" == "$1" ]]; }
copyq_sees() {
    clip_set "$1"
    poll_until 0.5 history_newest_is "$1"
}
# CopyQ watches the clipboard a moment after it answers: the first texts may pass unseen (and a text it saw once
# is no news to it), so each try is a new one.
probes=0
copyq_watching() {
    probes=$((probes + 1))
    copyq_sees "probe $probes"
}
wait_for 20 "CopyQ keeping the clipboard" copyq_watching
history_items() { # every entry's text, newest first, one per line
    local k count
    count=$(copyq count)
    for ((k = 0; k < count; k++)); do
        copyq read "$k" | tr '\n' ' '
        echo
    done
}

# --- Valumat and the editor ----------------------------------------------------------------------------------------
mkdir -p "$work/app"
cp -r "$bin"/. "$work/app/"
printf 'autostart: 0\r\nminimiert: 1\r\nexceloptimiert: 0\r\n' >"$work/app/options.dat"
LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 VALUMAT_TRACE_CLIPBOARD=1 "$work/app/valumat" >"$work/valumat.log" 2>&1 &
pids+=($!)
wait_for 20 "Valumat started" grep -q "valumat: bereit" "$work/valumat.log"

touch "$work/dokument.txt"
mousepad "$work/dokument.txt" >"$work/mousepad.log" 2>&1 &
pids+=($!)
wait_for 20 "the editor window" xdotool search --onlyvisible --class mousepad
editor=$(xdotool search --onlyvisible --class mousepad | head -1)
focus_editor() { xdotool windowactivate --sync "$editor" && xdotool windowfocus --sync "$editor"; }
wait_for 10 "the editor focused" focus_editor
# The document as saved (Ctrl+S), without going through the clipboard.
saved_is() {
    xdotool key --clearmodifiers ctrl+s
    poll_until 1 sh -c '[ "$(cat "$1")" = "$2" ]' - "$work/dokument.txt" "$1"
}

amounts=(100 110 120 130 140 150 160 170 180 190)
results=(195,58 215,14 234,70 254,26 273,82 293,37 312,93 332,49 352,05 371,61)
typing=()
for k in "${!amounts[@]}"; do
    typing+=($(sed 's/./& /g' <<<"${amounts[$k]}"))
    ((k < ${#amounts[@]} - 1)) && typing+=(Return)
done
xdotool key --clearmodifiers --delay 5 "${typing[@]}"
wait_for 5 "the amounts typed" saved_is "$(printf '%s\n' "${amounts[@]}" | head -c -1)"

# --- ten conversions -----------------------------------------------------------------------------------------------
copyq_sees "MY OWN CLIP" || fail "CopyQ did not keep the user's text"
before=$(copyq count)
for k in "${!amounts[@]}"; do
    n=$(done_count)
    xdotool key --clearmodifiers ctrl+Home
    ((k == 0)) || xdotool key --clearmodifiers --repeat "$k" Down
    xdotool key --clearmodifiers Home shift+End
    xdotool key ctrl+d
    wait_for 5 "conversion $((k + 1))" done_more_than "$n"
done
wait_for 5 "the converted document" saved_is "$(printf '%s\n' "${results[@]}" | head -c -1)"
clip_is "MY OWN CLIP" || fail "the clipboard holds [$(clip_get)] instead of the user's text"
sleep 0.3 # CopyQ's last reading
items=$(history_items)
for result in "${results[@]}"; do
    ! grep -qxF "$result" <<<"$items" || fail "the history kept the result $result: $(tr '\n' '|' <<<"$items")"
done
history_newest_is "MY OWN CLIP" || fail "the history's newest entry is [$(copyq read 0)], not the user's text"
# Besides, the history may hold copies of the selection (the editor's own content), and the user's text once.
[[ $(grep -cxF "MY OWN CLIP" <<<"$items") == 1 ]] || fail "the user's text is in the history more than once"
echo "CopyQ: ${#results[@]} conversions, no result in the history ($before entries before, $(copyq count) after), \"MY OWN CLIP\" the newest"

# --- the user's password keeps its hint ----------------------------------------------------------------------------
secret="GEHEIM-$RANDOM"
copyq copy text/plain "$secret" x-kde-passwordManagerHint secret >/dev/null
wait_for 5 "the password on the clipboard" clip_is "$secret"
focus_editor
xdotool key --clearmodifiers ctrl+Home Home shift+End
n=$(done_count)
xdotool key ctrl+d
wait_for 5 "the conversion with a password on the clipboard" done_more_than "$n"
wait_for 5 "the clipboard back" clip_is "$secret"
hint=$(xclip -o -selection clipboard -t x-kde-passwordManagerHint 2>/dev/null) || hint=""
[[ $hint == secret ]] || fail "the password came back without its hint (x-kde-passwordManagerHint: [$hint])"
sleep 0.3
! history_items | grep -qF "$secret" || fail "the history kept the password"
echo "the user's password came back with its hint; the history did not keep it"
echo "PASS"
