#!/usr/bin/env bash
# Valumat end to end against LibreOffice on a virtual X display, on both of its X11 backends (gen: plain Xlib,
# gtk3), German locale: Writer (an amount and a text) and Calc in spreadsheet mode. Each conversion is checked
# through the document as the application copies it, the user's clipboard afterwards, the keys' state and
# LibreOffice still running. The second half of each case's conversions runs with a clipboard manager (parcellite)
# that puts its last text back whenever the clipboard becomes empty.
#
#   tests/e2e/office_e2e.sh BIN_DIR
#
# OFFICE_CASES picks cases (default "writer-gen writer-gtk3 calc-gen calc-gtk3"); OFFICE_RUNS sets the conversions
# per case (default 10). Prints "CASE: PASSED/RUNS" per case and fails when a conversion failed; one miss per case
# (the amount left as it was, Valumat saying the application did not copy or paste) is counted, not failed.
set -euo pipefail

bin=$(cd "${1:?usage: office_e2e.sh BIN_DIR}" && pwd)
cases=${OFFICE_CASES:-writer-gen writer-gtk3 calc-gen calc-gtk3}
runs=${OFFICE_RUNS:-10}
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"
need_tools Xvfb openbox xdotool xclip soffice parcellite localedef dbus-launch python3
[[ -e /usr/share/i18n/locales/de_DE ]] || { echo "SKIP: the de_DE locale source is missing"; exit 77; }
program=/usr/lib/libreoffice/program
declare -A installed=([writer]=libswlo.so [calc]=libsclo.so [gen]=libvclplug_genlo.so [gtk3]=libvclplug_gtk3lo.so)

begin_run
start_german_session "$work"
office_profile "$work/office"
mkdir -p "$work/app"
cp -r "$bin"/. "$work/app/"

# start_valumat SPREADSHEET_MODE: Valumat on a copy of the shipped data, minimised, in normal (0) or spreadsheet (1)
# mode.
start_valumat() {
    printf 'autostart: 0\r\nminimiert: 1\r\nexceloptimiert: %s\r\n' "$1" >"$work/app/options.dat"
    VALUMAT_TRACE_CLIPBOARD=1 "$work/app/valumat" >"$work/valumat.log" 2>&1 &
    valumat_pid=$!
    pids+=("$valumat_pid")
    wait_for 20 "Valumat started" grep -q "valumat: bereit" "$work/valumat.log"
}
stop_valumat() {
    kill "$valumat_pid" 2>/dev/null || true
    wait "$valumat_pid" 2>/dev/null || true
}

# The document as LibreOffice copies it: Writer's whole text, Calc's current cell (the copy mark cleared after).
writer_text() { try_copied_text ctrl+a ctrl+c; }
writer_has() { [[ "$(writer_text)" == "$1" ]]; }
cell_text() {
    local text
    text=$(try_copied_text ctrl+c | tr -d '\r\n') || return 1
    xdotool key Escape
    printf '%s' "$text"
}
cell_is() { [[ "$(cell_text)" == "$1" ]]; }
# A1 and B1 hold the texts given, as Calc copies them.
a1_is() { xdotool key --clearmodifiers ctrl+Home && cell_is "$1"; }
b1_is() { xdotool key --clearmodifiers ctrl+Home Right && cell_is "$1"; }

# Opens the document for the case; a crash restarts it (and is counted against the run it happened in).
open_document() {
    start_office "$work/office" "$backend" "$module" "$work/office-$backend-$module.log"
    if [[ $module == calc ]]; then
        # B1 computes with A1, so that a converted A1 shows whether it holds a number (A1 empty: B1 shows 0). The
        # test's own typing, tried again when Calc on a loaded machine let a key go by.
        local try
        for try in 1 2 3; do
            xdotool key --clearmodifiers ctrl+Home Right
            xdotool type --delay 20 "=A1*2"
            xdotool key Return
            poll_until 5 b1_is 0 && break
            xdotool key --clearmodifiers ctrl+a Delete
        done
    fi
}

