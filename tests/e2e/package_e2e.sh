#!/usr/bin/env bash
# The release artefacts of scripts/package.sh end to end, installed as a user installs them.
#
#   tests/e2e/package_e2e.sh DIST_DIR
#
# deb  (root only): apt-get installs dist/valumat_*.deb; a user created for the test starts /usr/bin/valumat under
#      Xvfb: the first start fills ~/.config/valumat with the shipped files, Ctrl+D converts "100" in Mousepad to
#      "195,58", ticking autostart and "Übernehmen" write ~/.config/valumat/options.dat and an autostart entry with
#      Exec=/usr/bin/valumat; apt-get remove takes the program and leaves the user's folder. The user and the
#      package are gone afterwards.
# wine: valumat-*-setup.exe /S in a fresh Wine prefix: program, defaults, Start-menu entry and uninstall key in place;
#      the installed program keeps its data in %APPDATA%\Valumat and converts in notepad; a second start keeps the
#      user's options (autostart on: the Run value names the installed program); the silent uninstaller ends the
#      running program and removes program, Start-menu entry, Run value and uninstall key, and leaves %APPDATA%\Valumat.
# zip: the unpacked zip runs portable: the working copies appear beside the program, %APPDATA%\Valumat is not made,
#      valumat-convert.exe --list names the program's folder.
#
# PACKAGE_E2E_PARTS picks parts (default "deb wine zip"); a part whose tools are missing is skipped and says so.
set -euo pipefail

dist=$(cd "${1:?usage: package_e2e.sh DIST_DIR}" && pwd)
parts=${PACKAGE_E2E_PARTS:-deb wine zip}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"
need_tools Xvfb openbox xdotool xclip xprop dbus-launch python3
deb=$(ls "$dist"/valumat_*_amd64.deb 2>/dev/null | head -1)
setup=$(ls "$dist"/valumat-*-setup.exe 2>/dev/null | head -1)
zip=$(ls "$dist"/valumat-*-win32.zip 2>/dev/null | head -1)

