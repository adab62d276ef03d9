# Shared helpers of the end-to-end tests (sourced). The sourcing script defines fail() and the array pids.

# need_tools TOOL...: skips the test (exit 77) when one of the tools is missing.
need_tools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
    done
}

# done_count: how many hot keys Valumat's log ($work/valumat.log) says it handled ("erledigt"); done_more_than N,
# done_at_least N: compared with N.
done_count() { grep -ac "erledigt" "$work/valumat.log" || true; }
done_more_than() { (($(done_count) > $1)); }
done_at_least() { (($(done_count) >= $1)); }

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

# press_figures PREPARE PRESS...: ten conversions of a selected "100" (after the command PREPARE, typed with the
# script's type_amount), each timed from the hot key (the command PRESS...) to the script's end (converted text,
# clipboard back); then the resident memory of Valumat ($valumat_pid) and its wake-ups while idle for $E2E_FIGURES
# seconds. Printed, not asserted.
press_figures() {
    local prepare=$1 times=() n t0 rss before
    shift
    for _ in $(seq 10); do
        "$prepare"
        type_amount "100"
        clip_set "vorher"
        sleep 0.2
        n=$(done_count)
        t0=$(date +%s%N)
        "$@"
        until done_more_than "$n"; do sleep 0.002; done
        times+=($((($(date +%s%N) - t0) / 1000000)))
    done
    echo "figure: hot key to converted text (script done, clipboard back): $(printf '%s\n' "${times[@]}" | median) ms (median of 10: ${times[*]})"
    rss=$(awk '/VmRSS/ { print $2 }' "/proc/$valumat_pid/status")
    echo "figure: idle resident memory: $((rss / 1024)) MiB"
    before=$(context_switches)
    sleep "$E2E_FIGURES"
    echo "figure: wake-ups while idle: $(($(context_switches) - before)) in $E2E_FIGURES s"
}
context_switches() {
    awk '/^voluntary_ctxt_switches/ { v = $2 } /^nonvoluntary_ctxt_switches/ { n = $2 } END { print v + n }' \
        "/proc/$valumat_pid/status"
}

# wait_for SECONDS DESCRIPTION COMMAND...: polls the command every 50 ms until it succeeds, else fails.
wait_for() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || fail "timed out after ${seconds}s waiting for: $what"
        sleep 0.05
    done
}

# start_display WORK_DIR: a private Xvfb on a free display, then Openbox; exports DISPLAY.
start_display() {
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$1/display" 2>"$1/xvfb.log" &
    pids+=($!)
    wait_for 10 "Xvfb" test -s "$1/display"
    DISPLAY=:$(head -1 "$1/display")
    export DISPLAY
    openbox >"$1/openbox.log" 2>&1 &
    pids+=($!)
    wait_for 10 "the window manager" sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
}

# (xclip waits for the clipboard's owner without end: an owner that never answers, as Wine's clipboard bridge now
# and then does not on a busy machine, makes it a failed read that the caller's poll tries again, within 10 s.)
clip_get() { timeout 2 xclip -o -selection clipboard 2>/dev/null; }
clip_is() { [[ "$(clip_get)" == "$1" ]]; }
clip_is_not() { [[ "$(clip_get)" != "$1" ]]; }
clip_set() {
    # xclip stays as the owner until another program takes the clipboard: it must not hold the caller's output open
    # (a "$(...)" around a failing step would wait for it for ever).
    printf '%s' "$1" | xclip -selection clipboard -i >/dev/null 2>&1
    wait_for 5 "clipboard set" clip_is "$1"
}

# copied_text DESCRIPTION KEY...: what the focused application copies on the keys, read through a sentinel on the
# clipboard so that a stale value cannot pass.
copied_text() {
    local what=$1
    shift
    local sentinel="@@sentinel-$RANDOM$RANDOM@@"
    clip_set "$sentinel"
    xdotool key --clearmodifiers "$@"
    wait_for 10 "$what" clip_is_not "$sentinel"
    clip_get
}

# try_copied_text KEY...: as copied_text, but prints nothing and returns 1 when nothing was copied within 5 s.
# (The sentinel's owner must not hold the caller's output open: it lives until another program takes the
# clipboard.)
try_copied_text() {
    local sentinel="@@sentinel-$RANDOM$RANDOM@@"
    clip_set "$sentinel" >/dev/null 2>&1
    xdotool key --clearmodifiers "$@"
    poll_until 5 clip_is_not "$sentinel" || return 1
    clip_get
}