problems=()
mark=0 unchanged=0 missed=0
# convert_once AMOUNT EXPECTED [FORMULA]: puts AMOUNT in the document (Writer: the whole text; Calc: A1), selects
# it, presses Ctrl+D and checks the document, the clipboard, the keys and LibreOffice. Records problems.
convert_once() {
    local amount=$1 expected=$2 formula=${3:-} before="vorher $RANDOM"
    problems=()
    focus_office || true
    if [[ $module == writer ]]; then
        xdotool key --clearmodifiers ctrl+a
        xdotool type --delay 10 "$amount"
        poll_until 5 writer_has "$amount" || { problems+=("could not put [$amount] in the document"); return 1; }
        xdotool key --clearmodifiers ctrl+a
    else
        # The test's own typing, tried twice (Calc on a loaded machine may let the jump to A1 go by).
        local try
        for try in 1 2; do
            xdotool key --clearmodifiers ctrl+Home
            xdotool type --delay 10 "$amount"
            xdotool key Return
            poll_until 5 a1_is "$amount" && break
            ((try == 1)) || { problems+=("could not put [$amount] in A1"); return 1; }
        done
        xdotool key --clearmodifiers ctrl+Home
    fi
    clip_set "$before"
    local n
    n=$(done_count)
    mark=$(log_mark)
    xdotool key ctrl+d
    poll_until 10 done_more_than "$n" || problems+=("the conversion did not end within 10 s")
    poll_until 1.5 clip_is "$before" || problems+=("the clipboard holds [$(clip_get)], not the user's [$before]")
    [[ "$(keys_down)" == 0 ]] || problems+=("keys left down")
    if ! kill -0 "$office_pid" 2>/dev/null; then
        problems+=("LibreOffice ended")
        open_document
        return 1
    fi
    local dialogs
    dialogs=$(close_dialogs "$office_pid" "$office_win")
    [[ -z $dialogs ]] || problems+=("LibreOffice showed [$dialogs]")
    focus_office || true
    local others=${#problems[@]}
    unchanged=0
    if [[ $module == writer ]]; then
        if ! poll_until 1.5 writer_has "$expected"; then
            local text
            text=$(writer_text) || text=""
            problems+=("the document holds [$text], not [$expected]")
            [[ $text == "$amount" ]] && unchanged=1
        fi
    else
        if ! poll_until 1.5 a1_is "$expected"; then
            local cell
            cell=$(xdotool key ctrl+Home && cell_text) || cell=""
            problems+=("A1 holds [$cell], not [$expected]")
            [[ $cell == "$amount" ]] && unchanged=1
        elif ! poll_until 1.5 b1_is "$formula"; then
            problems+=("=A1*2 gives [$(xdotool key ctrl+Home Right; cell_text)], not [$formula]")
        fi
    fi
    # A miss: nothing wrong but the amount left as it was, and Valumat said why (the application did not copy, did
    # not hand over the text, or did not fetch the paste). The document is intact; the conversion is lost.
    if ((others == 0 && unchanged)) && log_since "$mark" | grep -q "nichts eingefügt\|nicht herausgegeben\|nicht abgeholt"; then
        missed=1
    else
        missed=0
    fi
    ((${#problems[@]} == 0))
}

failed=0
summary=()
for case in $cases; do
    module=${case%-*}
    backend=${case#*-}
    if [[ -z ${installed[$module]:-} || -z ${installed[$backend]:-} ]]; then
        fail "unknown case $case (cases: writer-gen writer-gtk3 calc-gen calc-gtk3)"
    fi
    if [[ ! -e $program/${installed[$module]} || ! -e $program/${installed[$backend]} ]]; then
        echo "$case: skipped (LibreOffice's $module or $backend backend is not installed)"
        continue
    fi
    start_valumat "$([[ $module == calc ]] && echo 1 || echo 0)"
    open_document
    passed=0 misses=0 texts=0 texts_passed=0 manager=""
    for ((i = 1; i <= runs; i++)); do
        if ((i == runs / 2 + 1)); then
            start_parcellite
            manager=" (clipboard manager)"
        fi
        if [[ $module == writer ]]; then
            convert_once "100" "195,58" && ok=1 || ok=0
        else
            convert_once "12345,6" "24145,89" "48291,78" && ok=1 || ok=0
        fi
        if ((ok)); then
            passed=$((passed + 1))
        else
            ((missed)) && misses=$((misses + 1))
            echo "  $case run $i$manager: $( ((missed)) && echo "missed, ")$(IFS=';'; echo "${problems[*]}")"
            log_since "$mark"
            artifact "$case-$i"
        fi
        # A text that is not an amount stays as it is: once without, once with the clipboard manager.
        if [[ $module == writer ]] && ((i == 1 || i == runs)); then
            texts=$((texts + 1))
            if convert_once "Betrag 100" "Betrag 100"; then
                texts_passed=$((texts_passed + 1))
            else
                echo "  $case text$manager: $(IFS=';'; echo "${problems[*]}")"
                log_since "$mark"
                artifact "$case-text-$i"
            fi
        fi
    done
    [[ -n $manager ]] && stop_parcellite
    stop_office
    stop_valumat
    line="$case: $passed/$runs"
    ((misses)) && line+=" ($misses missed, the amount left as it was)"
    ((texts)) && line+=" (text left alone: $texts_passed/$texts)"
    echo "$line"
    summary+=("$line")
    # One miss per case is tolerated: LibreOffice on a loaded machine now and then lets a paste go by (no request
    # for the result at all within 2 s); the document stays intact and Valumat says so. Anything else fails.
    ((passed + misses == runs && misses <= 1 && texts_passed == texts)) || failed=1
done

((failed == 0)) || fail "$(IFS=','; echo "${summary[*]}")"
echo "PASS"