work=$(mktemp -d)
chmod 755 "$work"
pids=()
user=valumat-pkg$$ # a user of this run's own: another one of that name is never touched
installed_deb=""
made_user=""
cleanup() {
    [[ -n ${WINEPREFIX:-} ]] && wineserver -k 2>/dev/null || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    [[ -n ${DBUS_SESSION_BUS_PID:-} ]] && kill "$DBUS_SESSION_BUS_PID" 2>/dev/null || true
    wait 2>/dev/null || true
    if [[ -n $installed_deb ]] && dpkg-query -W -f='${Status}' valumat 2>/dev/null | grep -q "ok installed"; then
        DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq valumat >/dev/null 2>&1 || true
    fi
    [[ -n $made_user ]] && userdel -r -f "$user" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    [[ -n ${DISPLAY:-} ]] && import -window root "${E2E_FAILURE_SHOT:-/tmp/valumat-package-failure.png}" 2>/dev/null &&
        echo "screenshot: ${E2E_FAILURE_SHOT:-/tmp/valumat-package-failure.png}" >&2
    for log in "$work"/*.log; do
        [[ -e $log ]] && { echo "--- $log" >&2; tail -5 "$log" >&2; }
    done
    exit 1
}
# Every shipped file of the folder $1 has a byte-equal copy in the folder $2.
same_files() {
    local file
    for file in waehrungen.dat tasten.dat options.dat keypress.txt keypressexcel.txt readme.txt hilfe/keypress.html; do
        cmp -s "$1/$file" "$2/$file" || fail "$2/$file is not the shipped $1/$file"
    done
}

# --- the Debian package ----------------------------------------------------------------------------------------
deb_part() {
    if [[ $(id -u) != 0 ]]; then echo "deb: SKIP (installing the package needs root)"; return; fi
    [[ -n $deb ]] || fail "no .deb in $dist"
    command -v apt-get >/dev/null && command -v runuser >/dev/null || { echo "deb: SKIP (no apt-get or runuser)"; return; }
    if dpkg-query -W -f='${Status}' valumat 2>/dev/null | grep -q "ok installed"; then
        echo "deb: SKIP (valumat is installed on this machine already: not touching it)"
        return
    fi
    local start=$SECONDS
    installed_deb=1
    (cd "$(dirname "$deb")" && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$(basename "$deb")") \
        >"$work/apt-install.log" 2>&1 || fail "apt-get install failed"
    [[ -x /usr/bin/valumat && -x /usr/bin/valumat-convert && -f /usr/share/valumat/waehrungen.dat ]] ||
        fail "the package did not install the programs and /usr/share/valumat"
    echo "deb: installed with apt-get in $((SECONDS - start)) s"

    if id "$user" >/dev/null 2>&1; then fail "a user $user exists already"; fi
    useradd -m -d "$work/home" -s /bin/bash "$user" || fail "useradd failed"
    made_user=1
    cp "$here/lib.sh" "$work/lib.sh"
    cat >"$work/as-user.sh" <<'USER'
#!/usr/bin/env bash
# The user's part: a private X display, Valumat from /usr/bin, Mousepad.
set -euo pipefail
work=$1
pids=()
trap end_session_user EXIT
end_session_user() { stop_pids "${pids[@]}"; [[ -n ${DBUS_SESSION_BUS_PID:-} ]] && kill "$DBUS_SESSION_BUS_PID" 2>/dev/null || true; }
source "$work/lib.sh"
fail() { echo "FAIL: $*" >&2; import -window root "$work/user/failure.png" 2>/dev/null || true; tail -5 "$work/user/valumat.log" >&2 || true; exit 1; }
mkdir -p "$work/user/run"
chmod 700 "$work/user/run"
export XDG_RUNTIME_DIR=$work/user/run
unset XDG_CONFIG_HOME
start_display "$work/user"
eval "$(dbus-launch --sh-syntax)"
[[ ! -e $HOME/.config/valumat ]] || fail "the user's folder exists before the first start"
cd /
valumat >"$work/user/valumat.log" 2>&1 &
pids+=($!)
wait_for 20 "Valumat started" grep -q "valumat: bereit" "$work/user/valumat.log"
wait_for 10 "the configuration window" xdotool search --onlyvisible --name "^Valumat V1.2"
for file in waehrungen.dat tasten.dat options.dat keypress.txt keypressexcel.txt readme.txt hilfe/keypress.html; do
    cmp -s "/usr/share/valumat/$file" "$HOME/.config/valumat/$file" || fail "~/.config/valumat/$file is not the shipped one"
done
for file in waehrungen.tmp tasten.tmp options.tmp; do
    [[ -f $HOME/.config/valumat/$file ]] || fail "no working copy ~/.config/valumat/$file"
done
echo "deb: the first start filled ~/.config/valumat with the shipped files and the working copies"

mousepad "$work/user/dokument.txt" >"$work/user/mousepad.log" 2>&1 &
pids+=($!)
wait_for 20 "the editor window" xdotool search --onlyvisible --class mousepad
editor=$(xdotool search --onlyvisible --class mousepad | head -1)
focus_editor() { xdotool windowactivate --sync "$editor" && xdotool windowfocus --sync "$editor"; }
editor_has() { [[ "$(copied_text "the editor's copy" ctrl+a ctrl+c)" == "$1" ]]; }
wait_for 5 "the editor focused" focus_editor
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 10 "100"
wait_for 5 "the amount in the editor" editor_has "100"
xdotool key --clearmodifiers ctrl+a
done_count() { grep -c "erledigt" "$work/user/valumat.log" || true; }
n=$(done_count)
xdotool key ctrl+d
wait_for 5 "the conversion" sh -c "[ \$(grep -c erledigt '$work/user/valumat.log') -gt $n ]"
wait_for 5 "195,58 in the editor" editor_has "195,58"
echo "deb: Ctrl+D converted 100 to 195,58 in Mousepad"

# Options tab, "Beim Windowsstart automatisch laden", "Übernehmen" (points in the window: twips / 15).
window=$(xdotool search --onlyvisible --name "^Valumat V1.2" | head -1)
xdotool windowactivate --sync "$window"
xdotool mousemove --window "$window" 238 17 click 1
sleep 0.3
xdotool mousemove --window "$window" 60 56 click 1
sleep 0.2
xdotool mousemove --window "$window" 408 316 click 1
wait_for 5 "options.dat written" grep -q "autostart: 1" "$HOME/.config/valumat/options.dat"
wait_for 5 "the autostart entry" test -f "$HOME/.config/autostart/valumat.desktop"
grep -qx "Exec=/usr/bin/valumat" "$HOME/.config/autostart/valumat.desktop" ||
    fail "the autostart entry: $(grep Exec "$HOME/.config/autostart/valumat.desktop")"
[[ ! -e /usr/share/valumat/options.tmp ]] || fail "a working copy in /usr/share/valumat"
echo "deb: \"Übernehmen\" wrote ~/.config/valumat/options.dat; autostart Exec=/usr/bin/valumat"
USER
    chmod 755 "$work/as-user.sh"
    mkdir -p "$work/user"
    chown "$user:" "$work/user"
    start=$SECONDS
    runuser -u "$user" -- env -i HOME="$work/home" USER="$user" LOGNAME="$user" PATH=/usr/bin:/bin \
        LANG=C.UTF-8 bash "$work/as-user.sh" "$work" || fail "the user's part failed"
    echo "deb: the user's part took $((SECONDS - start)) s"

    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq valumat >"$work/apt-remove.log" 2>&1 ||
        fail "apt-get remove failed"
    [[ ! -e /usr/bin/valumat && ! -e /usr/share/valumat ]] || fail "apt-get remove left the program"
    [[ -f $work/home/.config/valumat/options.dat ]] || fail "apt-get remove took the user's folder"
    grep -q "autostart: 1" "$work/home/.config/valumat/options.dat" || fail "the user's options changed"
    installed_deb=""
    echo "deb: apt-get remove took the program and left ~/.config/valumat"
}

# --- Windows: the installer and the zip under Wine -------------------------------------------------------------
wine_ready=""
wine_start() {
    [[ -n $wine_ready ]] && return 0
    for tool in wine wineboot wineserver winepath; do
        command -v "$tool" >/dev/null || return 1
    done
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 || return 1
    export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    [[ -n ${DISPLAY:-} ]] || start_display "$work"
    local start=$SECONDS
    wineboot --init >"$work/wineboot.log" 2>&1 || fail "wineboot failed"
    wineserver -w
    echo "wine: prefix ready in $((SECONDS - start)) s"
    appdata=$(winepath -u "$(wine cmd /c echo %APPDATA% | tr -d '\r')")
    localappdata=$(winepath -u "$(wine cmd /c echo %LOCALAPPDATA% | tr -d '\r')")
    startmenu="$appdata/Microsoft/Windows/Start Menu/Programs"
    wine_ready=1
}
reg_has() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | grep -q "$2"; }
reg_value() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z]* *//p"; }
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Valumat'

# start_valumat EXE LOG: Valumat under Wine, started from another folder; waits until it is ready.
start_valumat() {
    (cd "$work" && WINEDEBUG=-all,warn+seh exec wine "$1") >"$2" 2>&1 &
    valumat_pid=$!
    pids+=("$valumat_pid")
    wait_for 60 "Valumat started ($1)" grep -aq "valumat: bereit" "$2"
}
# Ends the running Valumat with its "Beenden" button (the window is shown: not started minimised).
stop_valumat() {
    local w
    w=$(xdotool search --onlyvisible --name "^Valumat V1.2" | head -1)
    [[ -n $w ]] || fail "no Valumat window to end the program with"
    xdotool windowactivate --sync "$w"
    xdotool mousemove --window "$w" 60 316 click 1
    wait_for 10 "Valumat ended" sh -c "! kill -0 $valumat_pid 2>/dev/null"
}

wine_part() {
    [[ -n $setup ]] || fail "no setup.exe in $dist"
    wine_start || { echo "wine: SKIP (no Wine or no 32-bit support)"; return; }
    local inst=$localappdata/Programs/Valumat start=$SECONDS
    wine "$setup" /S >"$work/setup.log" 2>&1 || fail "setup.exe /S failed"
    wait_for 30 "the installation" test -f "$inst/uninstall.exe"
    for file in valumat.exe valumat-convert.exe vorgaben/waehrungen.dat vorgaben/hilfe/keypress.html; do
        [[ -f $inst/$file ]] || fail "not installed: $inst/$file"
    done
    [[ ! -e $inst/waehrungen.dat ]] || fail "data files beside the installed program"
    [[ -f $startmenu/Valumat.lnk ]] || fail "no Start-menu entry"
    [[ "$(reg_value "$uninstall_key" DisplayVersion)" == "$(basename "$setup" | sed 's/valumat-\(.*\)-setup.exe/\1/')" ]] ||
        fail "the uninstall key's DisplayVersion: $(reg_value "$uninstall_key" DisplayVersion)"
    reg_has "$uninstall_key" UninstallString || fail "no UninstallString"
    echo "wine: setup.exe /S installed into %LOCALAPPDATA%\\Programs\\Valumat in $((SECONDS - start)) s (Start-menu entry, uninstall key)"

    start_valumat "$inst/valumat.exe" "$work/valumat-installed.log"
    same_files "$inst/vorgaben" "$appdata/Valumat"
    [[ -f $appdata/Valumat/waehrungen.tmp && ! -e $inst/waehrungen.tmp ]] || fail "working copies not in %APPDATA%\\Valumat"
    echo "wine: the installed program's data is in %APPDATA%\\Valumat"

    wine notepad >"$work/notepad.log" 2>&1 &
    pids+=($!)
    wait_for 30 "notepad" xdotool search --onlyvisible --name "Notepad"
    local notepad
    notepad=$(xdotool search --onlyvisible --name "Notepad" | head -1)
    focus_notepad() { xdotool windowactivate --sync "$notepad"; }
    notepad_has() { [[ "$(copied_text "notepad's copy" ctrl+a ctrl+c)" == "$1" ]]; }
    wait_for 5 "notepad focused" focus_notepad
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 20 "100"
    wait_for 5 "the amount in notepad" notepad_has "100"
    xdotool key --clearmodifiers ctrl+a
    local n
    n=$(grep -ac erledigt "$work/valumat-installed.log" || true)
    xdotool key ctrl+d
    wait_for 10 "the conversion" sh -c "[ \$(grep -ac erledigt '$work/valumat-installed.log') -gt $n ]"
    wait_for 5 "195,58 in notepad" notepad_has "195,58"
    echo "wine: the installed program converted 100 to 195,58 in notepad"

    # The user's own options survive a restart; autostart on makes the program write the Run value.
    stop_valumat
    printf 'autostart: 1\r\nminimiert: 1\r\nexceloptimiert: 0\r\n' >"$appdata/Valumat/options.dat"
    start_valumat "$inst/valumat.exe" "$work/valumat-second.log"
    grep -q "minimiert: 1" "$appdata/Valumat/options.dat" || fail "the second start replaced the user's options"
    local run
    run=$(reg_value "$run_key" Valumat)
    [[ $run == *'Programs\Valumat\valumat.exe"' ]] || fail "the Run value: [$run]"
    [[ -f $startmenu/Valumat.lnk ]] || fail "no Start-menu entry"
    echo "wine: a second start kept the user's options; Run value $run"

    # The uninstaller ends the running program first.
    start=$SECONDS
    wine "$inst/uninstall.exe" /S >"$work/uninstall.log" 2>&1 || fail "uninstall.exe /S failed"
    wait_for 30 "the uninstallation" sh -c "! test -e '$inst'"
    wait_for 10 "the uninstall key removed" sh -c "! wine reg query '$uninstall_key' >/dev/null 2>&1"
    kill -0 "$valumat_pid" 2>/dev/null && fail "Valumat still runs after the uninstallation"
    [[ ! -e $startmenu/Valumat.lnk ]] || fail "the Start-menu entry is still there"
    reg_has "$run_key" Valumat && fail "the Run value is still there"
    [[ -f $appdata/Valumat/options.dat ]] && grep -q "minimiert: 1" "$appdata/Valumat/options.dat" ||
        fail "the uninstaller took the user's data"
    echo "wine: uninstall.exe /S ended Valumat, removed program, Start-menu entry, Run value and uninstall key in $((SECONDS - start)) s; %APPDATA%\\Valumat stays"
}

zip_part() {
    [[ -n $zip ]] || fail "no zip in $dist"
    command -v unzip >/dev/null || { echo "zip: SKIP (no unzip)"; return; }
    wine_start || { echo "zip: SKIP (no Wine or no 32-bit support)"; return; }
    rm -rf "$appdata/Valumat"
    mkdir -p "$work/unpacked"
    unzip -q "$zip" -d "$work/unpacked"
    local app=$work/unpacked/Valumat
    [[ -f $app/valumat.exe && -f $app/valumat-convert.exe && -f $app/waehrungen.dat && -f $app/hilfe/keypress.html ]] ||
        fail "the zip lacks files: $(cd "$work/unpacked" && find . -type f | tr '\n' ' ')"
    start_valumat "$app/valumat.exe" "$work/valumat-zip.log"
    [[ -f $app/waehrungen.tmp && -f $app/tasten.tmp && -f $app/options.tmp ]] || fail "no working copies beside the program"
    [[ ! -e $appdata/Valumat ]] || fail "the portable program made %APPDATA%\\Valumat"
    stop_valumat
    local listed
    listed=$(cd "$work" && wine "$app/valumat-convert.exe" --list 2>/dev/null | tr -d '\r' | head -1)
    [[ $listed == "Datenordner: "*'unpacked\Valumat\' ]] || fail "valumat-convert --list: [$listed]"
    echo "zip: portable: working copies beside valumat.exe, no %APPDATA%\\Valumat; valumat-convert: $listed"
}

for part in $parts; do
    "${part}_part"
done
echo "PASS"