# The number of keys the X server holds down.
keys_down() {
    python3 - <<'PY'
import ctypes
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
d = x.XOpenDisplay(None)
keys = (ctypes.c_char * 32)()
x.XQueryKeymap(ctypes.c_void_p(d), keys)
print(sum(bin(b).count("1") for b in keys.raw))
PY
}

# artifact NAME: a screenshot of the display as $E2E_ARTIFACTS/NAME.png when E2E_ARTIFACTS names a folder.
artifact() {
    [[ -n ${E2E_ARTIFACTS:-} ]] || return 0
    mkdir -p "$E2E_ARTIFACTS"
    if import -window root "$E2E_ARTIFACTS/$1.png" 2>/dev/null; then echo "  screenshot: $E2E_ARTIFACTS/$1.png"; fi
    # Valumat's log as it was then (with VALUMAT_TRACE_CLIPBOARD=1 it shows every owner change and request).
    [[ -n ${work:-} && -e $work/valumat.log ]] && cp "$work/valumat.log" "$E2E_ARTIFACTS/$1-valumat.log"
    return 0
}

# poll_until SECONDS COMMAND...: polls the command every 50 ms until it succeeds; returns 1 after SECONDS instead of
# failing, for checks that are counted rather than fatal.
poll_until() {
    local deadline
    deadline=$(($(date +%s%N) / 1000000 + $(awk -v s="$1" 'BEGIN { printf "%d", s * 1000 }')))
    shift
    until "$@" >/dev/null 2>&1; do
        (($(date +%s%N) / 1000000 < deadline)) || return 1
        sleep 0.05
    done
}

# Empties the clipboard without owning it, as a program that ends leaves it.
clip_clear() {
    python3 - <<'PY'
import ctypes
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong]
x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
d = x.XOpenDisplay(None)
x.XSetSelectionOwner(d, x.XInternAtom(d, b"CLIPBOARD", 0), 0, 0)
x.XSync(d, 0)
PY
}

# build_de_locale DIR: compiles de_DE.UTF-8 into DIR, for LOCPATH=DIR; returns 1 when the locale sources are missing.
build_de_locale() {
    [[ -e /usr/share/i18n/locales/de_DE ]] || return 1
    mkdir -p "$1"
    localedef -i de_DE -f UTF-8 "$1/de_DE.UTF-8" >/dev/null 2>&1 || true
    [[ -e $1/de_DE.UTF-8 ]]
}

# office_profile DIR: a fresh LibreOffice user profile in DIR: German locale, no first-start dialog, no tip of the
# day, no what's-new bar, no word completion or automatic input, no automatic saving.
office_profile() {
    local version
    version=$(soffice --version 2>/dev/null | grep -o '[0-9]*\.[0-9]*' | head -1)
    mkdir -p "$1/user"
    local item='<item oor:path="%s"><prop oor:name="%s" oor:op="fuse"><value>%s</value></prop></item>\n'
    {
        echo '<?xml version="1.0" encoding="UTF-8"?>'
        echo '<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">'
        # shellcheck disable=SC2059
        {
            printf "$item" /org.openoffice.Office.Common/Misc FirstRun false
            printf "$item" /org.openoffice.Office.Common/Misc ShowTipOfTheDay false
            printf "$item" /org.openoffice.Setup/Office ooSetupInstCompleted true
            printf "$item" /org.openoffice.Setup/Product ooSetupLastVersion "${version:-7.4}"
            printf "$item" /org.openoffice.Setup/Product LastTimeDonateShown 2147483647
            printf "$item" /org.openoffice.Setup/Product LastTimeGetInvolvedShown 2147483647
            printf "$item" /org.openoffice.Setup/L10N ooSetupSystemLocale de-DE
            printf "$item" /org.openoffice.Office.Recovery/AutoSave Enabled false
            printf "$item" /org.openoffice.Office.Writer/AutoFunction/Completion Enable false
            printf "$item" /org.openoffice.Office.Calc/Input AutoInput false
        }
        echo '</oor:items>'
    } >"$1/user/registrymodifications.xcu"
}

# start_office PROFILE_DIR BACKEND MODULE LOG: LibreOffice (MODULE writer or calc) on the VCL backend (gen or gtk3)
# with the German locale (LOCPATH set by the caller), a new document focused and taking keys. Sets office_pid
# (soffice.bin) and office_win; both processes are added to pids.
start_office() {
    local profile=$1 backend=$2 module=$3 log=$4 class
    class=libreoffice-$module
    SAL_USE_VCLPLUGIN=$backend LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 \
        soffice "-env:UserInstallation=file://$profile" --norestore --nologo --nolockcheck "--$module" \
        >"$log" 2>&1 &
    office_launcher=$!
    pids+=("$office_launcher")
    wait_for 120 "the $module window ($backend)" xdotool search --onlyvisible --class "$class"
    office_win=$(xdotool search --onlyvisible --class "$class" | head -1)
    office_pid=$(xdotool getwindowpid "$office_win")
    pids+=("$office_pid")
    wait_for 10 "the $module window focused" focus_office
    # A window just shown may drop the first keys (GTK): typed text must come back on a copy.
    wait_for 60 "$module taking keys ($backend)" office_takes_keys
    if [[ $module == writer ]]; then
        xdotool key --clearmodifiers ctrl+a Delete
    fi
}
office_takes_keys() {
    focus_office
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 10 "ok"
    local got
    got=$(try_copied_text ctrl+a ctrl+c) || got=""
    xdotool key Escape
    [[ $got == ok ]]
}
focus_office() { xdotool windowactivate --sync "$office_win" && xdotool windowfocus --sync "$office_win"; }
# Ends the LibreOffice started last, without saving.
stop_office() { stop_pids "$office_pid" "$office_launcher"; }

# close_dialogs PID MAIN_WINDOW: closes (Escape) every visible window of the process other than its main window,
# for example LibreOffice's "Requested clipboard format is not available", and prints their titles joined by "|".
close_dialogs() {
    local w titles=()
    for w in $(xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
        [[ $w == "$2" ]] && continue
        titles+=("$(xdotool getwindowname "$w" 2>/dev/null)")
        xdotool windowactivate --sync "$w" key Escape 2>/dev/null || true
    done
    ((${#titles[@]} == 0)) || (IFS='|'; echo "${titles[*]}")
}

# stop_pids PID...: SIGTERM, and SIGKILL to whatever still runs 5 s later (LibreOffice's launcher may ignore the
# first).
stop_pids() {
    local pid n
    kill "$@" 2>/dev/null || true
    for pid in "$@"; do
        for ((n = 0; n < 100; n++)); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
        kill -9 "$pid" 2>/dev/null || true
    done
    wait "$@" 2>/dev/null || true
}

# start_parcellite: the clipboard manager with a fresh configuration (clipboard only, no history file, takes the
# clipboard back with the last text when it becomes empty). Sets parcellite_pid.
start_parcellite() {
    mkdir -p "$HOME/.config/parcellite"
    rm -rf "$HOME/.local/share/parcellite"
    printf '[rc]\nuse_copy=true\nuse_primary=false\nsynchronize=false\nsave_history=false\nrestore_empty=true\nno_icon=true\n' \
        >"$HOME/.config/parcellite/parcelliterc"
    parcellite -n >/dev/null 2>&1 &
    parcellite_pid=$!
    pids+=("$parcellite_pid")
    # Working once it puts the last text back on an emptied clipboard.
    wait_for 10 "the clipboard manager" parcellite_restores "parcellite-$RANDOM"
}
# parcellite_restores TEXT: TEXT put on the clipboard, given a moment to be read, then the clipboard emptied:
# succeeds when the manager puts TEXT back.
parcellite_restores() {
    clip_set "$1"
    sleep 0.1
    clip_clear
    poll_until 1 clip_is "$1"
}
stop_parcellite() { stop_pids "$parcellite_pid"; }

# private_session WORK_DIR: a home of the test's own below WORK_DIR (HOME, XDG folders), no Wayland, no session
# manager.
private_session() {
    export HOME=$1/home XDG_RUNTIME_DIR=$1/run XDG_CONFIG_HOME=$1/home/.config
    mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    unset WAYLAND_DISPLAY SESSION_MANAGER
}

# end_session: stops the processes in the array pids and the D-Bus session, keeps the logs of the work folder in
# E2E_ARTIFACTS (when set) and removes the folder. For the EXIT trap of a script that defines work and pids.
end_session() {
    stop_pids "${pids[@]}"
    [[ -n ${E2E_ARTIFACTS:-} ]] && mkdir -p "$E2E_ARTIFACTS" && cp "$work"/*.log "$E2E_ARTIFACTS/" 2>/dev/null
    [[ -n ${DBUS_SESSION_BUS_PID:-} ]] && kill "$DBUS_SESSION_BUS_PID" 2>/dev/null || true
    rm -rf "$work"
}

# end_wine_session: end_session for a run with a Wine prefix in $work/prefix (its wineserver goes first).
end_wine_session() {
    WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
    end_session
}

# start_session WORK_DIR: a private home (private_session), a virtual display with a window manager (start_display)
# and a D-Bus session of its own.
start_session() {
    private_session "$1"
    start_display "$1"
    eval "$(dbus-launch --sh-syntax)"
}

# The end of Valumat's log, for a failure report (the script's work folder holds valumat.log).
# log_mark: the number of lines in Valumat's log now; log_since MARK: the lines written after it (at most 60), for
# showing in CI output what Valumat saw during one failed conversion (traced with VALUMAT_TRACE_CLIPBOARD=1).
log_mark() { wc -l <"$work/valumat.log"; }
log_since() {
    tail -n "+$(($1 + 1))" "$work/valumat.log" | head -60 | sed 's/^/    | /'
}

show_valumat_log() {
    echo "--- valumat log" >&2
    grep -v "request (user.s)" "$work/valumat.log" | tail -30 >&2 || true
}

# begin_run: the script's work folder ($work, removed at the end), the array pids (empty), end_session as the EXIT
# trap and a fail() that reports Valumat's log; a script that reports more defines its own fail() afterwards.
begin_run() {
    work=$(mktemp -d)
    pids=()
    trap end_session EXIT
    fail() {
        echo "FAIL: $*" >&2
        show_valumat_log
        exit 1
    }
}

# start_german_session WORK_DIR: start_session, and a German locale built below WORK_DIR (LOCPATH).
start_german_session() {
    start_session "$1"
    build_de_locale "$1/locale" || fail "could not build the de_DE locale"
    export LOCPATH=$1/locale
}

# throwaway_user PREFIX: for a test that runs as root, a system user of this run's own (PREFIX and the shell's
# process id; another user of that name is never touched) with the home $outer, holding bin/ (a copy of $bin) and
# tests/ (lib.sh); the user and the folder go at the end. The caller copies what else the run needs into $outer.
throwaway_user() {
    user=$1$$
    if id "$user" >/dev/null 2>&1; then
        echo "FAIL: a user $user exists already" >&2
        exit 1
    fi
    outer=$(mktemp -d)
    useradd --system --no-create-home --home-dir "$outer" --shell /usr/sbin/nologin "$user" || exit 1
    trap 'userdel -f "$user" >/dev/null 2>&1; rm -rf "$outer"' EXIT
    chmod 755 "$outer"
    mkdir -p "$outer/bin" "$outer/tests"
    cp -r "$bin"/. "$outer/bin/"
    cp "$(dirname "${BASH_SOURCE[0]}")/lib.sh" "$outer/tests/"
}

# as_throwaway_user VARIABLES SCRIPT ARG...: runs the script as the throwaway user (after chown of $outer to it) with
# a clean environment: PATH, LANG=C.UTF-8, E2E_RUNS=$runs, ASAN_OPTIONS, E2E_FIGURES and the variables named in
# VARIABLES (space-separated) as they are set here, and E2E_ARTIFACTS inside $outer, whose files come back to
# E2E_ARTIFACTS afterwards. Sets status to the script's exit status.
as_throwaway_user() {
    local names=$1 name
    shift
    local passed=()
    for name in ASAN_OPTIONS E2E_FIGURES $names; do
        passed+=("$name=${!name:-}")
    done
    chown -R "$user" "$outer"
    status=0
    runuser -u "$user" -- env -i PATH="$PATH" LANG=C.UTF-8 E2E_RUNS="$runs" \
        E2E_ARTIFACTS="${E2E_ARTIFACTS:+$outer/artifacts}" "${passed[@]}" bash "$@" || status=$?
    if [[ -n ${E2E_ARTIFACTS:-} && -d $outer/artifacts ]]; then
        mkdir -p "$E2E_ARTIFACTS"
        cp "$outer"/artifacts/* "$E2E_ARTIFACTS/" 2>/dev/null || true
    fi
}
